// Reading the cube lines of a large PLA text in pieces, on one thread or
// several: the text is cut into pieces of whole lines, each piece is parsed,
// checked and packed on whichever thread takes it, and the pieces' cubes go
// into the graph in file order, as a read cube by cube adds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"

namespace tavro {

/// How a parse shares its cube lines among threads.
struct ReadThreads {
  /// Threads, the calling one among them; 1 or less reads on it alone.
  int count = 1;
  /// Bytes of a piece, which then ends at the next line's end. A file is
  /// read in blocks of 4 MiB, each cut into pieces and read on threads in
  /// rounds; pieces of 512 KiB share a block out finely enough, the cubes
  /// parsed ahead of the graph stay a few MiB, and a piece of 50-byte lines
  /// holds about 10,000 cubes, so that its batch's steps (a few tens of
  /// microseconds) are a small share of its work.
  size_t pieceBytes = size_t{1} << 19;
  /// A text with fewer bytes left at its first cube line is read on the
  /// calling thread alone. On 2 threads the load took 0.82 of one thread's
  /// wall-clock time at 1 MB, 0.75 at 2 MB and 0.66 at 8 MB, for 1.35, 1.32
  /// and 1.24 times its CPU time (tavro-read-threads-bench --whole, random
  /// files of 40 inputs and 8 outputs, 7 rounds): below about 2 MB the
  /// threads save a millisecond or less for a third more work.
  uint64_t leastBytes = uint64_t{2} << 20;
  /// With `count` 1, a text with at least this many bytes left at its first
  /// cube line is read in pieces and batches too, on the calling thread: a
  /// batch enters its index entries table by table, where cube by cube each
  /// entry lands at a random place of the whole index, which outgrows the
  /// caches. On one thread the load took 0.6 of the CPU time of cube by cube
  /// on a 1 GB file (21,474,836 lines of 40 inputs and 8 outputs), about
  /// 0.85 at 200 MB, about the same from 12 to 50 MB and 1.2 to 1.5 times as
  /// much at 3 MB, where the pieces' buffers cost more than they save.
  uint64_t leastBytesAlone = uint64_t{32} << 20;
  /// A run of fewer cubes (between two calls of the progress hook, or after
  /// a cube whose part is held) goes into the graph cube by cube on the
  /// calling thread, not as a batch that the threads share.
  size_t leastBatch = 256;
};

/// What governs the cube lines at the point a read begins: the counts and
/// the type of the parser, which must be those of the graph (no keyword line
/// changed them after the graph started).
struct CubeRules {
  int32_t inputCount;
  int32_t outputCount;
  int32_t type;
};

/// How far ReadCubesOnThreads came: the bytes and lines of `text` it took,
/// and whether it stopped before the end, at a line that the parser must take
/// itself (or, on one thread, after a piece whose cubes repeat input parts:
/// the parser reads on line by line).
struct CubesRead {
  size_t bytes = 0;
  int64_t lines = 0;
  bool stopped = false;
};

/// The cubes one piece's parse leaves for the graph, each as its mapped
/// input and output characters, its input planes and their hash, its output
/// codes, and the place of its line in the piece (from 1); and the cubes listed by the part
/// of the term index that holds their hash (see CubeBatch). Pieces are
/// parsed on different threads at once, so each has cache lines of its own.
struct alignas(64) PieceCubes {
  std::vector<char> chars;
  std::vector<uint64_t> planes;
  std::vector<uint64_t> hashes;
  std::vector<uint64_t> outputCodes;
  std::vector<uint32_t> places;
  std::vector<uint32_t> byPart;
  std::vector<uint32_t> partStart;
  void Clear() {
    chars.clear();
    planes.clear();
    hashes.clear();
    outputCodes.clear();
    places.clear();
    byPart.clear();
    partStart.clear();
  }
};

/// Buffers of the pieces' cubes, kept by the caller from one read to the
/// next (one per block of a file), so that their memory is taken once.
using PieceBuffers = std::vector<PieceCubes>;

/// Reads the lines of `text` (whole lines; the last may lack its line feed),
/// which follow line `lineNumber` of the file, into the graph as the parser
/// would: blank and comment lines are skipped, keyword lines that leave the
/// rules as they are (.i, .o or .type of the present value, and every other
/// keyword: the graph took its labels already) are passed, and every cube
/// line is checked, mapped and handed to AddCube in file order. The first
/// line that is anything else (an error, a keyword line that changes the
/// rules) stops the read, before it: the graph then holds the cubes of the
/// lines before it, and the parser goes on from there. On one thread the
/// read also stops after a piece whose cubes repeat input parts. `progress`
/// is called on the calling thread only, with every multiple of
/// kProgressStride among the line numbers taken. Throws what AddCube and `progress` throw, and
/// std::bad_alloc; every thread has ended when it returns or throws.
CubesRead ReadCubesOnThreads(std::string_view text, int64_t lineNumber, const CubeRules& rules, TermGraph& graph,
                             ProgressHook progress, const ReadThreads& threads, PieceBuffers& buffers);

}  // namespace tavro
