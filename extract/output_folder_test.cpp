// Tests of what a run does with the folder, against a folder in memory:
// damaged dumps add up in any order, the rescue map is true at every instant
// a crash could stop a run at, a file changed meanwhile is never replaced,
// and a map that cannot be read or written costs no knowledge.

#include "extract/output_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "extract/crc32.h"
#include "extract/extraction_plan.h"
#include "extract/fake_file_system.h"
#include "extract/rescue_map.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::Found;

// MDAT01: six pieces, the last of 258 bytes.  Its piece 3 is a sector of
// zero bytes, as real disks hold.
constexpr std::size_t kMdat01 = 1;
const PlanFile& Mdat01() { return PlanFiles()[kMdat01]; }

const Bytes& Truth() {
  static const Bytes bytes = [] {
    Bytes b(static_cast<std::size_t>(Mdat01().entry.length));
    for (std::size_t i = 0; i < b.size(); ++i) {
      b[i] = i / 512 == 3 ? 0 : static_cast<std::uint8_t>(i * 7 + 1);
    }
    return b;
  }();
  return bytes;
}

const PieceState kClean{SectorState::kClean, 0, 0};
const PieceState kMissing{SectorState::kMissing, 0, 0};
const PieceState kError{SectorState::kReadError, 0, 0xB0};
PieceState Partial(int got) { return {SectorState::kPartial, got, 0}; }

// A dump of MDAT01 whose pieces were read as `states` (clean where none
// is given): the true bytes, one wrong where a read error was recorded,
// zero where nothing was read.
DumpedFile Dump(std::map<std::size_t, PieceState> states) {
  DumpedFile dumped{kMdat01, KnownFile{Truth(), {}, true}};
  for (std::size_t i = 0; i < Mdat01().pieces.size(); ++i) {
    const PlanPiece& piece = Mdat01().pieces[i];
    PieceState state = states.count(i) != 0 ? states.at(i) : kClean;
    if (state.state != SectorState::kPartial) state.got = piece.length;
    if (state.state == SectorState::kMissing) state.got = 0;
    std::uint8_t* bytes = dumped.read.bytes.data() + piece.offset;
    std::fill(bytes + state.got, bytes + piece.length, 0);
    if (state.state == SectorState::kReadError) bytes[0] ^= 0x10;
    dumped.read.pieces.push_back(state);
  }
  return dumped;
}

// The lines a run writes, and its result.
struct Outcome {
  bool ok;
  std::string out, err;
};

Outcome Put(FakeFileSystem* fs, const std::vector<DumpedFile>& files) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Console console(out, err);
  Outcome run;
  run.ok = PutFiles(
      fs, "input.d88", files, [](std::size_t) {}, &console);
  for (auto [file, text] : {std::pair{out, &run.out}, {err, &run.err}}) {
    std::rewind(file);
    for (int ch; (ch = std::fgetc(file)) != EOF;)
      *text += static_cast<char>(ch);
    std::fclose(file);
  }
  return run;
}

// The pieces of MDAT01 that the folder's map lists under the checksum of
// the file there, and whether it has lines for MDAT01 at all.
std::vector<std::size_t> Listed(const FakeFileSystem::Folder& folder,
                                bool* anyLine) {
  *anyLine = false;
  const auto map = folder.find(kMapName);
  const auto file = folder.find("MDAT01");
  if (map == folder.end() || file == folder.end()) return {};
  std::vector<MapLine> lines;
  std::string reason;
  const Bytes& text = map->second.content;
  EXPECT_TRUE(
      ParseRescueMap(std::string(text.begin(), text.end()), &lines, &reason))
      << reason;
  const Bytes& bytes = file->second.content;
  const std::uint32_t crc = Crc32(bytes.data(), bytes.size());
  std::vector<std::size_t> listed;
  for (const MapLine& line : lines) {
    *anyLine = *anyLine || line.file == kMdat01;
    if (line.file == kMdat01 && line.crc == crc) listed.push_back(line.piece);
  }
  return listed;
}

// Which pieces of MDAT01 the folder presents as read cleanly: those of a
// regular file of its length that the map does not list (a file whose
// lines are all about other states of it counts as one without a map, and
// then a piece of zero bytes is not presented as anything).
std::vector<std::size_t> PresentedClean(const FakeFileSystem::Folder& folder) {
  const auto file = folder.find("MDAT01");
  if (file == folder.end() || file->second.kind != Found::kRegular ||
      file->second.content.size() != Truth().size()) {
    return {};
  }
  const Bytes& bytes = file->second.content;
  bool anyLine;
  const std::vector<std::size_t> listed = Listed(folder, &anyLine);
  const bool mapped =
      folder.count(kMapName) != 0 && (!anyLine || !listed.empty());
  std::vector<std::size_t> clean;
  for (std::size_t i = 0; i < Mdat01().pieces.size(); ++i) {
    const PlanPiece& piece = Mdat01().pieces[i];
    const bool zero = std::all_of(bytes.begin() + piece.offset,
                                  bytes.begin() + piece.offset + piece.length,
                                  [](std::uint8_t b) { return b == 0; });
    if (std::count(listed.begin(), listed.end(), i) == 0 && (mapped || !zero)) {
      clean.push_back(i);
    }
  }
  return clean;
}

