// Tests of D88Image on D88 files written by D88Writer: indexing, selection,
// sector reads and runs across tracks, and the reader's behaviour on damaged
// and hostile files.

#include "disk_image/d88_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/d88_writer.h"

namespace fs = std::filesystem;

namespace {

Bytes Filled(std::size_t size, std::uint8_t value) {
  return Bytes(size, value);
}

Bytes Text(int disk, int c, int h, int r) {
  return DemoSectorText(disk, c, h, r, 2);
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A disk of `cylinders` x 2 x 10 sectors of 512 bytes with demo text.
Bytes UniformDisk(int disk, int cylinders, int interleave = 1) {
  return MakeUniformDisk(disk, cylinders, 10, 2, Text, interleave).Build();
}

class D88ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir =
        fs::temp_directory_path() /
        ("d88_image_test_" +
         std::string(
             ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = (dir / "image.d88").string();
  }
  void TearDown() override { fs::remove_all(dir); }

  // Writes `bytes` as the test's file and opens it.
  void OpenBytes(const Bytes& bytes) {
    ASSERT_TRUE(WriteFile(path, bytes));
    ASSERT_TRUE(image.Open(path.c_str()));
  }

  // Reads sector (c, h, r, 2) of `track` with room for `maxLen` bytes.
  Bytes Sector512(int track, int c, int h, int r, int maxLen = 512) {
    Bytes out(static_cast<std::size_t>(maxLen), 0xEE);
    const int got = image.ReadSector(track, c, h, r, 2, out.data(), maxLen);
    out.resize(static_cast<std::size_t>(got));
    return out;
  }

  fs::path dir;
  std::string path;
  D88Image image;
};

// ---- Indexing and selection ----

TEST_F(D88ImageTest, FreshObjectHasNothingSelected) {
  EXPECT_EQ(image.GetImageCount(), 0);
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_EQ(image.GetSelectedImage(), -1);
  EXPECT_STREQ(image.GetImageName(), "");
  EXPECT_FALSE(image.SelectImage(0));
  std::uint8_t buf[512];
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 2, buf, 512), 0);
}

TEST_F(D88ImageTest, IndexesImagesBackToBackByTheirDiskSizes) {
  D88DiskWriter small("SMALL", 0x00);
  small.SetTrack(0, {MakeSector(0, 0, 1, 2, 1, Text(0, 0, 0, 1))});
  const Bytes first = small.Build();
  const Bytes second = UniformDisk(1, 3);
  OpenBytes(Concat({first, second}));

  EXPECT_EQ(image.GetImageCount(), 2);
  ASSERT_TRUE(image.SelectImage(1));
  EXPECT_EQ(image.GetSelectedImage(), 1);
  EXPECT_STREQ(image.GetImageName(), "DISK1");
  EXPECT_EQ(image.GetMediaType(), 0x10);
  // Track offsets count from the selected image's own first byte.
  EXPECT_EQ(Sector512(5, 2, 1, 7), Text(1, 2, 1, 7));
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(image.GetMediaType(), 0x00);
  EXPECT_EQ(Sector512(0, 0, 0, 1), Text(0, 0, 0, 1));
}

TEST_F(D88ImageTest, IgnoresTrailingBytesShorterThanAHeader) {
  Bytes file = UniformDisk(0, 1);
  file.resize(file.size() + D88Image::kDiskHeaderSize - 1, 0x41);
  OpenBytes(file);
  EXPECT_EQ(image.GetImageCount(), 1);
}

TEST_F(D88ImageTest, FileShorterThanAHeaderOpensWithNoImages) {
  OpenBytes(Filled(D88Image::kDiskHeaderSize - 1, 0));
  EXPECT_EQ(image.GetImageCount(), 0);
  EXPECT_FALSE(image.SelectImage(0));
  OpenBytes(Bytes());
  EXPECT_EQ(image.GetImageCount(), 0);
}

TEST_F(D88ImageTest, ZeroDiskSizeCountsTheSameHeaderUpToTheLimit) {
  D88DiskWriter disk("ZERO");
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 1, Text(0, 0, 0, 1))});
  disk.OverrideDiskSize(0);
  OpenBytes(disk.Build());
  EXPECT_EQ(image.GetImageCount(), D88Image::kMaxImages);
  ASSERT_TRUE(image.SelectImage(63));
  EXPECT_STREQ(image.GetImageName(), "ZERO");
  EXPECT_FALSE(image.SelectImage(64));
}

