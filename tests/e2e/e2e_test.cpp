// Golden cases: every tests/e2e/<case>.pla is run by both programs, from this
// folder; stdout must equal <case>.out with the durations masked, stderr
// <case>.err, and the exit status <case>.status (when absent: 1 when an error
// text is expected, else 0; absent texts are empty). Where the reduction
// changes a witness, <case>.full.out (tavro) or <case>.direct.out
// (tavro-direct) takes the place of <case>.out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/program_output.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::Programs;
using testing::ReadFile;

TEST(EndToEnd, GoldenCases) {
  if (Programs().empty()) GTEST_SKIP() << "programs not built";
  const fs::path folder = fs::path(TAVRO_SOURCE_DIR) / "tests" / "e2e";
  std::vector<fs::path> cases;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".pla") cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  ASSERT_GT(cases.size(), 40u);
  const fs::path here = fs::current_path();
  fs::current_path(folder);
  for (const fs::path& pla : cases) {
    auto expected = [&](const std::string& extension, const std::string& fallback) {
      const fs::path p = fs::path(pla).replace_extension(extension);
      return fs::exists(p) ? ReadFile(p) : fallback;
    };
    const std::string err = expected(".err", "");
    const int status = std::stoi(expected(".status", err.empty() ? "0" : "1"));
    for (const std::string& program : Programs()) {
      SCOPED_TRACE(pla.filename().string() + " by " + fs::path(program).filename().string());
      const std::string variant = program == Programs().front() ? ".full.out" : ".direct.out";
      const auto run = testing::RunProgram(program, {pla.filename().string()});
      EXPECT_EQ(testing::MaskDurations(run.out), expected(variant, expected(".out", "")));
      EXPECT_EQ(run.err, err);
      EXPECT_EQ(run.status, status);
    }
  }
  fs::current_path(here);
}

}  // namespace
}  // namespace tavro
