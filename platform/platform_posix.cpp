// The platform layer on POSIX systems.  See platform.h.

#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// Whether the name of the user's locale for LC_CTYPE (from LC_ALL, LC_CTYPE
// or LANG, the first one set) names UTF-8, as in "ja_JP.UTF-8" or "C.utf8".
bool LocaleNameSaysUtf8() {
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    name = std::getenv(variable);
    if (name != nullptr && name[0] != '\0') break;
  }
  std::string lower = name != nullptr ? name : "";
  for (char& ch : lower) {
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  return lower.find("utf-8") != std::string::npos ||
         lower.find("utf8") != std::string::npos;
}

// Whether the user's locale encodes text as UTF-8: its character set, or,
// when the locale is not installed here, its name.  The program's own
// locale is left as it was.
bool LocaleIsUtf8() {
  static const bool utf8 = [] {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string previous = current != nullptr ? current : "C";
    bool result;
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
      result = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    } else {
      result = LocaleNameSaysUtf8();
    }
    std::setlocale(LC_CTYPE, previous.c_str());
    return result;
  }();
  return utf8;
}

// The signals that end a program by default and that a user or a
// supervisor sends: Ctrl-C, Ctrl-\\, kill, a lost terminal, timeout(1).
constexpr int kInterrupts[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                               SIGALRM, SIGUSR1, SIGUSR2};

// The temporary name of the StagedFile that exists, for the signal handler;
// empty when there is none.
char slotPath[4096];

// Removes the staged file, then ends the program as the signal would have:
// the default action again, and the signal raised again (it is delivered
// when the handler returns).  Only async-signal-safe calls.
void OnInterrupt(int signal) {
  if (slotPath[0] != '\0') unlink(slotPath);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

// The interrupt slot, changed only through this object, which holds the
// interrupts for its life: a file is created, moved or removed in one step
// with filling or emptying the slot, and the handler never sees it half
// written.  A signal that comes meanwhile is delivered on release.
class InterruptSlot {
 public:
  InterruptSlot() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (const int signal : kInterrupts) sigaddset(&interrupts, signal);
    sigprocmask(SIG_BLOCK, &interrupts, &previous);
  }
  ~InterruptSlot() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
  InterruptSlot(const InterruptSlot&) = delete;
  InterruptSlot& operator=(const InterruptSlot&) = delete;

  void Fill(const std::string& path) {
    // A name too long for the slot is too long to be one this program
    // writes: the system refused to create it.
    if (path.size() >= sizeof slotPath) return Empty();
    std::memcpy(slotPath, path.c_str(), path.size() + 1);
  }
  void Empty() { slotPath[0] = '\0'; }

 private:
  sigset_t previous;
};

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

}  // namespace

std::FILE* OpenForReading(const char* path) { return std::fopen(path, "rb"); }

bool CanSeek(std::FILE* file) {
  struct stat st;
  return fstat(fileno(file), &st) == 0 &&
         (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

void PrepareProcess() {
  // A descriptor that is not open gets the null device, read-only: writes to
  // it fail with EBADF as they would have, and nothing else can take it.
  // The lowest free descriptor is the one being filled.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      open("/dev/null", O_RDONLY);
    }
  }
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  sigfillset(&action.sa_mask);
  action.sa_handler = OnInterrupt;
  for (const int signal : kInterrupts) {
    // A signal ignored from the start (nohup, a background job) stays so.
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) == 0 &&
        previous.sa_handler != SIG_IGN) {
      sigaction(signal, &action, nullptr);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::uint32_t> InterruptStatuses() {
  std::vector<std::uint32_t> statuses;
  for (const int signal : kInterrupts) {
    statuses.push_back(128 + static_cast<std::uint32_t>(signal));
  }
  return statuses;
}

namespace {

Status Failure(int error, const std::string& name) {
  return Status::Failed(DescribeError(error, name));
}

}  // namespace

Status StagedFile::Create(const std::string& newPath) {
  path = newPath;
  // O_EXCL fails on any existing name, a dangling symbolic link included.
  InterruptSlot slot;
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    return error == EEXIST ? Status::NameTaken(DescribeError(error, path))
                           : Failure(error, path);
  }
  handle = fd;
  atPath = true;
  slot.Fill(path);
  return Status::Ok();
}

Status StagedFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = write(static_cast<int>(handle), bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return Failure(done < 0 ? errno : EIO, path);
    bytes += done;
    size -= static_cast<std::size_t>(done);
  }
  return Status::Ok();
}

Status StagedFile::Flush() {
  if (fdatasync(static_cast<int>(handle)) == 0) return Status::Ok();
  return Failure(errno, path);
}