// Expects every piece that `folder` presents as clean to hold true bytes.
void ExpectTrue(const FakeFileSystem::Folder& folder, const std::string& what) {
  const auto file = folder.find("MDAT01");
  const Bytes& truth = Truth();
  for (const std::size_t i : PresentedClean(folder)) {
    const PlanPiece& piece = Mdat01().pieces[i];
    EXPECT_TRUE(std::equal(truth.begin() + piece.offset,
                           truth.begin() + piece.offset + piece.length,
                           file->second.content.begin() + piece.offset))
        << what << ": piece " << i << " passes for clean";
  }
}

TEST(OutputFolderTest, DamagedDumpsAddUpInAnyOrderAndTheMapIsAlwaysTrue) {
  // Each dump reads some sectors cleanly that another does not; the last
  // is good.  Whatever their order, after each run every sector that some
  // dump read cleanly is in the file, and at every instant of every run
  // the file and the map together tell no lie.
  const std::vector<std::map<std::size_t, PieceState>> dumps = {
      {{2, kError}},                                    // A
      {{4, kMissing}, {5, Partial(100)}},               // B
      {{0, Partial(300)}, {2, kMissing}, {3, kError}},  // C
  };
  std::vector<int> order = {0, 1, 2};
  do {
    FakeFileSystem fs;
    std::vector<bool> readClean(Mdat01().pieces.size(), false);
    std::string what;
    for (const int d : order) {
      what += "ABC"[d];
      for (std::size_t i = 0; i < readClean.size(); ++i) {
        readClean[i] = readClean[i] || dumps[d].count(i) == 0;
      }
      const std::size_t before = fs.snapshots.size();
      Put(&fs, {Dump(dumps[d])});
      for (std::size_t s = before; s < fs.snapshots.size(); ++s) {
        ExpectTrue(fs.snapshots[s], what + " at change " + std::to_string(s));
      }
      // The map lists exactly the sectors no dump has read cleanly.
      bool anyLine;
      const std::vector<std::size_t> listed = Listed(fs.files, &anyLine);
      for (std::size_t i = 0; i < readClean.size(); ++i) {
        EXPECT_EQ(std::count(listed.begin(), listed.end(), i) == 0,
                  readClean[i])
            << what << ": piece " << i;
        const PlanPiece& piece = Mdat01().pieces[i];
        EXPECT_EQ(!readClean[i] ||
                      std::equal(
                          Truth().begin() + piece.offset,
                          Truth().begin() + piece.offset + piece.length,
                          fs.files.at("MDAT01").content.begin() + piece.offset),
                  true)
            << what << ": piece " << i << " read cleanly is not in the file";
      }
    }
    // Every sector has been read cleanly by some dump: complete, no map.
    EXPECT_EQ(fs.files.at("MDAT01").content, Truth()) << what;
    EXPECT_EQ(fs.files.count(kMapName), 0u) << what;
    const Outcome good = Put(&fs, {Dump({})});
    EXPECT_TRUE(good.ok) << what;
    EXPECT_EQ(good.out, "MDAT01 is created.\n") << what;
    EXPECT_EQ(fs.files.at("MDAT01").content, Truth()) << what;
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(OutputFolderTest, TheMapHoldsTheLinesOfAFileBeforeTheFileTakesItsName) {
  FakeFileSystem fs;
  Outcome run = Put(&fs, {Dump({{2, kError}, {4, kMissing}})});
  EXPECT_EQ(fs.log, (std::vector<std::string>{"lock", "write tamrek.map",
                                              "flush", "write MDAT01"}));
  EXPECT_EQ(run.err,
            "0 of 1 files are complete; tamrek.map lists the 2 sectors "
            "still to be read.\n");
  // Completed by the next dump: the file first, the map gone after it, and
  // the folder, which the renames changed, flushed last.
  fs.log.clear();
  run = Put(&fs, {Dump({{0, kMissing}})});
  EXPECT_EQ(fs.log, (std::vector<std::string>{"lock", "write MDAT01",
                                              "remove tamrek.map", "flush"}));
  EXPECT_EQ(run.err,
            "MDAT01 is completed from the file it replaces: 2818 of 2818 bytes "
            "are known.\nAll 1 files are complete.\n");
  EXPECT_EQ(fs.files.at("MDAT01").content, Truth());
}

TEST(OutputFolderTest, AFileChangedSinceItWasReadIsNeverReplaced) {
  // Edited in place between the read and the rename: by an editor that
  // restores the time of last write, and on a volume that keeps no change
  // time.  The merged file is dropped and the edit kept.
  for (const bool keepsChangeTime : {true, false}) {
    FakeFileSystem fs;
    fs.Plant("MDAT01", Bytes(Truth().size(), 0));
    const Bytes edit(Truth().size(), 0x55);
    fs.before = [&](const std::string& op, const std::string& name) {
      if (op != "write" || name != "MDAT01") return;
      if (keepsChangeTime) {
        fs.EditKeepingModified("MDAT01", edit);
      } else {
        fs.EditWithoutChangeTime("MDAT01", edit);
      }
    };
    const Outcome run = Put(&fs, {Dump({{1, kMissing}})});
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out, "") << keepsChangeTime;
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
              "MDAT01 already exists and is kept as it was.")
        << keepsChangeTime;
    EXPECT_EQ(fs.files.at("MDAT01").content, edit) << keepsChangeTime;
  }
}

