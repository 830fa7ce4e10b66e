// The PLA format: which lines are read, how cube lines are checked and
// mapped, and the errors that stop a load.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"
#include "pla/pla_lines.hpp"
#include "pla/read_cubes_on_threads.hpp"

namespace tavro {

/// The thrown string of a parser error that names its line: caught as a
/// std::string like every string message, it also tells the line number.
struct PlaLineError : std::string {
  PlaLineError(std::string text, int64_t line) : std::string(std::move(text)), lineNumber(line) {}
  int64_t lineNumber;
};

/// One cube given in memory: its input part and its output part as they would
/// stand on a cube line of a file.
struct CubeParts {
  std::string_view inputs;
  std::string_view outputs;
};

/// Parses the lines into a fresh graph (termCount -1), taking each line off
/// the front of `lines` before handling it; on an error the lines not yet
/// taken stay. Throws "graph reconstruction is not allowed!" for a graph
/// already initialised, the parser errors (plain text for .type and missing
/// counts, string objects naming the line otherwise) and the errors of
/// InitGraph and AddCube unchanged. `progress` is told how many lines were
/// taken, every kProgressStride lines.
/// With `threads` of more than one and a text of at least
/// threads.leastBytes from its first cube line on (or of one and
/// threads.leastBytesAlone), the cube lines are read in pieces on that many
/// threads (ReadCubesOnThreads), with the same graph, errors and calls of
/// `progress` (on the calling thread) as cube by cube; only the lines left
/// after an error that AddCube or `progress` throws may differ: the block
/// being read then stays whole from where its read in pieces began.
void ParsePla(PlaLines& lines, TermGraph& graph, ProgressHook progress = {}, const ReadThreads& threads = {});

/// Fills a fresh graph with cubes given in memory, as ParsePla does with a
/// file that declares the counts and the type (1 to 4) and then holds the
/// line "<inputs> <outputs>" of every cube: the same checks, mapping and
/// messages, each cube's line number being its place in `cubes` from 1. A
/// cube whose line is not a cube line (one that does not begin with a cube
/// character once trimmed) fails as an unreadable line. Counts of 0 or less
/// throw the message line of a `.i` or `.o` line of 0, a type out of range
/// the unknown-type message.
void ParseCubes(int64_t inputCount, int64_t outputCount, int32_t type, std::span<const CubeParts> cubes,
                TermGraph& graph);

}  // namespace tavro
