// The platform layer on POSIX systems.  See platform.h.

#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
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
  for (char& ch : lower) ch = static_cast<char>(std::tolower(ch));
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

}  // namespace

std::FILE* OpenForReading(const char* path) { return std::fopen(path, "rb"); }

std::FILE* CreateNewFile(const std::string& path, bool* nameTaken) {
  // O_EXCL fails on any existing name, a dangling symbolic link included.
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  *nameTaken = fd < 0 && errno == EEXIST;
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    close(fd);
    unlink(path.c_str());
  }
  return file;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool MoveToFreeName(const std::string& from, const std::string& to,
                    bool* nameTaken) {
  *nameTaken = false;
#ifdef RENAME_NOREPLACE
  // Linux: one system call.  Local file systems support it, FAT (vfat,
  // exfat) included; some network and FUSE file systems refuse the flag.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno == EEXIST) {
    *nameTaken = true;
    return false;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
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
    return false;
  }
  close(fd);
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  unlink(to.c_str());
  return false;
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

void WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8) {
  const bool terminal = isatty(fileno(stream)) == 1 && LocaleIsUtf8();
  std::fputs(terminal ? utf8 : bytes, stream);
  std::fflush(stream);
}

bool ConsoleClosesOnExit() { return false; }

void WaitForEnter() {}

}  // namespace platform
