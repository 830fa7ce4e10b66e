// Both programs on every benchmark file of the answer key ../shared/bench/expected.tsv
// (skipped when the folder is absent). A refused file must end with status 1
// and the listed message; for an accepted one the parsed graph must have the
// listed type, sizes and term count, and each result line must be right for
// the file's cubes as parsed:
//   T  "tautology";
//   N  a cube that meets no ON cube of the output;
//   O  a cube inside the output's OFF set, and for tavro-direct exactly the
//      first OFF cube of the file (the reduction keeps the set, not the cube);
//   D  the same for the don't-care set.
// pla/b12_split.pla runs in the full build only: without the reduction its
// output 5 (32768 minterms over 15 inputs) takes the search hours.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "pla/load_pla_file.hpp"
#include "support/brute_force.hpp"
#include "support/graph_verifier.hpp"
#include "support/program_output.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::OutputCubes;

const fs::path kBench = fs::path(TAVRO_SOURCE_DIR) / ".." / "shared" / "bench";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// Empty when `result` is a right answer of kind `answer` for the output.
std::string CheckAnswer(const TermGraph& g, int32_t output, char answer, const std::string& result, bool direct) {
  if (answer == 'T') return result == "tautology" ? "" : "expected tautology";
  if (result.size() != static_cast<size_t>(g.inputCount) || result.find_first_not_of("01-") != std::string::npos) {
    return "not a cube";
  }
  if (answer == 'N') {
    for (const std::string& on : OutputCubes(g, output, '1')) {
      if (testing::CubesMeet(on, result)) return "meets ON cube " + on;
    }
    return "";
  }
  const std::vector<std::string> set = OutputCubes(g, output, answer == 'O' ? '0' : '-');
  if (set.empty()) return "the output has no such cube";
  if (direct) return result == set.front() ? "" : "expected the first cube " + set.front();
  return testing::CubeCoveredBy(result, set) ? "" : "not inside the set";
}

// A row is "path type inputs outputs cube_lines terms answers", or
// "path REJECT <kind> line <number> <message>" where kind 9 adds a copy of the line.
TEST(Bench, BothProgramsOnEveryFileOfTheAnswerKey) {
  if (testing::Programs().empty()) GTEST_SKIP() << "programs not built";
  if (!fs::exists(kBench / "expected.tsv")) GTEST_SKIP() << "no benchmark folder";
  int rows = 0;
  for (const std::string& line : Lines(testing::ReadFile(kBench / "expected.tsv"))) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream cells(line);
    std::string file, type, kind, lineWord, message, answers;
    cells >> file >> type;
    SCOPED_TRACE(file);
    const std::string path = (kBench / file).string();
    ++rows;
    if (type == "REJECT") {
      size_t number = 0;
      cells >> kind >> lineWord >> number >> std::ws;
      std::getline(cells, message);
      if (kind != "conflict") message += "\nLine Number: " + std::to_string(number);
      if (kind == "9") message += "\nLine Copy: " + std::string(TrimmedLine(Lines(testing::ReadFile(path))[number - 1]));
      for (const std::string& program : testing::Programs()) {
        const auto run = testing::RunProgram(program, {path});
        EXPECT_EQ(run.status, 1) << program;
        EXPECT_EQ(run.err, message + "\n") << program;
      }
      continue;
    }
    int32_t inputs = 0, outputs = 0, cubeLines = 0, terms = 0;
    cells >> inputs >> outputs >> cubeLines >> terms >> answers;
    TermGraph g;
    LoadPlaFileInto(path, g);
    const char* types[] = {"", "f", "fd", "fr", "fdr"};
    EXPECT_EQ(types[g.type], type);
    EXPECT_EQ(g.inputCount, inputs);
    EXPECT_EQ(g.outputCount, outputs);
    EXPECT_EQ(g.termCount, terms);
    if (g.termCount <= 1500) {
      EXPECT_EQ(testing::VerifyGraph(g), "");
    }
    for (const std::string& program : testing::Programs()) {
      const bool direct = program == testing::Programs().back();
      if (direct && file == "pla/b12_split.pla") continue;
      const auto run = testing::RunProgram(program, {path});
      ASSERT_EQ(run.status, 0) << program << run.err;
      EXPECT_EQ(run.err, "");
      const std::vector<std::string> results = Lines(run.out);
      ASSERT_EQ(results.size(), answers.size() + 2) << program;
      for (int32_t o = 0; o < outputs; ++o) {
        const size_t k = static_cast<size_t>(o);
        EXPECT_EQ(CheckAnswer(g, o, answers[k], results[k + 1], direct), "")
            << program << " output " << o << ": " << answers[k] << " " << results[k + 1];
      }
    }
  }
  EXPECT_GT(rows, 200);
}

}  // namespace
}  // namespace tavro
