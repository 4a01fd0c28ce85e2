// The console on Windows.  See console.h.

#include "platform/windows_text.h"
// After windows.h, which they need.
#include <io.h>

#include <cstdio>
#include <string>

#include "platform/console.h"

namespace platform {

bool WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8) {
  std::fflush(stream);
  const HANDLE handle =
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  std::wstring wide;
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0 &&
      internal::ToWide(utf8, CP_UTF8, 0, &wide)) {
    // A console shows UTF-16 whatever its code page; lines end in CR LF.
    std::wstring line;
    for (const wchar_t ch : wide) {
      if (ch == L'\n') line += L'\r';
      line += ch;
    }
    DWORD written = 0;
    if (WriteConsoleW(handle, line.data(), static_cast<DWORD>(line.size()),
                      &written, nullptr) != 0) {
      return written == line.size();
    }
  }
  const bool done = std::fputs(bytes, stream) >= 0;
  return std::fflush(stream) == 0 && done;
}

bool ConsoleClosesOnExit() {
  DWORD mode = 0;
  DWORD processes[2];
  return GetConsoleWindow() != nullptr &&
         GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0 &&
         GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 &&
         GetConsoleProcessList(processes, 2) == 1;
}

void WaitForEnter() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  // In line mode a read returns once Enter is pressed; without it, key by
  // key.  Either way the wait ends with the first line end.
  wchar_t keys[64];
  DWORD got = 0;
  while (ReadConsoleW(input, keys, 64, &got, nullptr) != 0 && got > 0) {
    for (DWORD i = 0; i < got; ++i) {
      if (keys[i] == L'\r' || keys[i] == L'\n') return;
    }
  }
}

}  // namespace platform
