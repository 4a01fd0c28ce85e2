// End-to-end tests of the tamrek command: each case runs the built tool in a
// fresh working directory and compares its standard output, standard error,
// exit status and every file it leaves there, byte for byte.  The harness
// (tamrek_e2e_test.h) says how the tool is found and run.  Cases that
// Wine cannot stage are skipped under it, each saying why; cases that need
// root (a small file system, another user) or strace are skipped without.
//
// Sections: command line and input; damaged images; looking before
// extracting (--list, --test); placing files; interrupts and limits; the
// console.

#include "extract/tamrek_e2e_test.h"

namespace e2e {
namespace {

// ---- Command line and input ----

TEST_F(TamrekTest, AWrongCommandLinePrintsUsageOnly) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"--disk", "0"},
           {"--disk", "4", "a.d88"},
           {"--disk", "01", "a.d88"},
           {"--disk", "0", "a.d88", "b.d88"},
           {"--disk", "0", "--list", "a.d88"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Console(kUsage));
    EXPECT_TRUE(WorkFiles().empty());
  }
}

TEST_F(TamrekTest, UnopenableInputPrintsOpenFailureOnly) {
  for (const std::string& path :
       {(root / "absent.d88").string(), root.string()}) {  // a directory
    const Result r = Run({path});
    EXPECT_EQ(r.status, 1) << path;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Console(kOpenFailure));
    EXPECT_TRUE(WorkFiles().empty());
  }
}

TEST_F(TamrekTest, HelpAndVersionAreOptionsOnlyWhenAlone) {
  std::vector<std::string> helps = {"--help", "-h"};
  if (WindowsBuild()) helps.push_back("/?");
  for (const std::string& option : helps) {
    const Result r = Run({option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(
        r.out.rfind(Console(kUsage + "\n  tamrek A.d88 B.d88 C.d88 D.d88"), 0),
        0u)
        << r.out;
    EXPECT_NE(r.out.find("man tamrek"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "") << option;
  }
  Result r = Run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      r.out.rfind(Console("tamrek " TAMREK_VERSION "\nCopyright (c) "), 0), 0u)
      << r.out;
  EXPECT_NE(r.out.find("License: MIT."), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(WorkFiles().empty());
  // Not alone, or any other word, it is what it always was.
  EXPECT_EQ(Run({"--help", "--version"}).err, Console(kUsage));
  r = Run({"-x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Console(kOpenFailure));
  // A file of that name is reached as ./--help.
  ASSERT_TRUE(WriteFile((work / "--help").string(), DemoFile(4)));
  r = Run({"./--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(ReadAll(work / "PDAT05"), ExpectedFile(kPlan[28]));
}

TEST_F(TamrekTest, ListAndTestAreOptionsOnlyAsTheFirstOfTwoArguments) {
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  for (const std::string option : {"--list", "-l", "--test", "-t"}) {
    Result r = Run({option, input});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.out.substr(0, 4),
              option.find('l') != std::string::npos ? "The " : "DRIV")
        << option;
    r = Run({option, (root / "absent.d88").string()});
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_EQ(r.out, "") << option;
    EXPECT_EQ(r.err, Console(kOpenFailure)) << option;
    // Alone, or elsewhere, or with more, a wrong command line.
    EXPECT_EQ(Run({option}).err, Console(kUsage)) << option;
    EXPECT_EQ(Run({option}).status, 1) << option;
    // Elsewhere, it is a file's name.
    EXPECT_EQ(Run({input, option}).err, Console(kOpenFailure)) << option;
  }
  EXPECT_EQ(Run({"/l", input}).err, Console(kOpenFailure));
  EXPECT_TRUE(WorkFiles().empty());
  // A file of such a name is reached as ./--list.
  ASSERT_TRUE(WriteFile((work / "--list").string(), DemoFile(4)));
  const Result r = Run({"--test", "./--list"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind(Console("DRIVER01.BIN is complete.\n"), 0), 0u);
}

TEST_F(TamrekTest, CompleteFileYieldsAllTwentyNineFiles) {
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  const Result r = Run({input});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(r.err, "");
  const auto files = WorkFiles();
  EXPECT_EQ(files.size(), 29u);
  for (const PlanRow& row : kPlan) {
    ASSERT_EQ(files.count(row.name), 1u) << row.name;
    EXPECT_EQ(files.at(row.name), ExpectedFile(row)) << row.name;
  }
}

TEST_F(TamrekTest, JapaneseAndOtherNonAsciiNamesWork) {
  const fs::path directory = root / "作業フォルダ";
  for (const std::string name :
       {"ドラゴン (Disk A).d88", "한국어 디스크 🐉.d88"}) {
    fs::remove_all(directory);
    fs::create_directories(directory);
    ASSERT_TRUE(WriteFile((root / name).string(), DemoFile(4)));
    RunOptions options;
    options.directory = directory;
    for (const std::string& path : {(root / name).string(), "../" + name}) {
      const Result r = Run({path}, options);
      EXPECT_EQ(r.status, 0) << path;
      EXPECT_EQ(r.out, CreatedLines()) << path;
      EXPECT_EQ(r.err, "") << path;
    }
    for (const PlanRow& row : kPlan) {
      EXPECT_EQ(ReadAll(directory / row.name), ExpectedFile(row)) << row.name;
    }
  }
}

TEST_F(TamrekTest, NonDiskInputYieldsZeroFilesAndFailureStatus) {
  for (const Bytes& data : {Bytes(), Bytes(687, 0x5A)}) {
    ClearWork();
    ASSERT_TRUE(WriteFile(input, data));
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, CreatedLines());
    EXPECT_EQ(r.err, Console(input + " is not a D88 image: " +
                             (data.empty() ? "it is empty"
                                           : "it is shorter than a disk "
                                             "header (688 bytes)") +
                             ".\n" + MissingDiskLines(0)));
    for (const PlanRow& row : kPlan) {
      EXPECT_EQ(ReadAll(work / row.name),
                Bytes(static_cast<std::size_t>(row.length), 0))
          << row.name;
    }
  }
}

TEST_F(TamrekTest, UnreadableDisksGiveZeroFilesAndFailureStatus) {
  // Text that is no D88 file, and disks whose track tables all point past
  // the end of the file: nothing can be read from either.
  std::string text;
  while (text.size() < 5000) text += "This is not a disk image.\n";
  Bytes pointsPastEnd;
  for (int disk = 0; disk < 4; ++disk) {
    D88DiskWriter writer("BEYOND");
    for (int t = 0; t < D88DiskWriter::kTrackCount; ++t) {
      writer.OverrideTrackOffset(t, 0x100000);
    }
    writer.OverrideDiskSize(D88DiskWriter::kHeaderSize);
    const Bytes header = writer.Build();
    pointsPastEnd.insert(pointsPastEnd.end(), header.begin(), header.end());
  }
  for (const Bytes& data : {Bytes(text.begin(), text.end()), pointsPastEnd}) {
    ClearWork();
    ASSERT_TRUE(WriteFile(input, data));
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, CreatedLines());
    for (const PlanRow& row : kPlan) {
      EXPECT_EQ(ReadAll(work / row.name),
                Bytes(static_cast<std::size_t>(row.length), 0))
          << row.name;
    }
  }
}

TEST_F(TamrekTest, ImagesBeyondTheFourthAreIgnored) {
  Bytes file = DemoFile(4);
  const Bytes junk = D88DiskWriter("JUNK").Build();
  for (int i = 0; i < 66; ++i)
    file.insert(file.end(), junk.begin(), junk.end());
  ASSERT_TRUE(WriteFile(input, file));
  const Result r = Run({input});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(r.err, "");
  ExpectEveryFileWhole();
}

// ---- Dumps as they come: one file per floppy, one disk on its own ----

// The inode and change time of each plan file in `dir`: what a run that
// touches a file changes.
std::map<std::string, std::pair<ino_t, std::int64_t>> Touched(
    const fs::path& dir) {
  std::map<std::string, std::pair<ino_t, std::int64_t>> touched;
  for (const PlanRow& row : kPlan) {
    struct stat st;
    if (lstat((dir / row.name).c_str(), &st) != 0) continue;
    touched[row.name] = {
        st.st_ino, static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 +
                       st.st_ctim.tv_nsec};
  }
  return touched;
}

// The created lines of the plan's files of `disk`.
std::string CreatedLinesOf(int disk) {
  std::string lines;
  for (const PlanRow& row : kPlan) {
    if (row.disk == disk) lines += std::string(row.name) + " is created.\n";
  }
  return lines;
}

TEST_F(TamrekTest, OneFilePerFloppyGivenTogetherIsTheSet) {
  std::vector<std::string> floppies;
  for (int d = 0; d < 4; ++d) {
    floppies.push_back((root / ("disk" + std::to_string(d) + ".d88")).string());
    Bytes disk = DemoDisk(d, d + 1);
    if (d == 1) disk.resize(disk.size() + 300, 0xEE);  // bytes after its end
    ASSERT_TRUE(WriteFile(floppies.back(), disk));
  }
  Result r = Run(floppies);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(r.err, "");
  ExpectEveryFileWhole("four files");
  // Again: the same files, untouched.
  const auto before = Touched(work);
  r = Run(floppies);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Touched(work), before);
  // In the wrong order: on Windows, whose drops come in no set order, the
  // names' order, and nothing changes; elsewhere the order given, and each
  // file a disk of the wrong kind replaces is kept as its backup.
  const std::vector<std::string> reversed(floppies.rbegin(), floppies.rend());
  r = Run(reversed);
  if (WindowsBuild()) {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Touched(work), before);
  } else {
    auto files = WorkFiles();
    const auto backups = TakeBackups(&files);
    EXPECT_EQ(backups.size(), 29u);
    for (const PlanRow& row : kPlan) {
      EXPECT_EQ(backups.at(row.name + std::string(".~1~")), ExpectedFile(row))
          << row.name;
    }
  }
  // A file of two disks, then two of one: the same disks.
  ClearWork();
  const std::string two = (root / "disk01.d88").string();  // sorts first
  ASSERT_TRUE(WriteFile(two, DemoFile(2)));
  r = Run({two, floppies[2], floppies[3]});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  ExpectEveryFileWhole("two and two");
  // A fifth file is not read, and says so.
  const std::string extra = (root / "extra.d88").string();  // sorts last
  ASSERT_TRUE(WriteFile(extra, DemoFile(2)));
  r = Run({floppies[0], floppies[1], floppies[2], floppies[3], extra});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, Console(extra + " is not read: the files before it hold "
                                   "all four disks.\n"));
}

TEST_F(TamrekTest, ADiskOnItsOwnChangesNothingOfTheOtherDisks) {
  std::vector<std::string> floppies;
  for (int d = 0; d < 4; ++d) {
    floppies.push_back((root / ("disk" + std::to_string(d) + ".d88")).string());
    ASSERT_TRUE(WriteFile(floppies.back(), DemoDisk(d, d + 1)));
  }
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  ASSERT_EQ(Run({input}).status, 0);
  for (int d = 0; d < 4; ++d) {
    const auto before = Touched(work);
    // Its only image, or its image N of a file that holds them all.
    for (const std::string& file : {floppies[d], input}) {
      const Result r = Run({"--disk", std::to_string(d), file});
      EXPECT_EQ(r.status, 0) << d;
      EXPECT_EQ(r.out, Console(CreatedLinesOf(d))) << d;
      EXPECT_EQ(r.err, "") << d;
      EXPECT_EQ(Touched(work), before) << d;
    }
  }
  ExpectEveryFileWhole("each disk again");
  // A floppy given as the wrong disk replaces that disk's files, and keeps
  // each as a backup; the other disks' files are not even read.
  const auto before = Touched(work);
  const Result wrong = Run({"--disk", "2", floppies[3]});
  EXPECT_EQ(wrong.status, 0);
  for (const PlanRow& row : kPlan) {
    if (row.disk != 2) continue;
    EXPECT_NE(wrong.err.find(Console("; that file is kept as " +
                                     std::string(row.name) + ".~1~.\n")),
              std::string::npos)
        << wrong.err;
  }
  auto files = WorkFiles();
  const auto backups = TakeBackups(&files);
  EXPECT_EQ(backups.size(), 4u);
  for (const PlanRow& row : kPlan) {
    if (row.disk == 2) {
      EXPECT_EQ(backups.at(row.name + std::string(".~1~")), ExpectedFile(row));
    } else {
      EXPECT_EQ(Touched(work).at(row.name), before.at(row.name)) << row.name;
    }
  }
  // Into an empty folder: that disk's files, and the folder said whole.
  ClearWork();
  const Result alone = Run({"--disk", "1", floppies[1]});
  EXPECT_EQ(alone.status, 0);
  EXPECT_EQ(alone.out, Console(CreatedLinesOf(1)));
  EXPECT_EQ(alone.err, Console("12 of 29 files are complete.\n"));
  EXPECT_EQ(WorkFiles().size(), 12u);
  // A disk the file does not hold: only that disk's lines.
  ASSERT_TRUE(WriteFile(input, DemoFile(2)));
  const Result none = Run({"--disk", "3", input});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err.substr(0, none.err.find('\n') + 1),
            Console("Disk 3 is not in the file.\n"));
}

// ---- Damaged images ----

TEST_F(TamrekTest, MissingDisksGiveZeroFilledFilesNotLeftoverData) {
  for (const int disks : {1, 3}) {
    ClearWork();
    ASSERT_TRUE(WriteFile(input, DemoFile(disks)));
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, CreatedLines());
    EXPECT_EQ(r.err,
              Console(std::string("The files given hold ") +
                      (disks == 1 ? "1 disk image, read as disk 0"
                                  : "3 disk images, read as disks 0 to 2") +
                      "; to give one file per floppy, name all four in disk "
                      "order, or one with --disk N.\n" +
                      MissingDiskLines(disks)));
    for (const PlanRow& row : kPlan) {
      const Bytes expected =
          row.disk < disks ? ExpectedFile(row)
                           : Bytes(static_cast<std::size_t>(row.length), 0);
      EXPECT_EQ(ReadAll(work / row.name), expected) << row.name;
    }
  }
}

