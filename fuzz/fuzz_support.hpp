// Shared by the fuzz harnesses: the bound on the work of one input, the
// contract every thrown message must meet, truth tables of small covers, and
// runs on the number of threads an input asks for.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "api/check_outputs.hpp"
#include "graph/term_graph.hpp"
#include "pla/load_pla_file.hpp"
#include "pla/parse_pla.hpp"
#include "pla/pla_lines.hpp"
#include "pla/read_cubes_on_threads.hpp"
#include "tautology/report.hpp"

namespace tavro::fuzz {

// The search may take time exponential in the input count, and every output
// is searched; these bounds keep each input to milliseconds. Functions of
// more than kMaxDenseInputs inputs, up to kMaxInputs (every width of packed
// words: 31 to 33, 63 to 65, 127 to 129), get few cube lines.
inline constexpr int64_t kMaxInputs = 130;
inline constexpr int64_t kMaxDenseInputs = 16;
inline constexpr int64_t kMaxOutputs = 16;
inline constexpr int64_t kMaxCubeLines = 300;
inline constexpr int64_t kMaxWideCubeLines = 24;
// Truth tables are compared up to this many inputs.
inline constexpr int32_t kMaxTableInputs = 10;

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "FUZZ FINDING: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void Expect(bool condition, const std::string& what) {
  if (!condition) Fail(what);
}

/// False for a text that declares more than kMaxInputs inputs or kMaxOutputs
/// outputs on any .i/.o line, or holds more than kMaxCubeLines cube lines, or
/// more than kMaxWideCubeLines when it declares more than kMaxDenseInputs
/// inputs.
inline bool WithinBounds(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  PlaLines lines{text};
  int64_t cubeLines = 0, inputs = 0;
  while (!NoLinesLeft(lines)) {
    std::string_view line = TrimmedLine(TakeLine(lines));
    if (line.empty()) continue;
    if (line.front() == '.') {
      const std::string_view keyword = CutToken(line, kSeparators);
      if (keyword == ".i") {
        inputs = std::max(inputs, CountValue(CutToken(line, kSeparators)));
        if (inputs > kMaxInputs) return false;
      }
      if (keyword == ".o" && CountValue(CutToken(line, kSeparators)) > kMaxOutputs) {
        return false;
      }
    } else if (std::string_view("-01234~").find(line.front()) != std::string_view::npos) {
      if (++cubeLines > kMaxCubeLines) return false;
    }
  }
  return inputs <= kMaxDenseInputs || cubeLines <= kMaxWideCubeLines;
}

/// Where a run stands when an error leaves it; each stage has its own messages.
enum class Stage { kLoad, kReduce, kReport };

inline const char* StageName(Stage stage) {
  switch (stage) {
    case Stage::kLoad: return "loading";
    case Stage::kReduce: return "the reduction";
    case Stage::kReport: return "the report";
  }
  return "";
}

/// Fails unless a plain message text is one that input can cause at this stage.
inline void ExpectPlainMessage(const char* text, Stage stage) {
  Expect(text != nullptr, "null message text");
  const std::string_view message = text;
  const bool conflict = message == "There is a conflict between outputs in PLA file.";
  // A .i or .o line after the first cube changes the lengths the parser
  // checks, and the graph refuses cubes of another length.
  const bool parser =
      message == "wrong size of term inputs" || message == "wrong size of term outputs" ||
      message == "Parser Error: unknown type, this program supports f, fd, fr and fdr only!" ||
      message == "Parser Error: mandatory field 'number of input variables' is missing" ||
      message == "Parser Error: mandatory field 'number of output variables' is missing";
  const bool expected = stage == Stage::kLoad ? conflict || parser : stage == Stage::kReduce && conflict;
  Expect(expected, "unexpected message during " + std::string(StageName(stage)) + ": " + text);
}

/// Fails unless a string-object message is a parser message naming its line.
inline void ExpectStringMessage(const std::string& text, Stage stage) {
  Expect(stage == Stage::kLoad && text.starts_with("Parser Error: ") &&
             text.find("\nLine Number: ") != std::string::npos && text.ends_with("\n"),
         "unexpected message during " + std::string(StageName(stage)) + ": " + text);
}

/// The set of input vectors (bit k of the index = variable k) that the terms
/// of one output list hold, for at most kMaxTableInputs inputs.
using TruthTable = std::vector<bool>;

inline TruthTable TableOf(const TermGraph& graph, int32_t output, char value) {
  const uint32_t vectors = uint32_t{1} << graph.inputCount;
  TruthTable table(vectors, false);
  OutputList(graph, output, value)->ForEach([&](const Term* t) {
    uint32_t care = 0;
    uint32_t ones = 0;
    for (size_t k = 0; k < t->inputs().size(); ++k) {
      const char c = t->inputs()[k];
      if (c == '0' || c == '1') care |= uint32_t{1} << k;
      if (c == '1') ones |= uint32_t{1} << k;
    }
    for (uint32_t v = 0; v < vectors; ++v) {
      if ((v & care) == ones) table[v] = true;
    }
  });
  return table;
}

/// The result text of every output in a report.
inline std::vector<std::string> ReportLines(const std::string& report) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t feed = report.find('\n', start);
    lines.push_back(report.substr(start, feed - start));
    if (feed == std::string::npos) return lines;
    start = feed + 1;
  }
}

/// The number of threads, 1 to 4, that an input asks for: a hash of its
/// bytes, so that the fuzzer's mutations reach every count.
inline int ThreadsOf(std::string_view text) {
  uint32_t hash = 2166136261u;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return 1 + static_cast<int>(hash % 4);
}

/// Parses the text into a fresh graph as ParsePlaText does, on `threads`
/// threads with pieces of a few lines, whatever the text's size, every
/// run of cubes going in as a batch.
inline void ParseOnThreads(std::string_view text, TermGraph& graph, int threads) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  PlaLines lines{text};
  ParsePla(lines, graph, {},
           ReadThreads{.count = threads, .pieceBytes = 64, .leastBytes = 0, .leastBytesAlone = 0, .leastBatch = 1});
}

/// The report of every output decided on `threads` threads (reduced first
/// when `reduce` is set), the threads taken whatever the graph's size, as
/// BuildReport writes it; throws as the one-thread run.
inline std::string ReportOnThreads(TermGraph& graph, bool reduce, int threads) {
  CheckCalls calls;
  calls.threadedTermsAtLeast = 0;
  const DecidedOutputs decided = CheckOutputs(graph, reduce, WitnessChoice::kFirstHole, threads, calls);
  std::string report;
  for (const OutputAnswer& answer : decided.answers) {
    if (&answer != &decided.answers.front()) report += '\n';
    report += AnswerText(graph, answer, decided.literals);
  }
  return report;
}

/// What a run gives: its text, or the message it throws.
template <typename Run>
std::string OutcomeOf(Run run) {
  try {
    return run();
  } catch (const char* message) {
    return message;
  } catch (const std::string& message) {
    return message;
  }
}

/// True for a cube of `inputCount` characters over '0', '1', '-'.
inline bool IsCube(const std::string& text, int32_t inputCount) {
  return text.size() == static_cast<size_t>(inputCount) &&
         text.find_first_not_of("01-") == std::string::npos;
}

}  // namespace tavro::fuzz
