// Tests of what a run does with the folder, against a folder in memory:
// damaged dumps add up in any order, the rescue map is true at every instant
// a crash or a power cut could stop a run at, a file changed meanwhile or
// since is never taken for one tamrek knows, and a map that cannot be read
// or written costs no knowledge.

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
// is given): the true bytes, zero where nothing was read, one wrong where a
// read error's bytes begin.
DumpedFile Dump(std::map<std::size_t, PieceState> states) {
  DumpedFile dumped{kMdat01, KnownFile{Truth(), {}, true}};
  for (std::size_t i = 0; i < Mdat01().pieces.size(); ++i) {
    const PlanPiece& piece = Mdat01().pieces[i];
    const PieceState state = states.count(i) != 0 ? states.at(i) : kClean;
    std::uint8_t* bytes = dumped.read.bytes.data() + piece.offset;
    if (state.state == SectorState::kMissing ||
        state.state == SectorState::kPartial) {
      std::fill(bytes + state.got, bytes + piece.length, 0);
    }
    if (state.state == SectorState::kReadError) bytes[state.got] ^= 0x10;
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
      fs, {"input.d88"}, files, {}, [](std::size_t) {}, &console);
  for (auto [file, text] : {std::pair{out, &run.out}, {err, &run.err}}) {
    std::rewind(file);
    for (int ch; (ch = std::fgetc(file)) != EOF;)
      *text += static_cast<char>(ch);
    std::fclose(file);
  }
  return run;
}

// The map of `folder`, if it has one that reads.
bool MapOf(const FakeFileSystem::Folder& folder, RescueMap* map) {
  const auto entry = folder.find(kMapName);
  if (entry == folder.end()) return false;
  const Bytes& text = entry->second.content;
  std::string reason;
  EXPECT_TRUE(
      ParseRescueMap(std::string(text.begin(), text.end()), map, &reason))
      << reason;
  return true;
}

// The record of the MDAT01 that `folder` holds, or nullptr.
const MapRecord* RecordOf(const FakeFileSystem::Folder& folder,
                          const RescueMap& map) {
  const auto file = folder.find("MDAT01");
  if (file == folder.end()) return nullptr;
  const Bytes& bytes = file->second.content;
  return map.Find(kMdat01, Crc32(bytes.data(), bytes.size()));
}

