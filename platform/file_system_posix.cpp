// The file system of the working directory on POSIX systems, and the input
// file.  See file_system.h and input_file.h.
//
// A new file is written by the first of these paths that the folder's file
// system allows, each kept for the file systems that need it:
//  - unnamed (Linux's O_TMPFILE: ext4, XFS, Btrfs, tmpfs), and named by a
//    link that fails on any existing name: a run killed at any moment of
//    the write leaves nothing behind;
//  - unnamed, to replace a file: linked to a temporary name, then renamed
//    over the file (no call links a file over another);
//  - under a temporary name from its creation on, renamed onto a free name
//    by a rename that refuses to replace (renameat2's RENAME_NOREPLACE,
//    renamex_np's RENAME_EXCL) where there are no unnamed files or their
//    links are refused (NFS, FUSE, FAT, no /proc; macOS and the BSDs);
//  - and, where even that rename is missing, onto a free name claimed by
//    creating it new, then renamed over the claim (some network and FUSE
//    file systems); to replace, renamed over the file.
// The system's features are found by CMake (TAMREK_HAVE_*), not guessed from
// the system's name.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "platform/input_file.h"
#include "platform/interrupt_slot.h"
#include "platform/placing_pause.h"
#include "platform/side_names.h"

namespace platform {

namespace {

using internal::InterruptSlot;

// Why a call on `name` failed with `error`, in plain English, lower case.
// The program's locale is "C", so strerror() speaks English.
std::string DescribeError(int error, const std::string& name) {
  switch (error) {
    case ENOSPC:
      return "the disk is full";
    case EDQUOT:
      return "the disk quota is exceeded";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EROFS:
      return "the file system is read-only";
    case EFBIG:
      return "the file is too large";
    case EIO:
      return "an input/output error";
    case EISDIR:
      return "a directory holds the name";
    default:
      break;
  }
  struct stat st;
  if ((error == EEXIST || error == ENOTEMPTY) &&
      lstat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return "a directory holds the name";
  }
  std::string text = std::strerror(error);
  if (!text.empty()) {
    text[0] =
        static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  }
  return text;
}

Status Failure(int error, const std::string& name) {
  return Status::Failed(DescribeError(error, name));
}

Status AllTemporaryNamesTaken(const std::string& name) {
  return Status::Failed("every temporary name from " + TemporaryName(name, 0) +
                        " to " + TemporaryName(name, kTemporaryNames - 1) +
                        " is taken");
}

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity identity;
  identity.volume = static_cast<std::uint64_t>(st.st_dev);
  identity.index = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::uint64_t>(st.st_size);
  const auto nanoseconds = [](const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
#if defined(TAMREK_HAVE_ST_MTIM)
  identity.modified = nanoseconds(st.st_mtim);
  identity.changed = nanoseconds(st.st_ctim);
#elif defined(TAMREK_HAVE_ST_MTIMESPEC)
  identity.modified = nanoseconds(st.st_mtimespec);
  identity.changed = nanoseconds(st.st_ctimespec);
#else
  static_cast<void>(nanoseconds);
  identity.modified = static_cast<std::int64_t>(st.st_mtime) * 1000000000;
  identity.changed = static_cast<std::int64_t>(st.st_ctime) * 1000000000;
#endif
  return identity;
}

// Writes all `size` bytes at `data` to `fd`.  Returns 0, or the error.
int WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t done = write(fd, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return done < 0 ? errno : EIO;
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return 0;
}

// Flushes what was written to `fd` to the disk itself: on macOS through the
// drive's own cache (F_FULLFSYNC), which fsync() leaves alone, falling back
// to fsync() where the file system refuses it.  Returns 0, or the error.
int FlushToDisk(int fd, bool dataOnly) {
#ifdef TAMREK_HAVE_F_FULLFSYNC
  if (fcntl(fd, F_FULLFSYNC) == 0) return 0;
  if (errno != ENOTSUP && errno != EINVAL && errno != ENOTTY) return errno;
#endif
#ifdef TAMREK_HAVE_FDATASYNC
  if (dataOnly) return fdatasync(fd) == 0 ? 0 : errno;
#endif
  static_cast<void>(dataOnly);
  return fsync(fd) == 0 ? 0 : errno;
}

// Removes this write's file at the temporary name `path`, emptying the
// interrupt slot whatever happens; a file that cannot be removed is named in
// `result` and given up: no later interrupt removes what holds its name.
void RemoveTemporary(const std::string& path, WriteResult* result) {
  InterruptSlot slot;
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    result->leftBehind = path;
    result->leftBehindCause = DescribeError(errno, path);
  }
  slot.Empty();
}

bool StillHolds(const std::string& name, const FileIdentity& identity) {
  struct stat st;
  return lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         IdentityOf(st) == identity;
}

// Renames the temporary file `from` over `name`, if the mode allows it still.
Status Replace(const std::string& from, const std::string& name,
               const WriteMode& mode) {
  if (mode.expected != nullptr && !StillHolds(name, *mode.expected)) {
    return Status::NameTaken("");  // it holds something else now
  }
  InterruptSlot slot;
  if (std::rename(from.c_str(), name.c_str()) != 0) return Failure(errno, name);
  slot.Empty();
  return Status::Ok();
}

// Renames the temporary file `from` to `name` only while nothing holds
// `name`, in one step with that test where the system has a call for it.
Status RenameToFreeName(const std::string& from, const std::string& name) {
  {
    InterruptSlot slot;
    int renamed = -1;
#if defined(TAMREK_HAVE_RENAMEAT2)
    // Linux: local file systems, FAT included, support the flag; some
    // network and FUSE file systems refuse it.
    renamed = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, name.c_str(),
                        RENAME_NOREPLACE);
#elif defined(TAMREK_HAVE_RENAMEX_NP)
    renamed = renamex_np(from.c_str(), name.c_str(), RENAME_EXCL);
#else
    errno = ENOSYS;
#endif
    if (renamed == 0) {
      slot.Empty();
      return Status::Ok();
    }
    if (errno == EEXIST) return Status::NameTaken(DescribeError(EEXIST, name));
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
      return Failure(errno, name);
    }
  }
  // Elsewhere, claim the name by creating it new, then rename over the
  // claim.  FAT file systems have no hard links; creating a file works on
  // every file system.  Only someone who removes the claim in that moment
  // can lose a file to it.
  const int fd =
      open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    return error == EEXIST ? Status::NameTaken(DescribeError(error, name))
                           : Failure(error, name);
  }
  close(fd);
  InterruptSlot slot;
  if (std::rename(from.c_str(), name.c_str()) != 0) {
    const int error = errno;
    unlink(name.c_str());  // the claim, empty, is this run's own
    return Failure(error, name);
  }
  slot.Empty();
  return Status::Ok();
}

