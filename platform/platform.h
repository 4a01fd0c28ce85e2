// The platform layer: the only code of tamrek that differs between POSIX
// systems and Windows.  platform_posix.cpp and platform_windows.cpp implement
// this one interface; the build compiles the one for its target.
//
// Paths are byte strings.  On POSIX they are passed to the system unchanged.
// On Windows they are UTF-8, converted to UTF-16 only at the system calls, so
// that any file name works whatever the system's code page; a string that is
// not valid UTF-8 is taken to be in the ANSI code page, as the C library's
// narrow functions take it, so ASCII and ANSI callers behave as they did.

#ifndef TAMREK_PLATFORM_PLATFORM_H_
#define TAMREK_PLATFORM_PLATFORM_H_

#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// Opens an existing file for binary reading.
// Returns nullptr when it cannot be opened (missing, no permission, or a
// directory where the system refuses to open one as a file).
std::FILE* OpenForReading(const char* path);

// Creates `path` as a new, empty file and opens it for binary writing.  It
// never opens anything that already exists under that name: not a file, not
// a directory, not a symbolic link, even one that leads nowhere.
// Returns nullptr on failure, with `*nameTaken` true when the failure is that
// something already holds the name, and false for any other reason (no such
// directory, no permission, a full disk).
std::FILE* CreateNewFile(const std::string& path, bool* nameTaken);

// Renames the file `from` to `to`, atomically replacing whatever file or
// symbolic link `to` names, so that a reader of `to` sees either the old
// file or the new one.  Returns false, changing nothing, when it cannot
// (`to` is a directory, say).
bool MoveIntoPlace(const std::string& from, const std::string& to);

// Renames the file `from` to `to` only when nothing exists under `to`: not a
// file, not a directory, not a symbolic link, even one that leads nowhere.
// The test and the rename are one step, so something that appears under
// `to` at any moment is never replaced.
// Returns false, leaving `from` and whatever holds `to` as they are, when it
// cannot; `*nameTaken` is then true when the failure is that `to` exists.
bool MoveToFreeName(const std::string& from, const std::string& to,
                    bool* nameTaken);

// Whether `a` and `b` name the same existing file, through whatever names,
// symbolic links or hard links.  False when either does not exist or cannot
// be examined.
bool SameFile(const char* a, const char* b);

// The program's command line, program name first, as the paths above take
// them: on POSIX `argv` itself, on Windows the process's UTF-16 command line
// converted to UTF-8 (`argc` and `argv` are then not used).
std::vector<std::string> CommandLine(int argc, char** argv);

// Whether `arg` is the system's own way, beside --help and -h, to ask a
// program for help: "/?" on Windows; there is none on POSIX.
bool IsSystemHelpOption(const std::string& arg);

// Writes one console line to `stream` and flushes it, so that lines written
// to two streams that lead to the same place keep their order.  `bytes` is
// the line's exact byte form, written when the stream is a file or a pipe;
// `utf8` is the same text in UTF-8, shown when the stream is a terminal that
// displays UTF-8 (POSIX: a terminal whose locale's character set is UTF-8;
// Windows: a console, written through its UTF-16 interface).
void WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8);

// Whether the program's console window closes when the program exits, so
// that its last lines vanish unread: the program has a console of its own,
// on its standard input and output, that no other process shares, as when
// Explorer starts it (a double-click, a file dropped on it).  Always false
// on POSIX, and for a run from a command prompt, a script, a pipe or a
// redirect.
bool ConsoleClosesOnExit();

// Waits until Enter is pressed on the program's console.  Returns at once when
// the console cannot be read (and always on POSIX).
void WaitForEnter();

}  // namespace platform

#endif  // TAMREK_PLATFORM_PLATFORM_H_
