// Tests of the survey of disk images: how each sector reads, which file it
// belongs to, when a track is laid out as the plan reads it, and what the
// file holds of an image.

#include "extract/disk_survey.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "extract/extraction_plan.h"
#include "tools/d88_writer.h"

namespace {

namespace fs = std::filesystem;

class DiskSurveyTest : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove(path); }

  // Opens `bytes` as the D88 file.
  void Open(const Bytes& bytes) {
    ASSERT_TRUE(WriteFile(path, bytes));
    ASSERT_TRUE(image.Open(path.c_str()));
  }

  std::string path = (fs::temp_directory_path() /
                      ("disk_survey_test_" + std::to_string(getpid())))
                         .string();
  D88Image image;
};

Bytes Text(int disk, int c, int h, int r) {
  return DemoSectorText(disk, c, h, r, 2);
}

TEST_F(DiskSurveyTest, EachSectorReadsAsThePlanWouldReadIt) {
  // Disk 0, track 14 (cylinder 7, head 0): sector 4 clean, 5 with a data
  // CRC error, 6 short, 7 renumbered away, 8 with a deleted-data mark.
  Open(MakeUniformDisk(0, 80, 10, 2, Text, 1, [](int, SectorRecord* s) {
         if (s->c != 7 || s->h != 0) return;
         if (s->r == 5) s->status = 0xB0;
         if (s->r == 6) s->data.resize(300);
         if (s->r == 7) s->r = 77;
         if (s->r == 8) s->status = 0x10;
       }).Build());
  ASSERT_TRUE(image.SelectImage(0));
  const SurveyedTrack track = SurveyTrack(&image, 0, 14);
  EXPECT_TRUE(track.present);
  EXPECT_FALSE(track.PlanLayout());
  const struct {
    int r;
    SectorState state;
    int status, dataSize, sizeCode;
  } expected[] = {
      {4, SectorState::kClean, 0, 512, 2},
      {5, SectorState::kReadError, 0xB0, 512, 2},
      {6, SectorState::kPartial, 0, 300, 2},
      {7, SectorState::kMissing, 0, -1, -1},
      {8, SectorState::kClean, 0, 512, 2},
  };
  for (const auto& e : expected) {
    const SurveyedSector& sector = track.sectors[e.r - 1];
    EXPECT_EQ(sector.state, e.state) << e.r;
    EXPECT_EQ(sector.status, e.status) << e.r;
    EXPECT_EQ(sector.dataSize, e.dataSize) << e.r;
    EXPECT_EQ(sector.sizeCode, e.sizeCode) << e.r;
    EXPECT_EQ(sector.file, 1) << e.r;  // MDAT01 reads sectors 4 to 9
  }
  EXPECT_EQ(track.sectors[0].file, -1);  // read by no file
  EXPECT_EQ(track.sectors[9].file, 2);   // MDAT02 starts at sector 10
  // The same track of disk 1 belongs to no file; track 0 to none at all.
  EXPECT_EQ(SurveyTrack(&image, 1, 14).sectors[4].file, -1);
  // An absent track, and a disk the file does not hold: nothing reads.
  const SurveyedTrack absent = SurveyTrack(&image, 0, 163);
  EXPECT_FALSE(absent.present);
  EXPECT_EQ(absent.sectors[0].state, SectorState::kMissing);
  EXPECT_FALSE(image.SelectImage(1));
  const SurveyedTrack lacking = SurveyTrack(&image, 1, 73);
  EXPECT_FALSE(lacking.present);
  EXPECT_EQ(lacking.sectors[8].state, SectorState::kMissing);
  EXPECT_EQ(lacking.sectors[8].file, 8);  // LDAT01 all the same
}

