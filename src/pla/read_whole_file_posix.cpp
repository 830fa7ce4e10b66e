// Reading a whole file on POSIX systems, in large blocks into one buffer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "pla/read_whole_file.hpp"

namespace tavro {
namespace {

constexpr size_t kBlockSize = size_t{1} << 20;

// Closes the descriptor on every way out.
struct FileDescriptor {
  int fd;
  ~FileDescriptor() { ::close(fd); }
};

}  // namespace

// The open does not wait for a writer of a FIFO; reads then block as usual,
// and a FIFO without a writer reads as empty.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  FileDescriptor file{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return std::nullopt;

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
      return std::nullopt;
    }
  }
  text.resize(used);
  return text;
}

}  // namespace tavro
