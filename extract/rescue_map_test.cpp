// Tests of the rescue map's text: what it writes reads back the same, hand
// edits that keep its form are read, and everything else is refused with a
// reason; and of the CRC-32 that ties its lines to their files.

#include "extract/rescue_map.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "extract/crc32.h"
#include "extract/extraction_plan.h"

namespace {

// MDAT01 (file 1) reads disk 0, cylinder 7, head 0, sectors 4 to 9; its last
// piece, sector 9, is 258 bytes.  LDAT04 (file 11) reads cylinder 37, head
// 1, sectors 7 to 9 of disk 1.
std::vector<PieceState> Pieces(std::size_t count,
                               std::map<std::size_t, PieceState> states) {
  std::vector<PieceState> pieces(count);
  for (const auto& [i, state] : states) pieces[i] = state;
  return pieces;
}

const std::vector<MapRecord> kRecords = {
    {1, 0x0000ABCD, RecordKind::kRead,
     Pieces(6, {{2, {SectorState::kReadError, 0, 0xB0}},
                {3, {SectorState::kReadError, 300, 0x40}},
                {5, {SectorState::kPartial, 100, 0}}})},
    {1, 0xFEDCBA98, RecordKind::kRead,
     Pieces(6, {{0, {SectorState::kMissing, 0, 0}}})},
    {2, 0x00000001, RecordKind::kRead, Pieces(5, {})},
    {3, 0x00000002, RecordKind::kFound, {}},
    {11, 0x12345678, RecordKind::kChanged, {}},
};

TEST(RescueMapTest, WhatIsWrittenReadsBackAndSaysWhatItIs) {
  const std::string text = FormatRescueMap(
      {kRecords[4], kRecords[1], kRecords[0], kRecords[3], kRecords[2]});
  EXPECT_EQ(text.substr(0, text.find('\n')), "tamrek-map 2");
  const std::string body = text.substr(text.find("\nMDAT01"));
  EXPECT_EQ(body,
            "\nMDAT01 0000abcd 0 7 0 6 read-error 0xB0\n"
            "MDAT01 0000abcd 0 7 0 7 partial 300 of 512 read-error 0x40\n"
            "MDAT01 0000abcd 0 7 0 9 partial 100 of 258\n"
            "MDAT01 fedcba98 0 7 0 4 missing\n"
            "MDAT02 00000001 complete\n"
            "MDAT03 00000002 found\n"
            "LDAT04 12345678 changed\n");
  RescueMap map;
  std::string reason;
  ASSERT_TRUE(ParseRescueMap(text, &map, &reason)) << reason;
  EXPECT_EQ(map.records, kRecords);
  EXPECT_EQ(map.version, 2);
  // An empty map is one still.
  ASSERT_TRUE(ParseRescueMap(FormatRescueMap({}), &map, &reason));
  EXPECT_TRUE(map.records.empty());
  // Edited by hand, with line ends, spaces and case of its own: the same.
  ASSERT_TRUE(ParseRescueMap(
      "tamrek-map 2\r\n\r\n# mine\nLDAT04  12345678\tchanged\r\n", &map,
      &reason))
      << reason;
  EXPECT_EQ(map.records, std::vector<MapRecord>{kRecords[4]});
}

TEST(RescueMapTest, TheFirstVersionIsReadAsItWasMeant) {
  RescueMap map;
  std::string reason;
  ASSERT_TRUE(ParseRescueMap(
      "tamrek-map 1\n# a comment\nMDAT01 0000abcd 0 7 0 6 read-error 0xB0\n"
      "MDAT01 0000abcd 0 7 0 9 partial 100 of 258\n",
      &map, &reason))
      << reason;
  EXPECT_EQ(map.version, 1);
  ASSERT_EQ(map.records.size(), 1u);
  EXPECT_EQ(map.records[0].pieces,
            Pieces(6, {{2, {SectorState::kReadError, 0, 0xB0}},
                       {5, {SectorState::kPartial, 100, 0}}}));
  EXPECT_TRUE(map.Names(1));
  EXPECT_FALSE(map.Names(2));
  // What only the second version writes is not the first's.
  for (const char* line : {"MDAT02 00000001 complete\n",
                           "MDAT01 0000abcd 0 7 0 7 partial 300 of 512 "
                           "read-error 0x40\n"}) {
    EXPECT_FALSE(
        ParseRescueMap(std::string("tamrek-map 1\n") + line, &map, &reason))
        << line;
    EXPECT_EQ(reason, "line 2 does not parse") << line;
  }
}

TEST(RescueMapTest, AnythingElseIsRefusedWithItsReason) {
  const std::string first = "tamrek-map 2\n";
  const std::string good = "MDAT01 0000abcd 0 7 0 6 read-error 0xB0\n";
  const struct {
    std::string text, reason;
  } cases[] = {
      {"", "it is empty"},
      {"tamrek-map 3\n",
       "it is in version 3 of its format, which this tamrek does not read"},
      {"tamrek-map 99999999999999999999\n",
       "its first line is not \"tamrek-map 2\""},
      {"tamrek-map 2 \n", "its first line is not \"tamrek-map 2\""},
      {"# tamrek-map 2\n", "its first line is not \"tamrek-map 2\""},
      {"\x83\x74\x83\x40 binary\n", "its first line is not \"tamrek-map 2\""},
      {first + good.substr(0, 30), "it ends in the middle of a line"},
      {first + "MDAT08 0000abcd 0 7 0 6 missing\n",
       "line 2 names a file that tamrek does not write"},
      {first + "MDAT01 0000abcd 1 7 0 6 missing\n",
       "line 2 names a sector that its file is not read from"},
      {first + "MDAT01 0000abcd 0 7 0 10 missing\n",
       "line 2 names a sector that its file is not read from"},
      {first + good + "\n" + good,
       "line 4 repeats a sector of an earlier line"},
      {first + good + "MDAT01 0000abcd complete\n",
       "line 3 repeats the record of an earlier line"},
      {first + "MDAT01 0000abcd found\n" + good,
       "line 3 repeats the record of an earlier line"},
      {first + "MDAT01 abcd 0 7 0 6 missing\n", "line 2 does not parse"},
      {first + "MDAT01 0000abcd done\n", "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 read-error 0x00\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 read-error 0x10\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 read-error B0\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 partial 512 of 512\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 9 partial 100 of 512\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 partial 0 of 512\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 partial 10 of 512 read-error\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 missing now\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 clean\n", "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 -7 0 6 missing\n", "line 2 does not parse"},
  };
  for (const auto& c : cases) {
    RescueMap map;
    std::string reason;
    EXPECT_FALSE(ParseRescueMap(c.text, &map, &reason)) << c.text;
    EXPECT_EQ(reason, c.reason) << c.text;
  }
}

TEST(RescueMapTest, Crc32IsZlibs) {
  const std::string check = "123456789";
  EXPECT_EQ(
      Crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
      0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  const std::vector<std::uint8_t> zeros(512, 0);
  EXPECT_EQ(Crc32(zeros.data(), zeros.size()), 0xB2AA7578u);
  // Every length and alignment, against the definition bit by bit.
  std::vector<std::uint8_t> bytes(80);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 167 + 13);
  }
  for (std::size_t from = 0; from < 8; ++from) {
    for (std::size_t size = 0; from + size <= bytes.size(); ++size) {
      std::uint32_t crc = 0xFFFFFFFFu;
      for (std::size_t i = from; i < from + size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
          crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
      }
      ASSERT_EQ(Crc32(bytes.data() + from, size), crc ^ 0xFFFFFFFFu)
          << from << " " << size;
    }
  }
}

}  // namespace