TEST_F(TamrekTest, EveryReadableByteOfADamagedFileIsKept) {
  // Each dump lacks some of a file's sectors, or part of one; the run goes
  // on past each, keeps what the image has, and names exactly what it lacks.
  const auto edited = [](int disk, int c, int h, int r,
                         const std::function<void(SectorRecord*)>& change) {
    return [=] {
      return DemoFile(4, [=](int d, SectorRecord* s) {
        if (d == disk && s->c == c && s->h == h && s->r == r) change(s);
      });
    };
  };
  const auto renumber = [](SectorRecord* s) { s->r = 99; };
  struct Case {
    const char* what;
    std::function<Bytes()> build;
    std::map<std::string, Shortfall> missing;
    int status = 0;  // the status the one damaged sector records
  };
  const Case cases[] = {
      {"a missing sector",
       edited(0, 7, 0, 6, renumber),
       {{"MDAT01", {{2, 0}}}}},
      {"a missing first sector",
       edited(0, 7, 1, 5, renumber),
       {{"MDAT03", {{0, 0}}}}},
      {"a missing last piece",
       edited(0, 9, 0, 1, renumber),
       {{"MDAT07", {{3, 0}}}}},
      {"an absent track in the middle of runs",
       [&] {
         D88DiskWriter disk0 = MakeUniformDisk(0, 80, 10, 2, SectorText);
         disk0.OverrideTrackOffset(15, 0);
         return Joined(
             {disk0.Build(), DemoDisk(1, 2), DemoDisk(2, 3), DemoDisk(3, 4)});
       },
       {{"MDAT02", {{1, 0}, {2, 0}, {3, 0}, {4, 0}}},
        {"MDAT03", {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {"MDAT04", {{0, 0}, {1, 0}}}}},
      {"a sector cut by the end of the file",
       [&] {
         // Disk 3 ends with track 81, its sectors stored in order: the
         // file ends 100 bytes into the data of track 80's sector 7.
         Bytes file =
             Joined({DemoDisk(0), DemoDisk(1), DemoDisk(2),
                     MakeUniformDisk(3, 41, 10, 2, SectorText).Build()});
         const Bytes data = SectorText(3, 40, 0, 7);
         const auto at =
             std::search(file.begin(), file.end(), data.begin(), data.end());
         file.erase(at + 100, file.end());
         return file;
       },
       {{"PDAT05", {{2, 100}, {3, 0}, {4, 0}}}}},
      {"a short sector recorded with a read error",
       edited(1, 37, 1, 8,
              [](SectorRecord* s) {
                s->data.resize(256);
                s->status = 0xB0;
              }),
       {{"LDAT04", {{1, 256}}}},
       0xB0},
      {"a short sector",
       edited(1, 37, 1, 8, [](SectorRecord* s) { s->data.resize(256); }),
       {{"LDAT04", {{1, 256}}}}},
  };
  for (const Case& c : cases) {
    ClearWork();
    ASSERT_TRUE(WriteFile(input, c.build()));
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_EQ(r.out, CreatedLines()) << c.what;
    std::string err;
    int sectors = 0;
    for (const PlanRow& row : kPlan) {
      const auto it = c.missing.find(row.name);
      const bool whole = it == c.missing.end();
      if (!whole && c.status != 0) {
        err += std::string(row.name) +
               " holds a sector recorded with a read error: " +
               SectorName(row, it->second[0].first) + ", status 0xB0.\n";
      }
      if (!whole) {
        err += ShortfallLines(row, it->second);
        sectors += static_cast<int>(it->second.size());
      }
      EXPECT_EQ(ReadAll(work / row.name),
                whole ? ExpectedFile(row) : SalvagedFile(row, it->second))
          << c.what << " " << row.name;
    }
    err += SummaryLine(29 - static_cast<int>(c.missing.size()), sectors);
    EXPECT_EQ(r.err, Console(err)) << c.what;
  }

  // On one pipe the lines of LDAT04 come where its created line was; run
  // again over the last case's files, it keeps the LDAT04 already there.
  RunOptions onePipe;
  onePipe.streams = Streams::kOnePipe;
  const std::string lines = CreatedLines();
  const std::string created = Console("LDAT04 is created.\n");
  const std::size_t at = lines.find(created);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(
      Run({input}, onePipe).out,
      lines.substr(0, at) +
          Console(ShortfallLines(kPlan[11], {{1, 256}}) +
                  "LDAT04 already exists and is kept as it was.\n") +
          lines.substr(at + created.size()) +
          Console(std::string(
              "28 of 29 files are complete; tamrek.map lists the 1 sector "
              "still to be read.\n")));
}

TEST_F(TamrekTest, SectorsRecordedWithAReadErrorAreReportedInReadOrder) {
  // MDAT02 reads track 14 sector 10, then track 15 sectors 1..4: an ID CRC
  // error on the first, a data CRC error, with wrong bytes, on the third,
  // and a status no drive reports as good on the fourth.  LDAT04 meets a
  // deleted-data mark, no error; track 0 is read by no file.
  const auto edit = [](int disk, SectorRecord* s) {
    const int track = 2 * s->c + s->h;
    if (disk == 0 && track == 14 && s->r == 10) s->status = 0xA0;
    if (disk == 0 && track == 15 && s->r == 2) {
      s->status = 0xB0;
      s->data.assign(512, 0xFF);
    }
    if (disk == 0 && track == 15 && s->r == 3) s->status = 0x80;
    if (disk == 0 && track == 0 && s->r == 1) s->status = 0xB0;
    if (disk == 1 && track == 75 && s->r == 8) s->status = 0x10;
  };
  ASSERT_TRUE(WriteFile(input, DemoFile(4, edit)));
  const std::string errors =
      "MDAT02 holds a sector recorded with a read error: "
      "disk 0, cylinder 7, head 0, sector 10, status 0xA0.\n"
      "MDAT02 holds a sector recorded with a read error: "
      "disk 0, cylinder 7, head 1, sector 2, status 0xB0.\n"
      "MDAT02 holds a sector recorded with a read error: "
      "disk 0, cylinder 7, head 1, sector 3, status 0x80.\n";
  // In an empty folder the bytes are written, as the image holds them, and
  // the map says which are not to be trusted.
  Result r = Run({input});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(
      r.err,
      Console(errors +
              std::string(
                  "28 of 29 files are complete; tamrek.map lists the 3 sectors "
                  "still to be read.\n")));
  Bytes damaged = ExpectedFile(kPlan[2]);
  std::fill(damaged.begin() + 1024, damaged.begin() + 1536, 0xFF);
  for (const PlanRow& row : kPlan) {
    EXPECT_EQ(ReadAll(work / row.name),
              row.name == std::string("MDAT02") ? damaged : ExpectedFile(row))
        << row.name;
  }
  EXPECT_EQ(MapSectors(),
            (std::set<std::string>{"MDAT02 " + SectorName(kPlan[2], 0),
                                   "MDAT02 " + SectorName(kPlan[2], 2),
                                   "MDAT02 " + SectorName(kPlan[2], 3)}));
  // Over a good extraction, not one byte of it changes.
  ClearWork();
  ASSERT_TRUE(WriteFile((root / "good.d88").string(), DemoFile(4)));
  ASSERT_EQ(Run({(root / "good.d88").string()}).status, 0);
  r = Run({input});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, CreatedLines({"MDAT02"}));
  EXPECT_EQ(r.err,
            Console(errors + "MDAT02 already exists and is kept as it was.\n" +
                    std::string("All 29 files are complete.\n")));
  ExpectEveryFileWhole();
  EXPECT_FALSE(fs::exists(work / "tamrek.map"));
}

TEST_F(TamrekTest, SuccessiveDamagedDumpsAddUp) {
  // MDAT01 reads cylinder 7 head 0, sectors 4 to 9 (the last piece is 258
  // bytes).  A wrong input leaves zero-filled placeholders that the map
  // lists; dumps that each lack another sector fill them in turn; a dump
  // that reads a sector otherwise is refused; one that adds nothing writes
  // nothing.
  const auto dump = [](int missing, int otherwise) {
    return DemoFile(4, [=](int disk, SectorRecord* s) {
      if (disk != 0 || s->c != 7 || s->h != 0) return;
      if (s->r == missing) s->r = 99;
      if (s->r == otherwise) s->data[0] ^= 1;
    });
  };
  const PlanRow& mdat01 = kPlan[1];
  const std::string completed = " is completed from the file it replaces: ";
  ASSERT_TRUE(WriteFile(input, Bytes(1000, 'x')));
  ASSERT_EQ(Run({input}).status, 1);
  ASSERT_EQ(ReadAll(work / "MDAT01"), Bytes(2818, 0));
  ASSERT_EQ(MapSectors().size(), 145u);

  struct Step {
    const char* what;
    int missing, otherwise;  // sectors lacking, and read otherwise
    std::string last;        // the last lines of the run
    Bytes after;             // MDAT01 after the run
  };
  const Step steps[] = {
      {"a placeholder filled", 6, 0,
       "MDAT01" + completed + "2306 of 2818 bytes are known.\n" +
           std::string(
               "28 of 29 files are complete; tamrek.map lists the 1 sector "
               "still to be read.\n"),
       SalvagedFile(mdat01, {{2, 0}})},
      {"two dumps make one", 8, 0,
       "MDAT01" + completed + "2818 of 2818 bytes are known.\n" +
           std::string("All 29 files are complete.\n"),
       ExpectedFile(mdat01)},
      {"disagreeing dumps", 7, 5,
       "MDAT01 already exists and differs from this image in sectors both "
       "read cleanly: disk 0, cylinder 7, head 0, sector 5; it is kept as it "
       "was.\n" +
           std::string("All 29 files are complete.\n"),
       ExpectedFile(mdat01)},
      {"nothing new", 9, 0,
       "MDAT01 already exists and is kept as it was.\n" +
           std::string("All 29 files are complete.\n"),
       ExpectedFile(mdat01)},
  };
  for (const Step& step : steps) {
    ASSERT_TRUE(WriteFile(input, dump(step.missing, step.otherwise)));
    struct stat before;
    ASSERT_EQ(lstat((work / "MDAT01").c_str(), &before), 0);
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1) << step.what;
    EXPECT_EQ(r.err, Console(ShortfallLines(mdat01, {{step.missing - 4, 0}}) +
                             step.last))
        << step.what;
    const bool replaced = step.last.find(completed) != std::string::npos;
    EXPECT_EQ(r.out, replaced ? CreatedLines() : CreatedLines({"MDAT01"}))
        << step.what;
    EXPECT_EQ(ReadAll(work / "MDAT01"), step.after) << step.what;
    struct stat after;
    ASSERT_EQ(lstat((work / "MDAT01").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino == before.st_ino &&
                  after.st_mtim.tv_nsec == before.st_mtim.tv_nsec &&
                  after.st_mtim.tv_sec == before.st_mtim.tv_sec,
              !replaced)
        << step.what;
    EXPECT_EQ(WorkFiles().size(), 29u + fs::exists(work / "tamrek.map"))
        << step.what;
  }
  EXPECT_FALSE(fs::exists(work / "tamrek.map"));
}

// ---- The rescue map: damaged dumps that add up ----

// A sector of a plan file that a dump did not read cleanly.
struct Damage {
  const char* name;
  int piece;
  enum Kind { kError, kMissing } kind;
};

// A dump whose sectors are damaged as `damages` say, the sector of a
// missing one renumbered, a recorded error's first byte wrong; with `cut`,
// the file ends 100 bytes into the data of disk 3's cylinder 40, head 0,
// sector 7, and its later sectors are missing.
Bytes DamagedDump(const std::vector<Damage>& damages, bool cut = false) {
  Bytes file;
  for (int disk = 0; disk < 4; ++disk) {
    const Bytes image =
        MakeUniformDisk(
            disk, disk == 3 && cut ? 41 : 80, 10, 2, SectorText, 1,
            [&](int d, SectorRecord* s) {
              for (const Damage& damage : damages) {
                const PlanRow& row = *std::find_if(
                    std::begin(kPlan), std::end(kPlan), [&](const PlanRow& p) {
                      return p.name == std::string(damage.name);
                    });
                const std::vector<int> at = PieceSector(row, damage.piece);
                if (d != row.disk || s->c != at[0] || s->h != at[1] ||
                    s->r != at[2]) {
                  continue;
                }
                if (damage.kind == Damage::kMissing) {
                  s->r = 99;
                } else {
                  s->status = 0xB0;
                  s->data[0] ^= 0x40;
                }
              }
            })
            .Build();
    file.insert(file.end(), image.begin(), image.end());
  }
  if (cut) {
    const Bytes data = SectorText(3, 40, 0, 7);
    const auto at =
        std::search(file.begin(), file.end(), data.begin(), data.end());
    file.erase(at + 100, file.end());
  }
  return file;
}

TEST_F(TamrekTest, DamagedDumpsAddUpInAnyOrder) {
  // Three dumps, each of which reads cleanly some sectors that another
  // does not: a recorded read error with a wrong byte, missing sectors, a
  // file cut short.  Whatever their order, after each run every sector that
  // some dump read cleanly is in its file, the map lists exactly the others,
  // and no sector passes for clean that is not; a good dump at the end finds
  // nothing to do.
  struct Dump {
    std::vector<Damage> damages;
    bool cut;
  };
  const Dump dumps[] = {
      {{{"MDAT01", 2, Damage::kError}, {"LDAT04", 1, Damage::kMissing}}, false},
      {{{"MDAT01", 4, Damage::kMissing}, {"NDAT02", 2, Damage::kError}}, false},
      {{{"MDAT01", 2, Damage::kMissing},
        {"PDAT05", 2, Damage::kMissing},
        {"PDAT05", 3, Damage::kMissing},
        {"PDAT05", 4, Damage::kMissing}},
       true},
  };
  std::vector<Bytes> files;
  for (const Dump& dump : dumps)
    files.push_back(DamagedDump(dump.damages, dump.cut));
  std::vector<int> order = {0, 1, 2};
  do {
    ClearWork();
    std::set<std::string> unread;  // "NAME disk D, ..." no dump read cleanly
    bool first = true;
    std::string what;
    for (const int d : order) {
      what += "ABC"[d];
      std::set<std::string> damaged;
      for (const Damage& damage : dumps[d].damages) {
        const PlanRow& row = *std::find_if(
            std::begin(kPlan), std::end(kPlan), [&](const PlanRow& p) {
              return p.name == std::string(damage.name);
            });
        damaged.insert(row.name + (" " + SectorName(row, damage.piece)));
      }
      if (first) {
        unread = damaged;
      } else {
        std::set<std::string> still;
        for (const std::string& sector : unread) {
          if (damaged.count(sector) != 0) still.insert(sector);
        }
        unread = still;
      }
      first = false;
      ASSERT_TRUE(WriteFile(input, files[d]));
      const Result r = Run({input});
      EXPECT_EQ(r.status, 1) << what;
      EXPECT_EQ(MapSectors(), unread) << what;
      EXPECT_EQ(fs::exists(work / "tamrek.map"), !unread.empty()) << what;
      ExpectFolderTrue(what);
      for (const PlanRow& row : kPlan) {
        const Bytes bytes = ReadAll(work / row.name);
        const Bytes expected = ExpectedFile(row);
        ASSERT_EQ(bytes.size(), expected.size()) << what << " " << row.name;
        for (int i = 0; i < Pieces(row); ++i) {
          if (unread.count(row.name + (" " + SectorName(row, i))) != 0) {
            continue;
          }
          EXPECT_TRUE(
              std::equal(bytes.begin() + std::ptrdiff_t{512} * i,
                         bytes.begin() + std::min(512 * (i + 1), row.length),
                         expected.begin() + std::ptrdiff_t{512} * i))
              << what << ": " << row.name << " " << SectorName(row, i);
        }
      }
    }
    EXPECT_TRUE(unread.empty()) << what;
    ASSERT_TRUE(WriteFile(input, DemoFile(4)));
    const Result good = Run({input});
    EXPECT_EQ(good.status, 0) << what;
    EXPECT_EQ(good.out, CreatedLines()) << what;
    EXPECT_EQ(good.err, "") << what;
    ExpectEveryFileWhole(what);
    EXPECT_EQ(WorkFiles().size(), 29u) << what;
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(TamrekTest, AKnownSectorIsNeverReplacedByAWorseRead) {
  // A clean dump whose MDAT01 holds a sector of zero bytes, as real disks
  // do, then one with a read error there: the zeros stay.  A dump that read
  // differently where both read cleanly, while a map holds the folder's
  // knowledge, is refused, naming the sectors.
  const Bytes zeroSector = DemoFile(4, [](int disk, SectorRecord* s) {
    if (disk == 0 && s->c == 7 && s->h == 0 && s->r == 6) {
      s->data.assign(512, 0);
    }
  });
  ASSERT_TRUE(WriteFile(input, zeroSector));
  ASSERT_EQ(Run({input}).status, 0);
  const Bytes zeros = ReadAll(work / "MDAT01");
  ASSERT_TRUE(WriteFile(input, DemoFile(4, [](int disk, SectorRecord* s) {
                          if (disk == 0 && s->c == 7 && s->h == 0 &&
                              s->r == 6) {
                            s->data.assign(512, 0xFF);
                            s->status = 0xB0;
                          }
                        })));
  Result r = Run({input});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            Console("MDAT01 holds a sector recorded with a read error: " +
                    SectorName(kPlan[1], 2) +
                    ", status 0xB0.\nMDAT01 already exists and is kept "
                    "as it was.\n" +
                    std::string("All 29 files are complete.\n")));
  EXPECT_EQ(ReadAll(work / "MDAT01"), zeros);
  // With a map in the folder (a new LDAT04 lacks a sector), MDAT01 is
  // known clean.
  fs::remove(work / "LDAT04");
  ASSERT_TRUE(
      WriteFile(input, DemoFile(4, [](int disk, SectorRecord* s) {
                  if (disk == 0 && s->c == 7 && s->h == 0 && s->r == 6) {
                    s->data.assign(512, 0);
                  }
                  if (disk == 1 && s->c == 37 && s->h == 1 && s->r == 8) {
                    s->r = 99;
                  }
                })));
  ASSERT_EQ(Run({input}).status, 1);
  ASSERT_TRUE(fs::exists(work / "tamrek.map"));
  ASSERT_TRUE(WriteFile(input, DamagedDump({{"MDAT01", 0, Damage::kMissing}})));
  r = Run({input});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Console(
                "MDAT01 already exists and differs from this image in sectors "
                "both read cleanly: " +
                SectorName(kPlan[1], 2) + "; it is kept as it was.\n")),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadAll(work / "MDAT01"), zeros);
}

