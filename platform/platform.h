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

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// Opens an existing file for binary reading.
// Returns nullptr when it cannot be opened (missing, no permission, or a
// directory where the system refuses to open one as a file).
std::FILE* OpenForReading(const char* path);

// Whether `file` can seek: a regular file or a disk, not a pipe, a FIFO, a
// socket or a character device (whose bytes can only be read in order).
bool CanSeek(std::FILE* file);

// Readies the process for a run, before anything else: a standard stream
// that is closed when the program starts is held by the null device, open
// for reading only, so that no file the program opens can take its place and
// every write to it fails as it would on the closed stream.  Interrupts
// (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl-C, Ctrl-Break and closing the
// console) first remove the NewFile being written, if there is one, then end
// the program as they would have ended it.  A write beyond the file-size
// limit fails as any failed write does (SIGXFSZ is ignored).
void PrepareProcess();

// A file the program writes: created new under a temporary name beside the
// name it is meant for, written, closed and then renamed to that name, so
// that a reader of the name sees either what was there or the whole new
// file.  While it exists under its temporary name, a program that is
// interrupted (see PrepareProcess) removes it before it ends; the
// destructor removes it too.  Every failing call records why, the first
// failure only: Cause() gives it in plain English.  One at a time: the
// interrupt handling knows one such file.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile() { Discard(); }  // removes the file, unless it was placed
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Creates `path` as a new, empty file and opens it for writing.  It never
  // opens anything that already exists under that name: not a file, not a
  // directory, not a symbolic link, even one that leads nowhere.
  // REQUIRES: no file created by this object is open.
  // Returns false on failure, with `*nameTaken` true when the failure is
  // that something already holds the name.
  bool Create(const std::string& path, bool* nameTaken);

  // Writes all `size` bytes of `data` at the end of the file.
  // Returns false when they could not all be written (a full disk, say).
  bool Write(const void* data, std::size_t size);

  // Flushes the file's data to the disk, so that a rename that replaces a
  // file after it cannot leave an empty one behind after a power cut.
  // Returns false when the system reports that it could not.
  bool Flush();

  // Closes the file.  Returns false when the system reports an error on
  // closing (a write that failed late, on a network file system, say).
  bool Close();

  // Renames the closed file to `to`, atomically replacing whatever file or
  // symbolic link `to` names.  Returns false, changing nothing, when it
  // cannot (`to` is a directory, say).
  bool MoveOver(const std::string& to);

  // Renames the closed file to `to` only when nothing exists under `to`: not
  // a file, not a directory, not a symbolic link, even one that leads
  // nowhere.  The test and the rename are one step, so something that
  // appears under `to` at any moment is never replaced.
  // Returns false, leaving whatever holds `to` as it was, when it cannot;
  // `*nameTaken` is then true when the failure is that `to` exists.
  bool MoveToFreeName(const std::string& to, bool* nameTaken);

  // Closes the file and removes it from its temporary name.  Returns true
  // when nothing is left there (also when nothing was created), false when
  // the file is still there, with why in `*why` (when not null).  Cause()
  // stays as it was.
  bool Discard(std::string* why = nullptr) {
    Close();
    return Remove(why);
  }

  // The temporary name given to Create(); empty before.
  const std::string& Path() const { return path; }

  // Why the first call that failed failed, in plain English, lower case
  // ("the disk is full", "permission denied"); empty when none failed.
  const std::string& Cause() const { return cause; }

 private:
  // Records `error` (errno, or GetLastError()) for a call on `name` as the
  // cause, unless a cause is already recorded.  Returns false.
  bool Fail(unsigned long error, const std::string& name);
  // Removes the file from the temporary name and forgets it; see Discard().
  bool Remove(std::string* why);
  // Notes that the file has left its temporary name: nothing to remove.
  void Forget();

  std::string path;
  std::intptr_t handle = -1;  // a file descriptor or a HANDLE; -1 when closed
  bool exists = false;        // the file is at `path`, not yet moved away
  std::string cause;
};

// What ReadExistingFile() found under a name, and the identity of the file
// it read there, so that a later step can tell whether the name still
// holds that file.
enum class Existing {
  kNothing,  // nothing exists under the name
  kOther,    // a directory, a link, a file of another size, or unreadable
  kRead,     // a regular file of the size asked for, read whole
};
struct FileIdentity {
  std::uint64_t volume = 0, index = 0;  // device and inode, or their like
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // last write, in the system's own unit
};

// Reads the regular file `path` whole into `*content` when it is exactly
// `size` bytes long, never following a symbolic link (nor, on Windows, any
// reparse point) and never waiting on a FIFO, and stores its identity.
// Returns kNothing when nothing exists under `path`, kOther when something
// else does or it cannot be read, kRead with `*content` and `*identity`
// set.
Existing ReadExistingFile(const std::string& path, std::size_t size,
                          std::vector<std::uint8_t>* content,
                          FileIdentity* identity);

// Whether `path` still names, without following a link, the file that
// `identity` describes, unchanged in size and time of last write.
bool StillSameFile(const std::string& path, const FileIdentity& identity);

// Whether something (a file, a directory, a link, even a dangling one)
// exists under `path`.  False too when that cannot be examined.
bool NameExists(const std::string& path);

// Flushes the directory `path` to the disk, so that the renames made in it
// survive a power cut.  Does nothing on Windows, which has no way to flush a
// directory (its file systems journal their renames).  Returns true,
// also where the file system cannot flush a directory; false, with the cause
// in `*cause`, when the system reports an error.
bool FlushDirectory(const char* path, std::string* cause);

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
// to two streams that lead to the same place keep their order.  Returns
// false when the line could not be written in full.  `bytes` is
// the line's exact byte form, written when the stream is a file or a pipe;
// `utf8` is the same text in UTF-8, shown when the stream is a terminal that
// displays UTF-8 (POSIX: a terminal whose locale's character set is UTF-8;
// Windows: a console, written through its UTF-16 interface).
bool WriteConsoleLine(std::FILE* stream, const char* bytes, const char* utf8);

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
