// Putting a dump's files into the folder.  See output_folder.h.
//
// The update runs in four steps, under the folder's lock: each file's name
// is examined and what to do with it decided (nothing is written yet); the
// map gets the lines of every file about to be placed whose pieces are not
// all clean; the files are placed, one after the other, each with its lines;
// the map is brought down to the lines of the files as they now are, or
// removed when it has none.

#include "extract/output_folder.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "extract/crc32.h"
#include "extract/extraction_plan.h"
#include "extract/messages.h"
#include "extract/rescue_map.h"

namespace {

using platform::FileSystem;
using platform::Found;

// Temporary names that a write may leave: NAME.tmp0 to NAME.tmp99.
constexpr int kTemporaryNames = 100;

// Sectors named in a disagreement line at most.
constexpr std::size_t kDisagreementsShown = 3;

enum class Action {
  kNone,     // the name holds the file already: nothing to write
  kPlace,    // the file goes where nothing is
  kReplace,  // the file, read cleanly, replaces what the name holds
  kMerge,    // the merge replaces the file it was made from
  kKeep,     // something else holds the name, or the merge adds nothing
  kDiffers,  // the file disagrees with the one under its name: kept
  kFail,     // the file cannot be written, for `cause`
};

// One file of the dump on its way into the folder.
struct Work {
  const DumpedFile* dumped = nullptr;
  const PlanFile* plan = nullptr;
  platform::FileRead existing;  // what the name holds
  bool ofPlanLength = false;    // a regular file of the plan's length
  std::uint32_t existingCrc = 0;
  std::vector<MapLine> lines;  // the map's lines about the existing file
  bool changed = false;        // the map's lines for the name are not its
  std::vector<std::string> leftovers;  // NAME.tmpN that an earlier run left

  Action action = Action::kKeep;
  std::string cause;  // kFail: why
  KnownFile result;   // what the name holds once it is placed
  std::uint32_t resultCrc = 0;
  std::size_t differing = 0;             // kReplace: sectors that differ
  std::vector<std::size_t> disagreeing;  // kDiffers: pieces that do
  bool placed = false;                   // the name holds `result`
};

// The map's lines for the pieces of `known` that are not clean, under the
// checksum `crc`.
std::vector<MapLine> LinesOf(std::size_t file, std::uint32_t crc,
                             const KnownFile& known) {
  std::vector<MapLine> lines;
  for (std::size_t i = 0; i < known.pieces.size(); ++i) {
    if (known.pieces[i].state != SectorState::kClean) {
      lines.push_back(MapLine{file, crc, i, known.pieces[i]});
    }
  }
  return lines;
}

// `base` with `added` in it, a line of `added` taking the place of one of
// `base` about the same sector of the same file state.
std::vector<MapLine> Union(std::vector<MapLine> base,
                           const std::vector<MapLine>& added) {
  for (const MapLine& line : added) {
    const auto same =
        std::find_if(base.begin(), base.end(), [&line](const MapLine& other) {
          return !(line < other) && !(other < line);
        });
    if (same != base.end()) {
      *same = line;
    } else {
      base.push_back(line);
    }
  }
  std::sort(base.begin(), base.end());
  return base;
}

// The number of NAME.tmpN in `name` after NAME, or -1.
int TemporaryNumber(const std::string& name, const std::string& of) {
  const std::string prefix = of + ".tmp";
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 2 ||
      name.compare(0, prefix.size(), prefix) != 0) {
    return -1;
  }
  const std::string digits = name.substr(prefix.size());
  if (digits.size() > 1 && digits[0] == '0') return -1;
  int n = 0;
  for (const char ch : digits) {
    if (ch < '0' || ch > '9') return -1;
    n = n * 10 + (ch - '0');
  }
  return n < kTemporaryNames ? n : -1;
}

