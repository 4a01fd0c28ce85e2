// FileSystem: the file operations that placing the output files needs, on
// the files of one folder, named relative to it.  The run decides what to
// read, merge, keep and replace; this interface carries the decisions out.
// WorkingFolder() is the real one, on the process's working directory; the
// tests give the run a fake one, in memory, that records every change (see
// extract/fake_file_system.h), so that the decisions can be checked at every
// instant of a run, not only at its end.
//
// Every method says what it returns when it fails; none throws.  A name is
// a byte string: on POSIX passed to the system unchanged, on Windows UTF-8,
// converted to UTF-16 only at the system calls (a string that is not valid
// UTF-8 is taken to be in the ANSI code page, as the C library takes it).

#ifndef TAMREK_PLATFORM_FILE_SYSTEM_H_
#define TAMREK_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_identity.h"
#include "platform/status.h"

namespace platform {

// What a name was found to hold by FileSystem::Read().
enum class Found {
  kNothing,     // nothing: no file, directory or link
  kRegular,     // a regular file, read whole
  kTooLarge,    // a regular file longer than the limit, not read
  kDirectory,   // a directory
  kLink,        // a symbolic link (on Windows also a junction, or a reparse
                // point of a kind not known to be a plain file)
  kOther,       // anything else: a FIFO, a device, a socket
  kUnreadable,  // something that could not be examined or read
};

struct FileRead {
  Found found = Found::kNothing;
  std::vector<std::uint8_t> content;  // kRegular: every byte
  FileIdentity identity;              // kRegular and kTooLarge
  std::string cause;                  // kUnreadable: why, in plain English
};

// One entry of a folder: its name, and what it is as the listing says
// (kRegular, kDirectory, kLink or kOther; kUnreadable where the listing
// does not say, and the entry itself must be asked).
struct FolderEntry {
  std::string name;
  Found kind;
};

// How FileSystem::Write() puts a new file under its name.
struct WriteMode {
  // Replace whatever holds the name (a file, a symbolic link: the link
  // itself, never the file it leads to; a directory is never replaced);
  // otherwise put the file there only while nothing holds the name, in one
  // step with that test.
  bool replace = false;
  // Flush the new file's data to the disk before it takes the name, so that
  // a power cut after the rename cannot leave an empty file where a good one
  // was.  A file put under a free name needs none.
  bool flush = false;
  // With `replace`: replace only while the name still holds this file,
  // unchanged (see FileIdentity), checked just before the rename.
  const FileIdentity* expected = nullptr;
};

struct WriteResult {
  // Ok; NameTaken when the name was held (without `replace`), or no longer
  // held the expected file; Failed with the cause.  Whatever held the name
  // is then as it was.
  Status status = Status::Ok();
  // A temporary name of this write that could not be removed after a
  // failure, and why; empty when none is left.
  std::string leftBehind, leftBehindCause;
};

// Held by a run for as long as it reads, merges and places the files of the
// folder, so that two runs in one folder take turns; released when
// destroyed, and by the system when the process dies, leaving nothing in the
// folder.  One that holds nothing says why: a run must then write nothing
// whose truth rests on the folder staying as it read it.
class FolderLock {
 public:
  // A lock that is held; or, with a cause, one that holds nothing.
  explicit FolderLock(std::string notHeld = "") : notHeld(std::move(notHeld)) {}
  virtual ~FolderLock() = default;

  bool Held() const { return notHeld.empty(); }
  // Why the folder could not be locked, in plain English; empty when held.
  const std::string& NotHeld() const { return notHeld; }

 private:
  std::string notHeld;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Stores the entries of the folder (not "." and "..") in `*entries`, in
  // no particular order.  Returns false when the folder cannot be listed,
  // as one that may be written but not read (d-wx------).
  virtual bool List(std::vector<FolderEntry>* entries) = 0;

  // What `name` holds, examined without following a symbolic link (nor, on
  // Windows, a junction) and without waiting on a FIFO; a regular file of
  // at most `limit` bytes is read whole.  With `identify`, its identity too,
  // and what it is, from the file itself; without, a file that reads as one
  // is taken for the regular file that its folder's listing said it was.
  // Returns kUnreadable, with the cause, when it cannot be examined or read.
  virtual FileRead Read(const std::string& name, std::size_t limit,
                        bool identify) = 0;

  // Whether the user may not write the regular file `name` (its permissions
  // or, on Windows, its read-only attribute say so): a file the user has
  // made read-only is not to be replaced.  False when it cannot be told.
  virtual bool IsReadOnly(const std::string& name) = 0;

  // Whether `name` and `path` (any path, as given on the command line) lead
  // to the same existing file, through whatever links.  False when either
  // does not exist or cannot be examined.
  virtual bool SameFile(const std::string& name, const std::string& path) = 0;

  // Writes the `size` bytes at `data` as a new file and puts it under
  // `name` as `mode` says, so that a reader of the name sees what was there
  // or the whole new file, never a part.  While it is written it has no
  // name, or a temporary one beside `name` that nothing held and that an
  // interrupt removes (see PrepareProcess); nothing found at a temporary
  // name is ever opened.  See WriteResult for what it returns.
  virtual WriteResult Write(const std::string& name, const std::uint8_t* data,
                            std::size_t size, const WriteMode& mode) = 0;

  // Keeps the regular file `name` under `backup` as well, a name that
  // nothing holds: as a hard link to it where the file system has them
  // (`*moved` false); elsewhere (FAT, exFAT) by renaming it there, so that
  // `name` is then free (`*moved` true).  Ok; NameTaken when something
  // holds `backup`; Failed with the cause, and nothing changed, otherwise.
  virtual Status KeepAs(const std::string& name, const std::string& backup,
                        bool* moved) = 0;

  // Removes the file `name` (not a directory).  Ok when nothing is left
  // there (also when nothing was); Failed with the cause otherwise.
  virtual Status Remove(const std::string& name) = 0;

  // Flushes the folder itself to the disk, so that the renames made in it
  // survive a power cut.  Ok where there is nothing to flush or it cannot be
  // flushed at all (Windows, whose file systems journal their renames; a
  // file system that cannot flush a directory; a folder that may be written
  // but not opened); Failed when a flush was made and the system reports an
  // error.
  virtual Status Flush() = 0;

  // Takes the folder's lock.  With `wait`, waits for another run that holds
  // it; without, returns nullptr at once when another run holds it.  Where
  // the folder cannot be locked (it cannot be opened, its file system has
  // no locks, the system refuses), returns a lock that holds nothing, with
  // the cause.
  virtual std::unique_ptr<FolderLock> Lock(bool wait) = 0;
};

// The file system of the process's working directory.
FileSystem& WorkingFolder();

}  // namespace platform

#endif  // TAMREK_PLATFORM_FILE_SYSTEM_H_