TEST_F(D88ImageTest, IndexesAtMostSixtyFourImages) {
  const Bytes one = D88DiskWriter("X").Build();
  Bytes file;
  for (int i = 0; i < 70; ++i) file.insert(file.end(), one.begin(), one.end());
  OpenBytes(file);
  EXPECT_EQ(image.GetImageCount(), 64);
}

TEST_F(D88ImageTest, StopsIndexingWhereAnImageCouldNotBeAddressed) {
  // Disk sizes of 2^31 and more lead beyond what a 32-bit offset reaches:
  // that image still counts, the indexing stops after it.
  for (std::uint32_t size : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
    D88DiskWriter disk("HUGE");
    disk.OverrideDiskSize(size);
    const Bytes one = disk.Build();
    OpenBytes(Concat({D88DiskWriter("A").Build(), one, one}));
    EXPECT_EQ(image.GetImageCount(), 2) << size;
  }
  // A sparse file whose second header lies at 2^31 - 1 or at 2^31: only the
  // first is within reach.
  for (const std::uint32_t size : {0x7FFFFFFFu, 0x80000000u}) {
    D88DiskWriter disk("FIRST");
    disk.OverrideDiskSize(size);
    ASSERT_TRUE(WriteFile(path, disk.Build()));
    fs::resize_file(path, size);
    std::ofstream(path, std::ios::binary | std::ios::app)
        << AsString(D88DiskWriter("SECOND").Build());
    ASSERT_TRUE(image.Open(path.c_str()));
    EXPECT_EQ(image.GetImageCount(), size == 0x7FFFFFFFu ? 2 : 1) << size;
  }
  fs::remove(path);
}

TEST_F(D88ImageTest, RefusesMissingFilesAndDirectories) {
  EXPECT_FALSE(image.Open((dir / "absent.d88").string().c_str()));
  EXPECT_FALSE(image.Open(dir.string().c_str()));
  EXPECT_EQ(image.GetImageCount(), 0);
  EXPECT_FALSE(image.SelectImage(0));
}

TEST_F(D88ImageTest, ClosingResetsSelectionButKeepsTheName) {
  OpenBytes(UniformDisk(2, 1));
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_TRUE(image.Open(nullptr));
  EXPECT_EQ(image.GetImageCount(), 0);
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_EQ(image.GetSelectedImage(), -1);
  EXPECT_STREQ(image.GetImageName(), "DISK2");
  std::uint8_t buf[512];
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 2, buf, 512), 0);
  EXPECT_FALSE(image.SelectImage(0));
  EXPECT_STREQ(image.GetImageName(),
               "DISK2");             // a refused call changes nothing
  EXPECT_TRUE(image.Open(nullptr));  // closing a closed object is fine
}

TEST_F(D88ImageTest, OpeningAnotherFileClosesTheFirst) {
  OpenBytes(Concat({UniformDisk(0, 1), UniformDisk(1, 1)}));
  ASSERT_TRUE(image.SelectImage(1));
  ASSERT_TRUE(image.SelectImage(0));  // the first file's start is buffered
  const std::string other = (dir / "other.d88").string();
  ASSERT_TRUE(WriteFile(other, D88DiskWriter("OTHER").Build()));
  ASSERT_TRUE(image.Open(other.c_str()));
  EXPECT_EQ(image.GetImageCount(), 1);
  EXPECT_EQ(image.GetSelectedImage(), -1);
  // The earlier selection does not carry over to the new file.
  EXPECT_TRUE(Sector512(0, 0, 0, 1).empty());
}

TEST_F(D88ImageTest, ReportsMediaTypeAndNameBytesAsStored) {
  D88DiskWriter full("ABCDEFGHIJKLMNOP", 0xFF);
  D88DiskWriter shortName("abc", 0x20);
  Bytes file = Concat({full.Build(), shortName.Build()});
  file[16] = 'Q';  // the byte after the name field is not part of it
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(image.GetMediaType(), 255);
  EXPECT_STREQ(image.GetImageName(), "ABCDEFGHIJKLMNOP");
  ASSERT_TRUE(image.SelectImage(1));
  EXPECT_EQ(image.GetMediaType(), 0x20);
  EXPECT_STREQ(image.GetImageName(), "abc");
}

TEST_F(D88ImageTest, NameStopsAtItsFirstZeroByte) {
  Bytes file = D88DiskWriter("ABCDEFGH").Build();
  file[3] = 0;
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_STREQ(image.GetImageName(), "ABC");
}

