// BufferedFile: see buffered_file.h.

#include "disk_image/buffered_file.h"

#include <algorithm>
#include <climits>

#include "platform/platform.h"

BufferedFile::BufferedFile(std::int32_t windowSize)
    : windowSize(windowSize), window(new std::uint8_t[windowSize]) {}

BufferedFile::~BufferedFile() { Close(); }

bool BufferedFile::Open(const char* path) {
  Close();
  file = platform::OpenForReading(path);
  if (file == nullptr) return false;
  if (!platform::CanSeek(file)) {
    // A pipe's bytes can be read only once, in order; the reader seeks.
    streamed = LoadStream();
    std::fclose(file);
    file = nullptr;
    if (!streamed) Close();  // and free what was read
    return streamed;
  }
  // The window is the only buffer: the C library's would copy every byte
  // twice and hold a second, possibly stale, copy of the file.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return true;
}

void BufferedFile::Close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
  streamed = false;
  stream = std::vector<std::uint8_t>();
  position = 0;
  windowLength = 0;
  fileOffset = 0;
  hadError = false;
}

std::int32_t BufferedFile::ReadAtSlow(std::int64_t offset, std::uint8_t* dest,
                                      std::int32_t length) {
  if (!IsOpen() || length <= 0 || offset < 0) return 0;
  std::int32_t done = 0;
  while (done < length) {
    const std::int32_t wanted = length - done;
    // Serve what the window holds at the offset.
    if (offset >= windowStart && offset < windowStart + windowLength) {
      const std::int32_t at = static_cast<std::int32_t>(offset - windowStart);
      const std::int32_t count =
          wanted < windowLength - at ? wanted : windowLength - at;
      std::memcpy(dest + done, window.get() + at,
                  static_cast<std::size_t>(count));
      done += count;
      offset += count;
      continue;
    }
    if (wanted >= windowSize) {
      done += ReadFromFile(offset, dest + done, wanted);
      break;  // the rest, if any, is beyond the end of the file
    }
    Fill(offset, wanted);
    if (offset >= windowStart + windowLength) break;  // the end of the file
  }
  return done;
}

const std::uint8_t* BufferedFile::ViewSlow(std::int64_t offset,
                                           std::int32_t length) {
  if (!IsOpen() || offset < 0 || length <= 0 || length > windowSize) {
    return nullptr;
  }
  Fill(offset, length);
  const std::int64_t at = offset - windowStart;
  return at + length <= windowLength ? window.get() + at : nullptr;
}

void BufferedFile::Fill(std::int64_t offset, std::int32_t length) {
  // A walk that reads on past the window's end keeps the window's last
  // quarter, so that it can step back to the start of the track it is on
  // without reading those bytes from the file again.
  const std::int64_t windowEnd = windowStart + windowLength;
  std::int64_t keepFrom = offset;
  std::int32_t kept = 0;
  if (windowLength > 0 && offset >= windowStart && offset <= windowEnd) {
    keepFrom =
        std::max(windowStart, std::min(offset, windowEnd - windowSize / 4));
    kept = static_cast<std::int32_t>(windowEnd - keepFrom);
    // Not a walk reading on, or no room for what is wanted: start afresh.
    if (kept > windowSize / 2 || (offset - keepFrom) + length > windowSize) {
      keepFrom = offset;
      kept = 0;
    }
  }
  if (kept > 0) {
    std::memmove(window.get(), window.get() + (keepFrom - windowStart),
                 static_cast<std::size_t>(kept));
  }
  windowStart = keepFrom;
  windowLength = kept + ReadFromFile(keepFrom + kept, window.get() + kept,
                                     windowSize - kept);
}

bool BufferedFile::LoadStream() {
  constexpr std::size_t kChunk = 1 << 20;
  std::size_t size = 0;
  while (true) {
    stream.resize(size + kChunk);
    const std::size_t got = std::fread(stream.data() + size, 1, kChunk, file);
    size += got;
    if (size > static_cast<std::size_t>(kMaxStreamSize)) return false;
    if (got < kChunk) break;
  }
  stream.resize(size);
  stream.shrink_to_fit();
  return std::ferror(file) == 0;
}

std::int32_t BufferedFile::ReadFromFile(std::int64_t offset, std::uint8_t* dest,
                                        std::int32_t length) {
  if (streamed) {
    const std::int64_t size = static_cast<std::int64_t>(stream.size());
    if (offset >= size) return 0;
    const std::int32_t count = static_cast<std::int32_t>(
        std::min<std::int64_t>(length, size - offset));
    std::memcpy(dest, stream.data() + offset, static_cast<std::size_t>(count));
    return count;
  }
  // Sequential reads need no seek; after the end of the file or an error the
  // seek also clears the stream's condition.  std::fseek takes a long, which
  // is 32 bits on some platforms.
  if (offset != fileOffset || std::feof(file) || std::ferror(file)) {
    fileOffset = -1;
    if (offset > LONG_MAX ||
        std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
      return 0;
    }
    std::clearerr(file);
  }
  const std::size_t got =
      std::fread(dest, 1, static_cast<std::size_t>(length), file);
  hadError = got < static_cast<std::size_t>(length) && std::ferror(file);
  fileOffset = offset + static_cast<std::int64_t>(got);
  return static_cast<std::int32_t>(got);
}