TEST_F(TamrekTest, AMapThatCannotBeReadIsLeftAsItIsAndCostsNothing) {
  const Bytes dumpA = DamagedDump(
      {{"MDAT01", 2, Damage::kError}, {"LDAT04", 1, Damage::kMissing}});
  const Bytes dumpB = DamagedDump(
      {{"MDAT01", 4, Damage::kMissing}, {"NDAT02", 2, Damage::kError}});
  const fs::path map = work / "tamrek.map";
  const auto edit = [&](const std::string& from, const std::string& to) {
    std::string text = AsText(ReadAll(map));
    text.replace(text.find(from), from.size(), to);
    ASSERT_TRUE(WriteFile(map.string(), Bytes(text.begin(), text.end())));
  };
  const struct {
    const char* what;
    std::function<void()> spoil;
    std::string reason;
  } cases[] = {
      {"edited by hand", [&] { edit(" 0 7 0 6 ", " 0 7 0 six "); },
       "line 15 does not parse"},
      {"cut short",
       [&] {
         Bytes text = ReadAll(map);
         text.resize(text.size() - 5);
         ASSERT_TRUE(WriteFile(map.string(), text));
       },
       "it ends in the middle of a line"},
      {"naming a file of no plan",
       [&] { edit("\nMDAT01 ", "\nMDAT09 00000000 0 7 0 6 missing\nMDAT01 "); },
       "line 15 names a file that tamrek does not write"},
      {"a link",
       [&] {
         fs::rename(map, root / "map");
         fs::create_symlink(root / "map", map);
       },
       "it is a link"},
      {"a directory",
       [&] {
         fs::remove(map);
         fs::create_directories(map / "keep");
       },
       "a directory holds the name"},
  };
  for (const auto& c : cases) {
    // Wine reads through a link, where Windows sees the link.
    if (WindowsBuild() && c.what == std::string("a link")) continue;
    ClearWork();
    ASSERT_TRUE(WriteFile(input, dumpA));
    ASSERT_EQ(Run({input}).status, 1) << c.what;
    const std::map<std::string, Bytes> afterA = WorkFiles();
    c.spoil();
    const bool link = fs::is_symlink(map);
    const Bytes spoiled = fs::is_directory(map) ? Bytes() : ReadAll(map);
    ASSERT_TRUE(WriteFile(input, dumpB));
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
              Console("tamrek.map cannot be read and is left as it is: " +
                      c.reason + ".\n"))
        << c.what;
    EXPECT_EQ(fs::is_symlink(map), link) << c.what;
    EXPECT_EQ(fs::is_directory(map) ? Bytes() : ReadAll(map), spoiled)
        << c.what;
    // What A read cleanly is all still there; MDAT01's sector that A read
    // with an error, which B reads cleanly, is not taken for one read
    // cleanly: without the map the dumps disagree.
    EXPECT_NE(r.err.find("MDAT01 already exists and differs"),
              std::string::npos)
        << c.what;
    for (const PlanRow& row : kPlan) {
      if (row.name == std::string("LDAT04")) {
        EXPECT_EQ(ReadAll(work / row.name), ExpectedFile(row)) << c.what;
      } else {
        EXPECT_EQ(ReadAll(work / row.name), afterA.at(row.name))
            << c.what << " " << row.name;
      }
    }
  }
}

TEST_F(TamrekTest, AFileChangedSinceTheMapWasWrittenIsKeptAsNotComplete) {
  // A file of a damaged dump edited by hand, or restored from a copy made
  // before a later dump changed it: the map knows nothing of it.  It is
  // kept, never merged with, counted as not complete, and the map stays.
  const Bytes dumpA = DamagedDump(
      {{"MDAT01", 2, Damage::kError}, {"MDAT01", 1, Damage::kMissing}});
  for (const bool restored : {false, true}) {
    ClearWork();
    ASSERT_TRUE(WriteFile(input, dumpA));
    ASSERT_EQ(Run({input}).status, 1);
    Bytes copy = ReadAll(work / "MDAT01");
    if (restored) {
      ASSERT_TRUE(
          WriteFile(input, DamagedDump({{"MDAT01", 2, Damage::kMissing},
                                        {"MDAT01", 4, Damage::kMissing}})));
      ASSERT_EQ(Run({input}).status, 1);
    } else {
      copy[5] ^= 1;  // in a sector read cleanly
    }
    ASSERT_TRUE(WriteFile((work / "MDAT01").string(), copy));
    ASSERT_TRUE(WriteFile(input, dumpA));
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              Console("MDAT01 has a sector that could not be read in full: "
                      "disk 0, cylinder 7, head 0, sector 5, 0 of 512 bytes.\n"
                      "MDAT01 holds a sector recorded with a read error: disk "
                      "0, cylinder 7, head 0, sector 6, status 0xB0.\n"
                      "MDAT01 is incomplete: 2306 of 2818 bytes could be "
                      "read.\n"
                      "MDAT01 has changed since tamrek.map was written; "
                      "nothing is known of how it was read, so only a clean "
                      "read replaces it.\n"
                      "MDAT01 already exists and is kept as it was.\n"
                      "28 of 29 files are complete.\n"))
        << restored;
    EXPECT_EQ(ReadAll(work / "MDAT01"), copy) << restored;
    EXPECT_TRUE(fs::exists(work / "tamrek.map")) << restored;
    ExpectFolderTrue(restored ? "restored" : "edited");
  }
}

// kill -9 at each call of `syscalls` (those that change the folder: every
// write to a file, flush, link, rename and removal) of a first damaged dump
// into an empty folder, or (`over`) of a second over it.  After each, no
// sector passes for read cleanly that was not, and the dump run to its end
// completes what it can.  Returns the number of kills.
class TamrekKillTest : public TamrekTest {
 protected:
  void SetUp() override {
    TamrekTest::SetUp();
    if (WindowsBuild()) GTEST_SKIP() << kWineServerCalls;
    if (!KillAtCallRuns()) GTEST_SKIP() << "no ptrace and seccomp here";
  }
  // A kill leaves what the run's calls made of the folder, in memory or on
  // a disk alike; on a disk, each of the sweep's thousands of flushes
  // waits for it.  So the sweep runs in memory (tmpfs) where it can.
  fs::path Scratch() const override {
    struct statfs s;
    return statfs("/dev/shm", &s) == 0 && s.f_type == TMPFS_MAGIC &&
                   access("/dev/shm", W_OK) == 0
               ? fs::path("/dev/shm")
               : TamrekTest::Scratch();
  }
  int KillAtEveryCall(bool over, const std::vector<std::string>& syscalls);
};

int TamrekKillTest::KillAtEveryCall(bool over,
                                    const std::vector<std::string>& syscalls) {
  const std::string dumpA = (root / "a.d88").string();
  const std::string dumpB = (root / "b.d88").string();
  EXPECT_TRUE(WriteFile(dumpA, DamagedDump({{"MDAT01", 2, Damage::kError},
                                            {"LDAT04", 1, Damage::kMissing}})));
  EXPECT_TRUE(WriteFile(dumpB, DamagedDump({{"MDAT01", 4, Damage::kMissing},
                                            {"NDAT02", 2, Damage::kError}})));
  // The folder dump A leaves, made once and copied in before each kill of
  // a run of B.
  const fs::path afterA = root / "after a";
  if (over && !fs::exists(afterA)) {
    ClearWork();
    EXPECT_EQ(Run({dumpA}).status, 1);
    fs::copy(work, afterA, fs::copy_options::recursive);
  }
  const std::string& dump = over ? dumpB : dumpA;
  int kills = 0;
  // The folders kills left.  A file written, flushed and not yet linked is
  // unnamed and goes with the run, so a kill at its write, its flush or its
  // link leaves the same folder: that folder is checked, and run again
  // from, once.
  std::set<std::map<std::string, Bytes>> left;
  for (const std::string& syscall : syscalls) {
    for (int when = 1;; ++when) {
      const std::string what = std::string(over ? "B over A" : "A") +
                               ", killed at " + syscall + " " +
                               std::to_string(when);
      ClearWork();
      if (over) fs::copy(afterA, work, fs::copy_options::recursive);
      RunOptions options;
      options.environment = {"ASAN_OPTIONS=detect_leaks=0"};  // LSan: ptrace
      options.killCall = syscall;
      options.killWhen = when;
      options.endsBySignal = true;
      const Result r = Run({dump}, options);
      if (r.signal != SIGKILL) break;  // no such call: the run ended
      ++kills;
      const auto files = WorkFiles();
      if (!left.insert(files).second) continue;
      ExpectFolderTrue(what);
      // A file is written unnamed and named once complete; only between
      // the two calls that replace a file, its link to a temporary name
      // and the rename over its own, is it left under that name.  The map
      // records it: the next run puts it in place (a map left so is
      // named).
      std::string leftovers;
      for (const auto& [name, content] : files) {
        const std::size_t tmp = name.find(".tmp");
        if (tmp == std::string::npos) continue;
        EXPECT_EQ(syscall, "rename") << what << ": " << name;
        leftovers +=
            name.compare(0, tmp, "tamrek.map") == 0
                ? name +
                      " is left from an earlier run; delete it if it is "
                      "not yours.\n"
                : name.substr(0, tmp) + " is put in place from " + name +
                      ", which an interrupted run left.\n";
      }
      const Result again = Run({dump});
      EXPECT_EQ(again.status, 1) << what;
      EXPECT_NE(again.err.find(leftovers), std::string::npos)
          << what << ": " << again.err;
      ExpectFolderTrue(what + ", then run again");
    }
  }
  return kills;
}

// A first run writes, flushes and links each of its 30 files (the 29 and
// the map); B replaces three (the map, MDAT01 and LDAT04), each written,
// flushed, linked under a temporary name and renamed over its own, and
// then removes the map, all of whose files are complete.  A sweep that
// killed at fewer calls missed some.
TEST_F(TamrekKillTest, AFirstRunKilledAtAnyCallLeavesTheMapTrue) {
  EXPECT_GE(KillAtEveryCall(
                false, {"write", "fdatasync", "linkat", "rename", "unlink"}),
            90);
}

TEST_F(TamrekKillTest, ARunOverAnotherKilledAtAnyCallLeavesTheMapTrue) {
  EXPECT_GE(KillAtEveryCall(
                true, {"write", "fdatasync", "linkat", "rename", "unlink"}),
            13);
}

