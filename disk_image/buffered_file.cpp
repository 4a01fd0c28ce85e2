// BufferedFile: see buffered_file.h.

#include "disk_image/buffered_file.h"

#include <algorithm>
#include <new>

#include "platform/input_file.h"

BufferedFile::BufferedFile(std::int32_t windowSize)
    : windowSize(windowSize),
      buffer(new (std::nothrow)
                 std::uint8_t[static_cast<std::size_t>(kBufferWindows) *
                              static_cast<std::size_t>(windowSize)]),
      window(buffer.get()) {}

BufferedFile::~BufferedFile() { Close(); }

bool BufferedFile::Open(const char* path) {
  Close();
  if (buffer == nullptr) return false;  // no memory for it
  if (!file.Open(path)) return false;
  if (!file.CanSeek()) {
    // A pipe's bytes can be read only once, in order; the reader seeks.
    streamed = LoadStream();
    file.Close();
    if (!streamed) Close();  // and free what was read
    return streamed;
  }
  return true;
}

void BufferedFile::Close() {
  file.Close();
  streamed = false;
  for (auto& chunk : chunks) chunk.reset();
  streamSize = 0;
  position = 0;
  windowLength = 0;
  readOnEnd = INT64_MAX;
  hadError = false;
}

std::int32_t BufferedFile::ReadAtSlow(std::int64_t offset, std::uint8_t* dest,
                                      std::int32_t length,
                                      std::int64_t walkStart) {
  if (!IsOpen() || length <= 0 || offset < 0) return 0;
  std::int32_t done = 0;
  while (done < length) {
    const std::int32_t wanted = length - done;
    // Serve what the window holds at the offset.
    if (offset >= windowStart && offset < windowStart + windowLength) {
      const std::int32_t at = static_cast<std::int32_t>(offset - windowStart);
      const std::int32_t count =
          wanted < windowLength - at ? wanted : windowLength - at;
      std::memcpy(dest + done, window + at, static_cast<std::size_t>(count));
      done += count;
      offset += count;
      continue;
    }
    if (wanted >= windowSize) {
      done += ReadFromFile(offset, dest + done, wanted);
      break;  // the rest, if any, is beyond the end of the file
    }
    Fill(offset, wanted, std::min(walkStart, offset));
    if (offset >= windowStart + windowLength) break;  // the end of the file
  }
  return done;
}

bool BufferedFile::ViewSlow(std::int64_t offset, std::int32_t length,
                            std::int64_t walkStart) {
  if (!IsOpen() || offset < 0 || length <= 0 || length > windowSize) {
    return false;
  }
  Fill(offset, length, std::min(walkStart, offset));
  const std::int64_t at = offset - windowStart;
  return at >= 0 && at + length <= windowLength;
}

void BufferedFile::Fill(std::int64_t offset, std::int32_t length,
                        std::int64_t walkStart) {
  // A track walk steps back to its track's start for the next sector: the
  // window starts there, so that it holds the whole track, unless the walk
  // has come more than half a window (a hostile track; no floppy's is that
  // long).  What the window holds from there on is kept, not read again:
  // at most the part of one track before the window's end, and then new
  // data are read after it.
  const std::int64_t from =
      walkStart >= 0 && offset - walkStart + length <= windowSize / 2
          ? walkStart
          : offset;
  const std::int64_t windowEnd = windowStart + windowLength;
  const bool readingOn = windowLength > 0 && from >= windowStart &&
                         from <= windowEnd &&
                         windowEnd - from <= windowSize / 2;
  // A fresh window is one window's read at the buffer's start: a run that
  // reads a few tracks here and there touches no more memory than that.
  std::uint8_t* start = buffer.get();
  std::int32_t kept = 0;
  const std::int32_t lastRead = readSize;
  readSize = windowSize;
  if (readingOn) {
    // A walk reading on keeps what it has (at most half a window) where it
    // is and reads after it, further into the buffer, moving to the
    // buffer's start only when the read has no room: the system copies
    // into memory the process has not just written faster, a whole disk so
    // up to a sixth faster than into one window's memory again and again.
    // It reads twice as much each time, up to half the buffer, as the
    // system's own read-ahead grows, so a disk read whole costs a few calls
    // per image; but no further than the end the reader named, and a
    // window at least.
    readSize = static_cast<std::int32_t>(std::max<std::int64_t>(
        windowSize, std::min({2 * std::int64_t{lastRead},
                              std::int64_t{kBufferWindows / 2} * windowSize,
                              readOnEnd - windowEnd})));
    kept = static_cast<std::int32_t>(windowEnd - from);
    start = window + (from - windowStart);
    std::uint8_t* const end =
        buffer.get() + static_cast<std::size_t>(kBufferWindows) *
                           static_cast<std::size_t>(windowSize);
    if (end - (start + kept) < readSize) {
      if (kept > 0) {
        std::memmove(buffer.get(), start, static_cast<std::size_t>(kept));
      }
      start = buffer.get();
    }
  }
  window = start;
  windowStart = from;
  windowLength = kept + ReadFromFile(from + kept, window + kept, readSize);
}

bool BufferedFile::LoadStream() {
  // Chunk by chunk, so that the stream takes no more memory than its bytes
  // and no block larger than a chunk: no copy when it grows, and no single
  // large allocation, which a 32-bit process is the likeliest to be refused.
  for (std::int64_t& size = streamSize; size < kMaxStreamSize;) {
    std::unique_ptr<std::uint8_t[]>& chunk = chunks[size / kChunkSize];
    chunk.reset(new (std::nothrow) std::uint8_t[kChunkSize]);
    if (chunk == nullptr) return false;
    const std::int64_t got = file.Read(chunk.get(), kChunkSize);
    if (got < 0) return false;
    size += got;
    if (got < kChunkSize) return true;
  }
  // Exactly the limit so far: one byte more is too long.
  std::uint8_t more;
  return file.Read(&more, 1) == 0;
}

std::int32_t BufferedFile::ReadFromFile(std::int64_t offset, std::uint8_t* dest,
                                        std::int32_t length) {
  if (streamed) {
    std::int32_t done = 0;
    while (done < length && offset < streamSize) {
      const std::int64_t at = offset % kChunkSize;
      const std::int32_t count =
          static_cast<std::int32_t>(std::min<std::int64_t>(
              {length - done, kChunkSize - at, streamSize - offset}));
      std::memcpy(dest + done, chunks[offset / kChunkSize].get() + at,
                  static_cast<std::size_t>(count));
      done += count;
      offset += count;
    }
    return done;
  }
  const std::int64_t got =
      file.ReadAt(offset, dest, static_cast<std::size_t>(length));
  hadError = got < 0;
  return got < 0 ? 0 : static_cast<std::int32_t>(got);
}
