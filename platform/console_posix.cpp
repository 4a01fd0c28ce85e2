// The console on POSIX systems.  See console.h.

#include <langinfo.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console.h"

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

// Whether `fd` is a terminal that shows UTF-8.  Asked once for each standard
// stream: they lead where they led when the program started.
bool ShowsUtf8(int fd) {
  static signed char known[3] = {-1, -1, -1};
  if (fd < 0 || fd > 2) return isatty(fd) == 1 && LocaleIsUtf8();
  if (known[fd] < 0) known[fd] = isatty(fd) == 1 && LocaleIsUtf8() ? 1 : 0;
  return known[fd] == 1;
}

}  // namespace

bool WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8) {
  const bool written =
      std::fputs(ShowsUtf8(fileno(stream)) ? utf8 : bytes, stream) >= 0;
  return std::fflush(stream) == 0 && written;
}

bool ConsoleClosesOnExit() { return false; }

void WaitForEnter() {}

}  // namespace platform