TEST_F(D88ImageTest, SelectionRefusedForItsIndexLeavesNothingReadable) {
  OpenBytes(UniformDisk(0, 2));
  ASSERT_TRUE(image.SelectImage(0));
  for (int index : {1, -1, 64}) {
    EXPECT_FALSE(image.SelectImage(index));
    EXPECT_EQ(image.GetMediaType(), -1);
    EXPECT_EQ(image.GetSelectedImage(), -1);
    EXPECT_STREQ(image.GetImageName(), "");
    EXPECT_TRUE(Sector512(0, 0, 0, 1).empty());
    std::uint8_t buf[1024];
    EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 2, buf, 1024), 0);
  }
}

TEST_F(D88ImageTest, ReselectingReloadsTheHeaderFromTheFile) {
  OpenBytes(Concat({UniformDisk(0, 1), UniformDisk(1, 1)}));
  ASSERT_TRUE(image.SelectImage(0));
  Bytes changed = Concat({UniformDisk(0, 1), UniformDisk(1, 1)});
  changed[0x1B] = 0x30;
  ASSERT_TRUE(WriteFile(path, changed));  // rewritten in place
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(image.GetMediaType(), 0x30);

  // A file that shrank below an image's header: that selection fails.
  const Bytes first = UniformDisk(0, 1);
  Bytes shrunk = changed;
  shrunk.resize(first.size() + 100);
  ASSERT_TRUE(WriteFile(path, shrunk));
  EXPECT_FALSE(image.SelectImage(1));
  EXPECT_EQ(image.GetMediaType(), -1);
  EXPECT_STREQ(image.GetImageName(), "");
  EXPECT_TRUE(Sector512(0, 0, 0, 1).empty());
  EXPECT_TRUE(image.SelectImage(0));
}

// ---- ReadSector ----

TEST_F(D88ImageTest, FindsSectorsInInterleavedOrder) {
  OpenBytes(UniformDisk(0, 2, 3));
  ASSERT_TRUE(image.SelectImage(0));
  for (int r = 1; r <= 10; ++r) {
    EXPECT_EQ(Sector512(3, 1, 1, r), Text(0, 1, 1, r)) << r;
  }
  EXPECT_TRUE(Sector512(3, 1, 1, 11).empty());
  EXPECT_TRUE(Sector512(3, 1, 0, 1).empty());  // ID disagrees with the track
  std::uint8_t buf[512];
  for (int n : {1, 3}) {  // C, H and R match, N does not
    EXPECT_EQ(image.ReadSector(3, 1, 1, 1, n, buf, 512), 0) << n;
  }
}

TEST_F(D88ImageTest, DataSizeFieldDecidesTheLengthAndIsLittleEndian) {
  D88DiskWriter disk;
  // 0x0180 = 384 bytes: a byte-swapped reader would see 0x8001.
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 2, Filled(0x180, 0x11)),
                    MakeSector(0, 0, 2, 2, 2, Filled(256, 0x22))});
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(Sector512(0, 0, 0, 1), Filled(0x180, 0x11));
  EXPECT_EQ(Sector512(0, 0, 0, 2), Filled(256, 0x22));
  EXPECT_EQ(Sector512(0, 0, 0, 2, 100), Filled(100, 0x22));
}

TEST_F(D88ImageTest, ComparesIdBytesAsValuesFrom0To255) {
  D88DiskWriter disk;
  disk.SetTrack(7, {MakeSector(0xFF, 0x80, 0xF5, 2, 1, Filled(512, 0x33))});
  disk.SetTrack(8, {MakeSector(4, 0, 1, 23, 1, Filled(100, 0x34))});
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_TRUE(Sector512(7, -1, -128, -11).empty());
  EXPECT_EQ(Sector512(7, 255, 128, 245), Filled(512, 0x33));
  // 23, the largest size code whose sector size fits 32 bits, is read.
  Bytes buf(100, 0);
  EXPECT_EQ(image.ReadSectors(8, 4, 0, 1, 23, buf.data(), 100), 100);
  EXPECT_EQ(buf, Filled(100, 0x34));
}

TEST_F(D88ImageTest, FirstMatchingRecordWins) {
  D88DiskWriter disk;
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 3, Filled(512, 0xA1)),
                    MakeSector(0, 0, 2, 2, 3, Filled(512, 0xA2)),
                    MakeSector(0, 0, 2, 2, 3, Filled(512, 0xA3))});
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(Sector512(0, 0, 0, 2), Filled(512, 0xA2));
}