// Names the temporary file a write could neither place nor remove, if any.
void SayLeftBehind(const platform::WriteResult& written, Console* console) {
  if (!written.leftBehind.empty()) {
    console->Err(kNotRemovedFormat, written.leftBehind.c_str(),
                 written.leftBehindCause.c_str());
  }
}

class FolderUpdate {
 public:
  FolderUpdate(FileSystem* fs, const std::string& inputPath, Console* console)
      : fs(fs), inputPath(inputPath), console(console) {}

  bool Run(const std::vector<DumpedFile>& files,
           const std::function<void(std::size_t)>& report);

 private:
  void ReadMap();
  std::vector<std::string> Leftovers(const std::string& name);
  // What `name` holds, as the listing says when it does (see
  // FileSystem::Read()).
  platform::FileRead Read(const std::string& name, std::size_t limit,
                          bool identify);
  void Examine(Work* work);
  void Decide(Work* work);
  void RecordBeforePlacing();
  void Place(Work* work);
  void RecordAfterPlacing();
  void Summarize();
  void WriteMap(const std::vector<MapLine>& lines);

  FileSystem* fs;
  const std::string inputPath;
  Console* console;

  bool listed = false;  // the folder could be listed into `names`
  std::map<std::string, Found> names;  // and what each is, or kUnreadable
  enum class MapState { kAbsent, kRead, kUnusable };
  MapState map = MapState::kAbsent;
  std::vector<MapLine> onDisk;  // the lines the map holds now
  std::vector<Work> works;
  bool ok = true;      // everything was written as it was read
  bool flush = false;  // a rename replaced something
};

bool FolderUpdate::Run(const std::vector<DumpedFile>& files,
                       const std::function<void(std::size_t)>& report) {
  std::unique_ptr<platform::FolderLock> lock = fs->Lock(false);
  if (lock == nullptr) {
    console->Err("%s", kFolderBusyMessage);
    lock = fs->Lock(true);
  }
  std::vector<platform::FolderEntry> listing;
  listed = fs->List(&listing);
  for (const platform::FolderEntry& entry : listing) {
    names[entry.name] = entry.kind;
  }
  ReadMap();
  for (const std::string& leftover : Leftovers(kMapName)) {
    console->Err(kLeftoverFormat, leftover.c_str());
  }
  works.resize(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    works[i].dumped = &files[i];
    works[i].plan = &PlanFiles()[files[i].file];
    Examine(&works[i]);
    Decide(&works[i]);
  }
  RecordBeforePlacing();
  for (std::size_t i = 0; i < works.size(); ++i) {
    report(i);
    Place(&works[i]);
  }
  RecordAfterPlacing();
  if (flush) {
    const platform::Status flushed = fs->Flush();
    if (!flushed.IsOk()) {
      console->Err(kDirectoryNotFlushedFormat, flushed.Cause().c_str());
      ok = false;
    }
  }
  Summarize();
  return ok;
}

void FolderUpdate::ReadMap() {
  if (listed && names.count(kMapName) == 0) return;
  const platform::FileRead read = Read(kMapName, kMapLimit, false);
  std::string reason;
  switch (read.found) {
    case Found::kNothing:
      return;
    case Found::kRegular:
      if (ParseRescueMap(std::string(read.content.begin(), read.content.end()),
                         &onDisk, &reason)) {
        map = MapState::kRead;
        return;
      }
      break;
    case Found::kTooLarge:
      reason = "it is larger than 1 MiB";
      break;
    case Found::kDirectory:
      reason = "a directory holds the name";
      break;
    case Found::kLink:
      reason = "it is a link";
      break;
    case Found::kOther:
      reason = "it is not a regular file";
      break;
    case Found::kUnreadable:
      reason = read.cause;
      break;
  }
  console->Err(kMapUnreadableFormat, reason.c_str());
  onDisk.clear();
  map = MapState::kUnusable;
  ok = false;
}

