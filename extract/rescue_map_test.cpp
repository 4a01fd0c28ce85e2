// Tests of the rescue map's text: what it writes reads back the same, hand
// edits that keep its form are read, and everything else is refused with a
// reason; and of the CRC-32 that ties its lines to their files.

#include "extract/rescue_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/crc32.h"
#include "extract/extraction_plan.h"

namespace {

// MDAT01 (file 1) reads disk 0, cylinder 7, head 0, sectors 4 to 9; its last
// piece, sector 9, is 258 bytes.  LDAT04 (file 11) reads cylinder 37, head
// 1, sectors 7 to 9 of disk 1.
const std::vector<MapLine> kLines = {
    {1, 0x0000ABCD, 2, {SectorState::kReadError, 512, 0xB0}},
    {1, 0x0000ABCD, 5, {SectorState::kPartial, 100, 0}},
    {1, 0xFEDCBA98, 0, {SectorState::kMissing, 0, 0}},
    {11, 0x12345678, 1, {SectorState::kPartial, 256, 0}},
};

TEST(RescueMapTest, WhatIsWrittenReadsBackAndSaysWhatItIs) {
  const std::string text =
      FormatRescueMap({kLines[3], kLines[1], kLines[0], kLines[2]});
  EXPECT_EQ(text.substr(0, text.find('\n')), "tamrek-map 1");
  const std::string body = text.substr(text.find("\nMDAT01"));
  EXPECT_EQ(body,
            "\nMDAT01 0000abcd 0 7 0 6 read-error 0xB0\n"
            "MDAT01 0000abcd 0 7 0 9 partial 100 of 258\n"
            "MDAT01 fedcba98 0 7 0 4 missing\n"
            "LDAT04 12345678 1 37 1 8 partial 256 of 512\n");
  std::vector<MapLine> lines;
  std::string reason;
  ASSERT_TRUE(ParseRescueMap(text, &lines, &reason)) << reason;
  EXPECT_EQ(lines, kLines);
  // An empty map is one still.
  ASSERT_TRUE(ParseRescueMap(FormatRescueMap({}), &lines, &reason));
  EXPECT_TRUE(lines.empty());
  // Edited by hand, with line ends, spaces and case of its own: the same.
  ASSERT_TRUE(ParseRescueMap(
      "tamrek-map 1\r\n\r\n# mine\nLDAT04  12345678 1 37 1 8\tpartial 256 of "
      "512\r\n",
      &lines, &reason))
      << reason;
  EXPECT_EQ(lines, std::vector<MapLine>{kLines[3]});
}

TEST(RescueMapTest, AnythingElseIsRefusedWithItsReason) {
  const std::string first = "tamrek-map 1\n";
  const std::string good = "MDAT01 0000abcd 0 7 0 6 read-error 0xB0\n";
  const struct {
    std::string text, reason;
  } cases[] = {
      {"", "it is empty"},
      {"tamrek-map 2\n",
       "it is in version 2 of its format, which this "
       "tamrek does not read"},
      {"# tamrek-map 1\n", "its first line is not \"tamrek-map 1\""},
      {"\x83\x74\x83\x40 binary\n", "its first line is not \"tamrek-map 1\""},
      {first + good.substr(0, 30), "it ends in the middle of a line"},
      {first + "MDAT08 0000abcd 0 7 0 6 missing\n",
       "line 2 names a file that tamrek does not write"},
      {first + "MDAT01 0000abcd 1 7 0 6 missing\n",
       "line 2 names a sector that its file is not read from"},
      {first + "MDAT01 0000abcd 0 7 0 10 missing\n",
       "line 2 names a sector that its file is not read from"},
      {first + good + "\n" + good,
       "line 4 repeats a sector of an earlier line"},
      {first + "MDAT01 abcd 0 7 0 6 missing\n", "line 2 does not parse"},
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
      {first + "MDAT01 0000abcd 0 7 0 6 missing now\n",
       "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 7 0 6 clean\n", "line 2 does not parse"},
      {first + "MDAT01 0000abcd 0 -7 0 6 missing\n", "line 2 does not parse"},
  };
  for (const auto& c : cases) {
    std::vector<MapLine> lines;
    std::string reason;
    EXPECT_FALSE(ParseRescueMap(c.text, &lines, &reason)) << c.text;
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
}

}  // namespace