// The write under a temporary name from the file's creation on.
WriteResult WriteNamed(const std::string& name, const std::uint8_t* data,
                       std::size_t size, const WriteMode& mode) {
  WriteResult result;
  // Each temporary file is created new: whatever already holds a name (a
  // user's file, a link planted by someone else) is passed over untouched.
  // O_EXCL fails on any existing name, a dangling symbolic link included.
  std::string temporary;
  int fd = -1;
  int error = EEXIST;
  for (int k = 0; k < kTemporaryNames && error == EEXIST; ++k) {
    InterruptSlot slot;
    fd = open(TemporaryName(name, k).c_str(),
              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temporary = TemporaryName(name, k);
      slot.Fill(temporary);
      error = 0;
    } else {
      error = errno;
    }
  }
  if (fd < 0) {
    result.status =
        error == EEXIST ? AllTemporaryNamesTaken(name) : Failure(error, name);
    return result;
  }
  error = WriteAll(fd, data, size);
  if (error == 0 && mode.flush) error = FlushToDisk(fd, true);
  // After close() fails the descriptor is gone all the same (Linux, and
  // POSIX when it fails with EIO); it is never closed twice.
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    result.status = Failure(error, name);
  } else {
    PauseBeforePlacing(name);
    result.status = mode.replace ? Replace(temporary, name, mode)
                                 : RenameToFreeName(temporary, name);
  }
  if (!result.status.IsOk()) RemoveTemporary(temporary, &result);
  return result;
}

