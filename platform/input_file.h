// InputFile: the file the program reads, opened for reading by a path as
// the system takes it (see file_system.h), and read at any offset without
// moving a position, so that each read is one system call.

#ifndef TAMREK_PLATFORM_INPUT_FILE_H_
#define TAMREK_PLATFORM_INPUT_FILE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace platform {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading, closing any file open before.  A FIFO waits
  // for a writer.  Returns false when it cannot be opened (missing, no
  // permission, or a directory where the system refuses to open one).
  bool Open(const char* path);
  // The same, for a regular file alone: anything else (a FIFO, whose open
  // would wait, a device, a pipe that was read once) is not opened, and the
  // call returns false at once.
  bool OpenRegular(const char* path);
  void Close();
  bool IsOpen() const { return handle != -1; }

  // Whether the open file can seek: a regular file or a disk, not a pipe, a
  // FIFO, a socket or a character device, whose bytes come only in order.
  bool CanSeek() const { return seekable; }

  // The file's size when it was opened; -1 when the system does not say (a
  // disk, a stream).
  std::int64_t Size() const { return size; }

  // Reads up to `wanted` bytes at `offset` into `dest`, leaving no
  // position behind, and asks nothing past the end the file had when it was
  // opened.  REQUIRES: the file can seek; `dest` holds `wanted` bytes.
  // Returns the bytes read, fewer only at the end of the file; -1 when the
  // system reports an error (a directory, a disk that cannot be read).
  std::int64_t ReadAt(std::int64_t offset, std::uint8_t* dest,
                      std::size_t wanted);

  // Reads up to `wanted` bytes of a stream, in order, into `dest`.
  // Returns the bytes read, fewer only at its end (0 there); -1 on an error.
  std::int64_t Read(std::uint8_t* dest, std::size_t wanted);

 private:
  // How many of `wanted` bytes at `offset` lie before the end the file had
  // when it was opened: all of them when that end is not known.
  std::size_t Within(std::int64_t offset, std::size_t wanted) const {
    if (size < 0) return wanted;
    if (offset >= size) return 0;
    return static_cast<std::size_t>(std::min<std::int64_t>(
        static_cast<std::int64_t>(wanted), size - offset));
  }

  std::intptr_t handle = -1;  // a file descriptor or a HANDLE
  bool seekable = false;
  std::int64_t size = -1;  // the file's size when it was opened, if known
};

}  // namespace platform

#endif  // TAMREK_PLATFORM_INPUT_FILE_H_