TEST_F(TamrekTest, ARunKilledWhereFilesCannotBeUnnamedLeavesItsTemporary) {
  if (WindowsBuild()) GTEST_SKIP() << kWineServerCalls;
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  // Where the file system has no unnamed files, a file is written under its
  // temporary name: killed while it is written, that name is left, and the
  // file it was to replace is whole.
  const auto setup = [&] {
    ClearWork();
    PlantEarlierExtraction(0);
    ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  };
  const std::string refused =
      "openat:error=EOPNOTSUPP:when=" +
      std::to_string(CallNumber(setup, {input}, "openat", "O_TMPFILE"));
  RunOptions options = Strace(
      {}, refused + " -e inject=write:signal=KILL:when=" +
              std::to_string(CallNumber(setup, {input}, "write",
                                        "\"DRIVER01.BIN.tmp0\"", refused)));
  setup();
  options.endsBySignal = true;
  EXPECT_EQ(Run({input}, options).signal, SIGKILL);
  EXPECT_EQ(ReadAll(work / "DRIVER01.BIN"), Bytes(3071, 0));
  EXPECT_TRUE(fs::exists(work / "DRIVER01.BIN.tmp0"));
  const Result again = Run({input});
  EXPECT_EQ(again.err,
            "DRIVER01.BIN.tmp0 is left from an earlier run; delete "
            "it if it is not yours.\n");
  ExpectEveryFileWhole("without unnamed files");
}

TEST_F(TamrekTest, TwoRunsAtOnceTakeTurnsAndLoseNothing) {
  // Over placeholders that the map lists, run Y lacks MDAT01's sector 5
  // and run X its sector 7.  Y is held once it places files: its first link
  // on Linux, stopped there by strace; before MDAT01 under Wine, in the
  // test-only build.  X, started then, waits for Y, then merges with what Y
  // placed: MDAT01 is complete.  A run killed while it holds the folder
  // holds nothing.
  const char* hooked = std::getenv("TAMREK_HOOKED_TOOL");
  if (WindowsBuild() && hooked == nullptr) {
    GTEST_SKIP() << "no TAMREK_HOOKED_TOOL to run";
  }
  if (!WindowsBuild() && !StraceRuns()) {
    GTEST_SKIP() << "strace cannot run here";
  }
  const std::string text = (root / "text").string();
  ASSERT_TRUE(WriteFile(text, Bytes(100, 'x')));
  const std::string dumpY = (root / "y.d88").string();
  const std::string dumpX = (root / "x.d88").string();
  ASSERT_TRUE(WriteFile(dumpY, DamagedDump({{"MDAT01", 1, Damage::kMissing}})));
  ASSERT_TRUE(WriteFile(dumpX, DamagedDump({{"MDAT01", 3, Damage::kMissing}})));
  const std::string busy = Console(
      "Another tamrek run is using this folder; this one waits for it "
      "to end.\n");
  const auto setup = [&] {
    ClearWork();
    ASSERT_EQ(Run({text}).status, 1);
  };
  for (const bool killed : {false, true}) {
    RunOptions y;
    if (WindowsBuild()) {
      y.tool = std::string(hooked).substr(std::string(hooked).rfind(' ') + 1);
      y.environment = {"TAMREK_TEST_PAUSE_BEFORE_PLACING=MDAT01"};
    } else {
      y = Strace({}, std::string("linkat:signal=") +
                         (killed ? "KILL" : "STOP") + ":when=" +
                         std::to_string(
                             CallNumber(setup, {dumpY}, "linkat", "linkat(")));
    }
    setup();
    y.tag = "Y";
    y.endsBySignal = true;
    Watch created(work, IN_CREATE);
    Result x;
    y.whileRunning = [&](pid_t pid, int stdinOfY) {
      if (WindowsBuild()) {
        ASSERT_TRUE(AwaitName(work / "MDAT01.tmp0", 60));
        if (killed) {
          kill(pid, SIGKILL);
          ASSERT_TRUE(AwaitEnd(pid, 30));
          ASSERT_EQ(std::system("wineserver -w"), 0);
        }
      } else if (killed) {
        ASSERT_TRUE(AwaitEnd(pid, 60));
      } else {
        ASSERT_TRUE(created.Await("", 60));  // linked, and stopping there
      }
      RunOptions options;
      options.tag = "X";
      std::thread second([&] { x = Run({dumpX}, options); });
      if (!killed) {
        EXPECT_TRUE(AwaitText(root / "stderrX", busy, 60));
        if (WindowsBuild()) {
          EXPECT_EQ(write(stdinOfY, "\n", 1), 1);
        } else {
          kill(TracedChild(pid), SIGCONT);
        }
      }
      second.join();
    };
    const Result ry = Run({dumpY}, y);
    EXPECT_EQ(x.err.find(busy) != std::string::npos, !killed) << x.err;
    EXPECT_EQ(x.status, 1) << killed;
    if (!killed) {
      EXPECT_EQ(ry.status, 1);
      EXPECT_EQ(ReadAll(work / "MDAT01"), ExpectedFile(kPlan[1]));
      EXPECT_FALSE(fs::exists(work / "tamrek.map"));
    } else {  // Y placed nothing; X placed what it read
      EXPECT_EQ(ReadAll(work / "MDAT01"), SalvagedFile(kPlan[1], {{3, 0}}));
      EXPECT_EQ(MapSectors(),
                std::set<std::string>{"MDAT01 " + SectorName(kPlan[1], 3)});
    }
  }
}

TEST_F(TamrekTest, AFileEditedWhileItIsMergedIsKept) {
  // Someone edits MDAT01 in place after the run has read it to merge it,
  // and restores its time of last write (cp -p, touch -r): the run keeps
  // the edit.  The run is held once it has read MDAT01: at the close that
  // ends the read on Linux, stopped there by strace; before MDAT01 is
  // placed under Wine, in the test-only build.
  const std::string text = (root / "text").string();
  ASSERT_TRUE(WriteFile(text, Bytes(100, 'x')));
  ASSERT_TRUE(WriteFile(input, DamagedDump({{"MDAT01", 1, Damage::kMissing}})));
  const auto setup = [&] {
    ClearWork();
    ASSERT_EQ(Run({text}).status, 1);
  };
  const fs::path mdat01 = work / "MDAT01";
  const Bytes edit(2818, 0x55);
  const auto editInPlace = [&] {
    struct stat before;
    ASSERT_EQ(stat(mdat01.c_str(), &before), 0);
    const int fd = open(mdat01.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, edit.data(), edit.size()), 2818);
    close(fd);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, mdat01.c_str(), times, 0), 0);
  };
  RunOptions options;
  const char* hooked = std::getenv("TAMREK_HOOKED_TOOL");
  if (WindowsBuild()) {
    if (hooked == nullptr) GTEST_SKIP() << "no TAMREK_HOOKED_TOOL to run";
    options.tool =
        std::string(hooked).substr(std::string(hooked).rfind(' ') + 1);
    options.environment = {"TAMREK_TEST_PAUSE_BEFORE_PLACING=MDAT01"};
    setup();
    options.whileRunning = [&](pid_t, int stdinOfRun) {
      ASSERT_TRUE(AwaitName(work / "MDAT01.tmp0", 60));
      editInPlace();
      EXPECT_EQ(write(stdinOfRun, "\n", 1), 1);
    };
    const Result r = Run({input}, options);
    EXPECT_NE(r.err.find(Console("MDAT01 already exists and is kept as it "
                                 "was.\n")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadAll(mdat01), edit);
    return;
  }
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  options = Strace({}, "close:signal=STOP:when=" +
                           std::to_string(CallNumber(setup, {input}, "close",
                                                     "\"MDAT01\", O_RDONLY")));
  setup();
  Watch read(mdat01, IN_CLOSE_NOWRITE);
  options.endsBySignal = true;
  options.whileRunning = [&](pid_t pid, int) {
    ASSERT_TRUE(read.Await("", 60));  // read, and stopping there
    editInPlace();
    kill(TracedChild(pid), SIGCONT);
  };
  const Result r = Run({input}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("MDAT01 already exists and is kept as it was.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadAll(mdat01), edit);
}

TEST_F(TamrekTest, FileSystemsThatNumberTheirFilesAlikeAreToldApart) {
  // Two file systems number their first files alike (tmpfs): the input
  // first on one, LDAT04 first on the other.  They are different files.
  if (WindowsBuild()) GTEST_SKIP() << "Wine's volumes are its own";
  const fs::path a = root / "a", b = root / "b";
  fs::create_directories(a);
  fs::create_directories(b);
  if (geteuid() != 0 || mount("tmpfs", a.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a file system here";
  }
  struct Unmount {
    std::vector<fs::path> at;
    ~Unmount() {
      for (const fs::path& p : at) umount2(p.c_str(), MNT_DETACH);
    }
  } unmount{{a}};
  ASSERT_EQ(mount("tmpfs", b.c_str(), "tmpfs", 0, "size=8m"), 0);
  unmount.at.push_back(b);
  ASSERT_TRUE(WriteFile((a / "LDAT04").string(), Bytes(1026, 0)));
  ASSERT_TRUE(WriteFile((b / "disks.d88").string(), DemoFile(4)));
  struct stat sa, sb;
  ASSERT_EQ(stat((a / "LDAT04").c_str(), &sa), 0);
  ASSERT_EQ(stat((b / "disks.d88").c_str(), &sb), 0);
  ASSERT_EQ(sa.st_ino, sb.st_ino) << "tmpfs numbers files otherwise here";
  RunOptions options;
  options.directory = a;
  const Result r = Run({(b / "disks.d88").string()}, options);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(a / "LDAT04"), ExpectedFile(kPlan[11]));
}

// ---- Looking before extracting: --list and --test ----

// The --list line of image `index` of a demo file, serving `serves`.
std::string ImageLine(int index, const std::string& name, int tracks,
                      const std::string& serves, int size = 845488) {
  return "Image " + std::to_string(index) + ": name \"" + name +
         "\", media type 0x10, " + std::to_string(size) + " bytes, " +
         std::to_string(tracks) + (tracks == 1 ? " track, " : " tracks, ") +
         serves + ".\n";
}

// The --list line that counts the read errors of the sectors the plan reads
// from `disk`.
std::string ReadErrorsLine(int disk, int errors) {
  int sectors = 0;
  for (const PlanRow& row : kPlan)
    sectors += row.disk == disk ? Pieces(row) : 0;
  return "Disk " + std::to_string(disk) + ": " + std::to_string(errors) +
         " of the " + std::to_string(sectors) +
         " sectors the plan reads are recorded with a read error.\n";
}

// The last lines of every listing: the plan.
std::string PlanLines() {
  std::string lines;
  for (const PlanRow& row : kPlan) {
    lines += std::string(row.name) + ": disk " + std::to_string(row.disk) +
             ", cylinder " + std::to_string(row.track / 2) + ", head " +
             std::to_string(row.track % 2) + ", sector " +
             std::to_string(row.sector) + ", " + std::to_string(row.length) +
             " bytes.\n";
  }
  return lines;
}

TEST_F(TamrekTest, ListShowsTheImagesTheirLayoutAndThePlan) {
  const auto good = [](int disk) {
    return "Disk " + std::to_string(disk) +
           ": every track the plan reads holds sectors 1 to 10 of 512 "
           "bytes.\n" +
           ReadErrorsLine(disk, 0);
  };
  // Disk 1 single-sided: track t holds cylinder t, head 0.  Disk 2: track
  // 76 absent, sector 2 of track 77 renumbered 99.
  const Bytes singleSided =
      MakeUniformDisk(1, 80, 10, 2, SectorText, 1, [](int, SectorRecord* s) {
        s->c = static_cast<std::uint8_t>(2 * s->c + s->h);
        s->h = 0;
      }).Build();
  D88DiskWriter damaged =
      MakeUniformDisk(2, 80, 10, 2, SectorText, 1, [](int, SectorRecord* s) {
        if (s->c == 38 && s->h == 1 && s->r == 2) s->r = 99;
      });
  damaged.OverrideTrackOffset(76, 0);
  std::string singleLines;
  for (int t = 73; t <= 79; ++t) {
    singleLines += "Disk 1: track " + std::to_string(t) + " (cylinder " +
                   std::to_string(t / 2) + ", head " + std::to_string(t % 2) +
                   ") holds C/H/R/N";
    for (int r = 1; r <= 10; ++r) {
      singleLines += " " + std::to_string(t) + "/0/" + std::to_string(r) + "/2";
    }
    singleLines += ".\n";
  }
  std::string damagedLines =
      "Disk 2: track 76 (cylinder 38, head 0) is absent.\n"
      "Disk 2: track 77 (cylinder 38, head 1) holds C/H/R/N";
  for (int r : {1, 99, 3, 4, 5, 6, 7, 8, 9, 10}) {
    damagedLines += " 38/1/" + std::to_string(r) + "/2";
  }
  damagedLines += ".\n";
  // Disk 0: two read errors, a short sector, one of size code 3; the file
  // ends 100 bytes early, in disk 3's last track.
  Bytes odd = DemoFile(4, [](int disk, SectorRecord* s) {
    if (disk != 0) return;
    if (s->c == 7 && s->h == 0 && (s->r == 5 || s->r == 6)) {
      s->status = s->r == 5 ? 0xB0 : 0xE0;
    }
    if (s->c == 7 && s->h == 1 && s->r == 3) s->data.resize(256);
    if (s->c == 8 && s->h == 0 && s->r == 7) s->n = 3;
  });
  odd.resize(odd.size() - 100);
  std::string oddLines = "Disk 0: track 15 (cylinder 7, head 1) holds C/H/R/N";
  for (int r = 1; r <= 10; ++r) {
    oddLines += " 7/1/" + std::to_string(r) + (r == 3 ? "/2:256" : "/2");
  }
  oddLines += ".\nDisk 0: track 16 (cylinder 8, head 0) holds C/H/R/N";
  for (int r = 1; r <= 10; ++r) {
    oddLines += " 8/0/" + std::to_string(r) + (r == 7 ? "/3" : "/2");
  }
  oddLines += ".\n" + ReadErrorsLine(0, 2);
  // A name with a quote and a backslash, and one track, 14, which leads to
  // the end of the image: there, but holding no sector.
  D88DiskWriter oneTrack("A\"B\\C");
  oneTrack.OverrideTrackOffset(14, D88DiskWriter::kHeaderSize);
  std::set<int> planTracks;
  for (const PlanRow& row : kPlan) {
    for (int i = 0; row.disk == 0 && i < Pieces(row); ++i) {
      const std::vector<int> at = PieceSector(row, i);
      planTracks.insert(2 * at[0] + at[1]);
    }
  }
  std::string absentLines;
  for (const int t : planTracks) {
    absentLines += "Disk 0: track " + std::to_string(t) + " (cylinder " +
                   std::to_string(t / 2) + ", head " + std::to_string(t % 2) +
                   (t == 14 ? ") holds no sector.\n" : ") is absent.\n");
  }
  std::string text;
  while (text.size() < 600) text += "Not a disk.\n";
  struct Case {
    const char* what;
    Bytes data;
    std::string lines;  // all but the plan
  };
  const Case cases[] = {
      {"four disks", DemoFile(4),
       "The file holds 4 disk images.\n" +
           ImageLine(0, "DISK0", 160, "scenario disk 0") +
           ImageLine(1, "DISK1", 160, "scenario disk 1") +
           ImageLine(2, "DISK2", 160, "scenario disk 2") +
           ImageLine(3, "DISK3", 160, "scenario disk 3") + good(0) + good(1) +
           good(2) + good(3)},
      {"a wrong join, with a fifth disk",
       Joined(
           {DemoDisk(1), DemoDisk(0), DemoDisk(3), DemoDisk(2), DemoDisk(0)}),
       "The file holds 5 disk images.\n" +
           ImageLine(0, "DISK1", 160, "scenario disk 0") +
           ImageLine(1, "DISK0", 160, "scenario disk 1") +
           ImageLine(2, "DISK3", 160, "scenario disk 2") +
           ImageLine(3, "DISK2", 160, "scenario disk 3") +
           ImageLine(4, "DISK0", 160, "not used") + good(0) + good(1) +
           good(2) + good(3)},
      {"one disk", DemoFile(1),
       "The file holds 1 disk image.\n" +
           ImageLine(0, "DISK0", 160, "scenario disk 0") + good(0) +
           "Disk 1 is not in the file.\nDisk 2 is not in the file.\n"
           "Disk 3 is not in the file.\n"},
      {"a single-sided disk, an absent and a damaged track",
       Joined({DemoDisk(0), singleSided, damaged.Build(), DemoDisk(3)}),
       "The file holds 4 disk images.\n" +
           ImageLine(0, "DISK0", 160, "scenario disk 0") +
           ImageLine(1, "DISK1", 160, "scenario disk 1") +
           ImageLine(2, "DISK2", 159, "scenario disk 2") +
           ImageLine(3, "DISK3", 160, "scenario disk 3") + good(0) +
           singleLines + ReadErrorsLine(1, 0) + damagedLines +
           ReadErrorsLine(2, 0) + good(3)},
      {"read errors, a short sector and one of size code 3, cut short", odd,
       "The file holds 4 disk images.\n" +
           ImageLine(0, "DISK0", 160, "scenario disk 0", 845488 - 256) +
           ImageLine(1, "DISK1", 160, "scenario disk 1") +
           ImageLine(2, "DISK2", 160, "scenario disk 2") +
           ImageLine(3, "DISK3", 160, "scenario disk 3") +
           "Image 3 ends 100 bytes past the end of the file.\n" + oddLines +
           good(1) + good(2) + good(3)},
      {"one track", oneTrack.Build(),
       "The file holds 1 disk image.\nImage 0: name \"A\\\"B\\\\C\", media "
       "type 0x10, 688 bytes, 1 track, scenario disk 0.\n" +
           absentLines + ReadErrorsLine(0, 0) +
           "Disk 1 is not in the file.\nDisk 2 is not in the file.\n"
           "Disk 3 is not in the file.\n"},
      {"a text file", Bytes(text.begin(), text.end()),
       "The file holds no disk image.\nDisk 0 is not in the file.\n"
       "Disk 1 is not in the file.\nDisk 2 is not in the file.\n"
       "Disk 3 is not in the file.\n"},
  };
  const std::string oneDisk =
      "The files given hold 1 disk image, read as disk 0; to give one file "
      "per floppy, name all four in disk order, or one with --disk N.\n";
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFile(input, c.data));
    const Result r = Run({"--list", input});
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(r.out, Console(c.lines + PlanLines())) << c.what;
    const std::string what = c.what;
    const std::string err =
        what == "a text file" ? input +
                                    " is not a D88 image: it is shorter than "
                                    "a disk header (688 bytes).\n"
        : what == "one disk" || what == "one track" ? oneDisk
                                                    : "";
    EXPECT_EQ(r.err, Console(err)) << c.what;
    EXPECT_TRUE(WorkFiles().empty()) << c.what;
  }
}

