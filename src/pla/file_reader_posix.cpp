// Reading a file in blocks on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "pla/file_reader.hpp"

namespace tavro {

FileReader::~FileReader() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

// The open does not wait for a writer of a FIFO; reads then block as usual,
// and a FIFO without a writer reads as empty.
bool FileReader::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  handle_ = fd;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) return false;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
  if (S_ISREG(info.st_mode) && info.st_size > 0) size_ = static_cast<uint64_t>(info.st_size);
  return true;
}

int64_t FileReader::Read(char* data, size_t size) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle_), data, std::min(size, size_t{1} << 30));
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

}  // namespace tavro
