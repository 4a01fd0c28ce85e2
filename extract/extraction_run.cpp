// The extraction run.  See extraction_run.h.

#include "extract/extraction_run.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "disk_image/buffered_file.h"
#include "disk_image/d88_image.h"
#include "extract/console.h"
#include "extract/disk_set.h"
#include "extract/entry_read.h"
#include "extract/extraction_plan.h"
#include "extract/listing.h"
#include "extract/messages.h"
#include "extract/output_folder.h"
#include "platform/file_system.h"
#include "platform/input_file.h"
#include "platform/process.h"

namespace {

// The bytes the run reads from the D88 file at a time: the reader's own
// 64 KiB.  A window that took a disk's every track in one read (1 MiB) made
// fewer system calls but copied 6 MiB for 70 KB of files, and cost more CPU
// time than the calls it saved (docs/performance.md).
constexpr std::int32_t kReadWindow = BufferedFile::kDefaultWindowSize;

// One file of the plan as this dump gave it, with what the lines about its
// read need.
struct Dumped {
  EntryRead read;
  bool diskPresent = false;  // the file holds the file's disk
  bool firstOfDisk = false;  // the first file read from its disk
};

// Writes the lines about what `read` could not read cleanly, in read order:
// a sector recorded with a read error, and, unless the entry's disk is not
// in the file at all, a piece not read in full; then whether the file is
// incomplete.
void ReportRead(Console* console, const PlanFile& file, const Dumped& dumped) {
  const char* name = file.name.c_str();
  if (!dumped.diskPresent && dumped.firstOfDisk) {
    console->Err(kDiskMissingFormat, file.disk);
  }
  for (const Piece& piece : dumped.read.pieces) {
    const PlanSector& at = piece.plan.at;
    if (piece.readError) {
      console->Err(kReadErrorFormat, name, file.disk, at.c, at.h, at.r,
                   unsigned{piece.status});
    }
    if (!piece.Full() && dumped.diskPresent) {
      console->Err(kNotReadInFullFormat, name, file.disk, at.c, at.h, at.r,
                   piece.got, piece.plan.length);
    }
  }
  if (!dumped.read.Complete()) {
    console->Err(kIncompleteFormat, name, dumped.read.got, file.entry.length);
  }
}

// What the command line asks for.
enum class Mode { kExtract, kList, kTest };

struct CommandLine {
  Mode mode = Mode::kExtract;
  int disk = -1;  // --disk N: the one disk the file is
  std::vector<std::string> inputs;
};

// Parses the arguments after the program's name: --list or --test, then
// --disk N, then one or more files (one with --disk); an option is one only
// in its place, and any later word is a file.  Returns false for a command
// line that is none of those.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* line) {
  int at = 1;
  if (at < argc) {
    const std::string option = argv[at];
    if (option == "--help" || option == "-h" || option == "--version") {
      return false;  // options only when alone
    }
    if (option == "--list" || option == "-l") {
      line->mode = Mode::kList;
      ++at;
    } else if (option == "--test" || option == "-t") {
      line->mode = Mode::kTest;
      ++at;
    }
  }
  if (at < argc && std::string(argv[at]) == "--disk") {
    const std::string number = at + 1 < argc ? argv[at + 1] : "";
    if (number.size() != 1 || number[0] < '0' ||
        number[0] >= '0' + kScenarioDisks) {
      return false;
    }
    line->disk = number[0] - '0';
    at += 2;
  }
  for (; at < argc; ++at) line->inputs.push_back(argv[at]);
  return !line->inputs.empty() && (line->disk < 0 || line->inputs.size() == 1);
}

// "0", "0 and 1", "0 to 2": the disks of the first `count`.
std::string FirstDisks(std::int32_t count) {
  if (count == 1) return "0";
  if (count == 2) return "0 and 1";
  return "0 to " + std::to_string(count - 1);
}

