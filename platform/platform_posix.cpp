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

// The signals that interrupt a run: Ctrl-C, kill, a lost terminal.
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary name of the NewFile being written, for the interrupt
// handler; empty when there is none.  Changed only while the interrupts are
// held, so that the handler never sees it half written.
char pendingPath[4096];

void SetPending(const char* path) {
  const std::size_t length = path != nullptr ? std::strlen(path) : 0;
  if (length >= sizeof pendingPath) {
    pendingPath[0] = '\0';  // too long to be a name this program writes
    return;
  }
  std::memcpy(pendingPath, path != nullptr ? path : "", length + 1);
}

// Removes the pending file, then ends the program as the signal would have:
// the default action again, and the signal raised again (it is delivered
// when the handler returns).  Only async-signal-safe calls.
void OnInterrupt(int signal) {
  if (pendingPath[0] != '\0') unlink(pendingPath);
  std::signal(signal, SIG_DFL);
  raise(signal);
}

// Holds the interrupts for its lifetime, so that a file is created or
// removed in one step with noting it as pending.  A held signal is delivered
// when they are released.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (const int signal : kInterrupts) sigaddset(&interrupts, signal);
    sigprocmask(SIG_BLOCK, &interrupts, &previous);
  }
  ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &previous, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous;
};

// Why a call on `name` failed with `error`, in plain English, lower case.
// The program's locale is "C", so strerror() speaks English.
std::string DescribeError(int error, const std::string& name) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return "the disk is full";
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
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      const int held = open("/dev/null", O_RDONLY);
      if (held >= 0 && held != fd) {
        dup2(held, fd);
        close(held);
      }
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
  std::signal(SIGXFSZ, SIG_IGN);
}

bool NewFile::Create(const std::string& newPath, bool* nameTaken) {
  path = newPath;
  cause.clear();
  // O_EXCL fails on any existing name, a dangling symbolic link included.
  // The file becomes the pending one in the same step as it is created.
  const InterruptsHeld held;
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  *nameTaken = fd < 0 && errno == EEXIST;
  if (fd < 0) return Fail(static_cast<unsigned long>(errno), path);
  handle = fd;
  exists = true;
  SetPending(path.c_str());
  return true;
}

bool NewFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = write(static_cast<int>(handle), bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      return Fail(done < 0 ? static_cast<unsigned long>(errno) : EIO, path);
    }
    bytes += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

bool NewFile::Flush() {
  if (fdatasync(static_cast<int>(handle)) == 0) return true;
  return Fail(static_cast<unsigned long>(errno), path);
}

bool NewFile::Close() {
  if (handle < 0) return true;
  const int fd = static_cast<int>(handle);
  handle = -1;
  // After close() fails the descriptor is gone all the same (Linux, and
  // POSIX when it fails with EIO); it is never closed twice.
  if (close(fd) == 0) return true;
  return Fail(static_cast<unsigned long>(errno), path);
}

bool NewFile::MoveOver(const std::string& to) {
  const InterruptsHeld held;
  if (std::rename(path.c_str(), to.c_str()) != 0) {
    return Fail(static_cast<unsigned long>(errno), to);
  }
  Forget();
  return true;
}

bool NewFile::MoveToFreeName(const std::string& to, bool* nameTaken) {
  *nameTaken = false;
  const InterruptsHeld held;
#ifdef RENAME_NOREPLACE
  // Linux: one system call.  Local file systems support it, FAT (vfat,
  // exfat) included; some network and FUSE file systems refuse the flag.
  if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, to.c_str(),
                RENAME_NOREPLACE) == 0) {
    Forget();
    return true;
  }
  if (errno == EEXIST) {
    *nameTaken = true;
    return Fail(EEXIST, to);
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return Fail(static_cast<unsigned long>(errno), to);
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
    *nameTaken = errno == EEXIST;
    return Fail(static_cast<unsigned long>(errno), to);
  }
  close(fd);
  if (std::rename(path.c_str(), to.c_str()) != 0) {
    const int error = errno;
    unlink(to.c_str());
    return Fail(static_cast<unsigned long>(error), to);
  }
  Forget();
  return true;
}

bool NewFile::Remove(std::string* why) {
  if (!exists) return true;
  const InterruptsHeld held;
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    if (why != nullptr) *why = DescribeError(errno, path);
    return false;
  }
  Forget();
  return true;
}

void NewFile::Forget() {
  exists = false;
  SetPending(nullptr);
}

bool NewFile::Fail(unsigned long error, const std::string& name) {
  if (cause.empty()) cause = DescribeError(static_cast<int>(error), name);
  return false;
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

bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index && a.size == b.size &&
         a.modified == b.modified;
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
         SameIdentity(IdentityOf(st), identity);
}

bool NameExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool FlushDirectory(const char* path, std::string* cause) {
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    *cause = DescribeError(errno, path);
    return false;
  }
  // Some file systems cannot flush a directory (EINVAL); their renames are
  // as safe as they can make them.
  const bool flushed = fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
  if (!flushed) *cause = DescribeError(errno, path);
  close(fd);
  return flushed;
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
