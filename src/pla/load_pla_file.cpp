// Loading a PLA file: the whole file is read in large blocks into one buffer
// and closed before parsing; its lines are cut from that buffer as the parser
// takes them, so no line is copied.
#include "pla/load_pla_file.hpp"

#include <algorithm>
#include <cstring>

#include "driver/current_graph.hpp"
#include "pla/parse_pla.hpp"

#if defined(__unix__) || defined(__APPLE__)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define TAVRO_POSIX_READ 1
#else
#include <fstream>
#define TAVRO_POSIX_READ 0
#endif

namespace tavro {
namespace {

constexpr size_t kBlockSize = size_t{1} << 20;

[[noreturn]] void ThrowCannotOpen(const std::string& path) {
  throw std::string("Cannot open file: ") + path;
}

#if TAVRO_POSIX_READ

// Closes the descriptor on every way out.
struct FileDescriptor {
  int fd;
  ~FileDescriptor() { ::close(fd); }
};

// The open does not wait for a writer of a FIFO; reads then block as usual,
// and a FIFO without a writer reads as empty.
std::string ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) ThrowCannotOpen(path);
  FileDescriptor file{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) ThrowCannotOpen(path);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) ThrowCannotOpen(path);

  // A regular file is read in one piece; the spare byte lets the read that
  // meets the end of the file go without growing the buffer.
  size_t capacity = kBlockSize;
  if (S_ISREG(info.st_mode) && info.st_size > 0) capacity = static_cast<size_t>(info.st_size) + 1;
  std::string text(capacity, '\0');
  size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(text.size() * 2);
    const size_t want = std::min(text.size() - used, size_t{1} << 30);
    const ssize_t got = ::read(fd, text.data() + used, want);
    if (got > 0) {
      used += static_cast<size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      ThrowCannotOpen(path);
    }
  }
  text.resize(used);
  return text;
}

#else

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ThrowCannotOpen(path);
  std::string text;
  size_t used = 0;
  while (in) {
    text.resize(used + kBlockSize);
    in.read(text.data() + used, static_cast<std::streamsize>(kBlockSize));
    used += static_cast<size_t>(in.gcount());
  }
  if (in.bad()) ThrowCannotOpen(path);
  text.resize(used);
  return text;
}

#endif

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

void LoadPlaFile(const std::string& path) { LoadPlaFileInto(path, *CurrentGraph()); }

void LoadPlaFileInto(const std::string& path, TermGraph& graph) {
  const std::string text = ReadWholeFile(path);
  ParsePlaText(text, graph);
}

void ParsePlaText(std::string_view text, TermGraph& graph) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  PlaLines lines{text};
  ParsePla(lines, graph);
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
