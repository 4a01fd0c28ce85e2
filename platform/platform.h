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
#include <utility>
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
// every write to it fails as it would on the closed stream.  The signals
// that end a program by default and that a user or a supervisor sends
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2; on Windows
// Ctrl-C, Ctrl-Break, closing the console, logging off and shutting down)
// first remove the StagedFile being written, if there is one, then end the
// program as they would have ended it; a signal ignored at start stays
// ignored.  A write to a pipe whose reader has gone, or beyond the file-size
// limit, fails as any failed write does (SIGPIPE and SIGXFSZ are ignored).
void PrepareProcess();

// The exit statuses of a run ended by one of those signals or events: on
// POSIX 128 plus each signal's number, as a shell reports it; on Windows
// STATUS_CONTROL_C_EXIT.
std::vector<std::uint32_t> InterruptStatuses();

// The result of one step of a StagedFile: done, refused because something
// already holds the name, or failed for a cause given in plain English,
// lower case ("the disk is full", "permission denied").
class Status {
 public:
  static Status Ok() { return Status(Kind::kOk, std::string()); }
  static Status NameTaken(std::string cause) {
    return Status(Kind::kNameTaken, std::move(cause));
  }
  static Status Failed(std::string cause) {
    return Status(Kind::kFailed, std::move(cause));
  }

  bool IsOk() const { return kind == Kind::kOk; }
  bool IsNameTaken() const { return kind == Kind::kNameTaken; }
  // Why the step did not succeed; empty when it did.
  const std::string& Cause() const { return cause; }

 private:
  enum class Kind { kOk, kNameTaken, kFailed };
  Status(Kind kind, std::string cause) : kind(kind), cause(std::move(cause)) {}

  Kind kind;
  std::string cause;
};

// A file staged under a temporary name beside the name it is meant for:
// created new, written, flushed and closed, then either put in place under
// its name by a rename, so that a reader of the name sees what was there or
// the whole new file, or dropped.  For exactly as long as the file exists
// under its temporary name, this object holds the process's one interrupt
// slot, so that a signal that ends the program (see PrepareProcess) removes
// it first: the step that creates the file fills the slot, the step that
// moves or removes it empties it, and the destructor empties it whatever
// happened (it discards a file that was not put in place).  One at a
// time: there is one slot.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile() { Discard(); }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Creates `path` as a new, empty file and opens it for writing.  It never
  // opens anything that already exists under that name: not a file, not a
  // directory, not a symbolic link, even one that leads nowhere.
  // REQUIRES: this object holds no file yet.
  // Returns NameTaken when something already holds `path`.
  Status Create(const std::string& path);

  // Writes all `size` bytes of `data` at the end of the file.
  // Fails when they could not all be written (a full disk, say).
  Status Write(const void* data, std::size_t size);

  // Flushes the file's data to the disk, so that a rename that replaces a
  // file after it cannot leave an empty one behind after a power cut.
  Status Flush();

  // Closes the file.  Fails when the system reports an error on closing (a
  // write that failed late, on a network file system, say).
  Status Close();

  // Renames the closed file to `to`, atomically replacing whatever file or
  // symbolic link `to` names.  Fails, changing nothing, when it cannot (`to`
  // is a directory, say).
  Status MoveOver(const std::string& to);

  // Renames the closed file to `to` only when nothing exists under `to`: not
  // a file, not a directory, not a symbolic link, even one that leads
  // nowhere.  The test and the rename are one step, so something that
  // appears under `to` at any moment is never replaced.  Returns NameTaken,
  // leaving whatever holds `to` as it was, when `to` exists.  Where the
  // system places the file by a second link, the temporary name may stay
  // behind after success: Discard() then removes it, or says why not.
  Status MoveToFreeName(const std::string& to);

  // Closes the file and removes whatever of it is left at its temporary
  // name, then empties the interrupt slot whatever happened: a file that
  // could not be removed is given up, and no later interrupt removes what
  // holds its name.  Ok when nothing is left there (also when nothing was
  // created or it was moved); Failed, with why, when the file is still
  // there.
  Status Discard() {
    Close();
    return Remove();
  }

  // The temporary name given to Create(); empty before.
  const std::string& Path() const { return path; }

 private:
  // Removes the file from its temporary name, or gives it up; see
  // Discard().
  Status Remove();

  std::string path;
  std::intptr_t handle = -1;  // a file descriptor or a HANDLE; -1 when closed
  bool atPath = false;        // the file is at `path`, and in the slot
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

inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index && a.size == b.size &&
         a.modified == b.modified;
}

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
// directory (its file systems journal their renames).  Ok also where the
// directory cannot be flushed here at all: a file system that cannot flush
// a directory, or a directory that may be written but not opened for
// reading.  Failed when a flush was made and the system reports an error.
Status FlushDirectory(const char* path);

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
