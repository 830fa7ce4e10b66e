// The lines and tokens of PLA text: lines taken one by one from text read in
// blocks, separators trimmed from both ends, tokens cut off the front, and
// the values of count and type tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace tavro {

/// The characters that separate tokens and are trimmed from every line.
inline constexpr std::string_view kSeparators = " \t\r\n|";

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

/// The type named on a `.type` line (kTypeF to kTypeFdr), or 0 for a name
/// that is none.
int32_t PlaTypeNamed(std::string_view name);

/// The integer written at the start of a count token (`.i`, `.o`): vertical
/// tabs and form feeds, an optional sign, the leading decimal digits (none
/// reads as 0). Magnitudes beyond the 32-bit range are held at one past it.
int64_t CountValue(std::string_view token);

}  // namespace tavro