void FolderUpdate::Examine(Work* work) {
  const std::string& name = work->plan->name;
  const std::size_t length = static_cast<std::size_t>(work->plan->entry.length);
  // A file to merge with is identified, so that it is replaced only while
  // its name still holds it.
  work->existing = Read(name, length, !work->dumped->read.Clean());
  work->ofPlanLength = work->existing.found == Found::kRegular &&
                       work->existing.content.size() == length;
  if (work->ofPlanLength) {
    work->existingCrc =
        Crc32(work->existing.content.data(), work->existing.content.size());
  }
  bool anyLine = false;
  for (const MapLine& line : onDisk) {
    if (line.file != work->dumped->file) continue;
    anyLine = true;
    if (work->ofPlanLength && line.crc == work->existingCrc) {
      work->lines.push_back(line);
    }
  }
  work->changed =
      anyLine && work->lines.empty() && work->existing.found != Found::kNothing;
  work->leftovers = Leftovers(name);
}

std::vector<std::string> FolderUpdate::Leftovers(const std::string& name) {
  std::vector<std::string> leftovers;
  for (const auto& [other, kind] : names) {
    if (TemporaryNumber(other, name) < 0) continue;
    const Found found =
        kind == Found::kRegular ? kind : Read(other, 0, true).found;
    if (found == Found::kRegular || found == Found::kTooLarge) {
      leftovers.push_back(other);
    }
  }
  return leftovers;
}

platform::FileRead FolderUpdate::Read(const std::string& name,
                                      std::size_t limit, bool identify) {
  platform::FileRead read;
  const auto entry = names.find(name);
  if (listed && entry == names.end()) return read;  // nothing there
  // What is not a regular file, the listing says, when it can.
  if (listed && entry->second != Found::kRegular &&
      entry->second != Found::kUnreadable) {
    read.found = entry->second;
    return read;
  }
  return fs->Read(name, limit, identify);
}

void FolderUpdate::Decide(Work* work) {
  const KnownFile& fresh = work->dumped->read;
  const std::vector<PlanPiece>& plan = work->plan->pieces;
  const std::string& name = work->plan->name;
  const bool exists = work->existing.found != Found::kNothing;
  KnownFile existing;
  if (work->ofPlanLength) {
    existing.bytes = work->existing.content;
    existing.pieces.assign(plan.size(), PieceState{});
    for (const MapLine& line : work->lines) {
      existing.pieces[line.piece] = line.state;
    }
    existing.mapped = map == MapState::kRead && !work->changed;
  }
  work->result = fresh;
  if (fresh.Clean()) {
    if (work->ofPlanLength && existing.bytes == fresh.bytes) {
      work->action = Action::kNone;
    } else {
      work->action = exists ? Action::kReplace : Action::kPlace;
      if (work->ofPlanLength) {
        work->differing = DifferingPieces(plan, existing, fresh.bytes);
      }
    }
  } else if (!exists) {
    work->action = Action::kPlace;
  } else if (!work->ofPlanLength) {
    work->action = Action::kKeep;
  } else {
    MergeResult merge = Merge(plan, existing, fresh);
    work->result = std::move(merge.merged);
    work->disagreeing = std::move(merge.disagreeing);
    work->action = merge.outcome == MergeOutcome::kDisagrees ? Action::kDiffers
                   : merge.outcome == MergeOutcome::kAddsNothing ? Action::kKeep
                   : work->result.bytes == existing.bytes        ? Action::kNone
                                                          : Action::kMerge;
  }
  // A file written over another: never over the file being read, nor over
  // one the user has made read-only.
  if (work->action == Action::kReplace || work->action == Action::kMerge) {
    if (fs->SameFile(name, inputPath)) {
      work->action = Action::kFail;
      work->cause = "it is the file being read";
    } else if (work->existing.found == Found::kRegular &&
               fs->IsReadOnly(name)) {
      work->action = Action::kFail;
      work->cause = "the file is read-only";
    }
  }
  if (map == MapState::kUnusable && !work->result.Clean() &&
      (work->action == Action::kPlace || work->action == Action::kMerge ||
       work->action == Action::kNone)) {
    work->action = Action::kFail;
    work->cause = kNotRecordableCause;
  }
  work->resultCrc = Crc32(work->result.bytes.data(), work->result.bytes.size());
}

