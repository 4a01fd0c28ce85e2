// The platform layer on Windows.  See platform.h.  Every path is converted
// to UTF-16 and passed to the system's wide functions.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace platform {

namespace {

// Converts the zero-terminated `text` from code page `codePage` to UTF-16.
// Returns false when it is not valid text of that code page (with
// MB_ERR_INVALID_CHARS in `flags`) or cannot be converted.
bool ToWide(const char* text, UINT codePage, DWORD flags, std::wstring* wide) {
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
// it is not valid UTF-8.  Empty when it is neither.
std::wstring WidePath(const char* path) {
  std::wstring wide;
  if (!ToWide(path, CP_UTF8, MB_ERR_INVALID_CHARS, &wide)) {
    ToWide(path, CP_ACP, 0, &wide);
  }
  return wide;
}

std::string ToUtf8(const wchar_t* wide) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
  text.pop_back();  // the terminator
  return text;
}

// The identity of the file `path` names, following links.
bool Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  const HANDLE handle =
      CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(handle, info) != 0;
  CloseHandle(handle);
  return ok;
}

// Whether a call on `wide` failed with `error` because something holds the
// name.  A directory there is refused as access denied.
bool NameTaken(DWORD error, const std::wstring& wide) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
         (error == ERROR_ACCESS_DENIED &&
          GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES);
}

}  // namespace

std::FILE* OpenForReading(const char* path) {
  return _wfopen(WidePath(path).c_str(), L"rb");
}

std::FILE* CreateNewFile(const std::string& path, bool* nameTaken) {
  // CREATE_NEW fails on any existing name; msvcrt's fopen has no such mode.
  const std::wstring wide = WidePath(path.c_str());
  const HANDLE handle =
      CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *nameTaken = NameTaken(GetLastError(), wide);
    return nullptr;
  }
  *nameTaken = false;
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle),
                                 _O_WRONLY | _O_BINARY);
  std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
  if (file == nullptr) {
    if (fd >= 0) {
      _close(fd);
    } else {
      CloseHandle(handle);
    }
    DeleteFileW(wide.c_str());
  }
  return file;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  return MoveFileExW(WidePath(from.c_str()).c_str(),
                     WidePath(to.c_str()).c_str(),
                     MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MoveToFreeName(const std::string& from, const std::string& to,
                    bool* nameTaken) {
  const std::wstring wideFrom = WidePath(from.c_str());
  const std::wstring wideTo = WidePath(to.c_str());
  *nameTaken = false;
  // A new hard link is refused by any existing name in the same step, and
  // is refused so on every system that runs this program, Wine included,
  // whose no-replace rename overlooks a dangling symbolic link.
  if (CreateHardLinkW(wideTo.c_str(), wideFrom.c_str(), nullptr) != 0) {
    DeleteFileW(wideFrom.c_str());
    return true;
  }
  DWORD error = GetLastError();
  // FAT and exFAT, common on removable media, have no hard links: there the
  // rename without MOVEFILE_REPLACE_EXISTING, which refuses an existing name
  // in the same step as well.
  if (!NameTaken(error, wideTo)) {
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0) != 0) return true;
    error = GetLastError();
  }
  *nameTaken = NameTaken(error, wideTo);
  return false;
}

bool SameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return Identify(a, &ia) && Identify(b, &ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

std::vector<std::string> CommandLine(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

bool IsSystemHelpOption(const std::string& arg) { return arg == "/?"; }

void WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8) {
  std::fflush(stream);
  const HANDLE handle =
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  std::wstring wide;
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0 &&
      ToWide(utf8, CP_UTF8, 0, &wide)) {
    // A console shows UTF-16 whatever its code page; lines end in CR LF.
    std::wstring line;
    for (const wchar_t ch : wide) {
      if (ch == L'\n') line += L'\r';
      line += ch;
    }
    DWORD written = 0;
    if (WriteConsoleW(handle, line.data(), static_cast<DWORD>(line.size()),
                      &written, nullptr) != 0) {
      return;
    }
  }
  std::fputs(bytes, stream);
  std::fflush(stream);
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