// The lines about the files given, before any other: each that is not a
// D88 image, each none of whose images is read, and, when they are D88
// images that hold fewer disks than the plan reads, how many and how to
// give them.
void ReportInputs(const DiskSet& set, Console* console) {
  bool allD88 = true;
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    const D88Image& image = *set.files[i];
    const std::string& path = set.paths[i];
    platform::InputFile raw;
    std::uint8_t header[kHeaderBytes];
    std::int64_t got = -1;
    if (raw.OpenRegular(path.c_str())) {
      got = raw.ReadAt(0, header, sizeof header);
    }
    raw.Close();
    const std::int64_t size = image.GetFileSize();
    // Only a header read whole (or the whole of a shorter file) is judged:
    // a pipe read once cannot be read again.
    const std::int64_t want =
        size < 0 ? -1 : std::min<std::int64_t>(size, kHeaderBytes);
    const std::string reason =
        want >= 0 && got == want
            ? NotD88Reason(header, static_cast<std::size_t>(got), size)
            : "";
    if (!reason.empty()) {
      allD88 = false;
      console->Err(kNotD88Format, path.c_str(), reason.c_str());
    } else if (set.only < 0 && image.GetImageCount() > 0 &&
               !set.Serves(static_cast<int>(i))) {
      console->Err(kUnusedFileFormat, path.c_str());
    }
  }
  const std::int32_t count = set.ImageCount();
  // Where a file is no D88 image, its line says what is wrong.
  if (allD88 && set.only < 0 && count > 0 && count < kScenarioDisks) {
    const char* plural = count == 1 ? "" : "s";
    console->Err(kFewerDisksFormat, count, plural, plural,
                 FirstDisks(count).c_str());
  }
}

// Runs the plan on the disks of `set`: reads every file of the disks in
// scope, then, unless `mode` is kTest, puts them into the working folder,
// writing the lines about each.  Returns the run's status before the
// standard output check.
int RunPlan(DiskSet* set, Mode mode, Console* console) {
  const std::vector<PlanFile>& plan = PlanFiles();
  std::vector<Dumped> reads;
  std::vector<DumpedFile> files;
  std::vector<std::size_t> planIndex;
  bool clean = true;
  std::int32_t disk = -1;
  D88Image* image = nullptr;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const PlanFile& file = plan[i];
    if (!set->InScope(file.disk)) continue;
    Dumped dumped;
    if (file.disk != disk) {
      disk = file.disk;
      dumped.firstOfDisk = true;
      image = set->Select(disk);
    }
    dumped.diskPresent = image != nullptr;
    DumpedFile known{i, {}};
    known.read.bytes.resize(static_cast<std::size_t>(file.entry.length));
    if (image != nullptr) {
      dumped.read = ReadEntry(image, file, known.read.bytes.data());
    } else {
      // Nothing to read: every piece missing.
      for (const PlanPiece& piece : file.pieces) {
        dumped.read.pieces.push_back(Piece{piece, 0, 0, false});
      }
    }
    for (const Piece& piece : dumped.read.pieces) {
      known.read.pieces.push_back(piece.State());
    }
    clean = clean && dumped.read.Clean();
    reads.push_back(std::move(dumped));
    files.push_back(std::move(known));
    planIndex.push_back(i);
  }
  const auto report = [&](std::size_t i) {
    ReportRead(console, plan[planIndex[i]], reads[i]);
  };
  if (mode == Mode::kTest) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      report(i);
      if (reads[i].read.Clean()) {
        console->Out(kCompleteFormat, plan[planIndex[i]].name.c_str());
      }
    }
    return clean ? 0 : 1;
  }
  std::vector<std::size_t> outside;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    if (!set->InScope(plan[i].disk)) outside.push_back(i);
  }
  const bool placed = PutFiles(&platform::WorkingFolder(), set->paths, files,
                               outside, report, console);
  return clean && placed ? 0 : 1;
}

// `status`, or 1 after saying so when a line could not be written to
// standard output.
int Finish(Console* console, int status) {
  if (!console->OutFailed()) return status;
  console->Err("%s", kOutputFailedMessage);
  return 1;
}

}  // namespace

int RunExtraction(int argc, const char* const* argv, std::FILE* out,
                  std::FILE* err) {
  Console console(out, err);
  const std::string option = argc >= 2 ? argv[1] : "";
  if (argc == 2 && (option == "--help" || option == "-h" ||
                    platform::IsSystemHelpOption(option))) {
    console.OutText(kUsageMessage, kUsageMessageUtf8);
    console.OutText(kHelpText, kHelpText);
    return Finish(&console, 0);
  }
  if (argc == 2 && option == "--version") {
    console.Out(kVersionFormat, TAMREK_VERSION, TAMREK_COPYRIGHT);
    return Finish(&console, 0);
  }
  CommandLine line;
  if (!ParseCommandLine(argc, argv, &line)) {
    console.ErrText(kUsageMessage, kUsageMessageUtf8);
    return 1;
  }
  platform::OrderInputs(&line.inputs);
  DiskSet set;
  if (set.Open(line.inputs, line.disk, kReadWindow) >= 0) {
    console.ErrText(kOpenFailureMessage, kOpenFailureMessageUtf8);
    return 1;
  }
  ReportInputs(set, &console);
  if (line.mode == Mode::kList) {
    ListDisks(&set, &console);
    return Finish(&console, 0);
  }
  return Finish(&console, RunPlan(&set, line.mode, &console));
}
