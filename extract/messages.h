// The console messages of the extraction run, as exact bytes.  The Japanese
// texts are Shift_JIS (code page 932), the bytes written to a file or a
// pipe; each has a UTF-8 twin with the same text, shown on a terminal that
// displays UTF-8.  All are written as escapes so that the bytes do not
// depend on the encoding of this source file.

#ifndef TAMREK_EXTRACT_MESSAGES_H_
#define TAMREK_EXTRACT_MESSAGES_H_

// Standard error, for a wrong command line (no file, a wrong --disk):
// "Usage: tamrek.exe [d88file(シナリオディスク)]\n", 46 bytes.
constexpr char kUsageMessage[] =
    "Usage: tamrek.exe [d88file("
    "\x83\x56\x83\x69\x83\x8A\x83\x49\x83\x66\x83\x42\x83\x58\x83\x4E"
    ")]\n";
constexpr char kUsageMessageUtf8[] =
    "Usage: tamrek.exe [d88file("
    "\xE3\x82\xB7\xE3\x83\x8A\xE3\x83\xAA\xE3\x82\xAA"
    "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF"
    ")]\n";

// Standard error, when the D88 file cannot be opened:
// "ファイルをオープンできません.\n" ("cannot open the file."), 30 bytes.
constexpr char kOpenFailureMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
    "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1.\n";
constexpr char kOpenFailureMessageUtf8[] =
    "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x82\x92"
    "\xE3\x82\xAA\xE3\x83\xBC\xE3\x83\x97\xE3\x83\xB3\xE3\x81\xA7"
    "\xE3\x81\x8D\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93.\n";

// The ASCII lines, the same bytes everywhere.

// Standard output, once an output file is in place under its name.
constexpr char kCreatedFormat[] = "%s is created.\n";

// Standard error, when fewer bytes than the entry's length could be read:
// output name, bytes read, entry length.
constexpr char kIncompleteFormat[] =
    "%s is incomplete: %d of %d bytes could be read.\n";

// Standard error, once per sector of an entry whose header records that the
// drive could not read it correctly when the disk was dumped: output name,
// the sector's disk, cylinder, head and sector number, its status byte.
constexpr char kReadErrorFormat[] =
    "%s holds a sector recorded with a read error: disk %d, cylinder %d, "
    "head %d, sector %d, status 0x%02X.\n";

// Standard error, once per piece of an entry (a sector's share of the file)
// that could not be read in full, in read order with the read-error lines:
// output name, the sector's disk, cylinder, head and sector number, the
// bytes read and the piece's length.
constexpr char kNotReadInFullFormat[] =
    "%s has a sector that could not be read in full: disk %d, cylinder %d, "
    "head %d, sector %d, %d of %d bytes.\n";

// Standard error, first, for each file given whose first header cannot be
// that of a D88 disk image: its name, and why.  The run goes on.
constexpr char kNotD88Format[] = "%s is not a D88 image: %s.\n";

// Standard error, first, for each file given none of whose images is read:
// the files before it hold the four disks already.
constexpr char kUnusedFileFormat[] =
    "%s is not read: the files before it hold all four disks.\n";

// Standard error, first, when the files given hold one to three disk
// images (and no --disk): how many, the disks they are read as ("0", "0
// and 1", "0 to 2"), and how to give one file per floppy.
constexpr char kFewerDisksFormat[] =
    "The files given hold %d disk image%s, read as disk%s %s; to give one "
    "file per floppy, name all four in disk order, or one with --disk N.\n";

// Standard error, before the first entry of a disk that the file does not
// hold: the disk's number.  Its entries get no per-sector lines.
constexpr char kDiskMissingFormat[] = "Disk %d is not in the file.\n";

// Standard error, before the lines about an output file, for each regular
// file beside it under one of the temporary names a write uses (NAME.tmp0 to
// NAME.tmp99), which a run that was killed may have left: its name.  It is
// never removed: it may be someone's.
constexpr char kLeftoverFormat[] =
    "%s is left from an earlier run; delete it if it is not yours.\n";

// Standard error, before the lines about an output file of the plan's
// length that tamrek.map does not know: another program wrote it, or it
// was copied there, since the map was written.  It is kept as it is, never
// merged with, counted as incomplete, and replaced only by a file read
// cleanly: output name.
constexpr char kMapChangedFormat[] =
    "%s has changed since tamrek.map was written; nothing is known of how it "
    "was read, so only a clean read replaces it.\n";

// Standard error, before the lines about an output file, for a temporary
// file beside it that a killed run of tamrek left and that tamrek.map
// records: it now takes the name, as that run meant (output name, the
// temporary name)...
constexpr char kResumedFormat[] =
    "%s is put in place from %s, which an interrupted run left.\n";
// ...or, where the name holds a file that knows as much, it is removed
// (the temporary name, output name).
constexpr char kDiscardedFormat[] =
    "%s, which an interrupted run left, is removed: %s holds as much.\n";

// Standard error, before the created line of an entry that was not read
// cleanly and was merged with the file under its name: output name, the
// bytes now read cleanly, the entry length.
constexpr char kCompletedFormat[] =
    "%s is completed from the file it replaces: %d of %d bytes are known.\n";

