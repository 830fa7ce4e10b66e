// Loading a PLA file: the file is read in blocks of whole lines, each parsed
// before the next is read; lines are cut from the block as the parser takes
// them, so no line is copied and the file is never held whole.
#include "pla/load_pla_file.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "pla/file_reader.hpp"
#include "pla/parse_pla.hpp"

namespace tavro {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kBlockSize = size_t{1} << 22;

// The blocks of one file. A block ends after its last line feed; the bytes
// after it begin the next block. A line longer than the buffer grows it.
class BlockSource {
 public:
  BlockSource(FileReader& file, const std::string& path) : file_(file), path_(path) {
    buffer_.reset(new char[capacity_]);
  }

  // Puts the next block into `lines`; false at the end of the file.
  bool Next(PlaLines& lines) {
    std::memmove(buffer_.get(), buffer_.get() + taken_, used_ - taken_);
    used_ -= taken_;
    taken_ = 0;
    for (;;) {
      while (!ended_ && used_ < capacity_) {
        const int64_t got = file_.Read(buffer_.get() + used_, capacity_ - used_);
        if (got < 0) throw std::string("Cannot open file: ") + path_;
        ended_ = got == 0;
        used_ += static_cast<size_t>(got);
        read_ += static_cast<uint64_t>(got);
      }
      if (ended_) {
        taken_ = used_;
        break;
      }
      if (const size_t end = EndOfLastLine(); end != 0) {
        taken_ = end;
        break;
      }
      Grow();
    }
    if (taken_ == 0) return false;
    std::string_view text(buffer_.get(), taken_);
    if (first_) {
      first_ = false;
      if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    }
    lines.text = text;
    lines.bytesAfter = (file_.Size() > read_ ? file_.Size() - read_ : 0) + (used_ - taken_);
    return true;
  }

 private:
  // The length of the buffer's whole lines, 0 when it holds no line feed.
  size_t EndOfLastLine() const {
    size_t end = used_;
    while (end > 0 && buffer_[end - 1] != '\n') --end;
    return end;
  }
  void Grow() {
    std::unique_ptr<char[]> bigger(new char[2 * capacity_]);
    std::memcpy(bigger.get(), buffer_.get(), used_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }

  FileReader& file_;
  const std::string& path_;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = kBlockSize;
  size_t used_ = 0;   // bytes in the buffer
  size_t taken_ = 0;  // bytes handed out as the present block
  uint64_t read_ = 0;
  bool ended_ = false;
  bool first_ = true;
};

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '|';
}

size_t TokenEnd(std::string_view line, std::string_view separators) {
  size_t stop = 0;
  if (separators == kSeparators) {
    // Eight bytes at a time where the first lands in the lowest byte.
    for (; std::endian::native == std::endian::little && stop + 8 <= line.size(); stop += 8) {
      uint64_t eight;
      std::memcpy(&eight, line.data() + stop, 8);
      const uint64_t found = packing::BytesEqual(eight, ' ') | packing::BytesEqual(eight, '\t') |
                             packing::BytesEqual(eight, '\r') | packing::BytesEqual(eight, '\n') |
                             packing::BytesEqual(eight, '|');
      if (found != 0) return stop + static_cast<size_t>(std::countr_zero(found));
    }
    while (stop < line.size() && !IsSeparator(line[stop])) ++stop;
  } else {
    while (stop < line.size() && separators.find(line[stop]) == std::string_view::npos) ++stop;
  }
  return stop;
}

}  // namespace

void LoadPlaFileInto(const std::string& path, TermGraph& graph, ProgressHook progress, int threads) {
  FileReader file;
  if (!file.Open(path)) throw std::string("Cannot open file: ") + path;
  BlockSource source(file, path);
  PlaLines lines{.text = {}, .more = [&](PlaLines& l) { return source.Next(l); }};
  ParsePla(lines, graph, progress, ReadThreads{.count = threads});
}

void ParsePlaText(std::string_view text, TermGraph& graph, ProgressHook progress, int threads) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  PlaLines lines{text};
  ParsePla(lines, graph, progress, ReadThreads{.count = threads});
}

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

}  // namespace tavro
