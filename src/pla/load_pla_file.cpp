// Loading a PLA file: the file is read in blocks of whole lines, each parsed
// before the next is read; lines are cut from the block as the parser takes
// them, so no line is copied and the file is never held whole.
#include "pla/load_pla_file.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "pla/file_reader.hpp"
#include "pla/parse_pla.hpp"
#include "pla/pla_lines.hpp"

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

}  // namespace tavro
