// Reading a PLA file, or a PLA text held in memory, into a term graph.
#pragma once

#include <string>
#include <string_view>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"

namespace tavro {

/// Loads the file at `path` into the graph, reading it in blocks of whole
/// lines so that it is never held whole beside the graph. Throws "Cannot
/// open file: " + path (string object) when the file cannot be opened or
/// read, and every error of ParsePla unchanged. `progress` is told the lines
/// parsed, on the calling thread. With `threads` above 1, a large file's cube
/// lines are parsed on that many threads, the calling one among them, into
/// the same graph, with the same errors (ParsePla).
void LoadPlaFileInto(const std::string& path, TermGraph& graph, ProgressHook progress = {}, int threads = 1);

/// The text of a whole file, parsed into the graph as LoadPlaFileInto does
/// once the file is read: a leading UTF-8 byte-order mark is skipped. Throws
/// every error of ParsePla unchanged. `threads` as for LoadPlaFileInto.
void ParsePlaText(std::string_view text, TermGraph& graph, ProgressHook progress = {}, int threads = 1);

}  // namespace tavro