// Standard error, before the created line of an entry read in full and
// cleanly that replaces a file of its length holding other bytes where that
// file was read cleanly: output name, the sectors that differ, the entry's
// sectors.
constexpr char kReplacesDifferentFormat[] =
    "%s replaces a file that differed from this image in %d of its %d "
    "sectors.\n";

// The same, where the file replaced is kept as a numbered backup, as it is
// wherever it held sectors read cleanly that differ, or bytes of unknown
// history: output name, the sectors, the entry's sectors, the backup's
// name (NAME.~N~).
constexpr char kReplacesKeptFormat[] =
    "%s replaces a file that differed from this image in %d of its %d "
    "sectors; that file is kept as %s.\n";

// Standard error, instead of the created line, when an entry that was not
// read cleanly finds a file under its name that holds other bytes in
// sectors that both read cleanly, and leaves it as it was: output name, and
// at most three sectors ("disk D, cylinder C, head H, sector R", joined by
// "; "), followed by " (and N more)" when there are more.
constexpr char kDiffersFormat[] =
    "%s already exists and differs from this image in sectors both read "
    "cleanly: %s; it is kept as it was.\n";

// Standard error, instead of the created line, when an entry not read
// cleanly finds something else under its name, or adds nothing to the file
// there, and leaves it as it was.
constexpr char kKeptFormat[] = "%s already exists and is kept as it was.\n";

// Standard error, when an output file could not be created, written in full,
// flushed or put in place: output name, and why, in plain English, lower case
// ("the disk is full").
constexpr char kNotWrittenFormat[] = "%s could not be written: %s.\n";

// Standard error, when a temporary file could not be removed after a
// failure, or tamrek.map once every file is complete: its name, and why.
constexpr char kNotRemovedFormat[] = "%s could not be removed: %s.\n";

// The cause in a could-not-be-written line of a file not read cleanly when
// the rescue map cannot be read or written: placed without its lines, the
// file would pass for one read cleanly.
constexpr char kNotRecordableCause[] =
    "its sectors cannot be recorded in tamrek.map";

// Standard error, before the first file's lines, when tamrek.map cannot be
// read: why.  The run then records nothing and leaves the map as it is.
constexpr char kMapUnreadableFormat[] =
    "tamrek.map cannot be read and is left as it is: %s.\n";

// Standard error, before the first file's lines, when the folder cannot be
// locked against another run and this run would record anything: why.
// Files not read cleanly are then not written, and the map is left as it
// is, since another run could change the folder under this one.
constexpr char kNoLockFormat[] =
    "This folder cannot be locked against another tamrek run (%s); files not "
    "read cleanly are not written, and tamrek.map is left as it is.\n";

// Standard error, before the first file's lines, when another run holds the
// working directory; this run then waits for it.
constexpr char kFolderBusyMessage[] =
    "Another tamrek run is using this folder; this one waits for it to "
    "end.\n";

// Standard error, last, after a run in which a file was not read cleanly,
// was not put in place, or the folder is not complete: the files complete
// in the folder, the plan's files and the sectors tamrek.map lists...
constexpr char kSummaryFormat[] =
    "%d of %d files are complete; tamrek.map lists the %d sector%s still to "
    "be read.\n";
// ...or, where the map lists none or cannot be read, the complete files and
// the plan's...
constexpr char kSummaryShortFormat[] = "%d of %d files are complete.\n";
// ...or, when every file is complete: the plan's files.
constexpr char kAllCompleteFormat[] = "All %d files are complete.\n";

// Standard error, when the working directory could not be flushed to the
// disk after files in it were replaced: why.
constexpr char kDirectoryNotFlushedFormat[] =
    "The working directory could not be flushed to the disk: %s.\n";

// Standard error, at the end of a run in which a line could not be written
// to standard output (closed, a full device, an I/O error).
constexpr char kOutputFailedMessage[] =
    "Standard output could not be written.\n";

// Standard output, for --test, once an entry has been read in full and
// without a recorded read error, where the extraction would have written
// it: output name.
constexpr char kCompleteFormat[] = "%s is complete.\n";

// Standard output, for --list.  First how many disk images the file holds.
// Before a file's lines, when several files are given: its name.
constexpr char kListFileFormat[] = "%s:\n";
constexpr char kListNoImages[] = "The file holds no disk image.\n";
constexpr char kListImageCountFormat[] = "The file holds %d disk image%s.\n";
// Then one line per image: its index, its name (printable ASCII, other
// bytes as \xHH), media type, disk size, the tracks present, and the
// scenario disk it serves ("scenario disk N" or "not used").
constexpr char kListImageFormat[] =
    "Image %d: name \"%s\", media type 0x%02X, %u bytes, %d track%s, %s.\n";
// After an image's line, when its size runs past the end of the file: the
// image's index, the bytes it lacks.
constexpr char kListPastEndFormat[] =
    "Image %d ends %lld bytes past the end of the file.\n";
constexpr char kListUnreadableImageFormat[] =
    "Image %d: its header cannot be read, %s.\n";
