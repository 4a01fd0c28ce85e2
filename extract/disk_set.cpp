// The scenario disks of the files given.  See disk_set.h.

#include "extract/disk_set.h"

#include <algorithm>
#include <cstdio>

#include "disk_image/coding.h"

namespace {

// The D88 header: the media type, the disk size, the track table.
constexpr std::size_t kMediaTypeOffset = 0x1B;
constexpr std::size_t kDiskSizeOffset = 0x1C;
constexpr std::size_t kTrackTableOffset = 0x20;
constexpr std::uint32_t kDiskHeaderSize = 688;
// The end of a header whose track table has 160 entries, as some writers
// make it: the first track may begin there.
constexpr std::uint32_t kShortHeaderSize = 0x2A0;
constexpr int kShortTrackTable = 160;
constexpr int kTrackTable = 164;

// The offset that entry `track` of the track table gives.
std::uint32_t TrackOffset(const std::uint8_t* header, int track) {
  return DecodeFixed32(header + kTrackTableOffset +
                       4 * static_cast<std::size_t>(track));
}

// The media types D88 writers use: 2D, 2DD, 2HD, 1D, 1DD.
bool KnownMediaType(std::uint8_t type) {
  return type == 0x00 || type == 0x10 || type == 0x20 || type == 0x30 ||
         type == 0x40;
}

}  // namespace

std::array<DiskSource, kScenarioDisks> AssignDisks(
    const std::vector<std::int32_t>& imageCounts, int only) {
  std::array<DiskSource, kScenarioDisks> disks{};
  if (only >= 0) {
    if (!imageCounts.empty()) {
      const std::int32_t count = imageCounts.front();
      if (count == 1) disks[only] = DiskSource{0, 0};
      if (count > only && count > 1) disks[only] = DiskSource{0, only};
    }
    return disks;
  }
  int disk = 0;
  for (std::size_t file = 0; file < imageCounts.size(); ++file) {
    for (std::int32_t image = 0;
         image < imageCounts[file] && disk < kScenarioDisks; ++image) {
      disks[disk++] = DiskSource{static_cast<int>(file), image};
    }
  }
  return disks;
}

int DiskSet::Open(const std::vector<std::string>& given, int disk,
                  std::int32_t window) {
  only = disk;
  paths = given;
  files.clear();
  std::vector<std::int32_t> counts;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    files.push_back(std::make_unique<D88Image>(window));
    if (!files.back()->Open(paths[i].c_str())) return static_cast<int>(i);
    counts.push_back(files.back()->GetImageCount());
  }
  disks = AssignDisks(counts, only);
  return -1;
}

D88Image* DiskSet::Select(int disk) {
  const DiskSource& source = disks[static_cast<std::size_t>(disk)];
  if (source.file < 0) return nullptr;
  D88Image* image = files[static_cast<std::size_t>(source.file)].get();
  image->SelectImage(source.image);
  return image;
}

std::int32_t DiskSet::ImageCount() const {
  std::int32_t count = 0;
  for (const auto& file : files) count += file->GetImageCount();
  return count;
}

bool DiskSet::Serves(int file) const {
  return std::any_of(disks.begin(), disks.end(),
                     [file](const DiskSource& s) { return s.file == file; });
}

std::string NotD88Reason(const std::uint8_t* header, std::size_t size,
                         std::int64_t fileSize) {
  if (fileSize == 0) return "it is empty";
  if (fileSize < kDiskHeaderSize || size < kHeaderBytes) {
    return "it is shorter than a disk header (688 bytes)";
  }
  const std::uint32_t diskSize = DecodeFixed32(header + kDiskSizeOffset);
  if (diskSize < kDiskHeaderSize) {
    return "its disk size, " + std::to_string(diskSize) +
           " bytes, is smaller than a disk header";
  }
  const std::uint8_t type = header[kMediaTypeOffset];
  if (!KnownMediaType(type)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(type));
    return std::string("its media type ") + hex + " is none that D88 files use";
  }
  // A header of 160 entries ends where its first track begins; the four
  // entries a full header adds are then that track's first bytes.
  std::uint32_t first = diskSize;
  for (int t = 0; t < kShortTrackTable; ++t) {
    const std::uint32_t offset = TrackOffset(header, t);
    if (offset != 0) first = std::min(first, offset);
  }
  const int entries = first >= kTrackTableOffset + 4 * std::size_t{kTrackTable}
                          ? kTrackTable
                          : kShortTrackTable;
  for (int t = 0; t < entries; ++t) {
    const std::uint32_t offset = TrackOffset(header, t);
    if (offset == 0) continue;
    if (offset < kShortHeaderSize) {
      return "the offset of track " + std::to_string(t) +
             " points into the header";
    }
    if (offset > diskSize) {
      return "the offset of track " + std::to_string(t) +
             " points past the disk's end";
    }
  }
  return "";
}
