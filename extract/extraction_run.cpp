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
#include "extract/merge.h"
#include "extract/messages.h"
#include "extract/placing_pause.h"
#include "platform/platform.h"

namespace {

// Temporary names tried per output file: NAME.tmp0 to NAME.tmp99.
constexpr int kTemporaryNames = 100;

// Every row is read into this buffer from its first byte.
std::uint8_t transferBuffer[kLongestEntry];

// How an output file ended.
enum class Placement {
  kPlaced,     // the file is in place under a name that nothing held
  kReplaced,   // the file is in place, over what the name held, after a flush
  kCompleted,  // merged with the file the name held, and in place over it
  kKept,       // something already held the name and was left as it was
  kDiffers,    // the file under the name disagrees with this image; kept
  kFailed,     // it could not be created, written, flushed, closed or placed
};

struct PlaceResult {
  Placement placement = Placement::kFailed;
  std::string cause;            // why, on kFailed
  std::string leftBehind;       // a temporary file that could not be removed
  std::string leftBehindCause;  // why it could not be removed
  std::int32_t known = 0;       // bytes known, on kCompleted
};

// Puts `size` bytes from `data` into the file `name` in the working
// directory: writes a new temporary file beside it (the first of NAME.tmp0
// to NAME.tmp99 that nothing holds yet), then renames it to `name`.  With
// `mayReplace` the rename replaces what `name` holds, except the file at
// `inputPath` (the file being read), after flushing the new file's data to
// the disk, and, with `expected`, only while `name` still holds that file;
// without it the file is placed only where nothing exists under `name`, in
// one step with that test.  Leaves whatever holds `name` as it was when it
// does not place the file.
PlaceResult PlaceOutputFile(const std::string& name, const std::uint8_t* data,
                            std::size_t size, const char* inputPath,
                            bool mayReplace,
                            const platform::FileIdentity* expected = nullptr) {
  PlaceResult result;
  if (mayReplace && platform::SameFile(name.c_str(), inputPath)) {
    result.cause = "it is the file being read";
    return result;
  }
  // Each temporary file is created new: whatever already holds a name (a
  // user's file, a link planted by someone else) is passed over untouched.
  platform::StagedFile file;
  platform::Status status = platform::Status::NameTaken("");
  for (int attempt = 0; attempt < kTemporaryNames && status.IsNameTaken();
       ++attempt) {
    status = file.Create(name + ".tmp" + std::to_string(attempt));
  }
  if (status.IsNameTaken()) {
    result.cause = "every temporary name from " + name + ".tmp0 to " + name +
                   ".tmp" + std::to_string(kTemporaryNames - 1) + " is taken";
    return result;
  }
  // Only a file that replaces another needs its data on the disk before the
  // rename: otherwise a power cut can leave an empty file where a good one
  // was.  A name that appears or vanishes in the meantime costs at most a
  // flush more or less; it holds no earlier extraction.
  const bool replaces = mayReplace && platform::NameExists(name);
  if (status.IsOk()) status = file.Write(data, size);
  if (status.IsOk() && replaces) status = file.Flush();
  if (status.IsOk()) status = file.Close();
  if (status.IsOk()) {
    PauseBeforePlacing(name);
    if (expected != nullptr && !platform::StillSameFile(name, *expected)) {
      status = platform::Status::NameTaken("");  // merged with what is gone
    } else {
      status = mayReplace ? file.MoveOver(name) : file.MoveToFreeName(name);
    }
  }
  if (status.IsOk()) {
    result.placement = replaces ? Placement::kReplaced : Placement::kPlaced;
  } else {
    result.placement =
        status.IsNameTaken() ? Placement::kKept : Placement::kFailed;
    result.cause = status.Cause();
  }
  const platform::Status removed = file.Discard();
  if (!removed.IsOk()) {
    result.leftBehind = file.Path();
    result.leftBehindCause = removed.Cause();
  }
  return result;
}

// Puts the entry `name`, read as `read` into `data`, in place.  A file read
// cleanly replaces whatever its name holds; any other is placed where
// nothing holds the name, or merged with a file of its length there (see
// merge.h), and otherwise leaves what it finds as it was.
PlaceResult PlaceEntry(const std::string& name, const EntryRead& read,
                       const std::uint8_t* data, std::size_t size,
                       const char* inputPath) {
  if (read.Clean()) {
    return PlaceOutputFile(name, data, size, inputPath, true);
  }
  std::vector<std::uint8_t> existing, merged;
  platform::FileIdentity identity;
  PlaceResult result;
  switch (platform::ReadExistingFile(name, size, &existing, &identity)) {
    case platform::Existing::kNothing:
      return PlaceOutputFile(name, data, size, inputPath, false);
    case platform::Existing::kOther:
      result.placement = Placement::kKept;
      return result;
    case platform::Existing::kRead:
      break;
  }
  const MergeResult merge = MergeWithExisting(read, data, existing, &merged);
  if (merge.outcome != MergeOutcome::kMerged) {
    result.placement = merge.outcome == MergeOutcome::kDisagrees
                           ? Placement::kDiffers
                           : Placement::kKept;
    return result;
  }
  result =
      PlaceOutputFile(name, merged.data(), size, inputPath, true, &identity);
  if (result.placement == Placement::kReplaced) {
    result.placement = Placement::kCompleted;
    result.known = merge.known;
  }
  return result;
}

// Writes the lines about what `read` could not read cleanly, in read order:
// a sector recorded with a read error, and, unless the entry's disk is not
// in the file at all, a piece not read in full.
void ReportRead(Console* console, const std::string& name,
                const EntryRead& read, bool diskPresent) {
  for (const Piece& piece : read.pieces) {
    if (piece.readError) {
      console->Err(kReadErrorFormat, name.c_str(), piece.c, piece.h, piece.r,
                   unsigned{piece.status});
    }
    if (!piece.Full() && diskPresent) {
      console->Err(kNotReadInFullFormat, name.c_str(), piece.c, piece.h,
                   piece.r, piece.got, piece.length);
    }
  }
}

// What the command line asks for.
enum class Mode { kExtract, kList, kTest };

// Runs the plan on the file open in `image`: reads every entry, reports
// what could not be read cleanly and, unless `mode` is kTest, puts each file
// in place.  Returns the run's status before the standard output check.
int RunPlan(D88Image* image, const char* inputPath, Mode mode,
            Console* console) {
  int status = 0;
  int group = -1;
  int number = 0;
  bool diskPresent = false;
  int lastMissingDisk = -1;
  bool replacedAny = false;
  for (const ExtractEntry& entry : kExtractionPlan) {
    if (entry.group != group) {
      group = entry.group;
      number = 0;
      const std::int32_t disk = kExtractGroups[group].disk;
      image->SelectImage(disk);
      image->SetSectorRange(kPlanFirstSector, kPlanLastSector);
      diskPresent = disk < image->GetImageCount();
      // Said once per disk, though two groups may read it.
      if (!diskPresent && disk != lastMissingDisk) {
        console->Err(kDiskMissingFormat, disk);
        lastMissingDisk = disk;
      }
    }
    const std::string name = OutputName(entry, ++number);

    const EntryRead read = ReadEntry(image, entry, transferBuffer);
    ReportRead(console, name, read, diskPresent);
    if (!read.Complete()) {
      console->Err(kIncompleteFormat, name.c_str(), read.got, entry.length);
    }
    if (!read.Clean()) status = 1;
    if (mode == Mode::kTest) {
      if (read.Clean()) console->Out(kCompleteFormat, name.c_str());
      continue;
    }

    const PlaceResult placed =
        PlaceEntry(name, read, transferBuffer,
                   static_cast<std::size_t>(entry.length), inputPath);
    switch (placed.placement) {
      case Placement::kCompleted:
        console->Err(kCompletedFormat, name.c_str(), placed.known,
                     entry.length);
        [[fallthrough]];
      case Placement::kReplaced:
        replacedAny = true;
        [[fallthrough]];
      case Placement::kPlaced:
        console->Out(kCreatedFormat, name.c_str());
        break;
      case Placement::kKept:
        console->Err(kKeptFormat, name.c_str());
        status = 1;
        break;
      case Placement::kDiffers:
        console->Err(kDiffersFormat, name.c_str());
        status = 1;
        break;
      case Placement::kFailed:
        console->Err(kNotWrittenFormat, name.c_str(), placed.cause.c_str());
        status = 1;
        break;
    }
    if (!placed.leftBehind.empty()) {
      console->Err(kNotRemovedFormat, placed.leftBehind.c_str(),
                   placed.leftBehindCause.c_str());
    }
  }
  // The renames that replaced files reach the disk with their directory.
  if (replacedAny) {
    const platform::Status flushed = platform::FlushDirectory(".");
    if (!flushed.IsOk()) {
      console->Err(kDirectoryNotFlushedFormat, flushed.Cause().c_str());
      status = 1;
    }
  }
  return status;
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
  D88Image image;
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
  if (argc == 3 && (option == "--list" || option == "-l")) {
    mode = Mode::kList;
  } else if (argc == 3 && (option == "--test" || option == "-t")) {
    mode = Mode::kTest;
  } else if (argc != 2) {
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
