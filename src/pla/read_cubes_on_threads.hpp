// Reading the cube lines of a large PLA text on several threads: the text is
// cut into pieces of whole lines, each piece is parsed, checked and packed on
// whichever thread takes it, and the pieces' cubes are handed to AddCube on
// the calling thread, in file order, as a read on one thread hands them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"

namespace tavro {

/// How a parse shares its cube lines among threads.
struct ReadThreads {
  /// Threads, the calling one among them; 1 or less reads on it alone.
  int count = 1;
  /// Bytes of a piece, which then ends at the next line's end: about 1 MiB
  /// keeps each thread's share of the reading ahead of the graph small (it is
  /// held until its cubes are added) while the hand-over costs nothing.
  size_t pieceBytes = size_t{1} << 20;
  /// A text with fewer bytes left at its first cube line is read on the
  /// calling thread alone: starting threads and filling the first pieces
  /// costs more than they save below a few MiB (tavro-read-threads-bench on
  /// random files of 40 inputs and 8 outputs).
  uint64_t leastBytes = uint64_t{4} << 20;
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
/// itself.
struct CubesRead {
  size_t bytes = 0;
  int64_t lines = 0;
  bool stopped = false;
};

/// Reads the lines of `text` (whole lines; the last may lack its line feed),
/// which follow line `lineNumber` of the file, into the graph as the parser
/// would: blank and comment lines are skipped, keyword lines that leave the
/// rules as they are (.i, .o or .type of the present value, and every other
/// keyword: the graph took its labels already) are passed, and every cube
/// line is checked, mapped and handed to AddCube in file order. The first
/// line that is anything else (an error, a keyword line that changes the
/// rules) stops the read, before it: the graph then holds the cubes of the
/// lines before it, and the parser goes on from there. `progress` is called on
/// the calling thread only, with every multiple of kProgressStride among the
/// line numbers taken. Throws what AddCube and `progress` throw, and
/// std::bad_alloc; every thread has ended when it returns or throws.
CubesRead ReadCubesOnThreads(std::string_view text, int64_t lineNumber, const CubeRules& rules, TermGraph& graph,
                             ProgressHook progress, const ReadThreads& threads);

}  // namespace tavro