TEST_F(TamrekTest, TestReadsThePlanAndWritesNothing) {
  // Over an earlier extraction, which stays as it was.
  const auto earlier = PlantEarlierExtraction();
  std::string complete;
  for (const PlanRow& row : kPlan) {
    complete += std::string(row.name) + " is complete.\n";
  }
  const std::string missing = "MDAT01 is complete.\n";
  const std::string noMdat01 =
      complete.substr(0, complete.find(missing)) +
      complete.substr(complete.find(missing) + missing.size());
  struct Case {
    const char* what;
    Bytes data;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {"a complete dump", DemoFile(4), 0, complete, ""},
      {"a damaged dump",
       DemoFile(4,
                [](int disk, SectorRecord* s) {
                  if (disk == 0 && s->c == 7 && s->h == 0 && s->r == 6)
                    s->r = 99;
                }),
       1, noMdat01, ShortfallLines(kPlan[1], {{2, 0}})},
      {"a sector recorded with a read error",
       DemoFile(4,
                [](int disk, SectorRecord* s) {
                  if (disk == 0 && s->c == 7 && s->h == 0 && s->r == 6)
                    s->status = 0xB0;
                }),
       1, noMdat01,
       "MDAT01 holds a sector recorded with a read error: " +
           SectorName(kPlan[1], 2) + ", status 0xB0.\n"},
      {"one disk", DemoFile(1), 1, complete.substr(0, complete.find("LDAT01")),
       "The files given hold 1 disk image, read as disk 0; to give one file "
       "per floppy, name all four in disk order, or one with --disk N.\n" +
           MissingDiskLines(1, false)},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFile(input, c.data));
    const Result r = Run({"--test", input});
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.out, Console(c.out)) << c.what;
    EXPECT_EQ(r.err, Console(c.err)) << c.what;
    EXPECT_EQ(WorkFiles(), earlier) << c.what;
  }
}

// ---- Placing files ----

TEST_F(TamrekTest, IncompleteFilesNeverReplaceAnEarlierExtraction) {
  // The earlier files are all 0xEA bytes.  Under the last case, PDAT01 is a
  // dangling link, PDAT02 a directory and PDAT03 a file of another length.
  // A text too short for a disk header holds no disk at all.
  std::string text;
  while (text.size() < 640) text += "These are my notes, not a disk.\n";
  // NDAT02 reads track 76 sector 10, then track 77: sector 2 is missing.
  const Bytes missingSector = DemoFile(4, [](int disk, SectorRecord* s) {
    if (disk == 2 && s->c == 38 && s->h == 1 && s->r == 2) s->r = 99;
  });
  const std::string differs =
      "NDAT02 already exists and differs from this image in sectors both "
      "read cleanly: disk 2, cylinder 38, head 0, sector 10; disk 2, "
      "cylinder 38, head 1, sector 1; disk 2, cylinder 38, head 1, sector 3 "
      "(and 2 more); it is kept as it was.\n";
  struct Case {
    const char* what;
    Bytes data;
    int disks;           // the disks the file holds in full
    std::string damage;  // the lines about a damaged file
    int complete;        // the files complete in the folder after the run
  };
  for (const Case& c :
       {Case{"a text file", Bytes(text.begin(), text.end()), 0, "", 29},
        Case{"a missing sector", missingSector, 4,
             ShortfallLines(kPlan[21], {{2, 0}}) + differs, 29},
        Case{"three disks", DemoFile(3), 3, "", 26}}) {
    ClearWork();
    std::map<std::string, Bytes> earlier = PlantEarlierExtraction();
    if (c.disks == 3) {
      fs::remove(work / "PDAT01");
      fs::create_symlink(root / "nowhere", work / "PDAT01");
      fs::remove(work / "PDAT02");
      fs::create_directories(work / "PDAT02" / "keep");
      earlier["PDAT01"] = earlier["PDAT02"] = Bytes();  // not regular files
      earlier["PDAT03"] = Bytes(10, 0xEA);
      ASSERT_TRUE(WriteFile((work / "PDAT03").string(), earlier["PDAT03"]));
    }
    ASSERT_TRUE(WriteFile(input, c.data));
    const Result r = Run({input});
    EXPECT_EQ(r.status, 1) << c.what;
    std::string created, errors;
    int disk = -1;
    for (const PlanRow& row : kPlan) {
      if (row.disk < c.disks) {
        if (row.name != std::string("NDAT02") || c.damage.empty()) {
          created += std::string(row.name) + " is created.\n";
          errors += ReplacesLine(row);
        } else {
          errors += c.damage;
        }
        continue;
      }
      if (row.disk != disk) {
        disk = row.disk;
        errors += "Disk " + std::to_string(disk) + " is not in the file.\n";
      }
      errors += std::string(row.name) + " is incomplete: 0 of " +
                std::to_string(row.length) + " bytes could be read.\n" +
                row.name + " already exists and is kept as it was.\n";
    }
    const std::string first =
        c.disks == 0 ? input +
                           " is not a D88 image: it is shorter than a disk "
                           "header (688 bytes).\n"
        : c.disks == 3 ? "The files given hold 3 disk images, read as disks "
                         "0 to 2; to give one file per floppy, name all four "
                         "in disk order, or one with --disk N.\n"
                       : "";
    EXPECT_EQ(r.out, Console(created)) << c.what;
    EXPECT_EQ(r.err, Console(first + errors + SummaryLine(c.complete, 0)))
        << c.what;
    auto files = WorkFiles();
    for (const auto& [name, content] : TakeBackups(&files)) {
      EXPECT_EQ(content, earlier.at(name.substr(0, name.rfind(".~"))))
          << c.what << " " << name;
    }
    EXPECT_EQ(files.size(), 29u) << c.what;  // no temporary file left
    for (const PlanRow& row : kPlan) {
      const bool kept = row.disk >= c.disks ||
                        (row.name == std::string("NDAT02") && c.disks == 4);
      EXPECT_EQ(files.at(row.name),
                kept ? earlier[row.name] : ExpectedFile(row))
          << c.what << " " << row.name;
    }
  }
  EXPECT_EQ(fs::read_symlink(work / "PDAT01"), root / "nowhere");
  EXPECT_FALSE(fs::exists(root / "nowhere"));
  EXPECT_TRUE(fs::is_directory(work / "PDAT02" / "keep"));
}

TEST_F(TamrekTest, IncompleteFileNeverReplacesOneThatAppearsAfterTheRead) {
  // Someone creates PDAT01 as soon as the run has examined the folder and
  // written the map, before the files are placed; whoever creates the name
  // first keeps it.  For at most 60 s.
  ASSERT_TRUE(WriteFile(input, DemoFile(3)));
  const fs::path name = work / "PDAT01";
  const std::string theirs = "their own PDAT01";
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const int runs = WindowsBuild() ? 3 : 20;
  for (int run = 0; run < runs && std::chrono::steady_clock::now() < end;
       ++run) {
    ClearWork();
    const pid_t racer = fork();
    if (racer == 0) {
      const std::string temporary = (work / "tamrek.map").string();
      struct stat st;
      while (std::chrono::steady_clock::now() < end &&
             stat(temporary.c_str(), &st) != 0 &&
             lstat(name.c_str(), &st) != 0) {
      }
      const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      if (fd < 0) _exit(1);
      const bool written = write(fd, theirs.data(), theirs.size()) ==
                           static_cast<ssize_t>(theirs.size());
      _exit(close(fd) == 0 && written ? 0 : 2);
    }
    const Result r = Run({input});
    int status = 0;
    waitpid(racer, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const bool theyCreatedIt = WEXITSTATUS(status) == 0;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("PDAT01 already exists and is kept as it was.") !=
                  std::string::npos,
              theyCreatedIt)
        << "run " << run;
    const Bytes content = ReadAll(name);
    if (theyCreatedIt) {
      ASSERT_EQ(AsText(content), theirs) << "replaced in run " << run;
    } else {
      EXPECT_EQ(content, Bytes(2050, 0)) << "run " << run;
    }
  }
}

TEST_F(TamrekTest, ReplacesExistingFilesAndLinksWithoutWritingThrough) {
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  ASSERT_TRUE(WriteFile((work / "MDAT01").string(), Bytes(9000, 0x11)));
  const fs::path elsewhere = root / "elsewhere.bin";
  ASSERT_TRUE(WriteFile(elsewhere.string(), Bytes(5, 0x22)));
  fs::create_symlink(elsewhere, work / "MDAT02");

  const Result r = Run({input});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(ReadAll(work / "MDAT01"), ExpectedFile(kPlan[1]));
  EXPECT_FALSE(fs::is_symlink(work / "MDAT02"));
  EXPECT_EQ(ReadAll(work / "MDAT02"), ExpectedFile(kPlan[2]));
  EXPECT_EQ(ReadAll(elsewhere), Bytes(5, 0x22));
}

TEST_F(TamrekTest, ARerunOverTheSameExtractionTouchesNothing) {
  // No file is written, flushed or renamed: every name keeps its file, its
  // times and its number; the lines are a run's all the same.  A file left
  // under a temporary name is named, and kept.
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  ASSERT_EQ(Run({input}).status, 0);
  ASSERT_TRUE(WriteFile((work / "MDAT01.tmp3").string(), Bytes(7, 0x33)));
  std::map<std::string, struct stat> before;
  for (const PlanRow& row : kPlan) {
    ASSERT_EQ(lstat((work / row.name).c_str(), &before[row.name]), 0);
  }
  const Result r = Run({input});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(r.err, Console("MDAT01.tmp3 is left from an earlier run; delete "
                           "it if it is not yours.\n"));
  for (const PlanRow& row : kPlan) {
    struct stat after;
    ASSERT_EQ(lstat((work / row.name).c_str(), &after), 0);
    const struct stat& was = before[row.name];
    EXPECT_TRUE(after.st_ino == was.st_ino &&
                after.st_mtim.tv_sec == was.st_mtim.tv_sec &&
                after.st_mtim.tv_nsec == was.st_mtim.tv_nsec &&
                after.st_ctim.tv_sec == was.st_ctim.tv_sec &&
                after.st_ctim.tv_nsec == was.st_ctim.tv_nsec)
        << row.name;
  }
  EXPECT_EQ(ReadAll(work / "MDAT01.tmp3"), Bytes(7, 0x33));
}