TEST_F(D88ImageTest, SectorCountBoundsTheWalk) {
  D88DiskWriter disk;
  // The first record says the track holds one sector: the second is never
  // reached.  On track 2 a count of 0 ends the walk even on a match.
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 1, Filled(512, 1)),
                    MakeSector(0, 0, 2, 2, 1, Filled(512, 2))});
  disk.SetTrack(2, {MakeSector(1, 0, 1, 2, 0, Filled(512, 3))});
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(Sector512(0, 0, 0, 1), Filled(512, 1));
  EXPECT_TRUE(Sector512(0, 0, 0, 2).empty());
  EXPECT_TRUE(Sector512(2, 1, 0, 1).empty());
}

TEST_F(D88ImageTest, TrackCheckRefusesAbsentNegativeAndOutOfRangeTracks) {
  D88DiskWriter disk;
  for (int t : {0, 1, 2, 163}) {
    disk.SetTrack(t, {MakeSector(t / 2, t % 2, 1, 2, 1, Filled(512, 0x44))});
  }
  disk.OverrideTrackOffset(1, 0);            // absent
  disk.OverrideTrackOffset(2, 0x80000010u);  // negative as 32 bits
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(Sector512(0, 0, 0, 1), Filled(512, 0x44));
  EXPECT_EQ(Sector512(163, 81, 1, 1), Filled(512, 0x44));
  EXPECT_TRUE(Sector512(1, 0, 1, 1).empty());
  EXPECT_TRUE(Sector512(2, 1, 0, 1).empty());
  EXPECT_TRUE(Sector512(164, 82, 0, 1).empty());
  EXPECT_TRUE(Sector512(-1, 0, 0, 1).empty());
  // HasTrack() is the same check, without a read.
  for (int t : {-1, 0, 1, 2, 3, 163, 164}) {
    EXPECT_EQ(image.HasTrack(t), t == 0 || t == 163) << t;
  }

  // In a second image an offset of -528 as 32 bits would land on the first
  // image's last sector record: it is refused all the same.
  D88DiskWriter second;
  second.SetTrack(0, {MakeSector(0, 0, 1, 2, 1, Filled(512, 0x45))});
  second.OverrideTrackOffset(2, 0xFFFFFDF0u);
  OpenBytes(Concat({disk.Build(), second.Build()}));
  ASSERT_TRUE(image.SelectImage(1));
  EXPECT_EQ(Sector512(0, 0, 0, 1), Filled(512, 0x45));
  EXPECT_TRUE(Sector512(2, 81, 1, 1).empty());
}

TEST_F(D88ImageTest, TrackOffsetMayEqualButNotExceedTheDiskSize) {
  D88DiskWriter disk;
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 1, Filled(512, 0x55))});
  disk.SetTrack(1, {MakeSector(0, 1, 1, 2, 1, Filled(512, 0x66))});
  const Bytes built = disk.Build();
  const std::uint32_t track1 = D88Image::kDiskHeaderSize + 16 + 512;
  Bytes file = built;
  PutFixed32(&file, 0x1C, track1);  // track 1 starts exactly at the end
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(image.GetDiskSize(), static_cast<std::int32_t>(track1));
  EXPECT_EQ(Sector512(1, 0, 1, 1), Filled(512, 0x66));
  PutFixed32(&file, 0x1C, track1 - 1);
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_TRUE(Sector512(1, 0, 1, 1).empty());
  EXPECT_FALSE(image.HasTrack(1));
  EXPECT_EQ(Sector512(0, 0, 0, 1), Filled(512, 0x55));
  EXPECT_FALSE(image.SelectImage(1));  // nothing selected: no disk, no track
  EXPECT_EQ(image.GetDiskSize(), 0);
  EXPECT_FALSE(image.HasTrack(0));
}

TEST_F(D88ImageTest, NonPositiveMaxLenReadsNothing) {
  OpenBytes(UniformDisk(0, 1));
  ASSERT_TRUE(image.SelectImage(0));
  std::uint8_t buf[4] = {9, 9, 9, 9};
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 2, buf, 0), 0);
  EXPECT_EQ(image.ReadSector(0, 0, 0, 1, 2, buf, -5), 0);
  EXPECT_EQ(buf[0], 9);
}

TEST_F(D88ImageTest, TruncatedFileYieldsOnlyTheBytesDelivered) {
  D88DiskWriter disk;
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 2, Filled(512, 0x77)),
                    MakeSector(0, 0, 2, 2, 2, Filled(512, 0x88))});
  Bytes file = disk.Build();
  // Ends 100 bytes into the second sector's data.
  file.resize(D88Image::kDiskHeaderSize + 2 * 16 + 512 + 100);
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(Sector512(0, 0, 0, 2), Filled(100, 0x88));
  // Ends inside the second header: not found.
  file.resize(D88Image::kDiskHeaderSize + 16 + 512 + 8);
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_TRUE(Sector512(0, 0, 0, 2).empty());
  EXPECT_EQ(Sector512(0, 0, 0, 1), Filled(512, 0x77));
}

