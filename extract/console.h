// Console is where the program's lines go: standard output for the lines
// that say what was done, standard error for everything that went wrong.
// Every line is formatted once, through one printf-like function that the
// compiler checks, and written whole and flushed (see
// platform::WriteConsoleLine), so that the lines of the two streams keep
// their order where both lead to one place.  A line that cannot be written
// to standard output is noted for the run to report at its end; one that
// cannot be written to standard error has nowhere to be told.

#ifndef TAMREK_EXTRACT_CONSOLE_H_
#define TAMREK_EXTRACT_CONSOLE_H_

#include <cstdio>

#if defined(__GNUC__)
#define TAMREK_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define TAMREK_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

class Console {
 public:
  Console(std::FILE* out, std::FILE* err) : out(out), err(err) {}

  // Writes one line to standard output, formatted from `format`.
  void Out(const char* format, ...) TAMREK_PRINTF_FORMAT(2, 3);
  // Writes one line to standard error, formatted from `format`.
  void Err(const char* format, ...) TAMREK_PRINTF_FORMAT(2, 3);

  // Writes a fixed line that has two forms, its exact bytes and the same
  // text in UTF-8 for a terminal that shows UTF-8 (the Japanese lines).
  void OutText(const char* bytes, const char* utf8);
  void ErrText(const char* bytes, const char* utf8);

  // Whether a line could not be written to standard output.
  bool OutFailed() const { return outFailed; }

 private:
  std::FILE* out;
  std::FILE* err;
  bool outFailed = false;
};

#endif  // TAMREK_EXTRACT_CONSOLE_H_
