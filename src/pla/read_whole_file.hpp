// Reading a whole file into memory, the one place the loader meets the
// operating system's file interface.
#pragma once

#include <optional>
#include <string>

namespace tavro {

/// The bytes of the file at `path` (UTF-8 on every system), or nothing when
/// it cannot be opened or read, or is a directory. A FIFO or other device is
/// read until its end.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace tavro
