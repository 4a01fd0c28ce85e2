// The extraction run.  See extraction_run.h.

#include "extract/extraction_run.h"

#include <cstdio>
#include <string>
#include <vector>

#include "disk_image/d88_image.h"
#include "extract/console.h"
#include "extract/entry_read.h"
#include "extract/extraction_plan.h"
#include "extract/listing.h"
#include "extract/messages.h"
#include "extract/output_folder.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace {

// The bytes the run reads from the D88 file at a time: a 2DD disk's header
// and every track the plan reads from it come in one read, so that the run
// reads each disk once (more system calls, for less copying, below that).
constexpr std::int32_t kReadWindow = 1 << 20;

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

// Runs the plan on the file open in `image`: reads every file, then, unless
// `mode` is kTest, puts them into the working folder, writing the lines
// about each.  Returns the run's status before the standard output check.
int RunPlan(D88Image* image, const char* inputPath, Mode mode,
            Console* console) {
  const std::vector<PlanFile>& plan = PlanFiles();
  std::vector<Dumped> reads(plan.size());
  std::vector<DumpedFile> files(plan.size());
  bool clean = true;
  std::int32_t disk = -1;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const PlanFile& file = plan[i];
    if (file.disk != disk) {
      disk = file.disk;
      reads[i].firstOfDisk = true;
      image->SelectImage(disk);
    }
    reads[i].diskPresent = disk < image->GetImageCount();
    files[i].file = i;
    KnownFile& known = files[i].read;
    known.bytes.resize(static_cast<std::size_t>(file.entry.length));
    reads[i].read = ReadEntry(image, file, known.bytes.data());
    for (const Piece& piece : reads[i].read.pieces) {
      known.pieces.push_back(piece.State());
    }
    clean = clean && reads[i].read.Clean();
  }
  const auto report = [&](std::size_t i) {
    ReportRead(console, plan[i], reads[i]);
  };
  if (mode == Mode::kTest) {
    for (std::size_t i = 0; i < plan.size(); ++i) {
      report(i);
      if (reads[i].read.Clean()) {
        console->Out(kCompleteFormat, plan[i].name.c_str());
      }
    }
    return clean ? 0 : 1;
  }
  const bool placed =
      PutFiles(&platform::WorkingFolder(), inputPath, files, report, console);
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
  D88Image image(kReadWindow);
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
  Mode mode = Mode::kExtract;
  const bool list = option == "--list" || option == "-l";
  const bool test = option == "--test" || option == "-t";
  if (argc == 3 && list) {
    mode = Mode::kList;
  } else if (argc == 3 && test) {
    mode = Mode::kTest;
  } else if (argc != 2 || list || test) {
    console.ErrText(kUsageMessage, kUsageMessageUtf8);
    return 1;
  }
  const char* inputPath = argv[argc - 1];
  if (!image.Open(inputPath)) {
    console.ErrText(kOpenFailureMessage, kOpenFailureMessageUtf8);
    return 1;
  }
  if (mode == Mode::kList) {
    ListImage(&image, &console);
    return Finish(&console, 0);
  }
  return Finish(&console, RunPlan(&image, inputPath, mode, &console));
}
