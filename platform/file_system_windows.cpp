// The file system of the working directory on Windows, and the input file.
// See file_system.h and input_file.h.  Every path is converted to UTF-16
// and passed to the system's wide functions.
//
// A new file is written under a temporary name, opened to be deleted when
// it is closed, so that a process ended at any moment, even by
// TerminateProcess, leaves nothing behind; that is cleared only just before
// the file is renamed, by its handle, over its name.  Virus scanners and
// the search indexer open new files for a moment: a sharing or access
// violation on an open, a rename or a removal is tried again a few times,
// as SQLite does, before it is reported.

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/input_file.h"
#include "platform/interrupt_slot.h"
#include "platform/placing_pause.h"
#include "platform/side_names.h"
#include "platform/windows_text.h"

namespace platform {

namespace {

using internal::InterruptSlot;
using internal::ToUtf8;
using internal::WidePath;

// Tries of a call that another program's brief hold may refuse, and the
// pause before the try after try k: 25 ms times k.
constexpr int kTries = 10;
constexpr DWORD kPauseMilliseconds = 25;

// Which errors may come from another program holding a file for a moment:
// a sharing violation on an open; on a rename or a removal, also an access
// denied (a file opened without delete sharing, or about to be deleted).
enum class Transient { kSharing, kSharingOrAccess };

// Calls `call` until it succeeds or fails for a reason that `transient`
// does not cover, at most kTries times.  Returns its result; GetLastError()
// then says why it failed.
template <typename Call>
bool Retrying(Transient transient, const Call& call) {
  for (int k = 1;; ++k) {
    if (call()) return true;
    const DWORD error = GetLastError();
    const bool again = error == ERROR_SHARING_VIOLATION ||
                       error == ERROR_LOCK_VIOLATION ||
                       (error == ERROR_ACCESS_DENIED &&
                        transient == Transient::kSharingOrAccess);
    if (!again || k == kTries) return false;
    Sleep(kPauseMilliseconds * static_cast<DWORD>(k));
    SetLastError(error);
  }
}

// Whether another program holds `wide` open without letting it be deleted
// or renamed.
bool HeldByAnotherProgram(const std::wstring& wide) {
  const HANDLE handle = CreateFileW(
      wide.c_str(), DELETE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
      nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

// Why a call on `name` failed with `error`, in plain English, lower case.
// An access denied is told apart by what holds the name.
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
    case ERROR_CRC:
      return "an input/output error";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return "another program is using the file";
    case ERROR_ACCESS_DENIED:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: {
      const DWORD attributes = GetFileAttributesW(name.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "a directory holds the name";
      }
      if (error != ERROR_ACCESS_DENIED) break;
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return "the file is read-only";
      }
      if (attributes != INVALID_FILE_ATTRIBUTES && HeldByAnotherProgram(name)) {
        return "another program is using the file";
      }
      return "permission denied";
    }
    default:
      break;
  }
  return "Windows error " + std::to_string(error);
}

Status Failure(DWORD error, const std::wstring& name) {
  return Status::Failed(DescribeError(error, name));
}

// Whether a call on `wide` failed with `error` because something holds the
// name.  A directory there is refused as access denied.
bool NameTaken(DWORD error, const std::wstring& wide) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
         (error == ERROR_ACCESS_DENIED &&
          GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES);
}

// Reparse points that are plain files to every program: files of a cloud
// drive (OneDrive's Files On-Demand, on the Desktop and in Documents, where
// Explorer's drops land), of data deduplication, and files compressed by
// the Windows Overlay Filter (compact /exe).
constexpr DWORD kReparseTagWof = 0x80000017;  // IO_REPARSE_TAG_WOF
bool IsPlainFileTag(DWORD tag) {
  return (tag & 0xFFFF0FFFu) == IO_REPARSE_TAG_CLOUD ||
         tag == IO_REPARSE_TAG_DEDUP || tag == kReparseTagWof;
}

