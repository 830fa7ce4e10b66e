// The driver in process: arguments, the pass over all outputs, the error
// paths (including thrown values the parser never throws), a report that
// cannot be written, and the format of the duration figures.
#include "driver/run_tavro.hpp"

#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "driver/current_graph.hpp"
#include "support/program_output.hpp"

namespace tavro {
namespace {

struct Outcome {
  int status;
  std::string out, err;  // out with the durations masked
};

// Runs the program in process on a file of `text` (none when empty: a
// missing file), with more arguments after the path.
Outcome RunWith(const std::string& text, OutputPass pass = nullptr, std::vector<std::string> more = {},
            std::ostream* out = nullptr) {
  const std::string path = testing::TempPath("driver.pla");
  if (!text.empty()) std::ofstream(path, std::ios::binary) << text;
  std::vector<const char*> argv{"tavro", path.c_str()};
  for (const std::string& a : more) argv.push_back(a.c_str());
  std::ostringstream captured, err;
  const int status = RunTavro(static_cast<int>(argv.size()), argv.data(), out ? *out : captured, err, pass);
  delete CurrentGraph();  // each run leaves its graph there
  CurrentGraph() = nullptr;
  std::filesystem::remove(path);
  return {status, testing::MaskDurations(captured.str()), err.str()};
}

const std::string kFile = ".i 3\n.o 3\n1-- 110\n0-- 111\n-1- 0-1\n";
const std::string kLine1 = "Graph constructing duration: #s\n";

TEST(RunTavro, ArgumentsAndThePassOverAllOutputs) {
  std::ostringstream out, err;
  const char* argv[] = {"tavro"};
  EXPECT_EQ(RunTavro(1, argv, out, err, nullptr), 1);
  EXPECT_EQ(out.str() + "|" + err.str(), "|USAGE: tavro.exe <input PLA file>");

  const std::string answers = kLine1 + "tautology\n-1-\n10-\nTask duration: #s\n";
  const Outcome extra = RunWith(kFile, nullptr, {"ignored.pla", "--verbose"});
  EXPECT_EQ(extra.status, 0);
  EXPECT_EQ(extra.out, answers);

  static std::vector<int32_t> seen;
  const OutputPass record = [](TermGraph& graph, int32_t output) {
    seen.push_back(output);
    if (output == 2) AddCube(graph, "---", "~~1");  // the report reads the graph the pass left
  };
  EXPECT_EQ(RunWith(kFile, record).out, kLine1 + "tautology\n-1-\ntautology\nTask duration: #s\n");
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2}));
}

TEST(RunTavro, ErrorsGoToStandardErrorWithStatusOne) {
  const struct {
    std::string file;  // empty: a missing file
    OutputPass pass;
    std::string out, err;
  } cases[] = {
      {"", nullptr, "", "Cannot open file: " + testing::TempPath("driver.pla").string() + "\n"},
      {".i 1\n.o 1\n1 1\n1 -\n", nullptr, "", "There is a conflict between outputs in PLA file.\n"},
      {".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw "wrong set"; }, kLine1, "wrong set\n"},
      {".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw std::string("two\nlines\n"); }, kLine1, "two\nlines\n"},
      {".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw ""; }, kLine1, "\n"},
      {".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw std::bad_alloc(); }, kLine1, "Out of memory\n"},
      {".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw std::runtime_error("disk on fire"); }, kLine1,
       "disk on fire\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    const Outcome run = RunWith(c.file, c.pass);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

// A stream that refuses every byte, as standard output does on a full disk.
struct RefusingBuffer : std::streambuf {
  int overflow(int) override { return traits_type::eof(); }
};

TEST(RunTavro, ReportThatCannotBeWrittenIsAFailure) {
  RefusingBuffer refusing;
  std::ostream out(&refusing);
  const Outcome run = RunWith(kFile, nullptr, {}, &out);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot write to standard output\n");
}

TEST(WriteDuration, DefaultStreamFormatOfTheDoubleDifference) {
  const struct {
    float from, to;
    const char* text;
  } cases[] = {{1.5f, 1.5f, "0"},           {1.5f, 1.515625f, "0.015625"}, {0.1f, 0.2f, "0.1"},
               {0.0f, 0.00001f, "1e-05"}, {0.0f, 1234567.0f, "1.23457e+06"}};
  for (const auto& c : cases) {
    std::ostringstream out;
    WriteDuration(out, c.from, c.to);
    EXPECT_EQ(out.str(), c.text);
  }
}

}  // namespace
}  // namespace tavro
