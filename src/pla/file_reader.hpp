// Reading a file in blocks, the one place the loader meets the operating
// system's file interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavro {

/// A file open for reading from its start to its end, closed with the object.
class FileReader {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader();

  /// Opens the file at `path` (UTF-8 on every system); false when it cannot
  /// be opened or is a directory. A FIFO or other device is read until its
  /// end.
  bool Open(const std::string& path);
  /// Reads up to `size` bytes into `data`: the number read, 0 at the end of
  /// the file, -1 when reading fails.
  int64_t Read(char* data, size_t size);
  /// The file's size when it is a regular file, else 0.
  uint64_t Size() const { return size_; }

 private:
  intptr_t handle_ = -1;
  uint64_t size_ = 0;
};

}  // namespace tavro
