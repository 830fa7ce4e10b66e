// The cube lines of a large text in pieces, on one thread or several, in
// rounds of a few pieces: every thread takes pieces of the round and parses
// each into cubes ready for the graph; then the pieces go into the graph in file order, in
// batches whose steps the threads share (the index entries table by table,
// then the terms and the lists). A batch ends before a cube whose input part
// the graph holds already (a line repeats an earlier part); that cube is
// added on the calling thread, as a read cube by cube adds it, and the next
// batch begins after it.
//
// A piece's parse accepts only lines that the parser would read without
// changing its rules or failing; at any other line it stops, and so does the
// read once the graph holds every cube before that line: the parser itself
// then takes the line, with the same state as in a read cube by cube. So
// the cubes reach the graph in the same order, every error is met at its own
// line, and the first in file order ends the load whatever a later piece met.
#include "pla/read_cubes_on_threads.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/step_crew.hpp"
#include "common/work_threads.hpp"
#include "graph/cube_batch.hpp"
#include "pla/cube_chars.hpp"
#include "pla/pla_lines.hpp"

namespace tavro {
namespace {

// Pieces that each thread parses in a round: enough that the threads share a
// round's parse evenly, few enough that the cubes parsed ahead of the graph
// stay a few MiB (2 MiB of text a thread with pieces of 512 KiB).
constexpr size_t kPiecesPerThread = 4;
// Cubes ahead of the one being added whose index memory is fetched early.
// The hashes are known a piece ahead, so the distance is free; 16 did not
// measure apart from 4 on a 1 GB random file (40 inputs, 8 outputs), whose
// load waits for the graph's memory either way.
constexpr size_t kCubesAhead = 4;
// After a piece whose batch met a held input part within its first few
// cubes, the next pieces are added cube by cube: a file that repeats input
// parts often tends to go on doing so, and each batch would end early.
constexpr size_t kPiecesOneByOne = 4;
// No piece is cut longer (its last line then ends it), so that a piece's
// places of lines fit in 32 bits.
constexpr size_t kLongestPiece = size_t{1} << 30;

constexpr size_t kNoStop = std::string_view::npos;

// One piece of the text and how far its parse came.
struct Piece {
  std::string_view text;
  PieceCubes* cubes = nullptr;
  int64_t lineCount = 0;    // lines before the stop, or every line
  size_t stopAt = kNoStop;  // where the line that stopped the parse begins
};

// What the threads of one read share.
struct Shared {
  const CubeRules& rules;
  std::unique_ptr<Piece[]> pieces{};
  // The cubes of piece j are kept in cubes[j % round]: a round's pieces are
  // in the graph before the next round is parsed.
  PieceCubes* cubes = nullptr;
  size_t count = 0;
  size_t round = 0;
  size_t bytes = 0;  // of the whole text
  size_t leastBatch = 0;
  bool alone = false;  // one thread reads
};

// True for a keyword line that leaves the rules as they are. The labels of
// .ilb and .ob reach the graph only when it starts, which it has.
bool KeepsRules(std::string_view line, const CubeRules& rules) {
  std::string_view rest = line;
  const std::string_view keyword = CutToken(rest, kSeparators);
  if (keyword == ".i") return CountValue(CutToken(rest, kSeparators)) == rules.inputCount;
  if (keyword == ".o") return CountValue(CutToken(rest, kSeparators)) == rules.outputCount;
  if (keyword == ".type") return PlaTypeNamed(CutToken(rest, kSeparators)) == rules.type;
  return true;
}

// Adds the cube of a cube line to the piece; false, and nothing added, when
// the parser would refuse the line.
bool TakeCube(std::string_view line, uint32_t place, const CubeRules& rules, PieceCubes& piece) {
  const size_t inputs = static_cast<size_t>(rules.inputCount);
  const size_t outputs = static_cast<size_t>(rules.outputCount);
  const size_t words = packing::InputWords(inputs);
  // A line the parser refuses for a length takes no room of the counts' size.
  CubeLineParts parts;
  if (CutCubeLine(line, inputs, outputs, parts) != CubeLineFault::kNone) return false;
  const size_t at = piece.chars.size();
  const size_t planesAt = piece.planes.size();
  const size_t codesAt = piece.outputCodes.size();
  piece.chars.resize(at + inputs + outputs);
  piece.planes.resize(planesAt + 2 * words);
  piece.outputCodes.resize(codesAt + packing::OutputWords(outputs));
  char* stored = piece.chars.data() + at;
  bool taken = MapCubeParts(parts, kOutputMaps[static_cast<size_t>(rules.type)], stored, stored + inputs);
  uint64_t* planes = piece.planes.data() + planesAt;
  taken = taken && packing::PackInputs(std::string_view(stored, inputs), planes, words) &&
          packing::PackOutputs(std::string_view(stored + inputs, outputs), piece.outputCodes.data() + codesAt);
  if (!taken) {
    piece.chars.resize(at);
    piece.planes.resize(planesAt);
    piece.outputCodes.resize(codesAt);
    return false;
  }
  piece.hashes.push_back(InputPlanesHash(planes, words));
  piece.places.push_back(place);
  return true;
}

// Lists the piece's cubes by the part of the term index that holds them.
void ListByPart(PieceCubes& cubes) {
  constexpr size_t kParts = InputPartIndex::kParts;
  cubes.partStart.assign(kParts + 1, 0);
  for (const uint64_t hash : cubes.hashes) ++cubes.partStart[IndexPartOf(hash) + 1];
  for (size_t p = 0; p < kParts; ++p) cubes.partStart[p + 1] += cubes.partStart[p];
  cubes.byPart.resize(cubes.hashes.size());
  std::vector<uint32_t> next(cubes.partStart.begin(), cubes.partStart.end() - 1);
  for (uint32_t k = 0; k < cubes.hashes.size(); ++k) cubes.byPart[next[IndexPartOf(cubes.hashes[k])]++] = k;
}

// Parses a piece up to its end, or to the first line the parser must take
// itself. A parse that runs out of memory leaves the whole piece to the
// parser.
void ParsePiece(Shared& shared, size_t j) {
  const CubeRules& rules = shared.rules;
  Piece& piece = shared.pieces[j];
  PieceCubes& cubes = shared.cubes[j % shared.round];
  piece.cubes = &cubes;
  try {
    const size_t lineBytes = static_cast<size_t>(rules.inputCount) + static_cast<size_t>(rules.outputCount) + 1;
    const size_t cubesAtMost = piece.text.size() / lineBytes + 1;
    cubes.chars.reserve(cubesAtMost * (lineBytes - 1));
    cubes.planes.reserve(cubesAtMost * 2 * packing::InputWords(static_cast<size_t>(rules.inputCount)));
    cubes.hashes.reserve(cubesAtMost);
    cubes.outputCodes.reserve(cubesAtMost * packing::OutputWords(static_cast<size_t>(rules.outputCount)));
    cubes.places.reserve(cubesAtMost);
    PlaLines lines{piece.text};
    uint32_t place = 0;
    while (!lines.text.empty()) {
      const char* begin = lines.text.data();
      const std::string_view line = TrimmedLine(TakeLine(lines));
      ++place;
      if (line.empty() || line.front() == '#') continue;
      const bool taken = line.front() == '.'         ? KeepsRules(line, rules)
                         : StartsCubeLine(line.front()) ? TakeCube(line, place, rules, cubes)
                                                        : false;
      if (!taken) {
        piece.stopAt = static_cast<size_t>(begin - piece.text.data());
        --place;
        break;
      }
    }
    piece.lineCount = place;
    ListByPart(cubes);
  } catch (...) {
    cubes.Clear();
    piece.stopAt = 0;
    piece.lineCount = 0;
  }
}

// Calls the hook with every multiple of kProgressStride among the line
// numbers taken, as the parser does line by line.
struct LineTeller {
  ProgressHook hook;
  int64_t next;  // the next multiple to tell
  void UpTo(int64_t line) {
    for (; next <= line; next += kProgressStride) {
      if (hook) hook(next);
    }
  }
};

// Adds the piece's cubes from `from` to before `to` to the graph one by one,
// in file order; the piece's first line is line `lineNumber` + 1.
void AddOneByOne(const PieceCubes& cubesOf, size_t from, size_t to, int64_t lineNumber, const CubeRules& rules,
                 TermGraph& graph, LineTeller& teller) {
  const size_t inputs = static_cast<size_t>(rules.inputCount);
  const size_t outputs = static_cast<size_t>(rules.outputCount);
  const size_t words = 2 * packing::InputWords(inputs);
  std::string inputPart, outputPart;
  PackedInputPart packed;
  packed.planes.resize(words);
  packed.pure = true;
  for (size_t k = from; k < std::min(to, from + kCubesAhead); ++k) PrefetchLookup(graph, cubesOf.hashes[k]);
  for (size_t k = from; k < to; ++k) {
    teller.UpTo(lineNumber + cubesOf.places[k]);
    if (k + kCubesAhead < to) PrefetchLookup(graph, cubesOf.hashes[k + kCubesAhead]);
    const char* chars = cubesOf.chars.data() + k * (inputs + outputs);
    inputPart.assign(chars, inputs);
    outputPart.assign(chars + inputs, outputs);
    std::copy_n(cubesOf.planes.data() + k * words, words, packed.planes.data());
    packed.hash = cubesOf.hashes[k];
    AddCube(graph, inputPart, outputPart, &packed);
  }
}

// Adds the cubes from `from` to before `to` as one batch, on the crew's
// threads, up to the first whose input part is held already; returns where
// the batch ended. `from` when the graph takes no batch.
size_t AddBatch(const PieceCubes& cubes, size_t from, size_t to, CubeBatchAdder& adder, StepCrew& crew) {
  const CubeBatch batch{.chars = cubes.chars.data(),
                        .planes = cubes.planes.data(),
                        .hashes = cubes.hashes.data(),
                        .outputCodes = cubes.outputCodes.data(),
                        .byPart = cubes.byPart.data(),
                        .partStart = cubes.partStart.data(),
                        .first = from,
                        .end = to};
  if (!adder.Begin(batch)) return from;
  try {
    crew.Run(InputPartIndex::kParts, [&](size_t part) { adder.EnterPart(part); });
  } catch (...) {
    adder.Undo();
    throw;
  }
  const size_t end = adder.Trim();
  crew.Run(adder.Units(), [&](size_t unit) { adder.Build(unit); });
  adder.End();
  return end;
}

// Adds the piece's cubes to the graph in file order: in batches, each
// between two calls of the progress hook, when `batches`; a cube whose input
// part is held already, and a run too short for a batch, one by one. After a
// batch that ended early with few cubes, the rest of the piece goes one by
// one, and AddPiece returns false.
bool AddPiece(const Piece& piece, int64_t lineNumber, bool batches, const Shared& shared, CubeBatchAdder& adder,
              StepCrew& crew, TermGraph& graph, LineTeller& teller) {
  const PieceCubes& cubes = *piece.cubes;
  const size_t count = cubes.hashes.size();
  const uint32_t* places = cubes.places.data();
  size_t from = 0;
  bool held = false;
  while (batches && !held && from < count) {
    // The hook is called before the cube of its line is added, as one by one.
    teller.UpTo(lineNumber + places[from]);
    const int64_t nextTold = teller.next - lineNumber;
    const size_t to = nextTold > places[count - 1]
                          ? count
                          : static_cast<size_t>(std::lower_bound(places + from + 1, places + count, nextTold) - places);
    if (to - from < shared.leastBatch) {
      AddOneByOne(cubes, from, to, lineNumber, shared.rules, graph, teller);
      from = to;
      continue;
    }
    const size_t end = AddBatch(cubes, from, to, adder, crew);
    held = end < to && end - from < shared.leastBatch;
    if (end < to && !held) {
      AddOneByOne(cubes, end, end + 1, lineNumber, shared.rules, graph, teller);
      from = end + 1;
    } else {
      from = end;
    }
  }
  AddOneByOne(cubes, from, count, lineNumber, shared.rules, graph, teller);
  teller.UpTo(lineNumber + piece.lineCount);
  return !held;
}

// The calling thread's work: the text round by round, each round's pieces
// parsed by the crew, then added to the graph in file order.
CubesRead JoinRounds(Shared& shared, StepCrew& crew, int64_t lineNumber, TermGraph& graph,
                     ProgressHook progress) {
  LineTeller teller{progress, (lineNumber / kProgressStride + 1) * kProgressStride};
  CubeBatchAdder adder(graph);
  size_t oneByOne = 0;  // pieces still to add one by one
  int64_t line = lineNumber;
  for (size_t first = 0; first < shared.count; first += shared.round) {
    const size_t pieces = std::min(shared.round, shared.count - first);
    crew.Run(pieces, [&](size_t u) { ParsePiece(shared, first + u); });
    for (size_t j = first; j < first + pieces; ++j) {
      Piece& piece = shared.pieces[j];
      const bool batched = AddPiece(piece, line, oneByOne == 0, shared, adder, crew, graph, teller);
      if (!batched) {
        oneByOne = kPiecesOneByOne;
      } else if (oneByOne > 0) {
        --oneByOne;
      }
      line += piece.lineCount;
      const size_t at = static_cast<size_t>(piece.text.data() - shared.pieces[0].text.data());
      if (piece.stopAt != kNoStop) return {at + piece.stopAt, line - lineNumber, true};
      // On one thread, cubes that repeat input parts go in faster line by
      // line than parsed ahead and then added one by one: the parser takes
      // the rest of the text.
      if (!batched && shared.alone) return {at + piece.text.size(), line - lineNumber, true};
      piece.cubes->Clear();
    }
  }
  return {shared.bytes, line - lineNumber, false};
}

// Ends the crew once the calling thread leaves the read, also when it
// throws.
struct CloseAtExit {
  StepCrew& crew;
  ~CloseAtExit() { crew.Close(); }
};

}  // namespace

CubesRead ReadCubesOnThreads(std::string_view text, int64_t lineNumber, const CubeRules& rules, TermGraph& graph,
                             ProgressHook progress, const ReadThreads& threads, PieceBuffers& buffers) {
  if (rules.inputCount != graph.inputCount || rules.outputCount != graph.outputCount || rules.type < kTypeF ||
      rules.type > kTypeFdr) {
    return {0, 0, true};
  }
  if (text.empty()) return {};
  Shared shared{.rules = rules};
  // Pieces end at line ends: after the first line feed from pieceBytes on.
  const size_t pieceBytes = std::clamp<size_t>(threads.pieceBytes, 1, kLongestPiece);
  std::vector<size_t> starts;
  for (size_t at = 0; at < text.size();) {
    starts.push_back(at);
    if (text.size() - at <= pieceBytes) break;
    const void* feed = std::memchr(text.data() + at + pieceBytes - 1, '\n', text.size() - (at + pieceBytes - 1));
    at = feed == nullptr ? text.size() : static_cast<size_t>(static_cast<const char*>(feed) - text.data()) + 1;
  }
  shared.count = starts.size();
  shared.bytes = text.size();
  shared.leastBatch = threads.leastBatch;
  shared.pieces.reset(new Piece[shared.count]);
  for (size_t j = 0; j < shared.count; ++j) {
    const size_t end = j + 1 < shared.count ? starts[j + 1] : text.size();
    shared.pieces[j].text = text.substr(starts[j], end - starts[j]);
  }
  const int count = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(threads.count, 1)), shared.count));
  // One thread parses a piece at a time: nobody shares a round out.
  shared.alone = count == 1;
  shared.round = shared.alone ? 1 : std::min(kPiecesPerThread * static_cast<size_t>(count), shared.count);
  if (buffers.size() < shared.round) buffers.resize(shared.round);
  shared.cubes = buffers.data();
  StepCrew crew;
  CubesRead read;
  RunOnThreads(count, [&](int worker) {
    if (worker != 0) {
      crew.Serve();
      return;
    }
    CloseAtExit close{crew};
    read = JoinRounds(shared, crew, lineNumber, graph, progress);
  });
  return read;
}

}  // namespace tavro