void FolderUpdate::WriteMap(const std::vector<MapLine>& lines) {
  if (fs->SameFile(kMapName, inputPath)) {
    console->Err(kNotWrittenFormat, kMapName, "it is the file being read");
    map = MapState::kUnusable;
    ok = false;
    return;
  }
  const std::string text = FormatRescueMap(lines);
  platform::WriteMode mode;
  mode.replace = true;
  mode.flush = true;
  const platform::WriteResult written =
      fs->Write(kMapName, reinterpret_cast<const std::uint8_t*>(text.data()),
                text.size(), mode);
  if (written.status.IsOk()) {
    onDisk = lines;
    map = MapState::kRead;
  } else {
    console->Err(kNotWrittenFormat, kMapName, written.status.Cause().c_str());
    map = MapState::kUnusable;
    ok = false;
  }
  SayLeftBehind(written, console);
}

void FolderUpdate::RecordBeforePlacing() {
  if (map == MapState::kUnusable) return;
  std::vector<MapLine> lines = onDisk;
  for (const Work& work : works) {
    const bool places =
        work.action == Action::kPlace || work.action == Action::kReplace ||
        work.action == Action::kMerge || work.action == Action::kNone;
    if (places) {
      lines =
          Union(lines, LinesOf(work.dumped->file, work.resultCrc, work.result));
    }
  }
  if (lines == onDisk) return;
  WriteMap(lines);
  // The lines must be on the disk before the files they are about.
  if (map != MapState::kUnusable) {
    const platform::Status flushed = fs->Flush();
    if (!flushed.IsOk()) {
      console->Err(kDirectoryNotFlushedFormat, flushed.Cause().c_str());
      map = MapState::kUnusable;
      ok = false;
    }
  }
  if (map != MapState::kUnusable) return;
  for (Work& work : works) {
    if (!work.result.Clean() && work.action != Action::kKeep &&
        work.action != Action::kDiffers && work.action != Action::kFail) {
      work.action = Action::kFail;
      work.cause = kNotRecordableCause;
    }
  }
}

void FolderUpdate::Place(Work* work) {
  const std::string& name = work->plan->name;
  const char* n = name.c_str();
  const std::int32_t length = work->plan->entry.length;
  for (const std::string& leftover : work->leftovers) {
    console->Err(kLeftoverFormat, leftover.c_str());
  }
  if (work->changed) console->Err(kMapChangedFormat, n);

  platform::WriteMode mode;
  switch (work->action) {
    case Action::kNone:
      work->placed = true;
      if (!work->dumped->read.Clean()) {
        console->Err(kCompletedFormat, n,
                     work->result.KnownBytes(work->plan->pieces), length);
      }
      console->Out(kCreatedFormat, n);
      return;
    case Action::kKeep:
      console->Err(kKeptFormat, n);
      ok = false;
      return;
    case Action::kDiffers: {
      std::string sectors;
      for (std::size_t i = 0;
           i < work->disagreeing.size() && i < kDisagreementsShown; ++i) {
        const PlanSector& at = work->plan->pieces[work->disagreeing[i]].at;
        if (!sectors.empty()) sectors += "; ";
        sectors += "disk " + std::to_string(work->plan->disk) + ", cylinder " +
                   std::to_string(at.c) + ", head " + std::to_string(at.h) +
                   ", sector " + std::to_string(at.r);
      }
      if (work->disagreeing.size() > kDisagreementsShown) {
        sectors +=
            " (and " +
            std::to_string(work->disagreeing.size() - kDisagreementsShown) +
            " more)";
      }
      console->Err(kDiffersFormat, n, sectors.c_str());
      ok = false;
      return;
    }
    case Action::kFail:
      console->Err(kNotWrittenFormat, n, work->cause.c_str());
      ok = false;
      return;
    case Action::kPlace:
      break;
    case Action::kReplace:
      mode.replace = true;
      mode.flush = true;
      break;
    case Action::kMerge:
      mode.replace = true;
      mode.flush = true;
      mode.expected = &work->existing.identity;
      break;
  }
  const std::vector<std::uint8_t>& bytes = work->result.bytes;
  platform::WriteResult written =
      fs->Write(name, bytes.data(), bytes.size(), mode);
  if (written.status.IsNameTaken() && work->action == Action::kPlace &&
      work->result.Clean()) {
    // Something took the name since it was examined: a file read cleanly
    // replaces it all the same.
    mode.replace = true;
    mode.flush = true;
    work->action = Action::kReplace;
    written = fs->Write(name, bytes.data(), bytes.size(), mode);
  }
  if (written.status.IsOk()) {
    work->placed = true;
    if (mode.replace) flush = true;
    if (work->action == Action::kMerge) {
      console->Err(kCompletedFormat, n,
                   work->result.KnownBytes(work->plan->pieces), length);
    }
    if (work->differing > 0) {
      console->Err(kReplacesDifferentFormat, n,
                   static_cast<int>(work->differing),
                   static_cast<int>(work->plan->pieces.size()));
    }
    console->Out(kCreatedFormat, n);
  } else if (written.status.IsNameTaken()) {
    console->Err(kKeptFormat, n);
    ok = false;
  } else {
    console->Err(kNotWrittenFormat, n, written.status.Cause().c_str());
    ok = false;
  }
  SayLeftBehind(written, console);
}

