// Fuzz target for D88Image.  The whole input is written to a file that the
// reader opens; the calls made on it, and their arguments, are taken from
// the input's last bytes, so the fuzzer shapes both the file and how it is
// read.  Arguments include negative and huge values; every destination
// buffer is exactly as large as the length passed, so that AddressSanitizer
// catches any write past it.  The reader's window is small, so that its
// refills are taken often.  A run of sectors is checked against its sectors
// read one by one.  A broken postcondition aborts.
//
// Built with -fsanitize=fuzzer it is a libFuzzer target; built with
// replay_main.cpp it replays files (the seed corpus and past crashes).

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "disk_image/d88_image.h"

namespace {

// Hands out argument values from the end of the input backwards; zeros once
// the input is used up.
class Arguments {
 public:
  Arguments(const std::uint8_t* data, std::size_t size)
      : data(data), left(size) {}

  std::uint32_t Bits(int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes && left > 0; ++i) v = (v << 8) | data[--left];
    return v;
  }
  bool Done() const { return left == 0; }

  // A sector's track and C, H, R, each in or just outside its range.
  struct Address {
    std::int32_t track, c, h, r;
  };
  Address SectorAddress() {
    Address a;
    a.track = Int(-1, 164);
    a.c = Int(-1, 256);
    a.h = Int(-1, 2);
    a.r = Int(-1, 256);
    return a;
  }

  // A value from [low, high], or now and then any 32-bit value.
  std::int32_t Int(std::int32_t low, std::int32_t high) {
    const std::uint32_t pick = Bits(1);
    if (pick >= 0xF0) {
      const std::uint32_t raw = Bits(4);
      std::int32_t v;
      std::memcpy(&v, &raw, sizeof v);
      return v;
    }
    const std::uint64_t span =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(high) - low + 1);
    return static_cast<std::int32_t>(low +
                                     static_cast<std::int64_t>(Bits(3) % span));
  }

 private:
  const std::uint8_t* data;
  std::size_t left;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

// The read errors of the last read: at most `most`, each with an error
// status, in the order read.
void CheckReadErrors(const D88Image& image, std::int64_t most) {
  const auto& errors = image.GetReadErrors();
  Check(static_cast<std::int64_t>(errors.size()) <= most);
  for (const SectorReadError& e : errors) {
    Check(e.status != 0x00 && e.status != 0x10);
  }
}

// A heap buffer of exactly `length` bytes (at least one, so that it exists).
std::unique_ptr<std::uint8_t[]> Buffer(std::int32_t length) {
  return std::unique_ptr<std::uint8_t[]>(
      new std::uint8_t[length > 0 ? static_cast<std::size_t>(length) : 1]);
}

// One file per process, so that parallel fuzzing jobs do not collide.
const std::string& InputPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("d88_image_fuzz_" + std::to_string(getpid()) + ".d88"))
          .string();
  return path;
}

// Whether the `got` bytes that ReadSectors() delivered in `run` for
// (track, c, h, r, n, length), with sector range first..last, are the
// sectors ReadSector() finds one by one along the same run, and the run
// ended where the next of them could not be read in full.
bool RunMatchesItsSectors(D88Image* image, std::int32_t track, std::int32_t c,
                          std::int32_t h, std::int32_t r, std::int32_t n,
                          std::int32_t length, std::int32_t first,
                          std::int32_t last, const std::uint8_t* run,
                          std::int32_t got) {
  if (n < 0 || n > 23 || length <= 0) return got == 0;
  const std::int32_t size = std::int32_t{128} << n;
  std::int32_t done = 0;
  while (done < length) {
    const std::int32_t unit = std::min(size, length - done);
    auto piece = Buffer(unit);
    if (image->ReadSector(track, c, h, r, n, piece.get(), unit) < unit) break;
    if (done + unit > got || std::memcmp(piece.get(), run + done,
                                         static_cast<std::size_t>(unit)) != 0) {
      return false;
    }
    done += unit;
    if (r == last) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = first;
    } else {
      ++r;
    }
  }
  return done == got;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string& path = InputPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  // A window of 256 bytes: inputs of a few kilobytes then take the
  // stream's every refill, kept track part and return to its buffer's
  // start, which a 64 KiB window would see only in files of megabytes.
  D88Image image(256);
  Check(image.Open(path.c_str()));
  std::int32_t first = 1, last = 16;  // the reader's sector range
  Arguments args(data, size);
  for (int op = 0; op < 16 && !args.Done(); ++op) {
    const std::int32_t count = image.GetImageCount();
    Check(count >= 0 && count <= D88Image::kMaxImages);
    switch (args.Bits(1) % 7) {
      case 0: {
        const std::int32_t index = args.Int(-1, count);
        const bool selected = image.SelectImage(index);
        Check(!selected || (index >= 0 && index < count));
        Check(image.GetSelectedImage() == (selected ? index : -1));
        Check(image.GetMediaType() >= (selected ? 0 : -1) &&
              image.GetMediaType() <= 255);
        Check(std::strlen(image.GetImageName()) <= 16);
        break;
      }
      case 1:
        first = args.Int(0, 40);
        last = args.Int(0, 40);
        image.SetSectorRange(first, last);
        break;
      case 2: {
        const Arguments::Address a = args.SectorAddress();
        const std::int32_t n = args.Int(-1, 8);
        const std::int32_t maxLen = args.Int(-2, 70000);
        auto dest = Buffer(maxLen);
        const std::int32_t got =
            image.ReadSector(a.track, a.c, a.h, a.r, n, dest.get(), maxLen);
        Check(got >= 0 && got <= (maxLen > 0 ? maxLen : 0));
        CheckReadErrors(image, got > 0 ? 1 : 0);
        break;
      }
      case 3: {
        const Arguments::Address a = args.SectorAddress();
        const std::int32_t n = args.Int(-1, 25);
        const std::int32_t length = args.Int(-2, 1 << 18);
        auto dest = Buffer(length);
        const std::int32_t got =
            image.ReadSectors(a.track, a.c, a.h, a.r, n, dest.get(), length);
        Check(got >= 0 && got <= (length > 0 ? length : 0));
        // One sector per whole piece, and one for a last cut piece.
        const std::int64_t unit =
            n >= 0 && n <= 23 ? std::int64_t{128} << n : 1;
        CheckReadErrors(image, (got + unit - 1) / unit);
        Check(RunMatchesItsSectors(&image, a.track, a.c, a.h, a.r, n, length,
                                   first, last, dest.get(), got));
        break;
      }
      case 4: {
        const std::int32_t track = args.Int(-1, 164);
        const std::int32_t length = args.Int(-5, 4099);
        auto dest = Buffer(length);
        const std::int32_t got = image.ReadTrackIds(track, dest.get(), length);
        Check(got >= 0 && got % 4 == 0 && got <= (length > 0 ? length : 0));
        break;
      }
      case 5:
        Check(image.Open(nullptr));
        Check(image.GetImageCount() == 0 && image.GetMediaType() == -1);
        break;
      default:
        Check(image.Open(path.c_str()));
        Check(image.GetImageCount() == count || count == 0);
        break;
    }
  }
  std::remove(path.c_str());
  return 0;
}
