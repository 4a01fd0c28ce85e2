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
#include <string>

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

// The temporary name of the StagedFile that exists, for the console event
// handler; empty when there is none.  Read and changed only under
// `slotLock`.
SRWLOCK slotLock = SRWLOCK_INIT;
std::wstring slotPath;

// The interrupt slot, changed only through this object, which holds the
// lock for its life (the handler runs on a thread of its own and waits for
// it): a file is created, moved or removed in one step with filling or
// emptying the slot.
class InterruptSlot {
 public:
  InterruptSlot() { AcquireSRWLockExclusive(&slotLock); }
  ~InterruptSlot() { ReleaseSRWLockExclusive(&slotLock); }
  InterruptSlot(const InterruptSlot&) = delete;
  InterruptSlot& operator=(const InterruptSlot&) = delete;

  void Fill(const std::wstring& path) { slotPath = path; }
  void Empty() { slotPath.clear(); }
};

// Ctrl-C, Ctrl-Break, a closed console window, a logoff or a shutdown:
// removes the staged file (an open one goes once its handle closes, as the
// process ends), then ends the process as the system's own handler does,
// with STATUS_CONTROL_C_EXIT.  The lock is kept, so that no new file is
// created in the meantime.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT &&
      event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT &&
      event != CTRL_SHUTDOWN_EVENT) {
    return FALSE;
  }
  AcquireSRWLockExclusive(&slotLock);
  if (!slotPath.empty()) DeleteFileW(slotPath.c_str());
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

// Why a call on `name` failed with `error`, in plain English, lower case.
std::string DescribeError(DWORD error, const std::wstring& name) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the disk is full";
    case ERROR_WRITE_PROTECT:
      return "the file system is read-only";
    case ERROR_FILE_TOO_LARGE:
      return "the file is too large";
    case ERROR_IO_DEVICE:
      return "an input/output error";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "another program is using the file";
    case ERROR_ACCESS_DENIED:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: {
      // A directory under the name is refused as access denied.
      const DWORD attributes = GetFileAttributesW(name.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "a directory holds the name";
      }
      if (error == ERROR_ACCESS_DENIED) return "permission denied";
      break;
    }
    default:
      break;
  }
  return "Windows error " + std::to_string(error);
}

}  // namespace

std::FILE* OpenForReading(const char* path) {
  return _wfopen(WidePath(path).c_str(), L"rb");
}

bool CanSeek(std::FILE* file) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_DISK;
}

void PrepareProcess() {
  // The C library keeps the slots of standard streams that were missing at
  // start, so no file takes their place; output files never get a C library
  // descriptor anyway.
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::vector<std::uint32_t> InterruptStatuses() {
  return {static_cast<std::uint32_t>(STATUS_CONTROL_C_EXIT)};
}

namespace {

Status Failure(DWORD error, const std::wstring& name) {
  return Status::Failed(DescribeError(error, name));
}

}  // namespace

Status StagedFile::Create(const std::string& newPath) {
  path = newPath;
  // CREATE_NEW fails on any existing name.  FILE_SHARE_DELETE lets an
  // interrupt remove the file while it is open.
  const std::wstring wide = WidePath(path.c_str());
  InterruptSlot slot;
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return NameTaken(error, wide)
               ? Status::NameTaken(DescribeError(error, wide))
               : Failure(error, wide);
  }
  handle = reinterpret_cast<std::intptr_t>(file);
  atPath = true;
  slot.Fill(wide);
  return Status::Ok();
}

Status StagedFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk =
        static_cast<DWORD>(size < 0x40000000u ? size : 0x40000000u);
    DWORD done = 0;
    if (WriteFile(reinterpret_cast<HANDLE>(handle), bytes, chunk, &done,
                  nullptr) == 0) {
      return Failure(GetLastError(), WidePath(path.c_str()));
    }
    if (done == 0) return Failure(ERROR_WRITE_FAULT, WidePath(path.c_str()));
    bytes += done;
    size -= done;
  }
  return Status::Ok();
}

Status StagedFile::Flush() {
  if (FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0) {
    return Status::Ok();
  }
  return Failure(GetLastError(), WidePath(path.c_str()));
}

Status StagedFile::Close() {
  if (handle == -1) return Status::Ok();
  const HANDLE file = reinterpret_cast<HANDLE>(handle);
  handle = -1;
  if (CloseHandle(file) != 0) return Status::Ok();
  return Failure(GetLastError(), WidePath(path.c_str()));
}

