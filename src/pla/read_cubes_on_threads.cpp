// The cube lines of a large text on several threads. Every thread takes the
// next piece not yet taken and parses it into cubes ready for the graph; the
// calling thread adds the pieces' cubes to the graph in file order, taking
// pieces itself while the next one it needs is still being parsed. A piece
// is taken only a few pieces ahead of the one being added, so that the cubes
// waiting for the graph stay few whatever the file's size.
//
// A piece's parse accepts only lines that the parser would read without
// changing its rules or failing; at any other line it stops, and so does the
// read once the graph holds every cube before that line: the parser itself
// then takes the line, with the same state as in a read on one thread. So
// the cubes reach the graph in the same order, every error is met at its own
// line, and the first in file order ends the load whatever a later piece met.
#include "pla/read_cubes_on_threads.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/work_threads.hpp"
#include "pla/cube_chars.hpp"
#include "pla/pla_lines.hpp"

namespace tavro {
namespace {

// Pieces that each thread may take ahead of the one being added: enough
// that a thread rarely waits for the join, few enough that the cubes parsed
// ahead stay a few MiB (2 MiB of text a thread with pieces of 512 KiB).
constexpr size_t kPiecesAheadPerThread = 4;
// Cubes ahead of the one being added whose index memory is fetched early.
// The hashes are known a piece ahead, so the distance is free; 16 did not
// measure apart from 4 on a 1 GB random file (40 inputs, 8 outputs), whose
// load waits for the graph's memory either way.
constexpr size_t kCubesAhead = 4;
// No piece is cut longer (its last line then ends it), so that a piece's
// places of lines fit in 32 bits.
constexpr size_t kLongestPiece = size_t{1} << 30;

constexpr size_t kNoStop = std::string_view::npos;

// One piece of the text and how far its parse came. The thread that took the
// piece writes it and its cubes, then sets `ready`; the calling thread reads
// them after that.
struct Piece {
  std::string_view text;
  PieceCubes* cubes = nullptr;
  int64_t lineCount = 0;    // lines before the stop, or every line
  size_t stopAt = kNoStop;  // where the line that stopped the parse begins
  std::atomic<int> ready{0};
};

// What the threads of one read share.
struct Shared {
  const CubeRules& rules;
  std::unique_ptr<Piece[]> pieces{};
  // The cubes of piece j are kept in cubes[j % ahead]: piece j is taken
  // only once piece j - ahead is in the graph, so the buffers are reused
  // rather than taken anew (and faulted in) for every piece.
  PieceCubes* cubes = nullptr;
  size_t count = 0;
  size_t ahead = 0;
  size_t bytes = 0;  // of the whole text
  std::atomic<size_t> next{0};    // the first piece not yet taken
  std::atomic<size_t> joined{0};  // pieces added to the graph, or kAllStopped
  std::atomic<bool> stopped{false};
  static constexpr size_t kAllStopped = SIZE_MAX;
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
  piece.chars.resize(at + inputs + outputs);
  piece.planes.resize(planesAt + 2 * words);
  char* stored = piece.chars.data() + at;
  bool taken = MapCubeParts(parts, kOutputMaps[static_cast<size_t>(rules.type)], stored, stored + inputs);
  uint64_t* planes = piece.planes.data() + planesAt;
  taken = taken && packing::PackInputs(std::string_view(stored, inputs), planes, words);
  if (!taken) {
    piece.chars.resize(at);
    piece.planes.resize(planesAt);
    return false;
  }
  piece.hashes.push_back(InputPlanesHash(planes, words));
  piece.places.push_back(place);
  return true;
}

// Parses a piece up to its end, to the first line the parser must take
// itself, or until the read is stopped. A parse that runs out of memory
// leaves the whole piece to the parser.
void ParsePiece(Shared& shared, size_t j) {
  const CubeRules& rules = shared.rules;
  Piece& piece = shared.pieces[j];
  PieceCubes& cubes = shared.cubes[j % shared.ahead];
  piece.cubes = &cubes;
  try {
    const size_t lineBytes = static_cast<size_t>(rules.inputCount) + static_cast<size_t>(rules.outputCount) + 1;
    const size_t cubesAtMost = piece.text.size() / lineBytes + 1;
    cubes.chars.reserve(cubesAtMost * (lineBytes - 1));
    cubes.planes.reserve(cubesAtMost * 2 * packing::InputWords(static_cast<size_t>(rules.inputCount)));
    cubes.hashes.reserve(cubesAtMost);
    cubes.places.reserve(cubesAtMost);
    PlaLines lines{piece.text};
    uint32_t place = 0;
    while (!lines.text.empty() && !shared.stopped.load(std::memory_order_relaxed)) {
      const char* begin = lines.text.data();
      const std::string_view line = TrimmedLine(TakeLine(lines));
      ++place;
      if (line.empty() || line.front() == '#') continue;
      const bool taken = line.front() == '.'         ? KeepsRules(line, rules)
                         : StartsCubeLine(line.front()) ? TakeCube(line, place, rules, cubes)
                                                        : false;
      if (!taken) {
        piece.stopAt = static_cast<size_t>(begin - piece.text.data());
        piece.lineCount = place - 1;
        return;
      }
    }
    piece.lineCount = place;
  } catch (...) {
    cubes.Clear();
    piece.stopAt = 0;
    piece.lineCount = 0;
  }
}

void Publish(Piece& piece) {
  piece.ready.store(1, std::memory_order_release);
  piece.ready.notify_one();
}

// Takes the next piece not yet taken when it lies within reach of the join;
// false when there is none.
bool TakeNextPiece(Shared& shared, size_t joined) {
  size_t c = shared.next.load(std::memory_order_relaxed);
  while (c < shared.count && c < joined + shared.ahead) {
    if (shared.next.compare_exchange_weak(c, c + 1, std::memory_order_relaxed)) {
      ParsePiece(shared, c);
      Publish(shared.pieces[c]);
      return true;
    }
  }
  return false;
}

// The work of every thread but the calling one: pieces until none is left
// or the read stops.
void TakePieces(Shared& shared) {
  for (;;) {
    const size_t joined = shared.joined.load(std::memory_order_acquire);
    if (joined == Shared::kAllStopped || shared.next.load(std::memory_order_relaxed) >= shared.count) return;
    if (!TakeNextPiece(shared, joined)) shared.joined.wait(joined, std::memory_order_acquire);
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

// Adds the piece's cubes to the graph in file order; its first line is line
// `lineNumber` + 1.
void AddPiece(const Piece& piece, int64_t lineNumber, const CubeRules& rules, TermGraph& graph, LineTeller& teller) {
  const PieceCubes& cubesOf = *piece.cubes;
  const size_t inputs = static_cast<size_t>(rules.inputCount);
  const size_t outputs = static_cast<size_t>(rules.outputCount);
  const size_t words = 2 * packing::InputWords(inputs);
  std::string inputPart, outputPart;
  PackedInputPart packed;
  packed.planes.resize(words);
  packed.pure = true;
  const size_t cubes = cubesOf.hashes.size();
  for (size_t k = 0; k < std::min(cubes, kCubesAhead); ++k) PrefetchLookup(graph, cubesOf.hashes[k]);
  for (size_t k = 0; k < cubes; ++k) {
    teller.UpTo(lineNumber + cubesOf.places[k]);
    if (k + kCubesAhead < cubes) PrefetchLookup(graph, cubesOf.hashes[k + kCubesAhead]);
    const char* chars = cubesOf.chars.data() + k * (inputs + outputs);
    inputPart.assign(chars, inputs);
    outputPart.assign(chars + inputs, outputs);
    std::copy_n(cubesOf.planes.data() + k * words, words, packed.planes.data());
    packed.hash = cubesOf.hashes[k];
    AddCube(graph, inputPart, outputPart, &packed);
  }
  teller.UpTo(lineNumber + piece.lineCount);
}

// The calling thread's work: every piece in file order, each parsed by
// whichever thread took it, or by this one when none has.
CubesRead JoinPieces(Shared& shared, int64_t lineNumber, TermGraph& graph, ProgressHook progress) {
  LineTeller teller{progress, (lineNumber / kProgressStride + 1) * kProgressStride};
  int64_t line = lineNumber;
  for (size_t j = 0; j < shared.count; ++j) {
    Piece& piece = shared.pieces[j];
    while (piece.ready.load(std::memory_order_acquire) == 0) {
      // Piece j is being parsed when it was taken; the wait is for it alone.
      if (!TakeNextPiece(shared, j) && shared.next.load(std::memory_order_relaxed) > j) {
        piece.ready.wait(0, std::memory_order_acquire);
      }
    }
    AddPiece(piece, line, shared.rules, graph, teller);
    line += piece.lineCount;
    if (piece.stopAt != kNoStop) {
      return {static_cast<size_t>(piece.text.data() - shared.pieces[0].text.data()) + piece.stopAt,
              line - lineNumber, true};
    }
    piece.cubes->Clear();
    shared.joined.store(j + 1, std::memory_order_release);
    shared.joined.notify_all();
  }
  return {shared.bytes, line - lineNumber, false};
}

// Ends the read for every thread once the calling thread leaves it, also
// when it throws.
struct StopAtExit {
  Shared& shared;
  ~StopAtExit() {
    shared.stopped.store(true, std::memory_order_relaxed);
    shared.joined.store(Shared::kAllStopped, std::memory_order_release);
    shared.joined.notify_all();
  }
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
  shared.pieces.reset(new Piece[shared.count]);
  for (size_t j = 0; j < shared.count; ++j) {
    const size_t end = j + 1 < shared.count ? starts[j + 1] : text.size();
    shared.pieces[j].text = text.substr(starts[j], end - starts[j]);
  }
  const int count = static_cast<int>(std::min<size_t>(static_cast<size_t>(std::max(threads.count, 1)), shared.count));
  shared.ahead = kPiecesAheadPerThread * static_cast<size_t>(count);
  if (buffers.size() < std::min(shared.ahead, shared.count)) buffers.resize(std::min(shared.ahead, shared.count));
  shared.cubes = buffers.data();
  CubesRead read;
  RunOnThreads(count, [&](int worker) {
    if (worker != 0) {
      TakePieces(shared);
      return;
    }
    StopAtExit stop{shared};
    read = JoinPieces(shared, lineNumber, graph, progress);
  });
  return read;
}

}  // namespace tavro
