// Inside the platform layer, on Windows only: the conversions between the
// program's UTF-8 text and the system's UTF-16, made only at the system
// calls, so that any file name works whatever the system's code page.

#ifndef TAMREK_PLATFORM_WINDOWS_TEXT_H_
#define TAMREK_PLATFORM_WINDOWS_TEXT_H_

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace platform {
namespace internal {

// Converts the zero-terminated `text` from code page `codePage` to UTF-16.
// Returns false when it is not valid text of that code page (with
// MB_ERR_INVALID_CHARS in `flags`) or cannot be converted.
inline bool ToWide(const char* text, UINT codePage, DWORD flags,
                   std::wstring* wide) {
  const int size = MultiByteToWideChar(codePage, flags, text, -1, nullptr, 0);
  if (size <= 0) return false;
  wide->resize(static_cast<std::size_t>(size));
  if (MultiByteToWideChar(codePage, flags, text, -1, &(*wide)[0], size) !=
      size) {
    return false;
  }
  wide->pop_back();  // the terminator
  return true;
}

// The UTF-16 form of `path`: decoded as UTF-8, or in the ANSI code page when
// it is not valid UTF-8, as the C library's narrow functions take it.
// Empty when it is neither.
inline std::wstring WidePath(const std::string& path) {
  std::wstring wide;
  if (!ToWide(path.c_str(), CP_UTF8, MB_ERR_INVALID_CHARS, &wide)) {
    ToWide(path.c_str(), CP_ACP, 0, &wide);
  }
  return wide;
}

inline std::string ToUtf8(const wchar_t* wide) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
  text.pop_back();  // the terminator
  return text;
}

}  // namespace internal
}  // namespace platform

#endif  // TAMREK_PLATFORM_WINDOWS_TEXT_H_
