// Reading a PLA file and the two text operations that split its lines:
// trimming separators from both ends, and cutting off the first token.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/progress_hook.hpp"
#include "graph/term_graph.hpp"

namespace tavro {

/// The characters that separate tokens and are trimmed from every line.
inline constexpr std::string_view kSeparators = " \t\r\n|";

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

/// The lines of a PLA text not yet parsed, in file order, held as the text
/// from the start of the next line on. A line ends before a line feed; a text
/// ending with a line feed has no empty line after it. A text read in blocks
/// holds whole lines only: once it is used up, `more` puts the next block in
/// its place, or returns false at the end.
struct PlaLines {
  std::string_view text;
  std::function<bool(PlaLines&)> more{};
  uint64_t bytesAfter = 0;  // bytes known to follow `text`, for sizing the graph
};

/// True when no line is left.
bool NoLinesLeft(PlaLines& lines);

/// Takes the first line off `lines` and returns it without its line feed.
std::string_view TakeLine(PlaLines& lines);

/// `line` without the separator characters at its start and at its end.
std::string_view TrimmedLine(std::string_view line);

/// Cuts the token before the first character of `separators` off `line` and
/// returns it; `line` is advanced past it and then past the characters of
/// kSeparators that follow, whatever `separators` holds. An empty line yields
/// an empty token.
std::string_view CutToken(std::string_view& line, std::string_view separators);

/// Cuts the input part of a cube line off `line` when it is pure and
/// `length` characters long: the first `length` characters of `line` are
/// '0', '1' or '-' and a separator or the line's end follows them. Then the
/// part is the token CutToken(line, kSeparators) cuts, `line` is advanced as
/// CutToken advances it, `part` is set and the result is true; else nothing
/// changes. One pass over the part tells both its end and its purity.
bool CutPureInputPart(std::string_view& line, size_t length, std::string_view& part);

}  // namespace tavro