Status StagedFile::Close() {
  if (handle < 0) return Status::Ok();
  const int fd = static_cast<int>(handle);
  handle = -1;
  // After close() fails the descriptor is gone all the same (Linux, and
  // POSIX when it fails with EIO); it is never closed twice.
  if (close(fd) == 0) return Status::Ok();
  return Failure(errno, path);
}

Status StagedFile::MoveOver(const std::string& to) {
  InterruptSlot slot;
  if (std::rename(path.c_str(), to.c_str()) != 0) return Failure(errno, to);
  atPath = false;
  slot.Empty();
  return Status::Ok();
}

Status StagedFile::MoveToFreeName(const std::string& to) {
  InterruptSlot slot;
#ifdef RENAME_NOREPLACE
  // Linux: one system call.  Local file systems support it, FAT (vfat,
  // exfat) included; some network and FUSE file systems refuse the flag.
  if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, to.c_str(),
                RENAME_NOREPLACE) == 0) {
    atPath = false;
    slot.Empty();
    return Status::Ok();
  }
  if (errno == EEXIST) return Status::NameTaken(DescribeError(EEXIST, to));
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return Failure(errno, to);
  }
#endif
  // Elsewhere, claim the name by creating it new, then rename over the
  // claim.  link() and unlink() would avoid the moment in which the claim is
  // an empty file, but FAT file systems, common on removable media, have no
  // hard links; creating a new file works on every file system.  Only
  // someone who removes the claim in that moment can lose a file to it.
  const int fd =
      open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int error = errno;
    return error == EEXIST ? Status::NameTaken(DescribeError(error, to))
                           : Failure(error, to);
  }
  close(fd);
  if (std::rename(path.c_str(), to.c_str()) != 0) {
    const int error = errno;
    unlink(to.c_str());  // the claim, empty, is this run's own
    return Failure(error, to);
  }
  atPath = false;
  slot.Empty();
  return Status::Ok();
}

Status StagedFile::Remove() {
  if (!atPath) return Status::Ok();
  InterruptSlot slot;
  const Status removed = unlink(path.c_str()) == 0 || errno == ENOENT
                             ? Status::Ok()
                             : Failure(errno, path);
  atPath = false;  // removed, or given up
  slot.Empty();
  return removed;
}

namespace {

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity identity;
  identity.volume = static_cast<std::uint64_t>(st.st_dev);
  identity.index = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::uint64_t>(st.st_size);
  identity.modified =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
      st.st_mtim.tv_nsec;
  return identity;
}

}  // namespace

Existing ReadExistingFile(const std::string& path, std::size_t size,
                          std::vector<std::uint8_t>* content,
                          FileIdentity* identity) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    return errno == ENOENT ? Existing::kNothing : Existing::kOther;
  }
  if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != size) {
    return Existing::kOther;
  }
  // O_NOFOLLOW: a link put there since is refused; O_NONBLOCK: so is a FIFO.
  const int fd =
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Existing::kOther;
  content->assign(size, 0);
  std::size_t done = 0;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<std::uint64_t>(st.st_size) == size;
  while (ok && done < size) {
    const ssize_t got = read(fd, content->data() + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    ok = got > 0;
    if (ok) done += static_cast<std::size_t>(got);
  }
  close(fd);
  if (!ok) return Existing::kOther;
  *identity = IdentityOf(st);
  return Existing::kRead;
}

bool StillSameFile(const std::string& path, const FileIdentity& identity) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         IdentityOf(st) == identity;
}

bool NameExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

Status FlushDirectory(const char* path) {
  // A directory that may be written but not read (d-wx------) cannot be
  // opened here: its renames are as safe as the system makes them.
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return error == EACCES || error == EPERM ? Status::Ok()
                                             : Failure(error, path);
  }
  // Some file systems cannot flush a directory (EINVAL, ENOTSUP).
  Status status = Status::Ok();
  if (fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP &&
      errno != EOPNOTSUPP) {
    status = Failure(errno, path);
  }
  close(fd);
  return status;
}

bool SameFile(const char* a, const char* b) {
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::vector<std::string> CommandLine(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsSystemHelpOption(const std::string&) { return false; }

bool WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8) {
  const bool terminal = isatty(fileno(stream)) == 1 && LocaleIsUtf8();
  const bool written = std::fputs(terminal ? utf8 : bytes, stream) >= 0;
  return std::fflush(stream) == 0 && written;
}

bool ConsoleClosesOnExit() { return false; }

void WaitForEnter() {}

}  // namespace platform
