// The driver in process: arguments, the pass over all outputs, thrown values
// of every kind, a report that cannot be written, the duration figures.
#include "driver/run_tavro.hpp"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "graph/current_graph.hpp"
#include "support/program_output.hpp"

namespace tavro {
namespace {

// A stream that refuses every byte, as standard output does on a full disk.
struct RefusingBuffer : std::streambuf {
  int overflow(int) override { return traits_type::eof(); }
};

// Status, standard output (durations masked) and standard error of a run on
// a file of `text` with `more` arguments after it.
std::string RunWith(const std::string& text, OutputPass pass = nullptr, const char* more = nullptr,
                    bool refuse = false) {
  const std::string path = testing::TempPath("driver.pla");
  std::ofstream(path) << text;
  const char* argv[] = {"tavro", path.c_str(), more};
  std::ostringstream out, err;
  RefusingBuffer refusing;
  std::ostream refused(&refusing);
  const int status = RunTavro(more ? 3 : 2, argv, refuse ? refused : out, err, pass);
  delete CurrentGraph();  // each run leaves its graph there
  CurrentGraph() = nullptr;
  std::filesystem::remove(path);
  return std::to_string(status) + "|" + testing::MaskDurations(out.str()) + "|" + err.str();
}

const std::string kFile = ".i 3\n.o 3\n1-- 110\n0-- 111\n-1- 0-1\n", kLine1 = "Graph constructing duration: #s\n";

TEST(RunTavro, ArgumentsAndThePassOverAllOutputs) {
  std::ostringstream out, err;
  const char* argv[] = {"tavro"};
  EXPECT_EQ(RunTavro(1, argv, out, err, nullptr), 1);
  EXPECT_EQ(out.str() + "|" + err.str(), "|USAGE: tavro.exe <input PLA file>");
  EXPECT_EQ(RunWith(kFile, nullptr, "--ignored"), "0|" + kLine1 + "tautology\n-1-\n10-\nTask duration: #s\n|");
  static std::vector<int32_t> seen;
  const OutputPass record = [](TermGraph& graph, int32_t output) {
    seen.push_back(output);
    if (output == 2) AddCube(graph, "---", "~~1");  // the report reads the graph the pass left
  };
  EXPECT_EQ(RunWith(kFile, record), "0|" + kLine1 + "tautology\n-1-\ntautology\nTask duration: #s\n|");
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(RunWith(kFile, nullptr, nullptr, true), "1||Cannot write to standard output\n");
}

TEST(RunTavro, ErrorsAfterLoadingGoToStandardErrorWithStatusOne) {
  const std::pair<OutputPass, std::string> cases[] = {
      {[](TermGraph&, int32_t) { throw "wrong set"; }, "wrong set\n"},
      {[](TermGraph&, int32_t) { throw std::string("two\nlines\n"); }, "two\nlines\n"},
      {[](TermGraph&, int32_t) { throw ""; }, "\n"},
      {[](TermGraph&, int32_t) { throw std::bad_alloc(); }, "Out of memory\n"},
      {[](TermGraph&, int32_t) { throw std::runtime_error("disk on fire"); }, "disk on fire\n"},
  };
  for (const auto& [pass, err] : cases) EXPECT_EQ(RunWith(kFile, pass), "1|" + kLine1 + "|" + err);
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
