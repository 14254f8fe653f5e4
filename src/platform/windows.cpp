// Windows: UTF-8 paths are turned into wide characters and opened with the wide-character calls.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.hpp"
#include "platform/utf.hpp"

namespace varnu::platform {

std::wstring wide_from_utf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), count);
  return wide;
}

std::string utf8_from_wide(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int count =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), count, nullptr, nullptr);
  return utf8;
}

std::FILE* open_for_reading(const std::string& path) {
  return _wfopen(wide_from_utf8(path).c_str(), L"rb");
}

// Windows refuses to open a read-only file for writing. A file system reached through a
// compatibility layer does not always enforce that for a privileged user, so it is asked first.
std::FILE* open_for_writing(const std::string& path) {
  const std::wstring wide = wide_from_utf8(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return nullptr;
  }
  return _wfopen(wide.c_str(), L"wb");
}

void remove_file(const std::string& path) {
  _wremove(wide_from_utf8(path).c_str());
}

}  // namespace varnu::platform
