// Tests of which file and image serve each scenario disk, and of the rule
// that tells a file that cannot be a D88 image from the header variants
// that real D88 writers produce.

#include "extract/disk_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/d88_writer.h"

namespace {

std::string Shown(const std::array<DiskSource, kScenarioDisks>& disks) {
  std::string shown;
  for (const DiskSource& s : disks) {
    shown += s.file < 0
                 ? "-"
                 : std::to_string(s.file) + ":" + std::to_string(s.image);
    shown += " ";
  }
  return shown;
}

TEST(DiskSetTest, TheFilesImagesInOrderAreTheDisks) {
  const struct {
    std::vector<std::int32_t> counts;
    int only;
    std::string disks;
  } cases[] = {
      {{4}, -1, "0:0 0:1 0:2 0:3 "},
      {{1, 1, 1, 1}, -1, "0:0 1:0 2:0 3:0 "},
      {{2, 1, 1}, -1, "0:0 0:1 1:0 2:0 "},
      {{1, 0, 5}, -1, "0:0 2:0 2:1 2:2 "},
      {{3}, -1, "0:0 0:1 0:2 - "},
      {{0}, -1, "- - - - "},
      {{1}, 2, "- - 0:0 - "},
      {{4}, 2, "- - 0:2 - "},
      {{2}, 3, "- - - - "},
      {{0}, 0, "- - - - "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(AssignDisks(c.counts, c.only)), c.disks)
        << c.counts.size() << " files, only " << c.only;
  }
}

// The first header of `bytes` judged.
std::string Judged(const Bytes& bytes) {
  return NotD88Reason(bytes.data(), std::min(bytes.size(), kHeaderBytes),
                      static_cast<std::int64_t>(bytes.size()));
}

// A disk of `type` with tracks 0 and 1.
Bytes Disk(std::uint8_t type) {
  D88DiskWriter disk("DISK", type);
  for (const int t : {0, 1}) {
    disk.SetTrack(t, {MakeSector(0, t, 1, 1, 1, Bytes(256, 0xE5))});
  }
  return disk.Build();
}

// The same disk with a header of 160 track entries (0x2A0 bytes), as some
// writers make it.
Bytes ShortHeader(Bytes bytes) {
  bytes.erase(bytes.begin() + 0x2A0, bytes.begin() + 0x2B0);
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes[at + i] = static_cast<std::uint8_t>(v >> 8 * i);
  };
  const auto get32 = [&](std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
           std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
  };
  put32(0x1C, get32(0x1C) - 16);
  for (int t = 0; t < 160; ++t) {
    const std::uint32_t offset = get32(0x20 + 4 * t);
    if (offset != 0) put32(0x20 + 4 * t, offset - 16);
  }
  return bytes;
}

TEST(DiskSetTest, OnlyWhatCannotBeADiskIsCalledNoD88Image) {
  Bytes writeProtected = Disk(0x10);
  writeProtected[0x1A] = 0x10;
  Bytes truncated = Disk(0x20);
  truncated.resize(truncated.size() - 100);
  for (const Bytes& real :
       {Disk(0x00), Disk(0x10), Disk(0x20), Disk(0x30), Disk(0x40),
        ShortHeader(Disk(0x00)), ShortHeader(Disk(0x10)),
        ShortHeader(Disk(0x20)), writeProtected, truncated}) {
    EXPECT_EQ(Judged(real), "");
  }
  std::string text;
  while (text.size() < 1000) text += "This is a text file, not a disk.\n";
  const Bytes zip = {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0};
  Bytes zipFile = zip;
  zipFile.resize(2000, 0x41);
  Bytes small = Disk(0x10);
  small[0x1C] = 0x10;  // disk size 0x10 (and the rest of it zero)
  small[0x1D] = small[0x1E] = small[0x1F] = 0;
  Bytes intoHeader = Disk(0x10);
  intoHeader[0x20 + 4] = 0x10;  // track 1 at 0x210
  intoHeader[0x20 + 5] = 0x02;
  intoHeader[0x20 + 6] = intoHeader[0x20 + 7] = 0;
  Bytes pastEnd = Disk(0x10);
  pastEnd[0x20 + 7] = 0x7F;
  const struct {
    Bytes bytes;
    std::string reason;
  } cases[] = {
      {Bytes(), "it is empty"},
      {Bytes(100, 0), "it is shorter than a disk header (688 bytes)"},
      {Bytes(text.begin(), text.end()),
       "its media type 0x64 is none that D88 files use"},
      {zipFile, "its media type 0x41 is none that D88 files use"},
      {small, "its disk size, 16 bytes, is smaller than a disk header"},
      {intoHeader, "the offset of track 1 points into the header"},
      {pastEnd, "the offset of track 1 points past the disk's end"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Judged(c.bytes), c.reason) << c.reason;
  }
}

}  // namespace
