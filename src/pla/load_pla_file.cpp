// Loading a PLA file: the whole file is read in large blocks into one buffer
// and closed before parsing; its lines are cut from that buffer as the parser
// takes them, so no line is copied.
#include "pla/load_pla_file.hpp"

#include <cstring>
#include <optional>

#include "pla/parse_pla.hpp"
#include "pla/read_whole_file.hpp"

namespace tavro {
namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '|';
}

size_t TokenEnd(std::string_view line, std::string_view separators) {
  size_t stop = 0;
  if (separators == kSeparators) {
    while (stop < line.size() && !IsSeparator(line[stop])) ++stop;
  } else {
    while (stop < line.size() && separators.find(line[stop]) == std::string_view::npos) ++stop;
  }
  return stop;
}

}  // namespace

void LoadPlaFileInto(const std::string& path, TermGraph& graph, ProgressHook progress) {
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) throw std::string("Cannot open file: ") + path;
  ParsePlaText(*text, graph, progress);
}

void ParsePlaText(std::string_view text, TermGraph& graph, ProgressHook progress) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  PlaLines lines{text};
  ParsePla(lines, graph, progress);
}

std::string_view TakeLine(PlaLines& lines) {
  const std::string_view text = lines.text;
  if (text.empty()) return text;
  const void* feed = std::memchr(text.data(), '\n', text.size());
  if (feed == nullptr) {
    lines.text = {};
    return text;
  }
  const size_t length = static_cast<size_t>(static_cast<const char*>(feed) - text.data());
  lines.text.remove_prefix(length + 1);
  return text.substr(0, length);
}

std::string_view TrimmedLine(std::string_view line) {
  size_t first = 0;
  while (first < line.size() && IsSeparator(line[first])) ++first;
  size_t last = line.size();
  while (last > first && IsSeparator(line[last - 1])) --last;
  return line.substr(first, last - first);
}

std::string_view CutToken(std::string_view& line, std::string_view separators) {
  size_t stop = TokenEnd(line, separators);
  const std::string_view token = line.substr(0, stop);
  // Whatever set ended the token, the fixed separator set is skipped after it.
  while (stop < line.size() && IsSeparator(line[stop])) ++stop;
  line.remove_prefix(stop);
  return token;
}

void TrimLine(std::string& line) {
  const std::string_view trimmed = TrimmedLine(line);
  const size_t first = static_cast<size_t>(trimmed.data() - line.data());
  line.erase(first + trimmed.size());
  line.erase(0, first);
}

std::string NextToken(std::string& line, std::string_view separators) {
  std::string_view rest = line;
  std::string token(CutToken(rest, separators));
  line = std::string(rest);
  return token;
}

}  // namespace tavro
