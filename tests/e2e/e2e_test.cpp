// Both programs run as child processes on inputs from files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pla/load_pla_file.hpp"
#include "pla/pla_lines.hpp"
#include "support/brute_force.hpp"
#include "support/program_output.hpp"
#include "support/rounds.hpp"

namespace tavro {
namespace {

namespace fs = std::filesystem;
using testing::OutputCubes;
using testing::Programs;
using testing::ReadFile;

// Golden cases: every tests/e2e/<case>.pla is run by both programs, from this
// folder; stdout must equal <case>.out with the durations masked, stderr
// <case>.err, and the exit status <case>.status (when absent: 1 when an error
// text is expected, else 0; absent texts are empty). Where the reduction
// changes a witness, <case>.full.out (tavro) or <case>.direct.out
// (tavro-direct) takes the place of <case>.out.
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

// Inputs too large or too odd for golden files, run through both programs:
// lines of 24 MiB (six of the blocks the file is read in), functions beyond a memory limit (as on a smaller
// machine), paths that are no plain file. Each must end with its result or
// message and status, none may crash or hang (each run is killed after 120 s).
TEST(BadInput, EachEndsWithItsResultOrMessage) {
  if (testing::Programs().empty()) GTEST_SKIP() << "programs not built";
  const std::string line1 = "Graph constructing duration: #s\n", noInputs =
      "Parser Error: mandatory field 'number of input variables' is missing\n";
  const std::string unreadable = "Parser Error: Incorrect input PLA file.\nLine Number: 1\nLine Copy: ";
  const std::string huge(size_t{24} << 20, 'x');
  const std::string folder = testing::TempPath("folder.pla"), fifo = testing::TempPath("fifo.pla");
  const std::string locked = testing::TempPath("locked.pla");
  fs::create_directory(folder);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // nobody writes to it: it reads as empty
  std::ofstream(locked) << ".i 1\n.o 1\n1 1\n";
  ::chmod(locked.c_str(), 0);
  struct Case {
    std::string path, text, out, err;  // `text` is written to `path` first unless empty
    long memoryKiB = 0;
  };
  std::vector<Case> cases = {
      {testing::TempPath("zeros.pla"), std::string(huge.size(), '0'), "", noInputs},
      {testing::TempPath("comment.pla"), ".i 3\n.o 1\n#" + huge + "\n101 1\n", line1 + "0--\nTask duration: #s\n", ""},
      {testing::TempPath("letters.pla"), huge, "", unreadable + huge + "\n"},
      {folder, "", "", "Cannot open file: " + folder + "\n"},
      {folder + "/missing.pla", "", "", "Cannot open file: " + folder + "/missing.pla\n"},
      {fifo, "", "", noInputs},
  };
  if (::geteuid() != 0) cases.push_back({locked, "", "", "Cannot open file: " + locked + "\n"});  // root reads anyway
#if !TAVRO_SANITIZE_BUILD  // AddressSanitizer reserves far more address space than these limits
  const std::string oom = "Out of memory\n";
  cases.push_back({testing::TempPath("outputs.pla"), ".i 1\n.o 100000000\n", "", oom, 1 << 20});
  cases.push_back({testing::TempPath("inputs.pla"), ".i 2000000000\n.o 1\n", "", oom, 1 << 20});
  cases.push_back({"/dev/zero", "", "", oom, 256 << 10});
  // Counts far beyond what the lines hold: refused at the first cube line,
  // in little memory, on one thread and on several (the file of many lines).
  const std::string shortLine = "Parser Error: Incorrect number of inputs in PLA file.\nLine Number: 3\n";
  cases.push_back({testing::TempPath("counts.pla"), ".i 2147483647\n.o 2147483647\n1 1\n", "", shortLine, 256 << 10});
  std::string manyLines = ".i 1000000000\n.o 1\n";
  for (int i = 0; i < 1000000; ++i) manyLines += "0 1\n";
  cases.push_back({testing::TempPath("count-lines.pla"), manyLines, "", shortLine, 256 << 10});
#endif
  for (Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (!c.text.empty()) std::ofstream(c.path, std::ios::binary) << c.text;
    c.text = std::string();
    const std::string limits = c.memoryKiB > 0 ? "ulimit -v " + std::to_string(c.memoryKiB) + " &&" : "";
    for (const std::string& program : testing::Programs()) {
      const auto run = testing::RunProgram(program, {c.path}, limits + " exec timeout -s KILL 120");
      EXPECT_EQ(run.status, c.err.empty() ? 0 : 1) << program;
      EXPECT_EQ(testing::MaskDurations(run.out), c.out) << program;
      EXPECT_TRUE(run.err == c.err) << program << ": " << run.err.substr(0, 300);
    }
    if (c.path != "/dev/zero") fs::remove(c.path);
  }
  fs::remove(locked);
}

// Both programs on every file of the benchmark answer key ../shared/bench/expected.tsv
// (skipped when absent). Rows read "path type inputs outputs cube_lines terms
// answers", or "path REJECT <kind> line <n> <message>" (kind 9 adds a copy of
// the line). A refused file must end with status 1 and its message; for an
// accepted one the graph as parsed must have the listed sizes, and each result
// line must be right for its cubes:
//   T "tautology"; N a cube meeting no ON cube; O (D) a cube inside the OFF
//   (don't-care) set, and for tavro-direct exactly its first cube in the file.
// Each program runs as it is and with --any-witness. pla/b12_split.pla runs in
// tavro-direct only with --any-witness: without the reduction, its output 5
// (32768 minterms over 15 inputs) takes the exact search hours.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// Empty when `result` is a right answer of kind `answer` for the output.
std::string CheckAnswer(const TermGraph& g, int32_t output, char answer, const std::string& result, bool direct) {
  if (answer == 'T' || result == "tautology") return result == "tautology" && answer == 'T' ? "" : "wrong kind";
  if (result.size() != static_cast<size_t>(g.inputCount) || result.find_first_not_of("01-") != std::string::npos) {
    return "not a cube";
  }
  const std::vector<std::string> set = OutputCubes(g, output, answer == 'N' ? '1' : answer == 'O' ? '0' : '-');
  if (answer == 'N') {
    return std::none_of(set.begin(), set.end(), [&](auto& on) { return testing::CubesMeet(on, result); })
               ? "" : "meets an ON cube";
  }
  if (set.empty() || (direct && result != set.front())) return "not the first cube of the set";
  return testing::CubeCoveredBy(result, set) ? "" : "not inside the set";
}

// A file of 6 MB, read in pieces on several threads, with a bad character in
// a late piece and a short line further on: on every thread count the first
// error in file order, its line and status, and nothing on standard output;
// the same file without the errors gives the same lines on every count.
TEST(BadInput, ErrorsInLatePiecesOfALargeFileAsOnOneThread) {
  if (testing::Programs().empty()) GTEST_SKIP() << "programs not built";
  std::mt19937 random(41);
  std::vector<std::string> lines = {".i 40", ".o 8"};
  for (int i = 0; i < 120000; ++i) {
    std::string line;
    for (int k = 0; k < 40; ++k) line += "01-"[random() % 3];
    line += ' ';
    for (int k = 0; k < 8; ++k) line += "01~"[random() % 3];
    lines.push_back(line);
  }
  const std::string sound = testing::TempPath("sound.pla").string(), broken = testing::TempPath("broken.pla").string();
  auto write = [](const std::string& path, const std::vector<std::string>& all) {
    std::ofstream out(path, std::ios::binary);
    for (const std::string& line : all) out << line << '\n';
  };
  write(sound, lines);
  lines[80000][10] = 'x';
  lines[100000].resize(45);
  write(broken, lines);
  for (const std::string& program : testing::Programs()) {
    const auto brokenOnOne = testing::RunProgram(program, {"-j", "1", broken});
    EXPECT_EQ(brokenOnOne.status, 1);
    EXPECT_NE(brokenOnOne.err.find("Line Number: 80001\n"), std::string::npos) << brokenOnOne.err;
    const std::string soundOnOne = testing::MaskDurations(testing::RunProgram(program, {"-j", "1", sound}).out);
    for (const std::string threads : {"2", "3", "8"}) {
      const auto run = testing::RunProgram(program, {"-j", threads, broken});
      EXPECT_EQ(std::to_string(run.status) + run.out + run.err, "1" + brokenOnOne.err) << program << " -j " << threads;
      EXPECT_EQ(testing::MaskDurations(testing::RunProgram(program, {"-j", threads, sound}).out), soundOnOne);
    }
  }
  fs::remove(sound);
  fs::remove(broken);
}

TEST(Bench, BothProgramsOnEveryFileOfTheAnswerKey) {
  const std::filesystem::path bench = std::filesystem::path(TAVRO_SOURCE_DIR) / ".." / "shared" / "bench";
  if (testing::Programs().empty() || !exists(bench / "expected.tsv")) GTEST_SKIP() << "no programs or no bench";
  int rows = 0;
  for (const std::string& row : Lines(testing::ReadFile(bench / "expected.tsv"))) {
    std::istringstream cells(row);
    std::string file, type, kind, message, answers;
    if (!(cells >> file >> type) || file[0] == '#') continue;
    SCOPED_TRACE(file);
    const std::string path = (bench / file).string();
    if (++rows % testing::kRoundShare != 0) continue;  // sanitized builds run every eighth file
    if (type == "REJECT") {
      size_t line = 0;
      cells >> kind >> message >> line >> std::ws;
      std::getline(cells, message);
      if (kind != "conflict") message += "\nLine Number: " + std::to_string(line);
      if (kind == "9") message += "\nLine Copy: " + std::string(TrimmedLine(Lines(testing::ReadFile(path))[line - 1]));
      for (const std::string& program : testing::Programs()) {
        const auto run = testing::RunProgram(program, {path});
        EXPECT_EQ(std::to_string(run.status) + " " + run.err, "1 " + message + "\n") << program;
      }
      continue;
    }
    std::string inputs, outputs, cubeLines, terms;
    cells >> inputs >> outputs >> cubeLines >> terms >> answers;
    TermGraph g;
    LoadPlaFileInto(path, g);
    const std::string types[] = {"", "f", "fd", "fr", "fdr"};
    ASSERT_EQ(types[g.type] + " " + std::to_string(g.inputCount) + " " + std::to_string(g.outputCount) + " " +
                  std::to_string(g.termCount),
              type + " " + inputs + " " + outputs + " " + terms);
    for (const std::string& program : testing::Programs()) {
      const bool direct = program == testing::Programs().back();
      for (const std::string option : {"", "--any-witness"}) {
        if (direct && option.empty() && file == "pla/b12_split.pla") continue;
        const auto run = testing::RunProgram(program, option.empty() ? std::vector<std::string>{path}
                                                                     : std::vector<std::string>{option, path});
        const std::vector<std::string> results = Lines(run.out);
        ASSERT_EQ(run.status, 0) << program << option << run.err;
        ASSERT_EQ(results.size(), answers.size() + 2) << program << option;
        for (int32_t o = 0; o < g.outputCount; ++o) {
          const size_t k = static_cast<size_t>(o);
          EXPECT_EQ(CheckAnswer(g, o, answers[k], results[k + 1], direct), "")
              << program << option << " output " << o << ": " << answers[k] << " " << results[k + 1];
        }
      }
    }
  }
  EXPECT_GT(rows, 200);
}

}  // namespace
}  // namespace tavro