TEST_F(D88ImageTest, WalkWhoseCountsNeverStopItEndsAtTheEndOfTheFile) {
  // Every record claims a count of 1, so "record i is the last" never holds
  // past the first record; only the end of the file ends the walk.
  std::vector<SectorRecord> records;
  for (int r = 1; r <= 300; ++r) {
    records.push_back(MakeSector(0, 0, r % 200 + 1, 2, 1 + r % 2, Bytes()));
  }
  D88DiskWriter disk;
  disk.SetTrack(0, records);
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_TRUE(Sector512(0, 0, 0, 250).empty());
}

// ---- ReadSectors ----

class ReadSectorsTest : public D88ImageTest {
 protected:
  void SetUp() override {
    D88ImageTest::SetUp();
    OpenBytes(UniformDisk(3, 41, 4));
    ASSERT_TRUE(image.SelectImage(0));
    image.SetSectorRange(1, 10);
  }

  // The expected bytes of a run over the demo disk: sector after sector of
  // range 1..10, turning to the other side and then the next cylinder.
  static Bytes ExpectedRun(int c, int h, int r, std::size_t length,
                           int first = 1, int last = 10) {
    Bytes out;
    while (out.size() < length) {
      const Bytes s = Text(3, c, h, r);
      out.insert(out.end(), s.begin(), s.end());
      if (++r > last) {
        r = first;
        if (++h > 1) h = 0, ++c;
      }
    }
    out.resize(length);
    return out;
  }

  Bytes Run(int track, int r, int length) {
    Bytes out(static_cast<std::size_t>(length) + 1, 0xEE);
    const int got = image.ReadSectors(track, track / 2, track % 2, r, 2,
                                      out.data(), length);
    EXPECT_EQ(out.back(), 0xEE) << "wrote past length";
    out.resize(static_cast<std::size_t>(got));
    return out;
  }
};

TEST_F(ReadSectorsTest, RunCrossesToTheOtherSideAndTheNextCylinder) {
  // Track 14 is C 7 H 0: sector 10, then track 15 (H 1) sectors 1..4.
  EXPECT_EQ(Run(14, 10, 2050), ExpectedRun(7, 0, 10, 2050));
  // Track 15 is C 7 H 1: sector 9, 10, then track 16 (C 8 H 0).
  EXPECT_EQ(Run(15, 9, 2818), ExpectedRun(7, 1, 9, 2818));
  // Across three track sides.
  EXPECT_EQ(Run(15, 10, 11264), ExpectedRun(7, 1, 10, 11264));  // 22 sectors
  // Each new side starts at the range's first sector, not at sector 1.
  image.SetSectorRange(3, 10);
  EXPECT_EQ(Run(14, 9, 4096), ExpectedRun(7, 0, 9, 4096, 3, 10));
}

TEST_F(ReadSectorsTest, CutsOnlyTheLastPiece) {
  EXPECT_EQ(Run(79, 4, 3071), ExpectedRun(39, 1, 4, 3071));
  EXPECT_EQ(Run(0, 1, 1), ExpectedRun(0, 0, 1, 1));
}

TEST_F(ReadSectorsTest, StopsAtTheEndOfTheDiskCountingWholeSectors) {
  // Cylinder 40 is the last: the run ends after track 81's sector 10.
  EXPECT_EQ(Run(81, 9, 4096), ExpectedRun(40, 1, 9, 1024));
}

TEST_F(ReadSectorsTest, StartAboveTheRangeIsNotWrapped) {
  image.SetSectorRange(1, 4);
  // r = 5 is above the range: it keeps rising (5, 6, ...) on the same track.
  EXPECT_EQ(Run(2, 5, 2048), ExpectedRun(1, 0, 5, 2048));
  image.SetSectorRange(1, 10);
  EXPECT_TRUE(Run(2, 11, 512).empty());
}

TEST_F(ReadSectorsTest, DefaultRangeRunsToSixteen) {
  D88Image fresh;
  ASSERT_TRUE(fresh.Open(path.c_str()));
  ASSERT_TRUE(fresh.SelectImage(0));
  std::uint8_t buf[1024];
  // Sector 11 does not exist, and the default range does not turn at 10.
  EXPECT_EQ(fresh.ReadSectors(0, 0, 0, 10, 2, buf, 1024), 512);
  // On a disk of 16 sectors a side it turns from 16 to sector 1 of head 1.
  const std::string sixteen = (dir / "sixteen.d88").string();
  ASSERT_TRUE(WriteFile(sixteen, MakeUniformDisk(5, 1, 16, 2, Text).Build()));
  ASSERT_TRUE(fresh.Open(sixteen.c_str()));
  ASSERT_TRUE(fresh.SelectImage(0));
  ASSERT_EQ(fresh.ReadSectors(0, 0, 0, 16, 2, buf, 1024), 1024);
  EXPECT_EQ(Bytes(buf, buf + 512), Text(5, 0, 0, 16));
  EXPECT_EQ(Bytes(buf + 512, buf + 1024), Text(5, 0, 1, 1));
}