TEST_F(TamrekTest, AFileMadeReadOnlyIsKept) {
  // An existing file that the user may not write: mode 0444, for a user
  // who is not root (Windows: the read-only attribute, which Wine gives
  // such a file).
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  ASSERT_TRUE(WriteFile((work / "MDAT01").string(), Bytes(2818, 0x11)));
  fs::permissions(work / "MDAT01", fs::perms::owner_read |
                                       fs::perms::group_read |
                                       fs::perms::others_read);
  RunOptions options;
  if (!WindowsBuild()) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run as another user";
    RunAsNobody(&options);
    ASSERT_EQ(chown(work.c_str(), 65534, 65534), 0);
    ASSERT_EQ(lchown((work / "MDAT01").c_str(), 65534, 65534), 0);
  }
  const Result r = Run({input}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, CreatedLines({"MDAT01"}));
  EXPECT_EQ(r.err,
            Console("MDAT01 could not be written: the file is read-only.\n" +
                    std::string("All 29 files are complete.\n")));
  EXPECT_EQ(ReadAll(work / "MDAT01"), Bytes(2818, 0x11));
  fs::permissions(work / "MDAT01", fs::perms::owner_all);
}

TEST_F(TamrekTest, AnInterruptNeverRemovesAFilePlantedUnderATemporaryName) {
  // Someone plants a file under LDAT01's temporary name the moment the run
  // has renamed it over LDAT01 (or, after a failed rename, removed it),
  // while strace holds the run in that call; a SIGTERM comes then.  The
  // run's hold on interrupts spans the call and the emptying of its slot,
  // so the signal finds nothing to remove: the planted file stays.
  if (WindowsBuild()) GTEST_SKIP() << kWineServerCalls;
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  const fs::path temporary = work / "LDAT01.tmp0";
  const struct {
    const char* what;
    std::string hold;  // the injection that holds the run in the call
    std::string before;
    std::uint32_t event;
    bool placed;
  } cases[] = {
      {"after the rename", "rename", "", IN_MOVED_FROM, true},
      {"after the removal", "unlink", "rename:error=EIO -e inject=", IN_DELETE,
       false},
  };
  for (const auto& c : cases) {
    // The run is held in the call for a time; the file is planted and the
    // signal sent well within it, or the case runs again, held longer.
    for (const int holdMs : {100, 3000, 30000}) {
      ClearWork();
      PlantEarlierExtraction(0);
      ASSERT_TRUE(WriteFile(input, DemoFile(4)));
      RunOptions options = Strace(
          {temporary},
          c.before + c.hold + ":delay_exit=" + std::to_string(holdMs * 1000));
      options.endsBySignal = true;
      Watch watch(work, c.event);
      bool inTime = false;
      options.whileRunning = [&](pid_t pid, int) {
        ASSERT_TRUE(watch.Await("LDAT01.tmp0", 60)) << c.what;
        const auto seen = std::chrono::steady_clock::now();
        ASSERT_TRUE(WriteFile(temporary.string(), Bytes(3, 0x44)));
        kill(TracedChild(pid), SIGTERM);
        inTime = std::chrono::steady_clock::now() - seen <
                 std::chrono::milliseconds(holdMs / 3);
      };
      const Result r = Run({input}, options);
      if (!inTime) continue;
      EXPECT_EQ(r.signal, SIGTERM) << c.what;
      EXPECT_EQ(ReadAll(temporary), Bytes(3, 0x44)) << c.what;
      EXPECT_EQ(ReadAll(work / "LDAT01"),
                c.placed ? ExpectedFile(kPlan[8]) : Bytes(3074, 0))
          << c.what;
      break;
    }
  }
}

TEST_F(TamrekTest, AFileAnotherProgramHoldsIsTriedAgainThenNamed) {
  // Under Wine, a Windows program holds MDAT02 open without letting it be
  // replaced: for 500 ms, once the run is about to place MDAT02 (the
  // test-only build pauses there), as a virus scanner might, and the run
  // tries again and places it; then for the whole run, and the line says
  // another program is using the file.
  if (!WindowsBuild()) GTEST_SKIP() << "how Windows programs share files";
  const char* hooked = std::getenv("TAMREK_HOOKED_TOOL");
  const char* holder = std::getenv("TAMREK_HOLD_TOOL");
  if (hooked == nullptr || holder == nullptr) {
    GTEST_SKIP() << "no TAMREK_HOOKED_TOOL and TAMREK_HOLD_TOOL to run";
  }
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  const fs::path mdat02 = work / "MDAT02";
  // Starts the holder on MDAT02 for `milliseconds`; returns once it holds.
  const auto hold = [&](int milliseconds) {
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      close(out[0]);
      std::istringstream words(holder);
      std::vector<std::string> args;
      for (std::string w; words >> w;) args.push_back(w);
      args.push_back(mdat02.string());
      args.push_back(std::to_string(milliseconds));
      std::vector<char*> argv;
      argv.reserve(args.size() + 1);
      for (std::string& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string said;
    char buffer[64];
    for (ssize_t got; said.find("held") == std::string::npos &&
                      (got = read(out[0], buffer, sizeof buffer)) > 0;) {
      said.append(buffer, static_cast<std::size_t>(got));
    }
    close(out[0]);
    EXPECT_NE(said.find("held"), std::string::npos);
    return pid;
  };
  ASSERT_TRUE(WriteFile(mdat02.string(), Bytes(2050, 0xEA)));
  RunOptions paused;
  paused.tool = std::string(hooked).substr(std::string(hooked).rfind(' ') + 1);
  paused.environment = {"TAMREK_TEST_PAUSE_BEFORE_PLACING=MDAT02"};
  pid_t briefly = 0;
  paused.whileRunning = [&](pid_t, int stdinOfRun) {
    ASSERT_TRUE(AwaitName(work / "MDAT02.tmp0", 60));
    briefly = hold(500);
    EXPECT_EQ(write(stdinOfRun, "\n", 1), 1);
  };
  Result r = Run({input}, paused);
  waitpid(briefly, nullptr, 0);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(mdat02), ExpectedFile(kPlan[2]));

  ASSERT_TRUE(WriteFile(mdat02.string(), Bytes(2050, 0xEA)));
  const pid_t throughout = hold(60000);
  r = Run({input});
  kill(throughout, SIGKILL);
  waitpid(throughout, nullptr, 0);
  EXPECT_EQ(r.status, 1);
  // The link made for its backup cannot be removed while the other program
  // holds the file: it is named, a whole copy.
  EXPECT_EQ(r.err, Console("MDAT02 could not be written: another program is "
                           "using the file.\nMDAT02.~2~ could not be "
                           "removed: another program is using the file.\n" +
                           std::string("All 29 files are complete.\n")));
  EXPECT_EQ(ReadAll(mdat02), Bytes(2050, 0xEA));
  ASSERT_EQ(std::system("wineserver -w"), 0);
  auto files = WorkFiles();
  EXPECT_EQ(TakeBackups(&files).size(), 2u);
  EXPECT_EQ(files.size(), 29u);  // no temporary file left
}

TEST_F(TamrekTest, OutputThatCannotBeReplacedIsReportedAndTheRunGoesOn) {
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  fs::create_directory(work / "NDAT02");
  ASSERT_TRUE(WriteFile((work / "NDAT02" / "keep").string(), Bytes(3, 1)));

  const Result r = Run({input});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, CreatedLines({"NDAT02"}));
  EXPECT_EQ(r.err, Console("NDAT02 could not be written: a directory holds "
                           "the name.\n" +
                           std::string("28 of 29 files are complete.\n")));
  EXPECT_EQ(ReadAll(work / "NDAT02" / "keep"), Bytes(3, 1));
  const auto files = WorkFiles();
  EXPECT_EQ(files.size(), 29u);  // no temporary file left behind
  EXPECT_EQ(files.at("NDAT03"), ExpectedFile(kPlan[22]));
}

TEST_F(TamrekTest, InputIsNeverReplacedWhateverNameReachesIt) {
  const Bytes disks = DemoFile(4);
  const fs::path elsewhere = root / "elsewhere.d88";
  const std::string inWork = (work / "LDAT04").string();
  struct Case {
    const char* how;
    std::string argument;
  };
  for (const Case& c : {Case{"by name", "LDAT04"}, Case{"as ./", "./LDAT04"},
                        Case{"by absolute path", inWork},
                        Case{"by a hard link", elsewhere.string()},
                        Case{"by a symbolic link", elsewhere.string()}}) {
    ClearWork();
    fs::remove(elsewhere);
    const std::string how = c.how;
    if (how == "by a hard link" || how == "by a symbolic link") {
      ASSERT_TRUE(WriteFile(elsewhere.string(), disks));
      if (how == "by a hard link") {
        fs::create_hard_link(elsewhere, inWork);
      } else {
        fs::create_symlink(elsewhere, inWork);
      }
    } else {
      ASSERT_TRUE(WriteFile(inWork, disks));
    }
    const Result r = Run({c.argument});
    EXPECT_EQ(r.status, 1) << how;
    EXPECT_EQ(r.out, CreatedLines({"LDAT04"})) << how;
    EXPECT_EQ(r.err, Console("LDAT04 could not be written: it is the file "
                             "being read.\n" +
                             std::string("28 of 29 files are complete.\n")))
        << how;
    EXPECT_EQ(ReadAll(inWork), disks) << how;
    EXPECT_EQ(fs::is_symlink(inWork), how == "by a symbolic link") << how;
    for (int i = 12; i < 29; ++i) {
      EXPECT_EQ(ReadAll(work / kPlan[i].name), ExpectedFile(kPlan[i]))
          << how << " " << kPlan[i].name;
    }
  }
}

TEST_F(TamrekTest, NamesHeldAtTemporaryNamesAreNeverTouched) {
  // MDAT03 and MDAT05 replace files an earlier run could read nothing of,
  // and so take temporary names on the way.
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  const fs::path target = root / "target.bin";
  ASSERT_TRUE(WriteFile(target.string(), Bytes(5, 0x22)));
  const auto temporary = [this](const char* name, int k) {
    return work / (std::string(name) + ".tmp" + std::to_string(k));
  };
  // A link at every output's first temporary name, links at all but the
  // last name MDAT03 could use, a user's file at MDAT04's first, and
  // dangling links at every name MDAT05 could use.
  for (const PlanRow& row : kPlan) {
    fs::create_symlink(target, temporary(row.name, 0));
  }
  for (int k = 1; k < 99; ++k)
    fs::create_symlink(target, temporary("MDAT03", k));
  fs::remove(temporary("MDAT04", 0));
  ASSERT_TRUE(WriteFile(temporary("MDAT04", 0).string(), Bytes(3, 0x44)));
  for (int k = 0; k < 100; ++k) {
    fs::remove(temporary("MDAT05", k));
    fs::create_symlink(root / "nowhere", temporary("MDAT05", k));
  }
  for (const char* name : {"MDAT03", "MDAT05"}) {
    ASSERT_TRUE(WriteFile((work / name).string(),
                          Bytes(name[5] == '3' ? 1538 : 3330, 0)));
  }
  const auto planted = WorkFiles();

  // Every regular file under a temporary name is named, and MDAT04's is
  // one; so, under Wine, which reads through a link where Windows sees the
  // link, are the links that lead to a file.
  std::string leftovers;
  for (const PlanRow& row : kPlan) {
    std::set<std::string> names;
    for (const auto& [name, content] : planted) {
      if (name.rfind(std::string(row.name) + ".tmp", 0) == 0 &&
          (name == "MDAT04.tmp0" ||
           (WindowsBuild() && fs::exists(work / name)))) {
        names.insert(name);
      }
    }
    for (const std::string& name : names) {
      leftovers += name +
                   " is left from an earlier run; delete it if it is not "
                   "yours.\n";
    }
    if (row.name == std::string("MDAT05")) {
      leftovers +=
          "MDAT05 could not be written: every temporary name from "
          "MDAT05.tmp0 to MDAT05.tmp99 is taken.\n";
    }
  }
  const Result r = Run({input});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, CreatedLines({"MDAT05"}));
  EXPECT_EQ(r.err,
            Console(leftovers + std::string("All 29 files are complete.\n")));
  EXPECT_EQ(ReadAll(target), Bytes(5, 0x22));
  EXPECT_FALSE(fs::exists(root / "nowhere"));
  EXPECT_EQ(ReadAll(temporary("MDAT04", 0)), Bytes(3, 0x44));
  const auto files = WorkFiles();
  EXPECT_EQ(files.size(), planted.size() + 27);  // nothing else left behind
  for (const auto& [name, content] : planted) {
    if (name.find(".tmp") != std::string::npos && name != "MDAT04.tmp0") {
      EXPECT_TRUE(fs::is_symlink(work / name)) << name;
    }
  }
  for (const PlanRow& row : kPlan) {
    EXPECT_EQ(files.at(row.name), std::string(row.name) == "MDAT05"
                                      ? Bytes(3330, 0)
                                      : ExpectedFile(row))
        << row.name;
  }
}

TEST_F(TamrekTest, LinkRacingAtATemporaryNameIsNeverWrittenThrough) {
  // Two dumps that read MDAT03 otherwise, one after the other, so that
  // every run replaces it and takes a temporary name to do so.
  const std::string other = (root / "other.d88").string();
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  ASSERT_TRUE(WriteFile(other, DemoFile(4, [](int disk, SectorRecord* s) {
                          if (disk == 0 && s->c == 7 && s->h == 1 &&
                              s->r >= 5 && s->r <= 8) {
                            s->data[0] ^= 1;
                          }
                        })));
  const fs::path target = root / "target.bin";
  ASSERT_TRUE(WriteFile(target.string(), Bytes(5, 0x22)));
  const std::string link = (work / "MDAT03.tmp0").string();
  // Someone with write access to the directory keeps planting a link at the
  // first temporary name and removing it again, for at most 60 s.
  const pid_t racer = fork();
  if (racer == 0) {
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
      if (symlink(target.c_str(), link.c_str()) == 0) unlink(link.c_str());
    }
    _exit(0);
  }
  const int runs = WindowsBuild() ? 6 : 40;
  for (int run = 0; run < runs; ++run) {
    const Result r = Run({run % 2 == 0 ? input : other});
    EXPECT_EQ(r.status, 0) << "run " << run;
    if (ReadAll(target) != Bytes(5, 0x22)) {
      ADD_FAILURE() << "written through the link in run " << run;
      break;
    }
  }
  kill(racer, SIGKILL);
  waitpid(racer, nullptr, 0);
  EXPECT_EQ(ReadAll(work / "MDAT03").size(), 1538u);
  EXPECT_EQ(ReadAll(work / "MDAT04"), ExpectedFile(kPlan[4]));
}