#ifdef TAMREK_HAVE_O_TMPFILE
// Whether the system has refused to give an unnamed file a name (no /proc,
// where the name of its descriptor is found): files are then written under
// temporary names.
bool unnamedRefused = false;

// Gives the unnamed file open as `fd` the name `to`.  Returns 0, or the
// error: EEXIST when something holds `to`.
int Link(int fd, const std::string& to) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) ==
      0) {
    return 0;
  }
  if (errno != ENOENT) return errno;
  // No /proc: the descriptor itself, which only a privileged process may
  // link.
  return linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// The write of an unnamed file, open as `fd`, which this closes.  Sets
// `*refused` instead, with nothing written, when the system cannot name it.
WriteResult WriteUnnamed(int fd, const std::string& name,
                         const std::uint8_t* data, std::size_t size,
                         const WriteMode& mode, bool* refused) {
  WriteResult result;
  int error = WriteAll(fd, data, size);
  if (error == 0 && mode.flush) error = FlushToDisk(fd, true);
  if (error != 0) {
    close(fd);  // and the file is gone
    result.status = Failure(error, name);
    return result;
  }
  PauseBeforePlacing(name);
  if (!mode.replace) {
    error = Link(fd, name);
    if (close(fd) != 0 && error == 0) {
      error = errno;
      unlink(name.c_str());  // placed, but not written after all: this run's
    }
    if (error == ENOENT || error == EPERM) {
      *refused = true;
    } else if (error == EEXIST) {
      result.status = Status::NameTaken(DescribeError(error, name));
    } else if (error != 0) {
      result.status = Failure(error, name);
    }
    return result;
  }
  // To replace, the file takes a temporary name: no call links a file over
  // another.
  std::string temporary;
  error = EEXIST;
  for (int k = 0; k < kTemporaryNames && error == EEXIST; ++k) {
    InterruptSlot slot;
    error = Link(fd, TemporaryName(name, k));
    if (error == 0) {
      temporary = TemporaryName(name, k);
      slot.Fill(temporary);
    }
  }
  if (close(fd) != 0 && error == 0) error = errno;
  if (temporary.empty()) {
    if (error == ENOENT || error == EPERM) {
      *refused = true;
    } else {
      result.status =
          error == EEXIST ? AllTemporaryNamesTaken(name) : Failure(error, name);
    }
    return result;
  }
  result.status =
      error != 0 ? Failure(error, name) : Replace(temporary, name, mode);
  if (!result.status.IsOk()) RemoveTemporary(temporary, &result);
  return result;
}
#endif  // TAMREK_HAVE_O_TMPFILE

// Reads up to `most` bytes of the open file `fd`, from its start, into
// `result`: to its end, or, with `once`, in one call.  A read that fails
// makes the result kUnreadable (kDirectory where it is one).
void ReadContent(int fd, std::size_t most, bool once, const std::string& name,
                 FileRead* result) {
  result->content.resize(most);
  std::size_t done = 0;
  while (done < most) {
    const ssize_t got = read(fd, result->content.data() + done, most - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result->found = errno == EISDIR ? Found::kDirectory : Found::kUnreadable;
      result->cause = DescribeError(errno, name);
      result->content.clear();
      return;
    }
    done += static_cast<std::size_t>(got);
    if (got == 0 || once) break;
  }
  result->content.resize(done);
}

// What a listing's d_type says an entry is.
Found KindOf(unsigned char type) {
  switch (type) {
    case DT_REG:
      return Found::kRegular;
    case DT_DIR:
      return Found::kDirectory;
    case DT_LNK:
      return Found::kLink;
    case DT_UNKNOWN:
      return Found::kUnreadable;  // the file system does not say
    default:
      return Found::kOther;
  }
}

