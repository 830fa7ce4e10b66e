// The driver in process: arguments, the pass over all outputs, thrown values
// of every kind, a report that cannot be written, the duration figures.
#include "driver/run_tavro.hpp"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "driver/progress_line.hpp"
#include "support/program_output.hpp"

namespace tavro {
namespace {

// A stream that refuses every byte, as standard output does on a full disk.
struct RefusingBuffer : std::streambuf {
  int overflow(int) override { return traits_type::eof(); }
};

// Status, standard output (durations masked) and standard error of a run on
// a file of `text` with `more` arguments after it.
std::string RunWith(const std::string& text, bool reduce = true, const char* more = nullptr,
                    bool refuse = false) {
  const std::string path = testing::TempPath("driver.pla");
  std::ofstream(path) << text;
  const char* argv[] = {"tavro", path.c_str(), more};
  std::ostringstream out, err;
  RefusingBuffer refusing;
  std::ostream refused(&refusing);
  const int status = RunTavro(more ? 3 : 2, argv, refuse ? refused : out, err, reduce);
  std::filesystem::remove(path);
  return std::to_string(status) + "|" + testing::MaskDurations(out.str()) + "|" + err.str();
}

const std::string kFile = ".i 3\n.o 3\n1-- 110\n0-- 111\n-1- 0-1\n", kLine1 = "Graph constructing duration: #s\n";

TEST(RunTavro, ArgumentsBothBuildsAndAReportThatCannotBeWritten) {
  std::ostringstream out, err;
  const char* argv[] = {"tavro"};
  EXPECT_EQ(RunTavro(1, argv, out, err, true), 1);
  EXPECT_EQ(out.str() + "|" + err.str(), "|USAGE: tavro.exe <input PLA file>");
  EXPECT_EQ(RunWith(kFile, true, "--ignored"), "0|" + kLine1 + "tautology\n-1-\n10-\nTask duration: #s\n|");
  // The reduction changes which hole the search reaches first.
  const std::string restored = ".i 4\n.o 1\n1-10 1\n0--0 1\n1-11 1\n1010 1\n--01 1\n";
  EXPECT_EQ(RunWith(restored, true), "0|" + kLine1 + "1-00\nTask duration: #s\n|");
  EXPECT_EQ(RunWith(restored, false), "0|" + kLine1 + "1100\nTask duration: #s\n|");
  EXPECT_EQ(RunWith(kFile, true, nullptr, true), "1||Cannot write to standard output\n");
}

TEST(RunTavro, ErrorsGoToStandardErrorWithStatusOne) {
  // A lone "-" names a file, like any argument that is not an option.
  std::ostringstream out, err;
  const char* argv[] = {"tavro", "-"};
  EXPECT_EQ(RunTavro(2, argv, out, err, true), 1);
  EXPECT_EQ(out.str() + "|" + err.str(), "|Cannot open file: -\n");
  EXPECT_EQ(RunWith(".i 2\n.o 1\n01 1\n0x 1\n"),
            "1||Parser Error: Incorrect character in PLA file.\nLine Number: 4\nLine Copy: 0x 1\n");
  EXPECT_EQ(RunWith(".i 1\n.o 1\n1 1\n1 -\n"), "1||There is a conflict between outputs in PLA file.\n");
}

TEST(ProgressLine, HintOnceAPhaseHasCountedStepsForTenSeconds) {
  std::ostringstream terminal;
  ProgressLine line;
  StartProgress(line, &terminal);
  line.start -= std::chrono::seconds(2);  // past the quiet first second
  const auto shownAfter = [&](std::chrono::seconds phaseAge, int64_t done) {
    line.phaseStart = std::chrono::steady_clock::now() - phaseAge;
    line.lastDraw -= std::chrono::seconds(1);  // past the redraw interval
    terminal.str("");
    SetProgressDone(line, done);
    const std::string shown = terminal.str();  // "\r" text, blanks over a longer former text, "\r"
    return shown.substr(1, shown.find_last_not_of(" \r"));
  };
  SetProgressPhase(line, "searching output 1 of 2", "branches", "(hint)");
  EXPECT_EQ(shownAfter(std::chrono::seconds(9), 65536), "tavro: searching output 1 of 2, 65536 branches");
  EXPECT_EQ(shownAfter(std::chrono::seconds(11), 0), "tavro: searching output 1 of 2, 0 branches");
  EXPECT_EQ(shownAfter(std::chrono::seconds(11), 65536),
            "tavro: searching output 1 of 2, 65536 branches (hint)");
  SetProgressPhase(line, "searching output 2 of 2", "branches");
  EXPECT_EQ(shownAfter(std::chrono::seconds(11), 65536), "tavro: searching output 2 of 2, 65536 branches");
}

TEST(WriteDuration, DefaultStreamFormatOfTheDoubleDifference) {
  const std::tuple<float, float, const char*> cases[] = {
      {1.5f, 1.5f, "0"}, {1.5f, 1.515625f, "0.015625"}, {0.1f, 0.2f, "0.1"},
      {0.0f, 0.00001f, "1e-05"}, {0.0f, 1234567.0f, "1.23457e+06"}};
  for (const auto& [from, to, text] : cases) {
    std::ostringstream out;
    WriteDuration(out, from, to);
    EXPECT_EQ(out.str(), text);
  }
}

}  // namespace
}  // namespace tavro
