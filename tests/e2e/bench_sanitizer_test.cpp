// In the sanitizer build, the benchmark files that BenchAnswers does not run
// (which requires status 0 and the right answers, so no sanitizer report, for
// every accepted file): the refused files of deviant/ by both programs, and
// pla/b12_split.pla by the full build. Each run ends with status 0 and nothing
// on standard error, or status 1 and one message, and never with a report of
// AddressSanitizer or UndefinedBehaviorSanitizer (which also exit with 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/bench_key.hpp"
#include "support/program_output.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::RunProgram;

using testing::kBench;

TEST(BenchUnderSanitizers, FilesOutsideTheAnswerKeyEndCleanly) {
#if !TAVRO_SANITIZE_BUILD || !defined(TAVRO_BIN) || !defined(TAVRO_DIRECT_BIN)
  GTEST_SKIP() << "runs in the sanitizer build only";
#else
  if (!fs::is_directory(kBench / "deviant")) GTEST_SKIP() << "no benchmark folder";
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(kBench / "deviant")) {
    if (entry.path().extension() == ".pla") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  std::vector<std::string> programs{TAVRO_BIN, TAVRO_DIRECT_BIN};
  // Without the reduction, output 5 of b12_split (32768 minterms over 15
  // inputs) takes the search beyond 10^10 branches.
  if (TAVRO_HAS_REDUCE) files.push_back(kBench / "pla" / "b12_split.pla");
  for (const fs::path& file : files) {
    for (const std::string& program : programs) {
      if (program == TAVRO_DIRECT_BIN && file.filename() == "b12_split.pla") continue;
      SCOPED_TRACE(file.string() + " by " + fs::path(program).filename().string());
      const auto run = RunProgram(program, {file.string()});
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

}  // namespace
}  // namespace tavro