TEST_F(TamrekTest, OnlyReplacingRenamesFollowAFlush) {
  // The system calls, as strace sees them: the new file's data are flushed
  // (fdatasync) just before each rename that replaces something, a dangling
  // link included, and never before one onto a free name; the directory
  // (fsync) after the last rename, when something was replaced, and after
  // the map has taken the lines of the files about to be placed.  A first
  // run into an empty folder, and a run that changes nothing, flush
  // nothing.  Under Wine the calls are made by the program and by the Wine
  // server it starts, and the file flush is whatever call Wine makes.
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  const fs::path trace = root / "trace";
  RunOptions options;
  options.prefix = "strace -f -qq -o " + trace.string() +
                   " -e trace=fsync,fdatasync,rename,renameat,renameat2,"
                   "link,linkat";
  options.environment = {"ASAN_OPTIONS=detect_leaks=0"};  // LSan needs ptrace
  const Bytes lacking = DemoFile(4, [](int disk, SectorRecord* s) {
    if (disk == 0 && s->c == 7 && s->h == 0 && s->r == 6) s->r = 99;
  });
  const std::string text = (root / "text").string();
  ASSERT_TRUE(WriteFile(text, Bytes(100, 'x')));
  struct Case {
    const char* what;
    std::function<void()> plant;
    Bytes data;
    int placed;            // renames and links onto names of the plan
    int directoryFlushes;  // on Linux
    std::function<bool(const std::string&)> flushed;  // before this name
  };
  const auto none = [](const std::string&) { return false; };
  const auto all = [](const std::string&) { return true; };
  const Case cases[] = {
      {"a first run into an empty folder", [] {}, DemoFile(4), 29, 0, none},
      {"a dangling link at MDAT01",
       [&] { fs::create_symlink(root / "nowhere", work / "MDAT01"); },
       DemoFile(4), 29, 1,
       [](const std::string& name) { return name == "MDAT01"; }},
      {"over an earlier extraction", [&] { PlantEarlierExtraction(); },
       DemoFile(4), 29, 1, all},
      {"over the same extraction", [&] { ASSERT_EQ(Run({input}).status, 0); },
       DemoFile(4), 0, 0, none},
      {"merged with placeholders", [&] { ASSERT_EQ(Run({text}).status, 1); },
       lacking, 29, 3, all},
      {"merged alone",
       [&] {
         ASSERT_EQ(Run({input}).status, 0);
         ASSERT_TRUE(WriteFile((work / "MDAT01").string(), Bytes(2818, 0)));
       },
       lacking, 1, 1, all},
  };
  for (const Case& c : cases) {
    // Wine follows a dangling link where Windows would see the link.
    if (WindowsBuild() && c.what == std::string("a dangling link at MDAT01")) {
      continue;
    }
    ClearWork();
    ASSERT_TRUE(WriteFile(input, DemoFile(4)));
    c.plant();
    ASSERT_TRUE(WriteFile(input, c.data));
    if (WindowsBuild()) {
      ASSERT_EQ(std::system("wineserver -w"), 0);  // so strace sees the next
    }
    Run({input}, options);
    std::ifstream lines(trace);
    int placed = 0, directoryFlushes = 0;
    bool fileFlushed = false, renamedSince = false;
    for (std::string line; std::getline(lines, line);) {
      if (!WindowsBuild() && line.find(" fsync(") != std::string::npos) {
        ++directoryFlushes;
        renamedSince = false;
        continue;
      }
      if (line.find("sync(") != std::string::npos) {
        fileFlushed = true;
        continue;
      }
      const std::size_t quote = line.rfind('"');
      const std::size_t start = line.find_last_of("\"/", quote - 1);
      if (quote == std::string::npos || start == std::string::npos) continue;
      const std::string target = line.substr(start + 1, quote - start - 1);
      for (const PlanRow& row : kPlan) {
        if (target != row.name) continue;
        ++placed;
        EXPECT_EQ(fileFlushed, c.flushed(target)) << c.what << ": " << line;
        fileFlushed = false;
        renamedSince = true;
      }
    }
    EXPECT_EQ(placed, c.placed) << c.what;
    if (!WindowsBuild()) {
      EXPECT_EQ(directoryFlushes, c.directoryFlushes) << c.what;
      // A flush, when there is one, comes after the last rename.
      EXPECT_EQ(renamedSince, c.directoryFlushes == 0 && c.placed > 0)
          << c.what;
    }
  }
}

// ---- Interrupts and limits ----

