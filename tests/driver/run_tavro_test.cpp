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

using testing::MaskDurations;
using RunResult = testing::ProgramResult;
using testing::TempPath;
using testing::WriteFile;

// Runs the program in process; each run leaves its graph in CurrentGraph,
// released here so that repeated runs do not pile up.
class RunTavroTest : public ::testing::Test {
 protected:
  void TearDown() override {
    delete CurrentGraph();
    CurrentGraph() = nullptr;
    for (const auto& path : files_) std::filesystem::remove(path);
  }

  std::string File(const std::string& name, const std::string& text) {
    files_.push_back(TempPath(name));
    WriteFile(files_.back(), text);
    return files_.back().string();
  }

  RunResult RunWith(std::vector<std::string> args, OutputPass pass = nullptr) {
    std::vector<const char*> argv{"tavro"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int status = RunTavro(static_cast<int>(argv.size()), argv.data(), out, err, pass);
    delete CurrentGraph();
    CurrentGraph() = nullptr;
    return {status, out.str(), err.str()};
  }

  std::vector<std::filesystem::path> files_;
};

const char kThreeOutputs[] =
    "# three outputs\n"
    ".i 3\n.o 3\n"
    "1-- 110\n"
    "0-- 111\n"
    "-1- 0-1\n"
    ".e\n";

TEST_F(RunTavroTest, UsageWithoutArgument) {
  const RunResult run = RunWith({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "USAGE: tavro.exe <input PLA file>");
}

TEST_F(RunTavroTest, ThreeOutputsGiveFiveLines) {
  const RunResult run = RunWith({File("three.pla", kThreeOutputs)});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(MaskDurations(run.out),
            "Graph constructing duration: #s\n"
            "tautology\n"
            "-1-\n"
            "10-\n"
            "Task duration: #s\n");
}

TEST_F(RunTavroTest, ArgumentsAfterTheFileAreIgnored) {
  const std::string file = File("extra.pla", kThreeOutputs);
  const RunResult alone = RunWith({file});
  const RunResult extra = RunWith({file, "ignored.pla", "--verbose"});
  EXPECT_EQ(extra.status, 0);
  EXPECT_EQ(MaskDurations(extra.out), MaskDurations(alone.out));
}

TEST_F(RunTavroTest, TaskDurationIncludesConstruction) {
  const RunResult run = RunWith({File("durations.pla", kThreeOutputs)});
  std::istringstream lines(run.out);
  std::string line;
  std::vector<double> figures;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(": ");
    if (line.find("duration: ") != std::string::npos) figures.push_back(std::stod(line.substr(colon + 2)));
  }
  ASSERT_EQ(figures.size(), 2u);
  EXPECT_GE(figures[0], 0.0);
  EXPECT_GE(figures[1], figures[0]);
}

TEST_F(RunTavroTest, PassRunsOnEveryOutputInOrderBeforeTheReport) {
  static std::vector<int32_t> seen;
  seen.clear();
  const OutputPass record = [](TermGraph& graph, int32_t output) {
    seen.push_back(output);
    // The report reads the graph as the pass left it.
    if (output == 2) AddCube(graph, "---", "~~1");
  };
  const RunResult run = RunWith({File("pass.pla", kThreeOutputs)}, record);
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(MaskDurations(run.out),
            "Graph constructing duration: #s\ntautology\n-1-\ntautology\nTask duration: #s\n");
}

struct ErrorCase {
  const char* name;
  const char* file;  // contents; nullptr for a missing file
  OutputPass pass;
  std::string out;   // masked
  std::string err;   // "<path>" stands for the file's path
};

const std::string kLine1 = "Graph constructing duration: #s\n";

const ErrorCase kErrors[] = {
    {"missing file", nullptr, nullptr, "", "Cannot open file: <path>\n"},
    {"parser error ending with a line feed", ".i 2\n.o 1\n011 1\n", nullptr, "",
     "Parser Error: Incorrect number of inputs in PLA file.\nLine Number: 3\n"},
    {"empty file", "", nullptr, "", "Parser Error: mandatory field 'number of input variables' is missing\n"},
    {"plain text gets a line feed", ".i 1\n.o 1\n1 1\n1 -\n", nullptr, "",
     "There is a conflict between outputs in PLA file.\n"},
    {"plain text after loading", ".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw "wrong set"; },
     kLine1, "wrong set\n"},
    {"string object after loading", ".i 1\n.o 1\n1 1\n",
     [](TermGraph&, int32_t) { throw std::string("two\nlines\n"); }, kLine1, "two\nlines\n"},
    {"empty text", ".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw ""; }, kLine1, "\n"},
    {"memory", ".i 1\n.o 1\n1 1\n", [](TermGraph&, int32_t) { throw std::bad_alloc(); }, kLine1,
     "Out of memory\n"},
    {"other exception", ".i 1\n.o 1\n1 1\n",
     [](TermGraph&, int32_t) { throw std::runtime_error("disk on fire"); }, kLine1, "disk on fire\n"},
};

TEST_F(RunTavroTest, ErrorsGoToStandardErrorWithStatusOne) {
  for (const ErrorCase& c : kErrors) {
    SCOPED_TRACE(c.name);
    const std::string path =
        c.file != nullptr ? File("error.pla", c.file) : TempPath("missing.pla").string();
    const RunResult run = RunWith({path}, c.pass);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(MaskDurations(run.out), c.out);
    std::string err = c.err;
    if (const size_t at = err.find("<path>"); at != std::string::npos) err.replace(at, 6, path);
    EXPECT_EQ(run.err, err);
  }
}

// A stream that refuses every byte, as standard output does on a full disk.
class RefusingBuffer : public std::streambuf {
 protected:
  int overflow(int) override { return traits_type::eof(); }
};

TEST_F(RunTavroTest, ReportThatCannotBeWrittenIsAFailure) {
  const std::string path = File("refused.pla", kThreeOutputs);
  const char* argv[] = {"tavro", path.c_str()};
  RefusingBuffer refusing;
  std::ostream out(&refusing);
  std::ostringstream err;
  EXPECT_EQ(RunTavro(2, argv, out, err, nullptr), 1);
  EXPECT_EQ(err.str(), "Cannot write to standard output\n");
}

TEST(WriteDuration, DefaultStreamFormatOfTheDoubleDifference) {
  struct Case {
    float from, to;
    const char* text;
  };
  const Case cases[] = {
      {0.0f, 0.0f, "0"},
      {1.5f, 1.5f, "0"},
      {1.5f, 1.515625f, "0.015625"},
      {0.1f, 0.2f, "0.1"},  // 0.100000001490116 in double
      {0.0f, 0.00001f, "1e-05"},
      {0.0f, 1234567.0f, "1.23457e+06"},
      {2.0f, 125.5f, "123.5"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    WriteDuration(out, c.from, c.to);
    EXPECT_EQ(out.str(), c.text);
  }
}

}  // namespace
}  // namespace tavro