// What an entry with these attributes and reparse tag is.
Found KindOf(DWORD attributes, DWORD tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      !IsPlainFileTag(tag)) {
    return Found::kLink;  // a symbolic link, a junction, an unknown kind
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Found::kDirectory;
  return Found::kRegular;
}

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// The identity of the open file `handle`: its volume and 128-bit file ID
// where the volume gives them (ReFS), else the 64-bit index, its size and
// the times of its last write and last change.
bool IdentityOf(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (GetFileInformationByHandle(handle, &info) == 0 ||
      GetFileInformationByHandleEx(handle, FileBasicInfo, &basic,
                                   sizeof basic) == 0) {
    return false;
  }
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = Join(info.nFileIndexHigh, info.nFileIndexLow);
  identity->indexHigh = 0;
  FILE_ID_INFO id;
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) != 0) {
    identity->volume = id.VolumeSerialNumber;
    std::uint64_t low = 0, high = 0;
    static_assert(sizeof id.FileId.Identifier == 16, "a 128-bit file ID");
    for (int i = 0; i < 8; ++i) {
      low |= static_cast<std::uint64_t>(id.FileId.Identifier[i]) << (8 * i);
      high |= static_cast<std::uint64_t>(id.FileId.Identifier[8 + i])
              << (8 * i);
    }
    identity->index = low;
    identity->indexHigh = high;
  }
  identity->size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  identity->modified = basic.LastWriteTime.QuadPart;
  identity->changed = basic.ChangeTime.QuadPart;
  return true;
}

// Opens what `wide` names itself, a link or reparse point rather than its
// target, or, with `follow`, what it leads to.
HANDLE Open(const std::wstring& wide, DWORD access, bool follow) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  Retrying(Transient::kSharing, [&] {
    handle = CreateFileW(
        wide.c_str(), access,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS |
            (follow ? 0 : static_cast<DWORD>(FILE_FLAG_OPEN_REPARSE_POINT)),
        nullptr);
    return handle != INVALID_HANDLE_VALUE;
  });
  return handle;
}

bool StillHolds(const std::wstring& wide, const FileIdentity& identity) {
  const HANDLE handle = Open(wide, FILE_READ_ATTRIBUTES, false);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FILE_ATTRIBUTE_TAG_INFO tag;
  FileIdentity now;
  const bool same =
      GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag,
                                   sizeof tag) != 0 &&
      KindOf(tag.FileAttributes, tag.ReparseTag) == Found::kRegular &&
      IdentityOf(handle, &now) && now == identity;
  CloseHandle(handle);
  return same;
}

// Marks the open file `handle` to be deleted when it is closed, or not.
bool DeleteOnClose(HANDLE handle, bool del) {
  FILE_DISPOSITION_INFO disposition;
  disposition.DeleteFile = del ? TRUE : FALSE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

// Renames the open file `handle` to `to`, replacing what `to` names when
// `replace` says so.  Returns 0, or the error.
DWORD RenameByHandle(HANDLE handle, const std::wstring& to, bool replace) {
  // The full path: a name alone is not always taken to be in the file's own
  // directory.
  const DWORD length = GetFullPathNameW(to.c_str(), 0, nullptr, nullptr);
  if (length == 0) return GetLastError();
  std::vector<wchar_t> full(length);
  if (GetFullPathNameW(to.c_str(), length, full.data(), nullptr) == 0) {
    return GetLastError();
  }
  const std::size_t bytes = (wcslen(full.data()) + 1) * sizeof(wchar_t);
  std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes - sizeof(wchar_t));
  std::memcpy(info->FileName, full.data(), bytes);
  const bool renamed = Retrying(Transient::kSharingOrAccess, [&] {
    return SetFileInformationByHandle(handle, FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
  });
  return renamed ? 0 : GetLastError();
}

// A named mutex made from the folder's volume and file ID: the lock of the
// folder, which the system releases when it is released, closed, or its
// process ends (WAIT_ABANDONED for the next one).
class MutexLock final : public FolderLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex(mutex) {}
  ~MutexLock() override {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }

 private:
  HANDLE mutex;
};

