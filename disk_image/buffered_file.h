// BufferedFile is the reader's input stream: a file opened for binary
// reading, with a position of its own and one read window of file data.
// Seeks only move the position; a read is served from the window when it
// can be and goes to the file only when it falls outside it, one large read
// per window.  A track walk names where it started, and a refill begins
// there, so that the walk can step back to its track's start for free.
// Reads at least as large as the window, and reads asked to, go straight
// from the file into the caller's buffer.  It keeps the semantics the D88
// reader relies on: a position at or beyond the end of the file is allowed, a
// read there delivers fewer bytes (or none) and leaves the stream usable, and
// every read reports how many bytes it delivered.  A stream that cannot
// seek (a pipe, a FIFO, a character device) is read whole when it is opened,
// and the reads are served from that copy with the same results.

#ifndef TAMREK_DISK_IMAGE_BUFFERED_FILE_H_
#define TAMREK_DISK_IMAGE_BUFFERED_FILE_H_

#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/input_file.h"

class BufferedFile {
 public:
  // 64 KiB: large enough that a whole-disk read costs one system call per
  // window, small enough to stay in the CPU's cache.
  static constexpr std::int32_t kDefaultWindowSize = 64 * 1024;
  // The most a stream that cannot seek is read: far beyond 64 images of any
  // floppy disk, yet a bound on the memory that it takes.
  static constexpr std::int64_t kMaxStreamSize = std::int64_t{256} << 20;

  // REQUIRES: windowSize > 0.
  explicit BufferedFile(std::int32_t windowSize = kDefaultWindowSize);
  ~BufferedFile();  // closes the file
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;

  // Opens `path` for binary reading at position 0, closing any file open
  // before.  `path` is as platform::InputFile takes it: bytes on POSIX,
  // UTF-8 (or else ANSI) on Windows.  A stream that cannot seek is
  // read to its end first (a FIFO may wait for a writer).  Returns false,
  // with no file open, when it cannot be opened, or when it is such a stream
  // and cannot be read to its end or holds more than kMaxStreamSize bytes.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return file.IsOpen() || streamed; }

  // The file's size when it was opened (a stream's: all it held); -1 when
  // unknown (a disk).
  std::int64_t Size() const { return streamed ? streamSize : file.Size(); }

  // Moves the position; at or beyond the end of the file is allowed.
  // Returns false, leaving the position as it was, for a negative position.
  bool Seek(std::int64_t newPosition) {
    if (newPosition < 0) return false;
    position = newPosition;
    return true;
  }
  std::int64_t Position() const { return position; }

  // Reads up to `length` bytes at the position into `dest` and advances the
  // position by the bytes delivered.  REQUIRES: `dest` holds `length` bytes.
  // Returns the bytes delivered: fewer than `length` when the file ends (or
  // cannot be read) first; 0 when `length` <= 0 or no file is open.
  std::int32_t Read(std::uint8_t* dest, std::int32_t length) {
    const std::int32_t got = ReadAt(position, dest, length);
    position += got;
    return got;
  }

  // Reads up to `length` bytes at file offset `offset` into `dest`, leaving
  // the position alone.  REQUIRES: `dest` holds `length` bytes.
  // Returns the bytes delivered, as Read() does; 0 for a negative offset.
  std::int32_t ReadAt(std::int64_t offset, std::uint8_t* dest,
                      std::int32_t length) {
    return ReadAt(offset, dest, length, offset);
  }
  // The same, within a walk that started at `walkStart` (<= offset) and
  // may step back there: when the window must be loaded, it starts there
  // if it can, keeping the bytes it holds from there on.
  std::int32_t ReadAt(std::int64_t offset, std::uint8_t* dest,
                      std::int32_t length, std::int64_t walkStart) {
    // Fast path, inline: the whole read lies in the window.  This is nearly
    // every read of a track walk.
    const std::int64_t at = offset - windowStart;
    if (length > 0 && at >= 0 && at + length <= windowLength) {
      std::memcpy(dest, window + at, static_cast<std::size_t>(length));
      return length;
    }
    return ReadAtSlow(offset, dest, length, walkStart);
  }