TEST_F(ReadSectorsTest, RefusesBadLengthsAndSizeCodes) {
  std::uint8_t buf[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 2, buf, 0), 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 2, buf, -1), 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, -1, buf, 8), 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 24, buf, 8), 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 31, buf, 8), 0);
  EXPECT_EQ(buf[0], 7);
}

TEST_F(D88ImageTest, RunStopsAtAShortSectorWithoutCountingIt) {
  D88DiskWriter disk;
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 3, Filled(512, 1)),
                    MakeSector(0, 0, 2, 2, 3, Filled(256, 2)),
                    MakeSector(0, 0, 3, 2, 3, Filled(512, 3))});
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  Bytes buf(1536, 0);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 2, buf.data(), 1536), 512);
  EXPECT_EQ(buf[512], 2);  // the short piece's bytes are there, uncounted
  // A run that reaches the truncated end of the file stops there too.
  Bytes file = UniformDisk(0, 1);
  file.resize(file.size() - 10);
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  image.SetSectorRange(1, 10);
  EXPECT_EQ(image.ReadSectors(1, 0, 1, 9, 2, buf.data(), 1024), 512);
}

// Track 0 of a case below: records of 128 bytes (N 0), each filled with one
// byte, and a run over them from sector `r` for `sectors` sectors; the
// range turns at 255 only, so the run stays on the track.
struct TrackRunCase {
  const char* shape;
  std::vector<SectorRecord> records;
  int r, sectors;
  Bytes fills;  // the fill byte of each sector the run delivers
};

SectorRecord Record(int h, int r, int n, int count, std::uint8_t fill) {
  return MakeSector(0, h, r, n, count, Filled(128, fill));
}

// Records of sectors first..last on side 0, each filled with its number.
std::vector<SectorRecord> Numbered(int first, int last, int count) {
  std::vector<SectorRecord> records;
  for (int r = first; r <= last; ++r) {
    records.push_back(Record(0, r, 0, count, static_cast<std::uint8_t>(r)));
  }
  return records;
}

