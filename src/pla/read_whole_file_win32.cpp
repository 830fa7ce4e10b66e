// Reading a whole file on Windows. The UTF-8 path is converted to UTF-16 and
// opened with CreateFileW, so that names outside the local code page open.
#include <windows.h>

#include <algorithm>

#include "pla/read_whole_file.hpp"

namespace tavro {
namespace {

constexpr size_t kBlockSize = size_t{1} << 20;

// Closes the handle on every way out.
struct FileHandle {
  HANDLE handle;
  ~FileHandle() { CloseHandle(handle); }
};

std::optional<std::wstring> Utf16(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                       static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), size);
  return wide;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const std::optional<std::wstring> wide = Utf16(path);
  if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) return std::nullopt;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  const HANDLE handle = CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  FileHandle file{handle};

  // A disk file is read in one piece; the spare byte lets the read that
  // meets the end of the file go without growing the buffer.
  size_t capacity = kBlockSize;
  LARGE_INTEGER size{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) && size.QuadPart > 0) {
    capacity = static_cast<size_t>(size.QuadPart) + 1;
  }
  std::string text(capacity, '\0');
  size_t used = 0;
  for (;;) {
    if (used == text.size()) text.resize(text.size() * 2);
    const DWORD want = static_cast<DWORD>(std::min(text.size() - used, size_t{1} << 30));
    DWORD got = 0;
    if (!ReadFile(handle, text.data() + used, want, &got, nullptr)) {
      // A pipe whose writer has closed ends this way instead of with 0 bytes.
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      return std::nullopt;
    }
    if (got == 0) break;
    used += got;
  }
  text.resize(used);
  return text;
}

}  // namespace tavro