  // Reads up to `length` bytes at file offset `offset` into `dest` from the
  // file itself (or a stream's copy), neither using nor loading the window:
  // for a few bytes read far apart, such as the images' headers when a file
  // is opened.  Returns the bytes delivered, as ReadAt() does.
  std::int32_t ReadDirect(std::int64_t offset, std::uint8_t* dest,
                          std::int32_t length) {
    if (!IsOpen() || length <= 0 || offset < 0) return 0;
    return ReadFromFile(offset, dest, length);
  }

  // A view of the `length` bytes at file offset `offset`, without copying
  // them: a pointer into the window, valid until the next call that reads,
  // and in `*held` the bytes the window holds from there (at least
  // `length`).  `walkStart` is as ReadAt() takes it.
  // REQUIRES: 0 < length <= the window size; walkStart <= offset.
  // Returns nullptr when the file does not hold all `length` bytes there.
  const std::uint8_t* View(std::int64_t offset, std::int32_t length,
                           std::int64_t walkStart, std::int32_t* held) {
    std::int64_t at = offset - windowStart;
    if (at < 0 || at + length > windowLength) {
      if (!ViewSlow(offset, length, walkStart)) return nullptr;
      at = offset - windowStart;
    }
    *held = windowLength - static_cast<std::int32_t>(at);
    return window + at;
  }

  // Whether the last read that went to the file failed with an error rather
  // than reaching the end of the file (a directory, say).
  bool HadError() const { return hadError; }

  // Forgets the window, so that the next read sees the file as it is now.
  void DropWindow() { windowLength = 0; }

  // Where the data a walk reads on through ends (an image's end): refills
  // that grow stop there, and read a window at least.
  void SetReadOnEnd(std::int64_t end) { readOnEnd = end; }

 private:
  std::int32_t ReadAtSlow(std::int64_t offset, std::uint8_t* dest,
                          std::int32_t length, std::int64_t walkStart);
  // Loads the window for View(); returns whether it holds the bytes.
  bool ViewSlow(std::int64_t offset, std::int32_t length,
                std::int64_t walkStart);
  // Loads the window so that it holds the `length` bytes at `offset`, as far
  // as the file has them, starting at `walkStart` when they fit from there.
  // REQUIRES: 0 < length <= windowSize; walkStart <= offset.
  void Fill(std::int64_t offset, std::int32_t length, std::int64_t walkStart);
  // Reads up to `length` bytes at file offset `offset` from the file itself
  // (or from the copy of a stream).
  std::int32_t ReadFromFile(std::int64_t offset, std::uint8_t* dest,
                            std::int32_t length);
  // Reads the open stream `file` to its end into `chunks`.  Returns false
  // when it cannot be read, holds more than kMaxStreamSize bytes, or there
  // is no memory for it.
  bool LoadStream();

  // A stream that cannot seek is held in chunks of this size.
  static constexpr std::int64_t kChunkSize = std::int64_t{1} << 20;
  static constexpr std::int64_t kMaxChunks = kMaxStreamSize / kChunkSize;

  platform::InputFile file;
  std::int64_t position = 0;
  const std::int32_t windowSize;
  // The window moves through a buffer of a few windows (see Fill()).
  static constexpr std::int32_t kBufferWindows = 32;
  std::unique_ptr<std::uint8_t[]> buffer;
  std::uint8_t* window;                // in `buffer`
  std::int32_t readSize = 0;           // the last refill's read (see Fill())
  std::int64_t readOnEnd = INT64_MAX;  // see SetReadOnEnd()
  std::int64_t windowStart = 0;        // file offset of window[0]
  std::int32_t windowLength = 0;       // valid bytes in the window
  bool hadError = false;
  bool streamed = false;  // the bytes are in `chunks`, not `file`
  // The whole of a stream that cannot seek, `streamSize` bytes.
  std::unique_ptr<std::uint8_t[]> chunks[kMaxChunks];
  std::int64_t streamSize = 0;
};

#endif  // TAMREK_DISK_IMAGE_BUFFERED_FILE_H_