// Per scenario disk, before its layout: the disk, the image and the file
// that serve it.
constexpr char kListDiskSourceFormat[] = "Scenario disk %d: image %d of %s.\n";
// Then, per scenario disk (or the missing-disk line), the tracks the plan
// reads that are not laid out as it reads them, with the IDs they hold, or
// one line that says all are.
constexpr char kListLayoutGoodFormat[] =
    "Disk %d: every track the plan reads holds sectors 1 to 10 of 512 "
    "bytes.\n";
constexpr char kListTrackAbsentFormat[] =
    "Disk %d: track %d (cylinder %d, head %d) is absent.\n";
constexpr char kListTrackEmptyFormat[] =
    "Disk %d: track %d (cylinder %d, head %d) holds no sector.\n";
constexpr char kListTrackFormat[] =
    "Disk %d: track %d (cylinder %d, head %d) holds C/H/R/N%s.\n";
// After them, per scenario disk: how many of the sectors the plan reads
// from it are recorded with a read error, of how many.
constexpr char kListReadErrorsFormat[] =
    "Disk %d: %d of the %d sectors the plan reads are recorded with a read "
    "error.\n";
// Last the plan: output name, disk, cylinder, head, first sector, length.
constexpr char kListEntryFormat[] =
    "%s: disk %d, cylinder %d, head %d, sector %d, %d bytes.\n";

// Standard output, after the usage line, for --help: what the tool does,
// where its files go, what its statuses mean and where to read more.
constexpr char kHelpText[] =
    "\n"
    "  tamrek A.d88 B.d88 C.d88 D.d88   one D88 file per floppy, in disk "
    "order\n"
    "  tamrek scenario.d88              one D88 file that holds all four\n"
    "  tamrek --disk N FILE.d88         a new dump of disk N alone\n"
    "\n"
    "Extracts the 29 data files of the four scenario disks, the images of the\n"
    "files given in order, and writes them into the current working\n"
    "directory: DRIVER01.BIN and MDAT01 to MDAT07 from disk 0, LDAT01 to\n"
    "LDAT12 from disk 1, NDAT01 to NDAT04 from disk 2 and PDAT01 to PDAT05\n"
    "from disk 3.  Prints one line per file.  A file read cleanly that\n"
    "replaces a different one keeps it as a backup, NAME.~1~.\n"
    "\n"
    "Exit status: 0 when all 29 files were read in full and written; 1 for a\n"
    "wrong command line or an input that cannot be opened (no file is\n"
    "written), or when some file was incomplete, held a sector recorded with\n"
    "a read error, was kept as it was or could not be written (the line says\n"
    "why), or when standard output could not be written.  A run ended by a\n"
    "signal removes the file it is writing and ends with 128 plus the\n"
    "signal's number: 129 SIGHUP, 130 SIGINT (Ctrl-C), 131 SIGQUIT, 138\n"
    "SIGUSR1, 140 SIGUSR2, 142 SIGALRM, 143 SIGTERM; on Windows, a run ended\n"
    "by Ctrl-C, Ctrl-Break or a closed window with 0xC000013A.  A run killed\n"
    "outright leaves no temporary file where the system can write a file\n"
    "unnamed (Linux) or have it deleted with its process (Windows).\n"
    "\n"
    "Damaged dumps run one after the other in one folder add up, in any\n"
    "order: a better read of a sector replaces a worse one, never the other\n"
    "way, and tamrek.map in the folder lists the sectors that no dump has\n"
    "yet read cleanly until every file is complete; the last line says how\n"
    "many are.\n"
    "\n"
    "Options:\n"
    "  --disk N FILE         FILE is disk N (0 to 3) alone: only its files\n"
    "                        are read and placed\n"
    "  --list FILE..., -l    show the disk images the files hold, in order,\n"
    "                        the tracks the plan reads that are not laid out\n"
    "                        as it reads them, and the plan; write no file\n"
    "  --test FILE..., -t    read the whole plan and say which files the\n"
    "                        dumps give in full and without read errors;\n"
    "                        write no file; status 0 when all are complete\n"
    "  --help, -h            show this help and exit (also /? on Windows)\n"
    "  --version             show the version and exit\n"
    "--list or --test come first, then --disk N, then the files.  A file\n"
    "named like an option is reached as ./--help.\n"
    "\n"
    "More: man tamrek, and the README.\n";

// Standard output, for --version: the version line, then the copyright and
// licence lines.
constexpr char kVersionFormat[] =
    "tamrek %s\n"
    "%s\n"
    "License: MIT.  This is free software: you are free to change and\n"
    "redistribute it.  There is NO WARRANTY, to the extent permitted by law.\n";

// Standard error, after a failed run whose console window would close when
// the program exits (started from Explorer), before waiting for Enter.
constexpr char kPressEnterMessage[] = "Press Enter to close this window.\n";

static_assert(sizeof kUsageMessage - 1 == 46, "usage line is 46 bytes");
static_assert(sizeof kOpenFailureMessage - 1 == 30,
              "open-failure line is 30 bytes");

#endif  // TAMREK_EXTRACT_MESSAGES_H_