TEST_F(TamrekTest, InterruptedRunLeavesEveryFileWholeAndNoTemporary) {
  // strace raises the signal at a chosen system call on LDAT01's temporary
  // name, which it takes to replace an earlier extraction: when its
  // complete data are closed, when it is linked there (the signal is held
  // until the name is noted), and when a user's file at its first temporary
  // name refuses the link (that file is not the run's to remove).  A merge
  // over a zero-filled placeholder is interrupted the same way.
  if (WindowsBuild()) return InterruptUnderWine();
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  struct Case {
    int signal;
    const char* at;  // the system call on LDAT01.tmp0
    bool planted;    // a user's file at LDAT01.tmp0
    bool merge;      // LDAT01 lacks a sector; the earlier files are zero
  };
  std::vector<Case> cases;
  for (const int signal :
       {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2}) {
    cases.push_back({signal, "close", false, false});
  }
  cases.push_back({SIGINT, "linkat", false, false});
  cases.push_back({SIGTERM, "linkat", true, false});
  cases.push_back({SIGINT, "close", false, true});
  const Bytes lacking = DemoFile(4, [](int disk, SectorRecord* s) {
    if (disk == 1 && s->c == 37 && s->h == 0 && s->r == 2) s->r = 99;
  });
  const fs::path temporary = work / "LDAT01.tmp0";
  // The number of the close to signal at, found once per setup.
  std::map<std::pair<bool, bool>, int> closeNumbers;
  for (const Case& c : cases) {
    const std::string what = std::string(strsignal(c.signal)) + " at " + c.at;
    std::map<std::string, Bytes> earlier;
    const auto setup = [&] {
      ClearWork();
      earlier = PlantEarlierExtraction(c.merge ? 0x00 : 0xEA);
      if (c.planted) {
        ASSERT_TRUE(WriteFile(temporary.string(), Bytes(3, 0x44)));
      }
      ASSERT_TRUE(WriteFile(input, c.merge ? lacking : DemoFile(4)));
    };
    // The file descriptor of a file made unnamed keeps no name: the close
    // after its link is found by its number.
    const std::string signal = ":signal=" + std::to_string(c.signal);
    const bool atClose = c.at == std::string("close");
    int& close = closeNumbers[{c.planted, c.merge}];
    if (atClose && close == 0) {
      close = CallNumber(setup, {input}, "close", "\"LDAT01.tmp0\"");
    }
    RunOptions options =
        atClose
            ? Strace({}, "close" + signal + ":when=" + std::to_string(close))
            : Strace({temporary}, c.at + signal);
    setup();
    options.endsBySignal = true;
    const Result r = Run({input}, options);
    EXPECT_EQ(r.signal, c.signal) << what << ": " << r.err;
    EXPECT_EQ(r.out, CreatedLines().substr(0, r.out.size())) << what;
    auto files = WorkFiles();
    // Each file replaced is kept whole as its backup.
    for (const auto& [name, content] : TakeBackups(&files)) {
      EXPECT_EQ(content, earlier.at(name.substr(0, name.rfind(".~"))))
          << what << " " << name;
    }
    EXPECT_EQ(files.size(), c.planted ? 30u : 29u) << what;
    if (c.planted) {
      EXPECT_EQ(ReadAll(temporary), Bytes(3, 0x44)) << what;
    }
    for (int i = 0; i < 29; ++i) {
      const PlanRow& row = kPlan[i];
      EXPECT_EQ(files.at(row.name),
                i < 8 ? ExpectedFile(row) : earlier.at(row.name))
          << what << " " << row.name;
    }
  }
  // A hangup ignored from the start (nohup) stays ignored.
  const auto setup = [&] {
    ClearWork();
    PlantEarlierExtraction(0);
    ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  };
  RunOptions options =
      Strace({}, "close:signal=SIGHUP:when=" +
                     std::to_string(CallNumber(setup, {input}, "close",
                                               "\"LDAT01.tmp0\"")));
  setup();
  options.ignoreHangup = true;
  const Result r = Run({input}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
}

TEST_F(TamrekTest, InjectedFaultsAreNamedAndCostNoFile) {
  // Each fault is injected by strace into the system calls on one name, or
  // into one call of the tool's, numbered in a run that it does not
  // fail.  DRIVER01.BIN is written first; the folder as it was stays.
  if (WindowsBuild()) GTEST_SKIP() << kWineServerCalls;
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  const Bytes lacking = DemoFile(4, [](int disk, SectorRecord* s) {
    if (disk == 0 && s->c == 7 && s->h == 0 && s->r == 6) s->r = 99;
  });
  const std::string notWritten = "DRIVER01.BIN could not be written: ";
  // `error` injected into the first `syscall` call at or after the trace
  // line that holds `marker`.
  const auto firstAfter = [this](const std::string& syscall,
                                 const std::string& error,
                                 const std::string& marker) {
    return [=](const std::function<void()>& setup) {
      return syscall + ":error=" + error + ":when=" +
             std::to_string(CallNumber(setup, {input}, syscall, marker));
    };
  };
  const auto firstUnnamed = [&](const std::string& error) {
    return firstAfter("openat", error, "O_TMPFILE");
  };
  const auto fixed = [](const std::string& injection) {
    return [injection](const std::function<void()>&) { return injection; };
  };
  struct Case {
    const char* what;
    std::string on;  // the name whose calls fail; "" all; "." the folder
    std::function<std::string(const std::function<void()>&)> inject;
    bool earlier;  // over an earlier extraction, which then stays
    bool damaged;  // MDAT01 lacks a sector (placed only on a free name)
    int status;
    std::string err;  // and the file not written, if any, is the one named
  };
  const Case cases[] = {
      {"a failed close", "", firstAfter("close", "EIO", "\"DRIVER01.BIN\""),
       false, false, 1, notWritten + "an input/output error.\n"},
      {"a quota", "", firstAfter("write", "EDQUOT", "O_TMPFILE"), false, false,
       1, notWritten + "the disk quota is exceeded.\n"},
      {"a read-only file system", "", firstUnnamed("EROFS"), false, false, 1,
       notWritten + "the file system is read-only.\n"},
      {"an error in the system's own words", "", firstUnnamed("ENXIO"), false,
       false, 1, notWritten + "no such device or address.\n"},
      {"an operation not permitted", "", firstUnnamed("EPERM"), false, false, 1,
       notWritten + "permission denied.\n"},
      {"a file system without hard links, and no /proc: named temporaries", "",
       fixed("linkat:error=EPERM"), false, false, 0, ""},
      {"a failed flush", "", fixed("fdatasync:error=EIO:when=1"), true, false,
       1, notWritten + "an input/output error.\n"},
      {"a file system that cannot flush a directory", ".",
       fixed("fsync:error=EINVAL"), true, false, 0, ""},
      {"a failed directory flush", ".", fixed("fsync:error=EIO"), true, false,
       1,
       "The working directory could not be flushed to the disk: an "
       "input/output error.\n"},
      {"a file system without unnamed files, whose no-replace rename fails", "",
       [&](const std::function<void()>& setup) {
         const std::string refused = firstUnnamed("EOPNOTSUPP")(setup) +
                                     " -e inject=renameat2:error=EINVAL";
         return refused + " -e inject=rename:error=EIO:when=" +
                std::to_string(CallNumber(setup, {input}, "rename",
                                          "\"MDAT01.tmp0\", \"MDAT01\"",
                                          refused));
       },
       false, true, 1,
       ShortfallLines(kPlan[1], {{2, 0}}) +
           "MDAT01 could not be written: an input/output error.\n" +
           std::string("28 of 29 files are complete.\n")},
  };
  for (const Case& c : cases) {
    std::map<std::string, Bytes> earlier;
    const auto setup = [&] {
      ClearWork();
      if (c.earlier) earlier = PlantEarlierExtraction(0);
      ASSERT_TRUE(WriteFile(input, c.damaged ? lacking : DemoFile(4)));
    };
    const std::string injections = c.inject(setup);
    setup();
    const Result r =
        Run({input}, Strace(c.on.empty()  ? std::vector<fs::path>{}
                            : c.on == "." ? std::vector<fs::path>{work}
                                          : std::vector<fs::path>{work / c.on},
                            injections));
    EXPECT_EQ(r.status, c.status) << c.what << ": " << injections;
    const bool failed = c.err.find(notWritten) != std::string::npos;
    EXPECT_EQ(
        r.err,
        Console(c.err + (failed ? SummaryLine(c.earlier ? 29 : 28, 0) : "")))
        << c.what;
    const std::string lost = c.damaged ? "MDAT01"
                             : failed  ? "DRIVER01.BIN"
                                       : "";
    EXPECT_EQ(r.out, CreatedLines({lost})) << c.what;
    const auto files = WorkFiles();
    EXPECT_EQ(files.size(), lost.empty() || c.earlier ? 29u : 28u) << c.what;
    if (!lost.empty() && c.earlier) {
      EXPECT_EQ(files.at(lost), earlier.at(lost)) << c.what;
    }
  }
}

TEST_F(TamrekTest, AFileIsReplacedOnlyOnceItsBackupIsMade) {
  // The backup's link fails: the file is not replaced.  Killed between the
  // link and the rename: the old file under its name, and whole as its
  // backup.
  if (WindowsBuild()) GTEST_SKIP() << kWineServerCalls;
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  const fs::path backup = work / "DRIVER01.BIN.~1~";
  for (const bool killed : {false, true}) {
    ClearWork();
    const auto earlier = PlantEarlierExtraction();
    ASSERT_TRUE(WriteFile(input, DemoFile(4)));
    RunOptions options =
        killed ? Strace({work / "DRIVER01.BIN.tmp0"}, "rename:signal=KILL")
               : Strace({backup}, "linkat:error=EIO");
    options.endsBySignal = killed;
    const Result r = Run({input}, options);
    EXPECT_EQ(ReadAll(work / "DRIVER01.BIN"), earlier.at("DRIVER01.BIN"));
    if (killed) {
      EXPECT_EQ(r.signal, SIGKILL);
      EXPECT_EQ(ReadAll(backup), earlier.at("DRIVER01.BIN"));
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
              "DRIVER01.BIN could not be written: its file cannot be kept as "
              "a backup: an input/output error.\n");
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(ReadAll(work / "MDAT01"), ExpectedFile(kPlan[1]));
  }
}

TEST_F(TamrekTest, ATemporaryFileThatCannotBeRemovedIsNamedAndGivenUp) {
  // LDAT01's temporary name, taken to replace an earlier file, can neither
  // be renamed nor removed; a signal after its lines finds nothing to
  // remove: it is no longer the run's.
  if (WindowsBuild()) GTEST_SKIP() << kWineServerCalls;
  if (!StraceRuns()) GTEST_SKIP() << "strace cannot run here";
  const auto earlier = PlantEarlierExtraction(0);
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  const fs::path temporary = work / "LDAT01.tmp0";
  // The second write on these names is the second line on standard error.
  RunOptions options =
      Strace({temporary, root / "stderr"},
             "rename:error=EIO -e inject=unlink:error=EACCES:when=1 -e "
             "inject=write:signal=SIGTERM:when=2");
  options.endsBySignal = true;
  const Result r = Run({input}, options);
  EXPECT_EQ(r.signal, SIGTERM);
  EXPECT_EQ(r.err, Console("LDAT01 could not be written: an input/output "
                           "error.\nLDAT01.tmp0 could not be removed: "
                           "permission denied.\n"));
  EXPECT_EQ(ReadAll(temporary), ExpectedFile(kPlan[8]));
  EXPECT_EQ(ReadAll(work / "LDAT01"), earlier.at("LDAT01"));
}

TEST_F(TamrekTest, AFullDiskIsNamedAndCostsNoFile) {
  // A 40 KiB file system holds ten of the files.  Mounting it needs root.
  const fs::path small = root / "small";
  fs::create_directories(small);
  if (geteuid() != 0 ||
      mount("tmpfs", small.c_str(), "tmpfs", 0, "size=40k") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  struct Unmount {
    fs::path at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{small};
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  RunOptions options;
  options.directory = small;
  const std::string full = " could not be written: the disk is full.\n";
  // Into an empty one: the files that fit, then a line each for the rest.
  Result r = Run({input}, options);
  EXPECT_EQ(r.status, 1);
  const std::size_t created = std::count(r.out.begin(), r.out.end(), '\n');
  EXPECT_GT(created, 0u);
  EXPECT_LT(created, 29u);
  std::string failed;
  for (std::size_t i = 0; i < 29; ++i) {
    const PlanRow& row = kPlan[i];
    if (i >= created) failed += row.name + full;
    std::error_code error;
    EXPECT_EQ(fs::exists(small / row.name, error), i < created) << row.name;
    if (i < created) {
      EXPECT_EQ(ReadAll(small / row.name), ExpectedFile(row));
    }
  }
  EXPECT_EQ(r.out, CreatedLines().substr(0, r.out.size()));
  EXPECT_EQ(r.err, Console(failed + SummaryLine(static_cast<int>(created), 0)));
  // Over those files, on the disk that has no room left: the files there
  // already are what they would be, the others cannot be written.
  std::map<std::string, Bytes> before;
  for (const auto& e : fs::directory_iterator(small)) {
    before[e.path().filename().string()] = ReadAll(e.path());
  }
  r = Run({input}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, CreatedLines().substr(0, r.out.size()));
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), created);
  EXPECT_EQ(r.err, Console(failed + SummaryLine(static_cast<int>(created), 0)));
  std::map<std::string, Bytes> after;
  for (const auto& e : fs::directory_iterator(small)) {
    after[e.path().filename().string()] = ReadAll(e.path());
  }
  EXPECT_TRUE(after == before) << "a file was changed or left behind";
}

TEST_F(TamrekTest, FailedWritesKeepEarlierContentAndLeaveNoTemporaries) {
  if (WindowsBuild()) GTEST_SKIP() << "a file-size limit kills the Wine server";
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  ASSERT_TRUE(WriteFile((work / "MDAT05").string(), Bytes(7, 0x99)));
  // 2000 bytes: files of 2050 bytes and more fail part-way, smaller ones fit.
  RunOptions options;
  options.fileSizeLimit = 2000;
  const Result r = Run({input}, options);
  EXPECT_EQ(r.status, 1);
  std::string created, failed;
  for (const PlanRow& row : kPlan) {
    (row.length <= 2000 ? created : failed) +=
        std::string(row.name) +
        (row.length <= 2000
             ? " is created.\n"
             : " could not be written: the file is too large.\n");
  }
  EXPECT_EQ(r.out, Console(created));
  EXPECT_EQ(
      r.err,
      Console(failed + SummaryLine(static_cast<int>(std::count(
                                       created.begin(), created.end(), '\n')),
                                   0)));
  EXPECT_EQ(ReadAll(work / "MDAT05"), Bytes(7, 0x99));
  for (const auto& [name, content] : WorkFiles()) {
    bool planned = false;
    for (const PlanRow& row : kPlan) {
      if (name == row.name) {
        planned = true;
        if (row.length <= 2000) {
          EXPECT_EQ(content, ExpectedFile(row)) << name;
        }
      }
    }
    EXPECT_TRUE(planned) << "left behind: " << name;
  }
}

TEST_F(TamrekTest, UnwritableDirectoryFailsEveryEntry) {
  if (WindowsBuild()) GTEST_SKIP() << "another user has no Wine prefix";
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  RunOptions options;
  RunAsNobody(&options);
  fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  const Result r = Run({input}, options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  std::string failed;
  for (const PlanRow& row : kPlan) {
    failed +=
        std::string(row.name) + " could not be written: permission denied.\n";
  }
  EXPECT_EQ(r.err,
            Console(failed + std::string("0 of 29 files are complete.\n")));
  EXPECT_TRUE(WorkFiles().empty());

  // A folder of the user's own that may be written but not listed
  // (d-wx------): its files are replaced, and that it cannot be opened to
  // be flushed is no failure.
  if (geteuid() != 0) return;
  fs::permissions(work, fs::perms::owner_all);
  PlantEarlierExtraction(0);
  for (const auto& e : fs::directory_iterator(work)) {
    ASSERT_EQ(lchown(e.path().c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(chown(work.c_str(), 65534, 65534), 0);
  fs::permissions(work, fs::perms::owner_write | fs::perms::owner_exec);
  const Result unlisted = Run({input}, options);
  fs::permissions(work, fs::perms::owner_all);
  EXPECT_EQ(unlisted.status, 0);
  EXPECT_EQ(unlisted.out, CreatedLines());
  EXPECT_EQ(unlisted.err, "");
  ExpectEveryFileWhole();
  // There, no lock can be held, and the listing gives no entry kinds: a
  // damaged dump writes nothing it would have to record, and a map that is
  // a link is not read through it.
  const std::string map = "tamrek-map 2\nMDAT01 00000000 changed\n";
  ASSERT_TRUE(WriteFile((root / "elsewhere.map").string(),
                        Bytes(map.begin(), map.end())));
  fs::create_symlink(root / "elsewhere.map", work / "tamrek.map");
  ASSERT_EQ(lchown((work / "tamrek.map").c_str(), 65534, 65534), 0);
  ASSERT_TRUE(WriteFile(input, DamagedDump({{"MDAT01", 2, Damage::kMissing}})));
  fs::permissions(work, fs::perms::owner_write | fs::perms::owner_exec);
  const Result damaged = Run({input}, options);
  fs::permissions(work, fs::perms::owner_all);
  EXPECT_EQ(damaged.status, 1);
  EXPECT_EQ(damaged.err.substr(0, damaged.err.find("MDAT01 has")),
            "tamrek.map cannot be read and is left as it is: it is a link.\n"
            "This folder cannot be locked against another tamrek run (it "
            "cannot be opened: permission denied); files not read cleanly "
            "are not written, and tamrek.map is left as it is.\n");
  EXPECT_TRUE(fs::is_symlink(work / "tamrek.map"));
  fs::remove(work / "tamrek.map");
  ExpectEveryFileWhole();
}

TEST_F(TamrekTest, ANamedPipeIsReadOnceAndNeverWaitedOnAgain) {
  // Its writer gone once it is read, a FIFO opened again would wait for
  // ever: the header check leaves it alone.
  if (WindowsBuild()) GTEST_SKIP() << "Wine opens a FIFO in its server";
  const fs::path fifo = root / "disks.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const Bytes disks = DemoFile(4);
  RunOptions options;
  options.timeLimitSeconds = 60;
  options.whileRunning = [&](pid_t, int) {
    const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (std::size_t done = 0; done < disks.size();) {
      const ssize_t n = write(fd, disks.data() + done, disks.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    close(fd);
  };
  const Result r = Run({fifo.string()}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  ExpectEveryFileWhole();
}

TEST_F(TamrekTest, PipedInputReadsLikeAFileUpTo256MiB) {
  if (WindowsBuild()) GTEST_SKIP() << "Wine opens /dev/stdin in its server";
  const Bytes disks = DemoFile(4);
  const auto feed = [](const Bytes& bytes, std::size_t total) {
    return [&bytes, total](pid_t, int fd) {
      // A pipe of 1 MiB, not 64 KiB: a sixteenth of the turns between the
      // two ends.
      fcntl(fd, F_SETPIPE_SZ, 1 << 20);
      for (std::size_t done = 0; done < total;) {
        const std::size_t at = done % bytes.size();
        const ssize_t n = write(fd, bytes.data() + at,
                                std::min(bytes.size() - at, total - done));
        if (n <= 0) break;  // the tool stopped reading
        done += static_cast<std::size_t>(n);
      }
    };
  };
  signal(SIGPIPE, SIG_IGN);
  RunOptions options;
  options.whileRunning = feed(disks, disks.size());
  Result r = Run({"/dev/stdin"}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, CreatedLines());
  EXPECT_EQ(r.err, "");
  ExpectEveryFileWhole();
  // Exactly 256 MiB is read; one byte more is refused, as a file that
  // cannot be opened, and so is a device that never ends.
  for (const std::size_t extra : {0, 1}) {
    ClearWork();
    options.whileRunning = feed(disks, (std::size_t{256} << 20) + extra);
    r = Run({"/dev/stdin"}, options);
    EXPECT_EQ(r.status, extra) << extra;
    EXPECT_EQ(r.out, extra == 0 ? CreatedLines() : "") << extra;
    EXPECT_EQ(r.err, extra == 0 ? "" : Console(kOpenFailure)) << extra;
  }
  signal(SIGPIPE, SIG_DFL);
  ClearWork();
  r = Run({"/dev/zero"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Console(kOpenFailure));
  EXPECT_TRUE(WorkFiles().empty());
}

TEST_F(TamrekTest, LostStandardOutputIsReportedAfterEveryFileIsWritten) {
  // Closed, full, or a pipe whose reader has gone (tamrek | head -1).
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  const std::string lost = Console("Standard output could not be written.\n");
  for (const Streams streams :
       {Streams::kClosedOut, Streams::kFullOut, Streams::kGoneOut}) {
    if (streams == Streams::kGoneOut && WindowsBuild()) continue;  // no pipe
    ClearWork();
    RunOptions options;
    options.streams = streams;
    Result r = Run({input}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, lost);
    ExpectEveryFileWhole();
    for (const char* option : {"--help", "--version"}) {
      r = Run({option}, options);
      EXPECT_EQ(r.status, 1) << option;
      EXPECT_EQ(r.err, lost) << option;
    }
  }
}

// ---- Console ----

TEST_F(TamrekTest, JapaneseLinesAreUtf8OnlyOnAUtf8Terminal) {
  const std::string absent = (root / "absent.d88").string();
  RunOptions options;
  options.environment = {"LC_ALL=", "LC_CTYPE=", "LANG=C.UTF-8"};
  // Redirected, the lines are the Shift_JIS bytes whatever the locale.
  EXPECT_EQ(Run({}, options).err, Console(kUsage));
  EXPECT_EQ(Run({absent}, options).err, Console(kOpenFailure));
  // On a terminal they are UTF-8 text.  A Linux terminal ends its lines in
  // CR LF; Wine's console adds its own control sequences around the text,
  // and the program, in a console of its own, waits for Enter.
  options.streams = Streams::kTerminal;
  options.awaited = WindowsBuild() ? "Press Enter" : "";
  options.typed = "\r";
  options.holdSeconds = 2;  // Wine's console drops what comes before its read
  const std::string usage = "Usage: tamrek.exe [d88file(シナリオディスク)]";
  const std::string openFailure = "ファイルをオープンできません.";
  Result r = Run({}, options);
  EXPECT_EQ(r.status, 1);
  if (WindowsBuild()) {
    EXPECT_NE(r.out.find(usage), std::string::npos) << r.out;
    EXPECT_NE(Run({absent}, options).out.find(openFailure), std::string::npos);
    return;
  }
  EXPECT_EQ(r.out, usage + "\r\n");
  EXPECT_EQ(Run({absent}, options).out, openFailure + "\r\n");
  // A UTF-8 locale that is not installed here is known by its name.
  options.environment.back() = "LANG=xx_XX.utf8";
  EXPECT_EQ(Run({}, options).out, usage + "\r\n");
  // A terminal whose locale is not UTF-8 gets the bytes.
  options.environment.back() = "LANG=C";
  EXPECT_EQ(Run({}, options).out, kUsage.substr(0, kUsage.size() - 1) + "\r\n");
}

TEST_F(TamrekTest, FailureWaitsForEnterOnlyInAConsoleOfItsOwn) {
  const std::string prompt = "Press Enter to close this window.";
  RunOptions terminal;
  terminal.streams = Streams::kTerminal;
  terminal.timeLimitSeconds = 30;
  if (!WindowsBuild()) {  // a terminal is never a window that closes
    const Result r = Run({}, terminal);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Usage: tamrek.exe"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(prompt), std::string::npos) << r.out;
    return;
  }
  // On a terminal Wine gives the program a console of its own, as Explorer
  // does: after a failure it prompts and waits; after success it does not.
  RunOptions own = terminal;
  own.awaited = prompt;
  own.typed = "\r";
  own.holdSeconds = 3;
  Result r = Run({}, own);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.heldOn) << "did not wait for Enter";
  const std::size_t usage = r.out.find("Usage: tamrek.exe");
  EXPECT_NE(usage, std::string::npos) << r.out;
  EXPECT_GT(r.out.find(prompt), usage) << r.out;
  ASSERT_TRUE(WriteFile(input, DemoFile(4)));
  r = Run({input}, terminal);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find(prompt), std::string::npos) << r.out;
  // In a console that cmd shares, or with no console, it never waits.
  const std::vector<std::string> wine = ToolCommand();  // wine, then the exe
  RunOptions shared = terminal;
  shared.tool = "cmd";
  r = Run({"/c", wine.back()}, shared);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Usage: tamrek.exe"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(prompt), std::string::npos) << r.out;
  RunOptions onePipe;
  onePipe.streams = Streams::kOnePipe;
  onePipe.timeLimitSeconds = 30;
  r = Run({}, onePipe);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, Console(kUsage));
}

}  // namespace
}  // namespace e2e
