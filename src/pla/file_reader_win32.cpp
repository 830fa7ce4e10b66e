// Reading a file in blocks on Windows. The UTF-8 path is converted to UTF-16
// and opened with CreateFileW, so that names outside the local code page open.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "pla/file_reader.hpp"

namespace tavro {
namespace {

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

HANDLE HandleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

FileReader::~FileReader() {
  if (handle_ != -1) CloseHandle(HandleOf(handle_));
}

bool FileReader::Open(const std::string& path) {
  const std::optional<std::wstring> wide = Utf16(path);
  if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) return false;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  const HANDLE handle = CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(handle);
  LARGE_INTEGER size{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) && size.QuadPart > 0) {
    size_ = static_cast<uint64_t>(size.QuadPart);
  }
  return true;
}

int64_t FileReader::Read(char* data, size_t size) {
  DWORD got = 0;
  if (!ReadFile(HandleOf(handle_), data, static_cast<DWORD>(std::min(size, size_t{1} << 30)), &got, nullptr)) {
    // A pipe whose writer has closed ends this way instead of with 0 bytes.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return got;
}

}  // namespace tavro
