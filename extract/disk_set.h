// The scenario disks as the files given on the command line hold them.
// Most dumps are one file per floppy; some join all four disks in one file.
// Each file is indexed on its own (its own D88Image), and the images of the
// files, in the order given, are the scenario disks 0 to 3: the first
// file's images, then the next file's.  With a disk number (`--disk N`),
// one file is one disk: its only image, or its image N when it holds more.
// What serves each disk is computed as a value (AssignDisks), so that it
// can be tested as a table and said by --list.

#ifndef TAMREK_EXTRACT_DISK_SET_H_
#define TAMREK_EXTRACT_DISK_SET_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk_image/d88_image.h"

constexpr int kScenarioDisks = 4;

// Where a scenario disk comes from: a file given, and an image of it.
struct DiskSource {
  int file = -1;  // index among the files given; -1 where none serves
  std::int32_t image = 0;
};

// What serves each scenario disk, given how many images each file holds.
// `only`: the one disk a single file is (--disk), or -1 for all.
std::array<DiskSource, kScenarioDisks> AssignDisks(
    const std::vector<std::int32_t>& imageCounts, int only);

class DiskSet {
 public:
  // Opens each of `paths` with a read window of `window` bytes.  Returns
  // the index of the first that cannot be opened, or -1 when all are open.
  int Open(const std::vector<std::string>& paths, int only,
           std::int32_t window);

  // The image of the file that serves `disk`, selected, or nullptr.
  D88Image* Select(int disk);

  int only = -1;
  std::vector<std::string> paths;
  std::vector<std::unique_ptr<D88Image>> files;
  std::array<DiskSource, kScenarioDisks> disks;

  // Whether `disk` is read at all by this run.
  bool InScope(int disk) const { return only < 0 || only == disk; }
  // The images the files hold, over all files.
  std::int32_t ImageCount() const;
  // Whether some disk comes from file `file`.
  bool Serves(int file) const;
};

// Why the bytes of a file that begin with `header` (`size` of them, up to
// kHeaderBytes, of a file of `fileSize` bytes) cannot be a D88 file, in
// plain English ("its media type 0x65 is none that D88 files use"), or "".
constexpr std::size_t kHeaderBytes = 0x2B0;
std::string NotD88Reason(const std::uint8_t* header, std::size_t size,
                         std::int64_t fileSize);

#endif  // TAMREK_EXTRACT_DISK_SET_H_