TEST(OutputFolderTest, WithoutAMapKnownBytesStayAndOnlyZerosAreFilled) {
  // A folder of an older version, or files put there by hand: every piece
  // counts as clean but one of zero bytes, which only a clean piece fills.
  // A map whose lines are about another state of the file is the same.
  Bytes older = Truth();
  std::fill(older.begin() + 1024, older.begin() + 1536, 0);  // piece 2
  older[0] ^= 0x01;  // a byte no clean read has given
  const DumpedFile dump = Dump({{0, kError}, {1, kMissing}});
  Bytes merged = older;
  std::copy(Truth().begin() + 1024, Truth().begin() + 1536,
            merged.begin() + 1024);
  for (const bool staleMap : {false, true}) {
    FakeFileSystem fs;
    fs.Plant("MDAT01", older);
    std::string changed;
    if (staleMap) {
      const std::string text =
          FormatRescueMap({MapLine{kMdat01, 0x1234, 2, kMissing}});
      fs.Plant(kMapName, Bytes(text.begin(), text.end()));
      changed =
          "MDAT01 has changed since tamrek.map was written; its lines there "
          "are dropped.\n";
    }
    const Outcome run = Put(&fs, {dump});
    EXPECT_EQ(run.err, changed +
                           "MDAT01 is completed from the file it replaces: "
                           "2818 of 2818 bytes are known.\n"
                           "All 1 files are complete.\n")
        << staleMap;
    EXPECT_EQ(fs.files.at("MDAT01").content, merged) << staleMap;
    EXPECT_EQ(fs.files.count(kMapName), 0u) << staleMap;
  }
}

TEST(OutputFolderTest, AMapThatCannotBeReadOrWrittenCostsNoKnowledge) {
  // The map is left as it is; a file not read cleanly, which would pass for
  // one read cleanly without its lines, is not written; a clean one is.
  const Bytes garbage = {'t', 'a', 'm', 'r', 'e', 'k', '\n'};
  const std::string prefix = "tamrek.map cannot be read and is left as it is: ";
  const struct {
    const char* what;
    std::function<void(FakeFileSystem*)> plant;
    std::string first;
  } cases[] = {
      {"a map that does not parse",
       [&](FakeFileSystem* fs) { fs->Plant(kMapName, garbage); },
       prefix + "its first line is not \"tamrek-map 1\".\n"},
      {"a directory",
       [](FakeFileSystem* fs) { fs->PlantOther(kMapName, Found::kDirectory); },
       prefix + "a directory holds the name.\n"},
      {"a link",
       [](FakeFileSystem* fs) { fs->PlantOther(kMapName, Found::kLink); },
       prefix + "it is a link.\n"},
      {"a map too large",
       [](FakeFileSystem* fs) {
         fs->Plant(kMapName, Bytes(kMapLimit + 1, '#'));
       },
       prefix + "it is larger than 1 MiB.\n"},
      {"a map that cannot be written",
       [](FakeFileSystem* fs) { fs->failing[kMapName] = "the disk is full"; },
       ""},
  };
  for (const auto& c : cases) {
    FakeFileSystem fs;
    c.plant(&fs);
    const FakeFileSystem::Folder before = fs.files;
    DumpedFile clean = Dump({});
    clean.file = 11;  // LDAT04, read cleanly
    clean.read.bytes.assign(1026, 0x44);
    clean.read.pieces.assign(3, kClean);
    const Outcome run = Put(&fs, {Dump({{2, kError}}), clean});
    EXPECT_FALSE(run.ok) << c.what;
    EXPECT_EQ(run.out, "LDAT04 is created.\n") << c.what;
    const std::string written =
        c.first.empty() ? "tamrek.map could not be written: the disk is full.\n"
                        : c.first;
    EXPECT_EQ(run.err, written +
                           "MDAT01 could not be written: its sectors cannot be "
                           "recorded in tamrek.map.\n1 of 2 files are "
                           "complete.\n")
        << c.what;
    EXPECT_EQ(fs.files.count("MDAT01"), 0u) << c.what;
    const auto map = fs.files.find(kMapName);
    ASSERT_EQ(map != fs.files.end(), before.count(kMapName) != 0) << c.what;
    if (map != fs.files.end()) {
      EXPECT_EQ(map->second.content, before.at(kMapName).content) << c.what;
    }
  }
}