void FolderUpdate::RecordAfterPlacing() {
  if (map == MapState::kUnusable) return;
  std::vector<MapLine> lines;
  std::set<std::size_t> dumped;
  for (const Work& work : works) {
    dumped.insert(work.dumped->file);
    const std::vector<MapLine> own =
        work.placed ? LinesOf(work.dumped->file, work.resultCrc, work.result)
                    : work.lines;
    lines.insert(lines.end(), own.begin(), own.end());
  }
  for (const MapLine& line : onDisk) {
    if (dumped.count(line.file) == 0) lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  if (lines == onDisk && (map == MapState::kAbsent || !lines.empty())) return;
  flush = true;
  if (!lines.empty()) return WriteMap(lines);
  const platform::Status removed = fs->Remove(kMapName);
  if (removed.IsOk()) {
    onDisk.clear();
    map = MapState::kAbsent;
  } else {
    console->Err(kNotRemovedFormat, kMapName, removed.Cause().c_str());
    ok = false;
  }
}

void FolderUpdate::Summarize() {
  bool allWell = true;
  int complete = 0;
  std::map<std::size_t, int> linesOf;
  for (const MapLine& line : onDisk) ++linesOf[line.file];
  for (const Work& work : works) {
    allWell = allWell && work.placed && work.dumped->read.Clean();
    const bool whole = work.placed || work.ofPlanLength;
    if (whole &&
        (map == MapState::kUnusable ? work.placed && work.result.Clean()
                                    : linesOf[work.dumped->file] == 0)) {
      ++complete;
    }
  }
  const int total = static_cast<int>(works.size());
  if (allWell && complete == total) return;
  if (complete == total) {
    console->Err(kAllCompleteFormat, total);
  } else if (map == MapState::kRead && !onDisk.empty()) {
    const int sectors = static_cast<int>(onDisk.size());
    console->Err(kSummaryFormat, complete, total, sectors,
                 sectors == 1 ? "" : "s");
  } else {
    console->Err(kSummaryShortFormat, complete, total);
  }
}

}  // namespace

bool PutFiles(FileSystem* fs, const std::string& inputPath,
              const std::vector<DumpedFile>& files,
              const std::function<void(std::size_t)>& report,
              Console* console) {
  return FolderUpdate(fs, inputPath, console).Run(files, report);
}