// The working folder, for the process's life: its descriptor, once open,
// is closed by the process's end.
class LocalFileSystem final : public FileSystem {
 public:
  bool List(std::vector<FolderEntry>* entries) override {
    entries->clear();
    if (Folder() < 0) return false;
    // A descriptor of its own, read from the folder's start.
    const int fd = fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return false;
    DIR* listing = fdopendir(fd);
    if (listing == nullptr) {
      close(fd);
      return false;
    }
    rewinddir(listing);
    bool listed = true;
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(listing);
      if (entry == nullptr) {
        listed = errno == 0;  // the end, or an error
        break;
      }
      Add(entry->d_name, entry->d_type, entries);
    }
    closedir(listing);
    return listed;
  }

  FileRead Read(const std::string& name, std::size_t limit,
                bool identify) override {
    FileRead result;
    // O_NOFOLLOW: a symbolic link is refused (ELOOP); O_NONBLOCK: a FIFO
    // opens at once, and reads as nothing.
    const int fd =
        open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      struct stat st;
      if (error == ENOENT) {
        result.found = Found::kNothing;
      } else if (error == ELOOP ||
                 (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode))) {
        result.found = Found::kLink;
      } else {
        result.found = Found::kUnreadable;
        result.cause = DescribeError(error, name);
      }
      return result;
    }
    struct stat st;
    if (!identify) {
      // One read of a byte more than the limit: a regular file's read is
      // short only at its end, so a longer file shows.
      result.found = Found::kRegular;
      ReadContent(fd, limit + 1, true, name, &result);
    } else if (fstat(fd, &st) != 0) {
      result.found = Found::kUnreadable;
      result.cause = DescribeError(errno, name);
    } else if (S_ISDIR(st.st_mode)) {
      result.found = Found::kDirectory;
    } else if (!S_ISREG(st.st_mode)) {
      result.found = Found::kOther;
    } else {
      result.found = Found::kRegular;
      result.identity = IdentityOf(st);
      if (static_cast<std::uint64_t>(st.st_size) <= limit) {
        ReadContent(fd, static_cast<std::size_t>(st.st_size), false, name,
                    &result);
      } else {
        result.found = Found::kTooLarge;
      }
    }
    close(fd);
    if (result.found == Found::kRegular && result.content.size() > limit) {
      result.found = Found::kTooLarge;
      result.content.clear();
    }
    return result;
  }

  bool IsReadOnly(const std::string& name) override {
    return faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) != 0 &&
           errno == EACCES;
  }

  bool SameFile(const std::string& name, const std::string& path) override {
    struct stat a, b;
    return stat(name.c_str(), &a) == 0 && stat(path.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  }

  WriteResult Write(const std::string& name, const std::uint8_t* data,
                    std::size_t size, const WriteMode& mode) override {
#ifdef TAMREK_HAVE_O_TMPFILE
    if (!unnamedRefused) {
      const int fd = open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
      if (fd >= 0) {
        WriteResult result =
            WriteUnnamed(fd, name, data, size, mode, &unnamedRefused);
        if (!unnamedRefused) return result;
      } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
        // A file system, or a kernel, without unnamed files.
        unnamedRefused = true;
      } else {
        WriteResult result;
        result.status = Failure(errno, name);
        return result;
      }
    }
#endif
    return WriteNamed(name, data, size, mode);
  }

  Status KeepAs(const std::string& name, const std::string& backup,
                bool* moved) override {
    *moved = false;
    // Not following a link at `name`: the file itself is kept.
    if (linkat(AT_FDCWD, name.c_str(), AT_FDCWD, backup.c_str(), 0) == 0) {
      return Status::Ok();
    }
    const int error = errno;
    if (error == EEXIST) return Status::NameTaken(DescribeError(error, backup));
    // FAT and exFAT have no hard links (EPERM); some FUSE and network file
    // systems refuse them otherwise.
    if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS &&
        error != EMLINK) {
      return Failure(error, backup);
    }
    Status renamed = RenameToFreeName(name, backup);
    *moved = renamed.IsOk();
    return renamed;
  }

  Status Remove(const std::string& name) override {
    if (unlink(name.c_str()) == 0 || errno == ENOENT) return Status::Ok();
    return Failure(errno, name);
  }

  Status Flush() override {
    // A folder that may be written but not read (d-wx------) cannot be
    // opened here: its renames are as safe as the system makes them.
    if (Folder() < 0) {
      return folderError == EACCES || folderError == EPERM
                 ? Status::Ok()
                 : Failure(folderError, ".");
    }
    // Some file systems cannot flush a directory (EINVAL, ENOTSUP).
    const int error = FlushToDisk(folder, false);
    if (error == 0 || error == EINVAL || error == ENOTSUP ||
        error == EOPNOTSUPP) {
      return Status::Ok();
    }
    return Failure(error, ".");
  }

  std::unique_ptr<FolderLock> Lock(bool wait) override {
    if (Folder() < 0) {
      return std::make_unique<FolderLock>("it cannot be opened: " +
                                          DescribeError(folderError, "."));
    }
    int locked;
    while ((locked = flock(folder, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 &&
           errno == EINTR) {
    }
    if (locked == 0) return std::make_unique<DirectoryLock>(folder);
    if (errno == EWOULDBLOCK) return nullptr;
    // A file system without locks (ENOLCK, EOPNOTSUPP), or another refusal.
    return std::make_unique<FolderLock>(
        errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOTSUP
            ? "its file system has no locks"
            : DescribeError(errno, "."));
  }

 private:
  // The lock of the folder: flock() on the folder's own descriptor, which
  // the system releases when it is unlocked, or the process ends or dies.
  class DirectoryLock final : public FolderLock {
   public:
    explicit DirectoryLock(int fd) : fd(fd) {}
    ~DirectoryLock() override { flock(fd, LOCK_UN); }

   private:
    int fd;
  };

  // The working folder, opened once for its listing, its lock and its
  // flush; -1, with the error in `folderError`, where it cannot be opened.
  int Folder() {
    if (folder < 0 && folderError == 0) {
      folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (folder < 0) folderError = errno;
    }
    return folder;
  }

  static void Add(const char* name, unsigned char type,
                  std::vector<FolderEntry>* entries) {
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
      entries->push_back(FolderEntry{name, KindOf(type)});
    }
  }

  int folder = -1;
  int folderError = 0;
};

}  // namespace