class LocalFileSystem final : public FileSystem {
 public:
  bool List(std::vector<FolderEntry>* entries) override {
    entries->clear();
    WIN32_FIND_DATAW data;
    const HANDLE find =
        FindFirstFileExW(L"*", FindExInfoBasic, &data, FindExSearchNameMatch,
                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      return GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty folder
    }
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      // dwReserved0 holds a reparse point's tag.
      entries->push_back(
          FolderEntry{ToUtf8(data.cFileName),
                      KindOf(data.dwFileAttributes, data.dwReserved0)});
    } while (FindNextFileW(find, &data) != 0);
    const bool listed = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    return listed;
  }

  FileRead Read(const std::string& name, std::size_t limit, bool) override {
    FileRead result;
    const std::wstring wide = WidePath(name);
    HANDLE handle = Open(wide, GENERIC_READ, false);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        result.found = Found::kNothing;
      } else {
        result.found = Found::kUnreadable;
        result.cause = DescribeError(error, wide);
      }
      return result;
    }
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag,
                                     sizeof tag) == 0) {
      result.found = Found::kUnreadable;
      result.cause = DescribeError(GetLastError(), wide);
      CloseHandle(handle);
      return result;
    }
    result.found = KindOf(tag.FileAttributes, tag.ReparseTag);
    if (result.found == Found::kRegular &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // A cloud file's data are read through the file, not its point.
      CloseHandle(handle);
      handle = Open(wide, GENERIC_READ, true);
      if (handle == INVALID_HANDLE_VALUE) {
        result.found = Found::kUnreadable;
        result.cause = DescribeError(GetLastError(), wide);
        return result;
      }
    }
    if (result.found == Found::kRegular) {
      if (!IdentityOf(handle, &result.identity)) {
        result.found = Found::kUnreadable;
        result.cause = DescribeError(GetLastError(), wide);
      } else if (result.identity.size > limit) {
        result.found = Found::kTooLarge;
      } else {
        result.content.resize(static_cast<std::size_t>(result.identity.size));
        std::size_t done = 0;
        while (done < result.content.size()) {
          DWORD got = 0;
          if (ReadFile(handle, result.content.data() + done,
                       static_cast<DWORD>(result.content.size() - done), &got,
                       nullptr) == 0) {
            result.found = Found::kUnreadable;
            result.cause = DescribeError(GetLastError(), wide);
            break;
          }
          if (got == 0) break;  // it shrank meanwhile
          done += got;
        }
        result.content.resize(result.found == Found::kRegular ? done : 0);
      }
    }
    CloseHandle(handle);
    return result;
  }

  bool IsReadOnly(const std::string& name) override {
    const DWORD attributes = GetFileAttributesW(WidePath(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  }

  bool SameFile(const std::string& name, const std::string& path) override {
    FileIdentity a, b;
    return Identify(WidePath(name), &a) && Identify(WidePath(path), &b) &&
           SameFileOf(a, b);
  }

  WriteResult Write(const std::string& name, const std::uint8_t* data,
                    std::size_t size, const WriteMode& mode) override {
    WriteResult result;
    const std::wstring wideName = WidePath(name);
    // Each temporary file is created new: whatever already holds a name (a
    // user's file, a link planted by someone else) is passed over untouched.
    std::string temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    bool taken = true;
    for (int k = 0; k < kTemporaryNames && taken; ++k) {
      const std::wstring wide = WidePath(TemporaryName(name, k));
      InterruptSlot slot;
      Retrying(Transient::kSharing, [&] {
        file = CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
      });
      if (file != INVALID_HANDLE_VALUE) {
        temporary = TemporaryName(name, k);
        slot.Fill(temporary);
        break;
      }
      error = GetLastError();
      taken = NameTaken(error, wide);
    }
    if (file == INVALID_HANDLE_VALUE) {
      result.status =
          taken ? Status::Failed("every temporary name from " +
                                 TemporaryName(name, 0) + " to " +
                                 TemporaryName(name, kTemporaryNames - 1) +
                                 " is taken")
                : Failure(error, wideName);
      return result;
    }
    // From here the file goes when its handle is closed, by this process
    // or by the system when the process ends, unless it takes its name.
    bool deletes = DeleteOnClose(file, true);
    error = 0;
    for (std::size_t done = 0; error == 0 && done < size;) {
      const DWORD chunk = static_cast<DWORD>(
          size - done < 0x40000000u ? size - done : 0x40000000u);
      DWORD written = 0;
      if (WriteFile(file, data + done, chunk, &written, nullptr) == 0) {
        error = GetLastError();
      } else if (written == 0) {
        error = ERROR_WRITE_FAULT;
      }
      done += written;
    }
    if (error == 0 && mode.flush && FlushFileBuffers(file) == 0) {
      error = GetLastError();
    }
    if (error != 0) {
      result.status = Failure(error, wideName);
    } else {
      PauseBeforePlacing(name);
      if (mode.replace && mode.expected != nullptr &&
          !StillHolds(wideName, *mode.expected)) {
        result.status = Status::NameTaken("");  // it holds something else
      } else {
        // Cleared just before the file takes its name: a file marked to be
        // deleted can be neither linked nor renamed.
        InterruptSlot slot;
        error = deletes && !DeleteOnClose(file, false) ? GetLastError() : 0;
        if (error == 0 && !mode.replace) {
          // A new hard link is refused by any existing name, in the same
          // step, on every system that runs this program, Wine included,
          // whose no-replace rename overlooks a dangling symbolic link; the
          // temporary name then goes as the handle is closed.  FAT and exFAT
          // have no hard links: there the rename without replacing.
          const std::wstring wideTemporary = WidePath(temporary);
          error = CreateHardLinkW(wideName.c_str(), wideTemporary.c_str(),
                                  nullptr) != 0
                      ? 0
                      : GetLastError();
          if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED) {
            error = RenameByHandle(file, wideName, false);
          } else if (error == 0 && deletes && !DeleteOnClose(file, true)) {
            deletes = false;  // the temporary name is removed by name
          }
        } else if (error == 0) {
          error = RenameByHandle(file, wideName, true);
        }
        if (error == 0) {
          slot.Empty();
        } else {
          if (deletes) DeleteOnClose(file, true);
          result.status =
              !mode.replace && NameTaken(error, wideName)
                  ? Status::NameTaken(DescribeError(error, wideName))
                  : Failure(error, wideName);
        }
      }
    }
    CloseHandle(file);
    // After a hard link, the temporary name is left to remove by name where
    // the file system would not delete it with the handle.
    if (!result.status.IsOk() || !deletes) {
      Discard(temporary, deletes, &result);
    }
    return result;
  }

  Status KeepAs(const std::string& name, const std::string& backup,
                bool* moved) override {
    *moved = false;
    const std::wstring wideName = WidePath(name);
    const std::wstring wideBackup = WidePath(backup);
    if (CreateHardLinkW(wideBackup.c_str(), wideName.c_str(), nullptr) != 0) {
      return Status::Ok();
    }
    DWORD error = GetLastError();
    if (NameTaken(error, wideBackup)) {
      return Status::NameTaken(DescribeError(error, wideBackup));
    }
    // FAT and exFAT have no hard links: the file moves to its backup name.
    if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) {
      return Failure(error, wideBackup);
    }
    if (Retrying(Transient::kSharingOrAccess, [&] {
          return MoveFileExW(wideName.c_str(), wideBackup.c_str(), 0) != 0;
        })) {
      *moved = true;
      return Status::Ok();
    }
    error = GetLastError();
    return NameTaken(error, wideBackup)
               ? Status::NameTaken(DescribeError(error, wideBackup))
               : Failure(error, wideBackup);
  }

  Status Remove(const std::string& name) override {
    const std::wstring wide = WidePath(name);
    if (Retrying(Transient::kSharingOrAccess,
                 [&] { return DeleteFileW(wide.c_str()) != 0; }) ||
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      return Status::Ok();
    }
    return Failure(GetLastError(), wide);
  }

  // Windows has no way to flush a directory: its file systems journal
  // their renames.
  Status Flush() override { return Status::Ok(); }

  std::unique_ptr<FolderLock> Lock(bool wait) override {
    FileIdentity folder;
    if (!Identify(L".", &folder)) {
      return std::make_unique<FolderLock>("it cannot be identified: " +
                                          DescribeError(GetLastError(), L"."));
    }
    const std::wstring mutexName = L"Global\\tamrek-folder-" +
                                   std::to_wstring(folder.volume) + L"-" +
                                   std::to_wstring(folder.indexHigh) + L"-" +
                                   std::to_wstring(folder.index);
    // A mutex that every user of the machine may open: the default one, of
    // the user who made it first, would refuse the others (two users of one
    // shared folder must take turns too).  A null DACL grants everyone.
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const bool open =
        InitializeSecurityDescriptor(&descriptor,
                                     SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    HANDLE mutex =
        CreateMutexW(open ? &attributes : nullptr, FALSE, mutexName.c_str());
    if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
      // Made by an older tamrek of another user, with the default DACL.
      mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutexName.c_str());
    }
    if (mutex == nullptr) {
      return std::make_unique<FolderLock>("its lock cannot be made: " +
                                          DescribeError(GetLastError(), L"."));
    }
    const DWORD waited = WaitForSingleObject(mutex, wait ? INFINITE : 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
      return std::make_unique<MutexLock>(mutex);
    }
    const DWORD error = GetLastError();
    CloseHandle(mutex);
    if (waited == WAIT_TIMEOUT) return nullptr;
    return std::make_unique<FolderLock>("its lock cannot be taken: " +
                                        DescribeError(error, L"."));
  }

 private:
  // The identity of the file `wide` leads to, following links.
  static bool Identify(const std::wstring& wide, FileIdentity* identity) {
    const HANDLE handle = Open(wide, FILE_READ_ATTRIBUTES, true);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = IdentityOf(handle, identity);
    CloseHandle(handle);
    return ok;
  }

  // After a failed write: the temporary file went with its handle, or, where
  // the file system would not delete it so, is removed now, its slot emptied
  // whatever happens.
  static void Discard(const std::string& temporary, bool deleted,
                      WriteResult* result) {
    InterruptSlot slot;
    const std::wstring wide = WidePath(temporary);
    if (!deleted &&
        !Retrying(Transient::kSharingOrAccess,
                  [&] { return DeleteFileW(wide.c_str()) != 0; }) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
      result->leftBehind = temporary;
      result->leftBehindCause = DescribeError(GetLastError(), wide);
    }
    slot.Empty();
  }
};

}  // namespace

