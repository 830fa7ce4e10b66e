// In the sanitizer build, both programs on every benchmark file, refused ones
// included: each run ends with status 0 and nothing on standard error, or
// status 1 and one message, and never with a report of AddressSanitizer or
// UndefinedBehaviorSanitizer (which would also exit with status 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_output.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::RunProgram;

const fs::path kBench = fs::path(TAVRO_SOURCE_DIR) / ".." / "shared" / "bench";

class BenchUnderSanitizers : public ::testing::TestWithParam<const char*> {};

TEST_P(BenchUnderSanitizers, EveryFileEndsCleanly) {
#if !TAVRO_SANITIZE_BUILD || !defined(TAVRO_BIN) || !defined(TAVRO_DIRECT_BIN)
  GTEST_SKIP() << "runs in the sanitizer build only";
#else
  const fs::path folder = kBench / GetParam();
  if (!fs::is_directory(folder)) GTEST_SKIP() << "no " << folder;
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().extension() == ".pla") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  struct Program {
    const char* path;
    bool reduces;
  };
  const Program programs[] = {{TAVRO_BIN, TAVRO_HAS_REDUCE != 0}, {TAVRO_DIRECT_BIN, false}};
  for (const fs::path& file : files) {
    for (const Program& program : programs) {
      // Without the reduction, output 5 of b12_split (32768 minterms over 15
      // inputs) takes the search beyond 10^10 branches.
      if (!program.reduces && file.filename() == "b12_split.pla") continue;
      SCOPED_TRACE(file.string() + " by " + fs::path(program.path).filename().string());
      const auto run = RunProgram(program.path, {file.string()});
      EXPECT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status;
      EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << run.err;
      if (run.status == 0) {
        EXPECT_EQ(run.err, "");
      } else {
        EXPECT_TRUE(!run.err.empty() && run.err.back() == '\n') << run.err;
      }
    }
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(Folders, BenchUnderSanitizers,
                         ::testing::Values("pla", "reflowed", "derived", "deviant"));

}  // namespace
}  // namespace tavro
