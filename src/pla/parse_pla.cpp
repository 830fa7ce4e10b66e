// The PLA parser: comment, keyword and cube lines, checked and mapped onto
// the characters the term graph stores, then handed to AddCube in file order.
#include "pla/parse_pla.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "common/progress_hook.hpp"
#include "pla/cube_chars.hpp"
#include "pla/pla_lines.hpp"

namespace tavro {
namespace {

constexpr std::string_view kInputCountNotSet =
    "Parser Error: Number of input variables is not set correctly.\n";
constexpr std::string_view kOutputCountNotSet =
    "Parser Error: Number of output variables is not set correctly.\n";
constexpr std::string_view kWrongInputLength = "Parser Error: Incorrect number of inputs in PLA file.\n";
constexpr std::string_view kWrongOutputLength = "Parser Error: Incorrect number of outputs PLA file.\n";
constexpr std::string_view kUnreadableLine = "Parser Error: Incorrect input PLA file.\n";
constexpr std::string_view kWrongCharacter = "Parser Error: Incorrect character in PLA file.\n";
constexpr const char* kUnknownType = "Parser Error: unknown type, this program supports f, fd, fr and fdr only!";

// How many lines ahead a cube line's lookup is started (PrefetchCubeAhead).
constexpr int kLinesAhead = 2;

struct ParserState {
  int64_t lineNumber = 0;
  int32_t inputCount = -1;   // -1 until a .i line
  int32_t outputCount = -1;  // -1 until a .o line
  int32_t type = 0;          // 0 until a .type line or the graph starts
  std::string inputLabels;
  std::string outputLabels;
  bool graphPending = true;
  std::string inputs;  // reused for every cube
  std::string outputs;
  // The input parts of the cube lines ahead, packed by their prefetch, by
  // line number modulo kLinesAhead: each with the line number and the address
  // of the text it was packed from.
  struct Ahead {
    PackedInputPart part;
    int64_t line = 0;
    const char* at = nullptr;
  };
  Ahead ahead[kLinesAhead];
  ProgressHook progress;  // told of the lines taken every kProgressStride
};

// Every parser message that names its line is built here; lines the parser
// cannot read are also copied into it.
[[noreturn]] void ThrowAtLine(std::string_view message, int64_t lineNumber,
                              std::optional<std::string_view> lineCopy = std::nullopt) {
  std::string text(message);
  text += "Line Number: ";
  text += std::to_string(lineNumber);
  text += '\n';
  if (lineCopy) {
    text += "Line Copy: ";
    text += *lineCopy;
    text += '\n';
  }
  throw PlaLineError(std::move(text), lineNumber);
}

// A count of 0 or less, or one too large to hold, is refused.
int32_t ReadCount(std::string_view token, std::string_view message, int64_t lineNumber) {
  const int64_t value = CountValue(token);
  if (value <= 0 || value > std::numeric_limits<int32_t>::max()) ThrowAtLine(message, lineNumber);
  return static_cast<int32_t>(value);
}

void ReadKeywordLine(std::string_view rest, ParserState& state) {
  const std::string_view keyword = CutToken(rest, kSeparators);
  if (keyword == ".ilb") {
    state.inputLabels = rest;
  } else if (keyword == ".ob") {
    state.outputLabels = rest;
  } else if (keyword == ".i") {
    state.inputCount = ReadCount(CutToken(rest, kSeparators), kInputCountNotSet, state.lineNumber);
  } else if (keyword == ".o") {
    state.outputCount = ReadCount(CutToken(rest, kSeparators), kOutputCountNotSet, state.lineNumber);
  } else if (keyword == ".type") {
    const int32_t type = PlaTypeNamed(CutToken(rest, kSeparators));
    if (type == 0) throw kUnknownType;
    state.type = type;
  }
}

// Both counts must be given before the graph can start.
void RequireCounts(const ParserState& state) {
  if (state.inputCount == -1) throw "Parser Error: mandatory field 'number of input variables' is missing";
  if (state.outputCount == -1) throw "Parser Error: mandatory field 'number of output variables' is missing";
}

// A cube line takes at least one byte per input and output and a separator,
// which bounds the number of terms the text left can add; the term index is
// sized once for them instead of growing step by step (each growth rereads
// it whole, and holds the old table beside the new one). A text of mostly
// other lines claims at most one term per 32 of its bytes beyond a few
// million terms: about 12 bytes of index (entry and filter) per term, so an
// index of at most 0.4 times the text's size.
void StartGraph(TermGraph& graph, ParserState& state, size_t bytesLeft) {
  constexpr uint64_t kReservedTermsAnyway = uint64_t{1} << 22;
  constexpr uint64_t kBytesPerReservedTerm = 32;
  if (state.type == 0) state.type = kTypeFd;
  InitGraph(graph, state.type, state.inputCount, state.outputCount, state.inputLabels,
            state.outputLabels);
  const uint64_t shortestCubeLine = uint64_t{static_cast<uint32_t>(state.inputCount)} +
                                    static_cast<uint32_t>(state.outputCount) + 1;
  const uint64_t termsAtMost = bytesLeft / shortestCubeLine + 1;
  const uint64_t limit = std::max<uint64_t>(kReservedTermsAnyway, bytesLeft / kBytesPerReservedTerm);
  ReserveTerms(graph, static_cast<size_t>(std::min(termsAtMost, limit)));
  state.graphPending = false;
}

// The counts are checked before the graph starts, the lengths before it is
// given any storage, and the characters before anything reaches the graph.
void ReadCubeLine(std::string_view line, size_t bytesLeft, TermGraph& graph, ParserState& state) {
  if (state.graphPending) RequireCounts(state);
  const int32_t type = state.type == 0 ? int32_t{kTypeFd} : state.type;
  const size_t inputCount = static_cast<size_t>(state.inputCount);
  const size_t outputCount = static_cast<size_t>(state.outputCount);
  CubeLineParts parts;
  switch (CutCubeLine(line, inputCount, outputCount, parts)) {
    case CubeLineFault::kNone:
      break;
    case CubeLineFault::kInputLength:
      ThrowAtLine(kWrongInputLength, state.lineNumber);
    case CubeLineFault::kOutputLength:
      ThrowAtLine(kWrongOutputLength, state.lineNumber);
  }
  state.inputs.resize(inputCount);
  state.outputs.resize(outputCount);
  if (!MapCubeParts(parts, kOutputMaps[static_cast<size_t>(type)], state.inputs.data(), state.outputs.data())) {
    ThrowAtLine(kWrongCharacter, state.lineNumber, line);
  }
  // The part packed ahead serves when it was packed from this very line and
  // is pure (the line begins with its input part).
  const ParserState::Ahead& ahead = state.ahead[state.lineNumber % kLinesAhead];
  const bool packedAhead = parts.pure && ahead.line == state.lineNumber && ahead.at == line.data() && ahead.part.pure;
  if (state.graphPending) StartGraph(graph, state, bytesLeft);
  AddCube(graph, state.inputs, state.outputs, packedAhead ? &ahead.part : nullptr);
}

// A file of cubes spends most of its loading time waiting for the term
// index's memory; the lookup of the cube `kLinesAhead` lines further on is
// started now. Lines that are no plain cube lines only waste the hint.
void PrefetchCubeAhead(const PlaLines& lines, const TermGraph& graph, ParserState& state) {
  if (state.graphPending) return;
  std::string_view text = lines.text;
  for (int i = 1; i < kLinesAhead; ++i) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
  const size_t length = static_cast<size_t>(state.inputCount);
  if (text.size() <= length || (text[0] != '0' && text[0] != '1' && text[0] != '-')) return;
  const int64_t line = state.lineNumber + kLinesAhead;
  ParserState::Ahead& ahead = state.ahead[line % kLinesAhead];
  PrefetchInputPart(graph, text.substr(0, length), ahead.part);
  ahead.line = line;
  ahead.at = text.data();
}

// The lines after the first cube line on several threads, block by block,
// until they end or a line stops the read; the parser takes that line and
// every later one itself.
void ReadRestOnThreads(PlaLines& lines, TermGraph& graph, ParserState& state, const ReadThreads& threads) {
  const CubeRules rules{state.inputCount, state.outputCount, state.type};
  PieceBuffers buffers;
  while (!NoLinesLeft(lines)) {
    const CubesRead read =
        ReadCubesOnThreads(lines.text, state.lineNumber, rules, graph, state.progress, threads, buffers);
    lines.text.remove_prefix(read.bytes);
    state.lineNumber += read.lines;
    if (read.stopped) return;
  }
}

}  // namespace

void ParsePla(PlaLines& lines, TermGraph& graph, ProgressHook progress, const ReadThreads& threads) {
  if (graph.termCount != -1) throw "graph reconstruction is not allowed!";
  ParserState state;
  state.progress = progress;
  bool threadsUndecided = true;
  const uint64_t leastBytes = threads.count > 1 ? threads.leastBytes : threads.leastBytesAlone;
  while (!NoLinesLeft(lines)) {
    const std::string_view line = TrimmedLine(TakeLine(lines));
    if ((++state.lineNumber & (kProgressStride - 1)) == 0 && state.progress) state.progress(state.lineNumber);
    if (line.empty()) continue;
    if (line.front() == '#') continue;
    if (line.front() == '.') {
      ReadKeywordLine(line, state);
    } else if (StartsCubeLine(line.front())) {
      ReadCubeLine(line, lines.text.size() + lines.bytesAfter, graph, state);
      PrefetchCubeAhead(lines, graph, state);
      // The first cube line started the graph; the rest is read in pieces
      // (shared out among the threads) when it is long enough to gain from it.
      if (threadsUndecided) {
        threadsUndecided = false;
        if (lines.text.size() + lines.bytesAfter >= leastBytes) ReadRestOnThreads(lines, graph, state, threads);
      }
    } else {
      ThrowAtLine(kUnreadableLine, state.lineNumber, line);
    }
  }
  // A function declared without any cube is read as one without cubes.
  if (state.graphPending) {
    RequireCounts(state);
    StartGraph(graph, state, 0);
  }
}

void ParseCubes(int64_t inputCount, int64_t outputCount, int32_t type, std::span<const CubeParts> cubes,
                TermGraph& graph) {
  if (graph.termCount != -1) throw "graph reconstruction is not allowed!";
  if (inputCount <= 0 || inputCount > std::numeric_limits<int32_t>::max()) throw kInputCountNotSet.data();
  if (outputCount <= 0 || outputCount > std::numeric_limits<int32_t>::max()) throw kOutputCountNotSet.data();
  if (type < kTypeF || type > kTypeFdr) throw kUnknownType;
  ParserState state;
  state.inputCount = static_cast<int32_t>(inputCount);
  state.outputCount = static_cast<int32_t>(outputCount);
  state.type = type;
  // The graph is sized for every cube at once, as a text of them would be.
  const uint64_t lineBytes = static_cast<uint64_t>(inputCount + outputCount + 1);
  StartGraph(graph, state, static_cast<size_t>(std::min<uint64_t>(cubes.size() * lineBytes, SIZE_MAX)));
  std::string line;
  for (const CubeParts& cube : cubes) {
    ++state.lineNumber;
    line.assign(cube.inputs).append(1, ' ').append(cube.outputs);
    const std::string_view trimmed = TrimmedLine(line);
    if (trimmed.empty() || !StartsCubeLine(trimmed.front())) ThrowAtLine(kUnreadableLine, state.lineNumber, trimmed);
    ReadCubeLine(trimmed, 0, graph, state);
  }
}

}  // namespace tavro