FileSystem& WorkingFolder() {
  static LocalFileSystem folder;
  return folder;
}

bool InputFile::Open(const char* path) {
  Close();
  const HANDLE file =
      CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle = reinterpret_cast<std::intptr_t>(file);
  seekable = GetFileType(file) == FILE_TYPE_DISK;
  LARGE_INTEGER length;
  size = seekable && GetFileSizeEx(file, &length) != 0 ? length.QuadPart : -1;
  return true;
}

bool InputFile::OpenRegular(const char* path) {
  // A file's attributes first: a pipe or a device is never opened here.
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return false;
  }
  if (!Open(path)) return false;
  if (seekable && size >= 0) return true;
  Close();
  return false;
}

void InputFile::Close() {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
  handle = -1;
  seekable = false;
  size = -1;
}

std::int64_t InputFile::ReadAt(std::int64_t offset, std::uint8_t* dest,
                               std::size_t wanted) {
  wanted = Within(offset, wanted);
  std::size_t done = 0;
  while (done < wanted) {
    const std::uint64_t at =
        static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(done);
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (ReadFile(reinterpret_cast<HANDLE>(handle), dest + done,
                 static_cast<DWORD>(wanted - done), &got, &where) == 0) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;  // the end of the file
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t InputFile::Read(std::uint8_t* dest, std::size_t wanted) {
  std::size_t done = 0;
  while (done < wanted) {
    DWORD got = 0;
    if (ReadFile(reinterpret_cast<HANDLE>(handle), dest + done,
                 static_cast<DWORD>(wanted - done), &got, nullptr) == 0) {
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;
      return -1;
    }
    if (got == 0) break;  // the end of the stream
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace platform