TEST(OutputFolderTest, WhatANameHoldsDecidesWhatIsWritten) {
  const std::string differing =
      "MDAT01 replaces a file that differed from this image in 1 of its 6 "
      "sectors.\n";
  Bytes other = Truth();
  other[600] ^= 1;  // piece 1
  const struct {
    const char* what;
    std::function<void(FakeFileSystem*)> plant;
    DumpedFile dump;
    std::string out, err;
    std::vector<std::string> writes;
  } cases[] = {
      {"the same file: untouched",
       [](FakeFileSystem* fs) { fs->Plant("MDAT01", Truth()); },
       Dump({}),
       "MDAT01 is created.\n",
       "",
       {}},
      {"another file of its length: replaced, and said",
       [&](FakeFileSystem* fs) { fs->Plant("MDAT01", other); },
       Dump({}),
       "MDAT01 is created.\n",
       differing,
       {"write MDAT01", "flush"}},
      {"a file of zeros: filled, nothing differs",
       [](FakeFileSystem* fs) { fs->Plant("MDAT01", Bytes(2818, 0)); },
       Dump({}),
       "MDAT01 is created.\n",
       "",
       {"write MDAT01", "flush"}},
      {"a file made read-only",
       [&](FakeFileSystem* fs) {
         fs->Plant("MDAT01", other);
         fs->files["MDAT01"].readOnly = true;
       },
       Dump({}),
       "",
       "MDAT01 could not be written: the file is read-only.\n"
       "All 1 files are complete.\n",
       {}},
      {"the file being read",
       [&](FakeFileSystem* fs) {
         fs->Plant("MDAT01", other);
         fs->input = "MDAT01";
       },
       Dump({}),
       "",
       "MDAT01 could not be written: it is the file being read.\n"
       "All 1 files are complete.\n",
       {}},
      {"a directory, for a damaged dump",
       [](FakeFileSystem* fs) { fs->PlantOther("MDAT01", Found::kDirectory); },
       Dump({{0, kMissing}}),
       "",
       "MDAT01 already exists and is kept as it was.\n"
       "0 of 1 files are complete.\n",
       {}},
      {"leftovers of a killed run are named, not removed",
       [](FakeFileSystem* fs) {
         fs->Plant("MDAT01.tmp7", Bytes(3, 1));
         fs->Plant("MDAT01.tmp07", Bytes(3, 1));
         fs->Plant("MDAT01.tmp100", Bytes(3, 1));
         fs->PlantOther("MDAT01.tmp8", Found::kLink);
       },
       Dump({}),
       "MDAT01 is created.\n",
       "MDAT01.tmp7 is left from an earlier run; delete it if it is not "
       "yours.\n",
       {"write MDAT01"}},
  };
  for (const auto& c : cases) {
    FakeFileSystem fs;
    c.plant(&fs);
    const Outcome run = Put(&fs, {c.dump});
    EXPECT_EQ(run.out, c.out) << c.what;
    EXPECT_EQ(run.err, c.err) << c.what;
    std::vector<std::string> writes(fs.log.begin() + 1, fs.log.end());
    EXPECT_EQ(writes, c.writes) << c.what;
  }
}

TEST(OutputFolderTest, ARunWaitsForTheRunThatHoldsTheFolder) {
  FakeFileSystem fs;
  fs.lockHeld = true;
  const Outcome run = Put(&fs, {Dump({})});
  EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1),
            "Another tamrek run is using this folder; this one waits for it "
            "to end.\n");
  EXPECT_EQ(fs.log.front(), "wait");
  EXPECT_EQ(fs.files.at("MDAT01").content, Truth());
}

}  // namespace