TEST_F(DiskSurveyTest, OnlyTheTrackThePlanReadsPassesForThePlansLayout) {
  // Track t of each variant: ten records whose IDs and data are changed as
  // the case says.
  using Edit = std::function<void(std::vector<SectorRecord>*)>;
  const struct {
    const char* what;
    Edit edit;
    bool plan;
  } cases[] = {
      {"ten sectors numbered 1 to 10, any order",
       [](std::vector<SectorRecord>* t) { std::swap((*t)[0], (*t)[9]); }, true},
      {"a sector number twice",
       [](std::vector<SectorRecord>* t) { (*t)[1].r = 1; }, false},
      {"a sector of size code 3",
       [](std::vector<SectorRecord>* t) { (*t)[4].n = 3; }, false},
      {"head 0 on side 1",
       [](std::vector<SectorRecord>* t) {
         for (SectorRecord& s : *t) s.h = 0;
       },
       false},
      {"a sector of 256 bytes",
       [](std::vector<SectorRecord>* t) { (*t)[2].data.resize(256); }, false},
      {"a sector of 600 bytes",
       [](std::vector<SectorRecord>* t) { (*t)[2].data.resize(600); }, false},
      {"an eleventh sector",
       [](std::vector<SectorRecord>* t) {
         t->push_back(t->back());
         t->back().r = 11;
       },
       false},
  };
  for (const auto& c : cases) {
    std::vector<SectorRecord> records;
    for (int r = 1; r <= 10; ++r) {
      records.push_back(MakeSector(7, 1, r, 2, 10, Text(0, 7, 1, r)));
    }
    c.edit(&records);
    for (SectorRecord& s : records) {
      s.sectorCount = static_cast<std::uint16_t>(records.size());
    }
    D88DiskWriter disk;
    disk.SetTrack(15, records);
    Open(disk.Build());
    ASSERT_TRUE(image.SelectImage(0));
    EXPECT_EQ(SurveyTrack(&image, 0, 15).PlanLayout(), c.plan) << c.what;
    image.Open(nullptr);
  }
}

TEST_F(DiskSurveyTest, IdsAreKeptUpToTheirLimitAndEmptyIsNotAbsent) {
  for (const int count : {kSurveyIds, kSurveyIds + 1}) {
    std::vector<SectorRecord> records;
    for (int r = 1; r <= count; ++r) {
      records.push_back(MakeSector(0, 0, r, 2, count, Bytes(512, 1)));
    }
    D88DiskWriter disk;
    disk.SetTrack(0, records);
    Open(disk.Build());
    ASSERT_TRUE(image.SelectImage(0));
    const SurveyedTrack track = SurveyTrack(&image, 0, 0);
    EXPECT_EQ(track.ids.size(), static_cast<std::size_t>(kSurveyIds)) << count;
    EXPECT_EQ(track.moreIds, count > kSurveyIds) << count;
    image.Open(nullptr);
  }
  // A track whose offset leads to the image's end holds no sector, but is
  // there; one of offset 0 is absent.
  D88DiskWriter disk;
  disk.OverrideTrackOffset(2, D88DiskWriter::kHeaderSize);
  Open(disk.Build());
  ASSERT_TRUE(image.SelectImage(0));
  EXPECT_TRUE(SurveyTrack(&image, 0, 2).present);
  EXPECT_TRUE(SurveyTrack(&image, 0, 2).ids.empty());
  EXPECT_FALSE(SurveyTrack(&image, 0, 3).present);
}

TEST_F(DiskSurveyTest, FactsSayWhatTheFileHoldsOfAnImage) {
  D88DiskWriter disk("NAME\"1", 0x20);
  for (const int t : {0, 159, 160, 163}) {
    disk.SetTrack(t, {MakeSector(t / 2, t % 2, 1, 2, 1, Bytes(512, 0))});
  }
  Bytes file = disk.Build();
  file.resize(file.size() - 100);  // the last track cut short
  Open(file);
  ImageFacts facts = FactsOf(&image, 0);
  EXPECT_TRUE(facts.readable);
  EXPECT_EQ(facts.name, "NAME\"1");
  EXPECT_EQ(facts.mediaType, 0x20);
  EXPECT_EQ(facts.tracks, 4);  // 160 to 163 too
  EXPECT_EQ(facts.pastEnd, 100);
  EXPECT_FALSE(FactsOf(&image, 1).readable);
  image.Open(nullptr);
  Open(disk.Build());
  EXPECT_EQ(FactsOf(&image, 0).pastEnd, 0);
}

}  // namespace