Status StagedFile::MoveOver(const std::string& to) {
  const std::wstring wideTo = WidePath(to.c_str());
  InterruptSlot slot;
  if (MoveFileExW(WidePath(path.c_str()).c_str(), wideTo.c_str(),
                  MOVEFILE_REPLACE_EXISTING) == 0) {
    return Failure(GetLastError(), wideTo);
  }
  atPath = false;
  slot.Empty();
  return Status::Ok();
}

Status StagedFile::MoveToFreeName(const std::string& to) {
  const std::wstring wideFrom = WidePath(path.c_str());
  const std::wstring wideTo = WidePath(to.c_str());
  InterruptSlot slot;
  // A new hard link is refused by any existing name in the same step, and
  // is refused so on every system that runs this program, Wine included,
  // whose no-replace rename overlooks a dangling symbolic link.  The file
  // is then in place; its temporary name, if it cannot be removed, stays
  // in the slot for Discard() to remove or to report.
  if (CreateHardLinkW(wideTo.c_str(), wideFrom.c_str(), nullptr) != 0) {
    if (DeleteFileW(wideFrom.c_str()) != 0) {
      atPath = false;
      slot.Empty();
    }
    return Status::Ok();
  }
  DWORD error = GetLastError();
  // FAT and exFAT, common on removable media, have no hard links: there the
  // rename without MOVEFILE_REPLACE_EXISTING, which refuses an existing name
  // in the same step as well.
  if (!NameTaken(error, wideTo)) {
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0) != 0) {
      atPath = false;
      slot.Empty();
      return Status::Ok();
    }
    error = GetLastError();
  }
  return NameTaken(error, wideTo)
             ? Status::NameTaken(DescribeError(error, wideTo))
             : Failure(error, wideTo);
}

Status StagedFile::Remove() {
  if (!atPath) return Status::Ok();
  const std::wstring wide = WidePath(path.c_str());
  InterruptSlot slot;
  const DWORD error =
      DeleteFileW(wide.c_str()) != 0 ? ERROR_SUCCESS : GetLastError();
  const Status removed = error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND
                             ? Status::Ok()
                             : Failure(error, wide);
  atPath = false;  // removed, or given up
  slot.Empty();
  return removed;
}

namespace {

// The identity of the open file `handle`; false when it is not a regular
// file (a directory, a reparse point) or cannot be examined.
bool IdentifyRegular(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info) == 0 ||
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  const auto join = [](DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
  };
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = join(info.nFileIndexHigh, info.nFileIndexLow);
  identity->size = join(info.nFileSizeHigh, info.nFileSizeLow);
  identity->modified = static_cast<std::int64_t>(join(
      info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
  return true;
}

// Opens what `path` names itself, a link or reparse point rather than its
// target, for reading and for examining.
HANDLE OpenNoFollow(const std::string& path, DWORD access) {
  return CreateFileW(WidePath(path.c_str()).c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

}  // namespace

Existing ReadExistingFile(const std::string& path, std::size_t size,
                          std::vector<std::uint8_t>* content,
                          FileIdentity* identity) {
  if (!NameExists(path)) return Existing::kNothing;
  const HANDLE handle = OpenNoFollow(path, GENERIC_READ);
  if (handle == INVALID_HANDLE_VALUE) return Existing::kOther;
  bool ok = IdentifyRegular(handle, identity) && identity->size == size;
  if (ok) content->assign(size, 0);
  for (std::size_t done = 0; ok && done < size;) {
    DWORD got = 0;
    ok = ReadFile(handle, content->data() + done,
                  static_cast<DWORD>(size - done), &got, nullptr) != 0 &&
         got > 0;
    done += got;
  }
  CloseHandle(handle);
  return ok ? Existing::kRead : Existing::kOther;
}

bool StillSameFile(const std::string& path, const FileIdentity& identity) {
  const HANDLE handle = OpenNoFollow(path, FILE_READ_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FileIdentity now;
  const bool same = IdentifyRegular(handle, &now) && now == identity;
  CloseHandle(handle);
  return same;
}

bool NameExists(const std::string& path) {
  return GetFileAttributesW(WidePath(path.c_str()).c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

Status FlushDirectory(const char*) { return Status::Ok(); }

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

bool WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8) {
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
