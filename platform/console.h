// The console: writing the program's lines so that a terminal shows them as
// text, and the console window that Explorer gives a program of its own.

#ifndef TAMREK_PLATFORM_CONSOLE_H_
#define TAMREK_PLATFORM_CONSOLE_H_

#include <cstdio>

namespace platform {

// Writes one console line to `stream` and flushes it, so that lines written
// to two streams that lead to the same place keep their order.  Returns
// false when the line could not be written in full.  `bytes` is the line's
// exact byte form, written when the stream is a file or a pipe; `utf8` is the
// same text in UTF-8, shown when the stream is a terminal that displays
// UTF-8 (POSIX: a terminal whose locale's character set is UTF-8; Windows: a
// console, written through its UTF-16 interface).  Whether a stream is a
// terminal is asked once per stream.
bool WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8);

// Whether the program's console window closes when the program exits, so
// that its last lines vanish unread: the program has a console of its own,
// on its standard input and output, that no other process shares, as when
// Explorer starts it (a double-click, a file dropped on it).  Always false
// on POSIX, and for a run from a command prompt, a script, a pipe or a
// redirect.
bool ConsoleClosesOnExit();

// Waits until Enter is pressed on the program's console.  Returns at once
// when the console cannot be read (and always on POSIX).
void WaitForEnter();

}  // namespace platform

#endif  // TAMREK_PLATFORM_CONSOLE_H_
