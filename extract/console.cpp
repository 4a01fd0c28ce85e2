// Console lines.  See console.h.

#include "extract/console.h"

#include <cstdarg>
#include <string>

#include "platform/console.h"

namespace {

// `format` filled from `args`, whatever its length.
std::string Format(const char* format, std::va_list args) {
  std::va_list again;
  va_copy(again, args);
  char small[256];
  // `args` comes from the caller's va_start, which the analyzer cannot see.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const int length = std::vsnprintf(small, sizeof small, format, args);
  std::string line;
  if (length < 0) {
    line = format;  // cannot happen with the program's own formats
  } else if (static_cast<std::size_t>(length) < sizeof small) {
    line.assign(small, static_cast<std::size_t>(length));
  } else {
    line.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(&line[0], line.size(), format, again);
    line.pop_back();
  }
  va_end(again);
  return line;
}

}  // namespace

void Console::Out(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string line = Format(format, args);
  va_end(args);
  OutText(line.c_str(), line.c_str());
}

void Console::Err(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string line = Format(format, args);
  va_end(args);
  ErrText(line.c_str(), line.c_str());
}

void Console::OutText(const char* bytes, const char* utf8) {
  if (!platform::WriteConsoleLine(out, bytes, utf8)) outFailed = true;
}

void Console::ErrText(const char* bytes, const char* utf8) {
  platform::WriteConsoleLine(err, bytes, utf8);
}
