// Golden cases: every tests/e2e/<case>.pla is run by both programs, from this
// folder; stdout must equal <case>.out with the durations masked, stderr
// <case>.err and the exit status <case>.status (empty and 0 when absent).
// Where the reduction changes a witness, <case>.full.out (for tavro) or
// <case>.direct.out (for tavro-direct) takes the place of <case>.out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/program_output.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::MaskDurations;
using testing::Programs;
using testing::ReadFile;
using testing::RunProgram;

TEST(EndToEnd, GoldenCases) {
  if (Programs().empty()) GTEST_SKIP() << "programs not built";
  const fs::path folder = fs::path(TAVRO_SOURCE_DIR) / "tests" / "e2e";
  std::vector<fs::path> cases;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".pla") cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  ASSERT_FALSE(cases.empty());
  const fs::path here = fs::current_path();
  fs::current_path(folder);
  for (const fs::path& pla : cases) {
    auto expected = [&](const std::string& extension, const std::string& fallback) {
      fs::path p = pla;
      p.replace_extension(extension);
      return fs::exists(p) ? ReadFile(p) : fallback;
    };
    const std::string err = expected(".err", "");
    const int status = std::stoi(expected(".status", "0"));
    for (const std::string& program : Programs()) {
      SCOPED_TRACE(pla.filename().string() + " by " + fs::path(program).filename().string());
      const char* variant = program == Programs().front() ? ".full" : ".direct";
      const std::string out = expected(std::string(variant) + ".out", expected(".out", ""));
      const auto run = RunProgram(program, {pla.filename().string()});
      EXPECT_EQ(MaskDurations(run.out), out);
      EXPECT_EQ(run.err, err);
      EXPECT_EQ(run.status, status);
    }
  }
  fs::current_path(here);
}

}  // namespace
}  // namespace tavro