// Which pieces of MDAT01 `folder` presents as read cleanly: those its
// record says are, where the folder has a map; without one, those of a
// regular file of its length that are not all zero bytes.
std::vector<std::size_t> PresentedClean(const FakeFileSystem::Folder& folder) {
  const auto file = folder.find("MDAT01");
  if (file == folder.end() || file->second.kind != Found::kRegular ||
      file->second.content.size() != Truth().size()) {
    return {};
  }
  RescueMap map;
  const bool mapped = MapOf(folder, &map);
  const MapRecord* record = mapped ? RecordOf(folder, map) : nullptr;
  if (mapped && (record == nullptr || record->kind == RecordKind::kChanged)) {
    return {};
  }
  const Bytes& bytes = file->second.content;
  std::vector<std::size_t> clean;
  for (std::size_t i = 0; i < Mdat01().pieces.size(); ++i) {
    const PlanPiece& piece = Mdat01().pieces[i];
    const bool zero = std::all_of(bytes.begin() + piece.offset,
                                  bytes.begin() + piece.offset + piece.length,
                                  [](std::uint8_t b) { return b == 0; });
    if (record != nullptr && record->kind == RecordKind::kRead
            ? record->pieces[i].state == SectorState::kClean
            : !zero) {
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

// `name` in `from`, in place of what `into` holds there.
FakeFileSystem::Folder With(FakeFileSystem::Folder into,
                            const FakeFileSystem::Folder& from,
                            const std::string& name) {
  into.erase(name);
  if (from.count(name) != 0) into[name] = from.at(name);
  return into;
}

// Expects the folder true at every change of the run that took
// `fs.snapshots` from `first` on, and after a power cut there: the folder
// as last flushed, with any of the changes made since (the map and MDAT01
// each as flushed or as changed, as a file system that keeps no order of
// its renames may leave them).
void ExpectTrueThroughout(const FakeFileSystem& fs,
                          const FakeFileSystem::Folder& start,
                          std::size_t first, const std::string& what) {
  for (std::size_t s = first; s < fs.snapshots.size(); ++s) {
    const FakeFileSystem::Folder& now = fs.snapshots[s];
    const FakeFileSystem::Folder* flushed = &start;
    for (const std::size_t at : fs.flushedAt) {
      if (at > first && at <= s) flushed = &fs.snapshots[at - 1];
    }
    const std::string here = what + " at change " + std::to_string(s);
    ExpectTrue(now, here);
    ExpectTrue(*flushed, here + ", power cut");
    ExpectTrue(With(*flushed, now, kMapName), here + ", power cut, new map");
    ExpectTrue(With(*flushed, now, "MDAT01"), here + ", power cut, new file");
  }
}

TEST(OutputFolderTest, DamagedDumpsAddUpInAnyOrderAndTheMapIsAlwaysTrue) {
  // Each dump reads some sectors cleanly that another does not; the last
  // is good.  Whatever their order, after each run every sector that some
  // dump read cleanly is in the file, and at every instant of every run,
  // and after a power cut at any of them, the file and the map together
  // tell no lie.
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
      const FakeFileSystem::Folder start = fs.files;
      Put(&fs, {Dump(dumps[d])});
      ExpectTrueThroughout(fs, start, before, what);
      // The map's record says exactly which sectors no dump read cleanly.
      RescueMap map;
      const bool mapped = MapOf(fs.files, &map);
      const MapRecord* record = mapped ? RecordOf(fs.files, map) : nullptr;
      ASSERT_EQ(mapped, record != nullptr) << what;
      for (std::size_t i = 0; i < readClean.size(); ++i) {
        EXPECT_EQ(!mapped || record->pieces[i].state == SectorState::kClean,
                  readClean[i])
            << what << ": piece " << i;
        const PlanPiece& piece = Mdat01().pieces[i];
        EXPECT_TRUE(
            !readClean[i] ||
            std::equal(Truth().begin() + piece.offset,
                       Truth().begin() + piece.offset + piece.length,
                       fs.files.at("MDAT01").content.begin() + piece.offset))
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

TEST(OutputFolderTest, TheMapHoldsTheRecordOfAFileBeforeTheFileTakesItsName) {
  FakeFileSystem fs;
  Outcome run = Put(&fs, {Dump({{2, kError}, {4, kMissing}})});
  // Locked before anything is read; the first map placed new, flushed, and
  // the folder after it; the file flushed before it is named.
  EXPECT_EQ(fs.log, (std::vector<std::string>{
                        "lock", "list", "write tamrek.map flushed", "flush",
                        "write MDAT01 flushed", "flush"}));
  EXPECT_EQ(run.err,
            "0 of 1 files are complete; tamrek.map lists the 2 sectors "
            "still to be read.\n");
  // Completed by the next dump: the new file's record first, the file, the
  // folder flushed, and only then the map removed, and that flushed.
  fs.log.clear();
  run = Put(&fs, {Dump({{0, kMissing}})});
  EXPECT_EQ(fs.log, (std::vector<std::string>{
                        "lock", "list", "write tamrek.map over flushed",
                        "flush", "write MDAT01 over flushed", "flush",
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
  Bytes older = Truth();
  std::fill(older.begin() + 1024, older.begin() + 1536, 0);  // piece 2
  older[0] ^= 0x01;  // a byte no clean read has given
  FakeFileSystem fs;
  fs.Plant("MDAT01", older);
  const Outcome run = Put(&fs, {Dump({{0, kError}, {1, kMissing}})});
  EXPECT_EQ(run.err,
            "MDAT01 is completed from the file it replaces: 2818 of 2818 "
            "bytes are known.\nAll 1 files are complete.\n");
  Bytes merged = older;
  std::copy(Truth().begin() + 1024, Truth().begin() + 1536,
            merged.begin() + 1024);
  EXPECT_EQ(fs.files.at("MDAT01").content, merged);
  EXPECT_EQ(fs.files.count(kMapName), 0u);
}

TEST(OutputFolderTest, AFileTheMapDoesNotKnowIsKeptUntilACleanRead) {
  // A damaged dump, then the file restored from a copy made before a later
  // dump completed it, or edited by hand: a file whose bytes no record
  // names.  Kept as it is, never merged into, not complete, and recorded
  // as changed so that the map stays while it does; a clean read replaces
  // it.
  const std::string changed =
      "MDAT01 has changed since tamrek.map was written; nothing is known of "
      "how it was read, so only a clean read replaces it.\n";
  const DumpedFile dumpA = Dump({{2, kError}, {1, kMissing}});
  for (const bool restored : {true, false}) {
    FakeFileSystem fs;
    Put(&fs, {dumpA});
    Bytes copy = fs.files.at("MDAT01").content;
    if (restored) {
      Put(&fs, {Dump({{2, kMissing}, {5, kMissing}})});  // B
    } else {
      copy[5] ^= 1;
    }
    fs.Plant("MDAT01", copy);
    Outcome run = Put(&fs, {dumpA});
    EXPECT_EQ(run.err, changed +
                           "MDAT01 already exists and is kept as it was.\n"
                           "0 of 1 files are complete.\n")
        << restored;
    EXPECT_EQ(fs.files.at("MDAT01").content, copy) << restored;
    RescueMap map;
    ASSERT_TRUE(MapOf(fs.files, &map)) << restored;
    ASSERT_NE(RecordOf(fs.files, map), nullptr) << restored;
    EXPECT_EQ(RecordOf(fs.files, map)->kind, RecordKind::kChanged);
    // Said again while it stands; gone with a clean read.
    run = Put(&fs, {Dump({})});
    EXPECT_EQ(run.out, "MDAT01 is created.\n") << restored;
    EXPECT_EQ(run.err, changed +
                           "MDAT01 replaces a file that differed from this "
                           "image in " +
                           (restored ? "2" : "3") +
                           " of its 6 sectors; that file is kept as "
                           "MDAT01.~1~.\n")
        << restored;
    EXPECT_EQ(fs.files.count(kMapName), 0u) << restored;
    EXPECT_EQ(fs.files.at("MDAT01.~1~").content, copy) << restored;
  }
  // The first version of the map named only what was not read cleanly: a
  // file it has no line about at all is clean; one whose lines are about
  // another state of it has changed.
  for (const bool otherState : {false, true}) {
    FakeFileSystem fs;
    fs.Plant("MDAT01", Truth());
    const std::string v1 =
        otherState ? "tamrek-map 1\nMDAT01 00001234 0 7 0 6 missing\n"
                   : "tamrek-map 1\nLDAT04 00001234 1 37 1 8 missing\n";
    fs.Plant(kMapName, Bytes(v1.begin(), v1.end()));
    const Outcome run = Put(&fs, {Dump({{1, kMissing}})});
    EXPECT_EQ(run.err, otherState ? changed +
                                        "MDAT01 already exists and is kept "
                                        "as it was.\n0 of 1 files are "
                                        "complete.\n"
                                  : "MDAT01 already exists and is kept as "
                                    "it was.\nAll 1 files are complete.\n")
        << otherState;
  }
}

TEST(OutputFolderTest, AMapThatCannotBeReadOrWrittenCostsNoKnowledge) {
  // The map is left as it is; a file not read cleanly, which would pass for
  // one read cleanly without its record, is not written; a clean one is.
  const Bytes garbage = {'t', 'a', 'm', 'r', 'e', 'k', '\n'};
  const std::string prefix = "tamrek.map cannot be read and is left as it is: ";
  const struct {
    const char* what;
    std::function<void(FakeFileSystem*)> plant;
    std::string first;
  } cases[] = {
      {"a map that does not parse",
       [&](FakeFileSystem* fs) { fs->Plant(kMapName, garbage); },
       prefix + "its first line is not \"tamrek-map 2\".\n"},
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
       "tamrek.map could not be written: the disk is full.\n"},
      {"a folder that cannot be locked",
       [](FakeFileSystem* fs) { fs->noLock = "its file system has no locks"; },
       "This folder cannot be locked against another tamrek run (its file "
       "system has no locks); files not read cleanly are not written, and "
       "tamrek.map is left as it is.\n"},
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
    EXPECT_EQ(run.err, c.first +
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

TEST(OutputFolderTest, TheSummaryCountsTheFilesAsTheyAre) {
  // The map cannot be removed once every file is complete: the files are
  // all complete all the same, and the next run knows them.
  FakeFileSystem fs;
  Put(&fs, {Dump({{2, kError}})});
  fs.before = [&](const std::string& op, const std::string& name) {
    if (op == "write" && name == "MDAT01") {
      fs.failing[kMapName] = "an input/output error";
    }
  };
  Outcome run = Put(&fs, {Dump({})});
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(run.err,
            "tamrek.map could not be removed: an input/output error.\n");
  fs.before = nullptr;
  fs.failing.clear();
  run = Put(&fs, {Dump({{2, kError}})});
  EXPECT_EQ(run.err,
            "MDAT01 already exists and is kept as it was.\n"
            "All 1 files are complete.\n");
  EXPECT_EQ(fs.files.count(kMapName), 0u);
}

TEST(OutputFolderTest, APlacementAKillInterruptedIsFinishedNotLeft) {
  // A run killed between linking a file to NAME.tmp0 and its rename leaves
  // the only copy of that file there; the map records it.
  FakeFileSystem fs;
  Put(&fs, {Dump({{2, kError}, {4, kMissing}})});
  const FakeFileSystem::Folder first = fs.files;
  Put(&fs, {Dump({{4, kMissing}})});
  const Bytes better = fs.files.at("MDAT01").content;
  RescueMap map;
  ASSERT_TRUE(MapOf(fs.files, &map));
  ASSERT_EQ(map.records.size(), 1u);
  // Killed at the rename: the first file in place, the map with both.
  FakeFileSystem killed;
  killed.files = first;
  killed.Plant("MDAT01.tmp0", better);
  RescueMap both;
  ASSERT_TRUE(MapOf(first, &both));
  both.records.push_back(map.records[0]);
  const std::string text = FormatRescueMap(both.records);
  killed.Plant(kMapName, Bytes(text.begin(), text.end()));
  const FakeFileSystem::Folder atKill = killed.files;
  Outcome run = Put(&killed, {Dump({{2, kError}, {4, kMissing}})});
  EXPECT_EQ(run.err,
            "MDAT01 is put in place from MDAT01.tmp0, which an interrupted run "
            "left.\nMDAT01 already exists and is kept as it was.\n"
            "0 of 1 files are complete; tamrek.map lists the 1 sector still "
            "to be read.\n");
  EXPECT_EQ(killed.files.at("MDAT01").content, better);
  EXPECT_EQ(killed.files.count("MDAT01.tmp0"), 0u);
  // Where the name holds as much already, the leftover goes; where the map
  // does not record it, it is someone's, and stays.
  for (const bool recorded : {true, false}) {
    FakeFileSystem later;
    later.files = atKill;
    later.files["MDAT01"] = later.files.at("MDAT01.tmp0");
    later.Plant("MDAT01.tmp0", recorded ? first.at("MDAT01").content
                                        : Bytes(Truth().size(), 7));
    run = Put(&later, {Dump({})});
    EXPECT_EQ(run.err, recorded ? "MDAT01.tmp0, which an interrupted run "
                                  "left, is removed: MDAT01 holds as much.\n"
                                : "MDAT01.tmp0 is left from an earlier run; "
                                  "delete it if it is not yours.\n")
        << recorded;
    EXPECT_EQ(later.files.count("MDAT01.tmp0"), recorded ? 0u : 1u);
    EXPECT_EQ(later.files.at("MDAT01").content, Truth());
  }
}

TEST(OutputFolderTest, WhatANameHoldsDecidesWhatIsWritten) {
  const std::string differing =
      "MDAT01 replaces a file that differed from this image in 1 of its 6 "
      "sectors; that file is kept as MDAT01.~1~.\n";
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
       {"link MDAT01 MDAT01.~1~", "write MDAT01 over flushed", "flush"}},
      {"a file of zeros: filled, nothing differs",
       [](FakeFileSystem* fs) { fs->Plant("MDAT01", Bytes(2818, 0)); },
       Dump({}),
       "MDAT01 is created.\n",
       "",
       {"write MDAT01 over flushed", "flush"}},
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
      {"the same bytes, read less well: untouched, the map unmade",
       [](FakeFileSystem* fs) { fs->Plant("MDAT01", Truth()); },
       Dump({{3, kMissing}}),
       "",
       "MDAT01 already exists and is kept as it was.\n"
       "All 1 files are complete.\n",
       {}},
      {"a file of another length where the map names it: missing",
       [](FakeFileSystem* fs) {
         fs->Plant("MDAT01", Bytes(100, 0));
         const std::string map = "tamrek-map 2\nMDAT01 00001234 complete\n";
         fs->Plant(kMapName, Bytes(map.begin(), map.end()));
       },
       Dump({{0, kMissing}}),
       "MDAT01 is created.\n",
       "0 of 1 files are complete; tamrek.map lists the 1 sector still to "
       "be read.\n",
       {"write tamrek.map over flushed", "flush", "write MDAT01 over flushed",
        "flush", "write tamrek.map over flushed", "flush"}},
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
    std::vector<std::string> writes(fs.log.begin() + 2, fs.log.end());
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

TEST(OutputFolderTest, AFileACleanReadReplacesIsKeptAsANumberedBackup) {
  Bytes other = Truth();
  other[600] ^= 1;  // piece 1, read cleanly
  const std::string replaces =
      "MDAT01 replaces a file that differed from this image in 1 of its 6 "
      "sectors; that file is kept as ";
  const struct {
    const char* what;
    std::function<void(FakeFileSystem*)> plant;
    std::string err;
    std::vector<std::string> writes;
    std::string backup;  // where `other` is kept
  } cases[] = {
      {"the first free number, past names others hold",
       [](FakeFileSystem* fs) {
         fs->Plant("MDAT01.~1~", Bytes(3, 1));
         fs->PlantOther("MDAT01.~2~", Found::kLink);
         fs->PlantOther("MDAT01.~3~", Found::kDirectory);
       },
       replaces + "MDAT01.~4~.\n",
       {"link MDAT01 MDAT01.~4~", "write MDAT01 over flushed", "flush"},
       "MDAT01.~4~"},
      {"where there are no hard links, the file is moved there",
       [](FakeFileSystem* fs) { fs->hardLinks = false; },
       replaces + "MDAT01.~1~.\n",
       {"move MDAT01 MDAT01.~1~", "write MDAT01 flushed", "flush"},
       "MDAT01.~1~"},
      {"no backup, no replacement",
       [](FakeFileSystem* fs) {
         fs->failing["MDAT01.~1~"] = "the directory is full";
       },
       "MDAT01 could not be written: its file cannot be kept as a backup: "
       "the directory is full.\nAll 1 files are complete.\n",
       {},
       ""},
      {"every number taken",
       [](FakeFileSystem* fs) {
         for (int n = 1; n <= 99; ++n) {
           fs->Plant("MDAT01.~" + std::to_string(n) + "~", Bytes(1, 1));
         }
       },
       "MDAT01 could not be written: its file cannot be kept as a backup: "
       "every backup name from MDAT01.~1~ to MDAT01.~99~ is taken.\n"
       "All 1 files are complete.\n",
       {},
       ""},
  };
  for (const auto& c : cases) {
    FakeFileSystem fs;
    fs.Plant("MDAT01", other);
    c.plant(&fs);
    const Outcome run = Put(&fs, {Dump({})});
    EXPECT_EQ(run.err, c.err) << c.what;
    std::vector<std::string> writes(fs.log.begin() + 2, fs.log.end());
    EXPECT_EQ(writes, c.writes) << c.what;
    EXPECT_EQ(fs.files.at("MDAT01").content, c.backup.empty() ? other : Truth())
        << c.what;
    if (!c.backup.empty()) {
      EXPECT_EQ(fs.files.at(c.backup).content, other) << c.what;
    }
  }
  // Nothing is kept where nothing is lost: the same bytes, zeros filled.
  for (const Bytes& held : {Truth(), Bytes(Truth().size(), 0)}) {
    FakeFileSystem fs;
    fs.Plant("MDAT01", held);
    EXPECT_EQ(Put(&fs, {Dump({})}).err, "");
    EXPECT_EQ(fs.files.size(), 1u);
  }
}

}  // namespace