TEST_F(D88ImageTest, RunFindsEachSectorAsASearchOfTheTrackWould) {
  std::vector<SectorRecord> sixtyFourThenMore = Numbered(1, 64, 67);
  sixtyFourThenMore.push_back(Record(0, 66, 0, 67, 0xA6));
  sixtyFourThenMore.push_back(Record(0, 65, 0, 67, 0xA5));
  sixtyFourThenMore.push_back(Record(0, 66, 0, 67, 0xB6));
  const TrackRunCase cases[] = {
      {"numbered", Numbered(1, 4, 4), 1, 4, {1, 2, 3, 4}},
      {"interleaved",
       {Record(0, 1, 0, 4, 0x11), Record(0, 3, 0, 4, 0x13),
        Record(0, 2, 0, 4, 0x12), Record(0, 4, 0, 4, 0x14)},
       1,
       4,
       {0x11, 0x12, 0x13, 0x14}},
      {"a sector recorded twice: the first",
       {Record(0, 1, 0, 4, 1), Record(0, 2, 0, 4, 2), Record(0, 2, 0, 4, 0x22),
        Record(0, 3, 0, 4, 3)},
       1,
       3,
       {1, 2, 3}},
      {"a record of the other side among them",
       {Record(0, 1, 0, 4, 1), Record(1, 2, 0, 4, 0x12), Record(0, 2, 0, 4, 2),
        Record(0, 3, 0, 4, 3)},
       1,
       3,
       {1, 2, 3}},
      {"a record of another size code among them",
       {Record(0, 1, 0, 3, 1), Record(0, 2, 1, 3, 0x12), Record(0, 2, 0, 3, 2)},
       1,
       2,
       {1, 2}},
      {"a record of the other side in the sequence",
       {Record(0, 1, 0, 3, 1), Record(1, 2, 0, 3, 0x12), Record(0, 3, 0, 3, 3)},
       1,
       3,
       {1}},
      {"a record of another cylinder in the sequence",
       {Record(0, 1, 0, 3, 1), MakeSector(1, 0, 2, 0, 3, Filled(128, 0x12)),
        Record(0, 3, 0, 3, 3)},
       1,
       3,
       {1}},
      {"a record of another size code in the sequence",
       {Record(0, 1, 0, 3, 1), Record(0, 2, 1, 3, 0x12), Record(0, 3, 0, 3, 3)},
       1,
       3,
       {1}},
      {"numbered, but the other side's",
       {Record(1, 1, 0, 2, 1), Record(1, 2, 0, 2, 2)},
       1,
       2,
       {}},
      {"numbered, but of another size code",
       {Record(0, 1, 1, 2, 1), Record(0, 2, 1, 2, 2)},
       1,
       2,
       {}},
      {"the file ends before the count", Numbered(1, 1, 2), 1, 2, {1}},
      {"the second record's count ends the track",
       Numbered(1, 3, 2),
       1,
       3,
       {1, 2}},
      {"a count of 0 ends it unmatched",
       {Record(0, 1, 0, 3, 1), Record(0, 2, 0, 0, 2), Record(0, 3, 0, 3, 3)},
       1,
       3,
       {1}},
      {"not from its first sector", Numbered(1, 8, 8), 6, 4, {6, 7, 8}},
      {"70 records",
       Numbered(1, 70, 70),
       62,
       8,
       {62, 63, 64, 65, 66, 67, 68, 69}},
      {"64 records, then one twice",
       sixtyFourThenMore,
       63,
       4,
       {63, 64, 0xA5, 0xA6}},
  };
  for (const TrackRunCase& c : cases) {
    SCOPED_TRACE(c.shape);
    D88DiskWriter disk;
    disk.SetTrack(0, c.records);
    OpenBytes(disk.Build());
    ASSERT_TRUE(image.SelectImage(0));
    image.SetSectorRange(1, 255);
    const int length = 128 * c.sectors;
    Bytes run(static_cast<std::size_t>(length), 0);
    run.resize(static_cast<std::size_t>(
        image.ReadSectors(0, 0, 0, c.r, 0, run.data(), length)));
    Bytes expected;
    for (const std::uint8_t fill : c.fills) {
      expected.insert(expected.end(), 128, fill);
    }
    EXPECT_EQ(run, expected);
  }
}

TEST_F(D88ImageTest, ReadsReportTheSectorsRecordedWithAReadError) {
  const std::uint8_t statuses[] = {0x00, 0xB0, 0x10, 0xA0, 0xE0,
                                   0xF0, 0x01, 0x20, 0x80};
  std::vector<SectorRecord> track;
  for (int r = 1; r <= 9; ++r) {
    track.push_back(MakeSector(0, 0, r, 2, 9, Filled(r == 5 ? 256 : 512, 1)));
    track.back().status = statuses[r - 1];
  }
  D88DiskWriter disk;
  disk.SetTrack(0, track);
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  const auto errors = [this] {
    std::string out;
    for (const SectorReadError& e : image.GetReadErrors()) {
      out += std::to_string(e.id.c) + "," + std::to_string(e.id.h) + "," +
             std::to_string(e.id.r) + "," + std::to_string(e.id.n) + ":" +
             std::to_string(e.status) + " ";
    }
    return out;
  };
  EXPECT_EQ(errors(), "");
  Bytes buf(3072, 0);
  // In read order; 0x10 is no error; the short sector 5 ends the run
  // uncounted and unreported.
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 1, 2, buf.data(), 3072), 2048);
  EXPECT_EQ(errors(), "0,0,2,2:176 0,0,4,2:160 ");
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 3, 2, buf.data(), 512), 512);
  EXPECT_EQ(errors(), "");  // each read starts afresh
  EXPECT_EQ(Sector512(0, 0, 0, 5).size(), 256u);
  EXPECT_EQ(errors(), "0,0,5,2:224 ");
  EXPECT_EQ(Sector512(0, 0, 0, 6).size(), 512u);
  EXPECT_EQ(errors(), "0,0,6,2:240 ");
  // Every status a good read does not record is an error.
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 7, 2, buf.data(), 1536), 1536);
  EXPECT_EQ(errors(), "0,0,7,2:1 0,0,8,2:32 0,0,9,2:128 ");
  EXPECT_TRUE(Sector512(0, 0, 0, 10).empty());
  EXPECT_EQ(errors(), "");
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 2, 2, buf.data(), 512), 512);
  EXPECT_EQ(image.ReadSectors(0, 0, 0, 2, 2, buf.data(), 0), 0);
  EXPECT_EQ(errors(), "");
}

