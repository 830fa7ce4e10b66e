// Lines and tokens of PLA text.
#include "pla/pla_lines.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "graph/term_graph.hpp"

namespace tavro {
namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '|';
}

size_t TokenEnd(std::string_view line, std::string_view separators) {
  size_t stop = 0;
  if (separators == kSeparators) {
    const auto separatorsIn = [](const auto& chars) {
      return chars.Equal(' ') | chars.Equal('\t') | chars.Equal('\r') | chars.Equal('\n') | chars.Equal('|');
    };
#if defined(__SSE2__)
    for (; stop + packing::Chars16::kWidth <= line.size(); stop += packing::Chars16::kWidth) {
      const uint64_t found = separatorsIn(packing::Chars16(line.data() + stop));
      if (found != 0) return stop + static_cast<size_t>(std::countr_zero(found));
    }
#endif
    // Then eight characters at a time.
    for (; std::endian::native == std::endian::little && stop + 8 <= line.size(); stop += 8) {
      const uint64_t found = separatorsIn(packing::Chars8(line.data() + stop));
      if (found != 0) return stop + static_cast<size_t>(std::countr_zero(found));
    }
    while (stop < line.size() && !IsSeparator(line[stop])) ++stop;
  } else {
    while (stop < line.size() && separators.find(line[stop]) == std::string_view::npos) ++stop;
  }
  return stop;
}

}  // namespace

bool NoLinesLeft(PlaLines& lines) {
  while (lines.text.empty()) {
    if (!lines.more || !lines.more(lines)) return true;
  }
  return false;
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

bool CutPureInputPart(std::string_view& line, size_t length, std::string_view& part) {
  if (line.size() < length || (line.size() > length && !IsSeparator(line[length]))) return false;
  if (!IsPureInputPart(line.substr(0, length))) return false;
  part = line.substr(0, length);
  size_t stop = length;
  while (stop < line.size() && IsSeparator(line[stop])) ++stop;
  line.remove_prefix(stop);
  return true;
}

int32_t PlaTypeNamed(std::string_view name) {
  if (name == "f") return kTypeF;
  if (name == "fd") return kTypeFd;
  if (name == "fr") return kTypeFr;
  if (name == "fdr") return kTypeFdr;
  return 0;
}

int64_t CountValue(std::string_view token) {
  constexpr int64_t kTooLarge = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  size_t i = 0;
  while (i < token.size() && (token[i] == '\v' || token[i] == '\f')) ++i;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  int64_t value = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    value = std::min(value * 10 + (token[i] - '0'), kTooLarge);
  }
  return negative ? -value : value;
}

}  // namespace tavro
