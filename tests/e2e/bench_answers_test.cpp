// Both programs on every accepted benchmark file (pla/, pla/fr/, reflowed/,
// derived/),
// each result line checked against the answer key expected.tsv and against
// the file's cubes as parsed (no reduction):
//   T  "tautology";
//   N  a cube that meets no ON cube of the output;
//   O  a cube inside the output's OFF set, and for tavro-direct exactly the
//      first OFF cube of the file (the reduction keeps the set, not the cube);
//   D  the same for the don't-care set.
// Each program runs as it is and with --any-witness, whose cubes must meet no
// ON cube either. pla/b12_split.pla runs only with --any-witness: its output 5
// (32768 minterms over 15 inputs) takes the search beyond 10^10 branches,
// hours of CPU time.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <tuple>

#include "pla/load_pla_file.hpp"
#include "support/bench_key.hpp"
#include "support/brute_force.hpp"
#include "support/program_output.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::CubeCoveredBy;
using testing::CubesMeet;
using testing::OutputCubes;
using testing::RunProgram;

using testing::kBench;

struct Row {
  std::string file;  // relative to the bench folder
  std::string answers;
  bool searchTooLong = false;
};

std::vector<Row> AnswerKey() {
  std::vector<Row> rows;
  for (const testing::KeyRow& row : testing::ReadAnswerKey()) {
    if (row.fields.size() < 6) continue;  // refused files carry their error instead
    if (row.path.rfind("deviant/", 0) == 0) continue;
    rows.push_back({row.path, row.fields[5], row.path == "pla/b12_split.pla"});
  }
  return rows;
}

/// The file loaded into a graph of its own, as the parser leaves it.
std::unique_ptr<TermGraph> LoadAsParsed(const fs::path& path) {
  auto graph = std::make_unique<TermGraph>();
  LoadPlaFileInto(path.string(), *graph);
  return graph;
}

std::vector<std::string> ResultLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (lines.size() < 2) return {};
  return {lines.begin() + 1, lines.end() - 1};  // without the two durations
}

/// Empty when `result` is a right answer of kind `answer` for the output.
std::string CheckAnswer(const TermGraph& g, int32_t output, char answer, const std::string& result,
                        bool direct) {
  if (answer == 'T') return result == "tautology" ? "" : "expected tautology";
  if (result.size() != static_cast<size_t>(g.inputCount) ||
      result.find_first_not_of("01-") != std::string::npos) {
    return "not a cube";
  }
  if (answer == 'N') {
    for (const std::string& on : OutputCubes(g, output, '1')) {
      if (CubesMeet(on, result)) return "meets ON cube " + on;
    }
    return "";
  }
  const std::vector<std::string> set = OutputCubes(g, output, answer == 'O' ? '0' : '-');
  if (set.empty()) return "the output has no such cube";
  if (direct) return result == set.front() ? "" : "expected the first cube " + set.front();
  return CubeCoveredBy(result, set) ? "" : "not inside the set";
}

TEST(BenchAnswers, BothProgramsOnEveryAcceptedFile) {
  if (!fs::exists(kBench / "expected.tsv")) GTEST_SKIP() << "no benchmark folder";
#if defined(TAVRO_BIN) && defined(TAVRO_DIRECT_BIN)
  const std::vector<Row> key = AnswerKey();
  ASSERT_FALSE(key.empty());
  for (const Row& row : key) {
    SCOPED_TRACE(row.file);
    const fs::path path = kBench / row.file;
    const std::unique_ptr<TermGraph> g = LoadAsParsed(path);
    ASSERT_EQ(static_cast<size_t>(g->outputCount), row.answers.size());
    for (const auto& [program, direct, option] :
         {std::tuple{TAVRO_BIN, false, ""}, {TAVRO_DIRECT_BIN, true, ""},
          {TAVRO_BIN, false, "--any-witness"}, {TAVRO_DIRECT_BIN, true, "--any-witness"}}) {
      if (row.searchTooLong && *option == '\0') continue;
      SCOPED_TRACE(std::string(program) + " " + option);
      const auto run = RunProgram(program, *option == '\0' ? std::vector<std::string>{path.string()}
                                                           : std::vector<std::string>{option, path.string()});
      ASSERT_EQ(run.status, 0) << run.err;
      const std::vector<std::string> results = ResultLines(run.out);
      ASSERT_EQ(results.size(), row.answers.size());
      for (int32_t o = 0; o < g->outputCount; ++o) {
        const size_t k = static_cast<size_t>(o);
        EXPECT_EQ(CheckAnswer(*g, o, row.answers[k], results[k], direct), "")
            << "output " << o << ": " << row.answers[k] << " " << results[k];
      }
    }
  }
#else
  GTEST_SKIP() << "programs not built";
#endif
}

}  // namespace
}  // namespace tavro