// ---- ReadTrackIds ----

class ReadTrackIdsTest : public D88ImageTest {
 protected:
  // Lists `track` into a buffer of `length` bytes followed by guard bytes;
  // returns the entries written as "C.H.R.N" strings.
  std::vector<std::string> List(int track, int length) {
    Bytes buf(static_cast<std::size_t>(length > 0 ? length : 0) + 4, 0xEE);
    const int got = image.ReadTrackIds(track, buf.data(), length);
    EXPECT_GE(got, 0);
    EXPECT_EQ(got % 4, 0);
    for (std::size_t i = static_cast<std::size_t>(got); i < buf.size(); ++i) {
      EXPECT_EQ(buf[i], 0xEE) << "byte " << i << " written beyond the list";
    }
    std::vector<std::string> ids;
    for (int i = 0; i + 4 <= got; i += 4) {
      ids.push_back(std::to_string(buf[i]) + "." + std::to_string(buf[i + 1]) +
                    "." + std::to_string(buf[i + 2]) + "." +
                    std::to_string(buf[i + 3]));
    }
    return ids;
  }
};

TEST_F(ReadTrackIdsTest, ListsIdsInStoredOrderUpToTheCapacity) {
  OpenBytes(UniformDisk(0, 2, 3));  // stored as 1 4 7 10 2 5 8 3 6 9
  ASSERT_TRUE(image.SelectImage(0));
  const std::vector<std::string> all = {
      "1.1.1.2", "1.1.4.2", "1.1.7.2", "1.1.10.2", "1.1.2.2",
      "1.1.5.2", "1.1.8.2", "1.1.3.2", "1.1.6.2",  "1.1.9.2"};
  EXPECT_EQ(List(3, 64), all);
  EXPECT_EQ(List(3, 16),
            std::vector<std::string>(all.begin(), all.begin() + 4));
  // A capacity that is not a multiple of 4 holds only whole entries.
  EXPECT_EQ(List(3, 19),
            std::vector<std::string>(all.begin(), all.begin() + 4));
  EXPECT_EQ(List(3, 3), std::vector<std::string>());
  EXPECT_EQ(List(3, 0), std::vector<std::string>());
  EXPECT_EQ(List(3, -8), std::vector<std::string>());
}

TEST_F(ReadTrackIdsTest, StopsAtTheFirstRecordThatCountsItselfLast) {
  D88DiskWriter disk;
  // Counts 5, 5, 3: the third record (position 2) says it is the last.
  disk.SetTrack(0, {MakeSector(0, 0, 1, 2, 5, Filled(300, 1)),
                    MakeSector(0, 0, 2, 2, 5, Filled(1, 2)),
                    MakeSector(0, 0, 3, 2, 3, Bytes()),
                    MakeSector(0, 0, 4, 2, 5, Bytes())});
  // Counts of 0 never stop the listing; here the file's end does.
  disk.SetTrack(1, {MakeSector(0xFF, 0x80, 0xF7, 7, 0, Filled(3, 1)),
                    MakeSector(0, 1, 9, 0, 0, Bytes()),
                    MakeSector(0, 1, 8, 1, 0, Bytes())});
  Bytes file = disk.Build();
  file.resize(file.size() + 10, 0);  // a header cut short after them
  OpenBytes(file);
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(List(0, 64),
            (std::vector<std::string>{"0.0.1.2", "0.0.2.2", "0.0.3.2"}));
  EXPECT_EQ(List(1, 64),
            (std::vector<std::string>{"255.128.247.7", "0.1.9.0", "0.1.8.1"}));
  EXPECT_EQ(List(1, 8), (std::vector<std::string>{"255.128.247.7", "0.1.9.0"}));
}

TEST_F(ReadTrackIdsTest, RefusedTracksWriteNothing) {
  D88DiskWriter disk;
  for (int t : {0, 1, 2, 3}) {
    disk.SetTrack(t, {MakeSector(0, 0, 1, 2, 1, Filled(16, 0))});
  }
  disk.OverrideTrackOffset(1, 0);
  disk.OverrideTrackOffset(2, 0xFFFFFFF0u);
  disk.OverrideTrackOffset(3, 0x7FFFFFF0u);  // beyond the disk size
  OpenBytes(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_EQ(List(0, 8).size(), 1u);
  for (int track : {1, 2, 3, 164, -1}) {
    EXPECT_TRUE(List(track, 64).empty()) << track;
  }
  EXPECT_FALSE(image.SelectImage(1));
  EXPECT_TRUE(List(0, 64).empty());
}

}  // namespace