FileSystem& WorkingFolder() {
  static LocalFileSystem folder;
  return folder;
}

bool InputFile::Open(const char* path) {
  Close();
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool known = fstat(fd, &st) == 0;
  seekable = known && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
  // A disk's size is not in its stat; it is read until it ends.
  size =
      known && S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : -1;
  handle = fd;
  return true;
}

bool InputFile::OpenRegular(const char* path) {
  Close();
  // O_NONBLOCK: a FIFO opens at once, and is refused below.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  handle = fd;
  seekable = true;
  size = static_cast<std::int64_t>(st.st_size);
  return true;
}

void InputFile::Close() {
  if (handle != -1) close(static_cast<int>(handle));
  handle = -1;
  seekable = false;
  size = -1;
}

std::int64_t InputFile::ReadAt(std::int64_t offset, std::uint8_t* dest,
                               std::size_t wanted) {
  wanted = Within(offset, wanted);
  std::size_t done = 0;
  while (done < wanted) {
    const ssize_t got =
        pread(static_cast<int>(handle), dest + done, wanted - done,
              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;  // the end of the file
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t InputFile::Read(std::uint8_t* dest, std::size_t wanted) {
  std::size_t done = 0;
  while (done < wanted) {
    const ssize_t got =
        read(static_cast<int>(handle), dest + done, wanted - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;  // the end of the stream
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace platform
