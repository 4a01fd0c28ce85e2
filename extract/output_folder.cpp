// Putting a dump's files into the folder.  See output_folder.h.
//
// Under the folder's lock: the folder is listed and the map read; each
// name is examined, what an interrupted run left beside it is finished or
// discarded, and what the name gets is decided; the map takes the records
// of every file about to be placed; the files are placed, one after the
// other; the folder is flushed; the map is brought down to the records of
// the files as they now are, or removed when every file is complete.

#include "extract/output_folder.h"

#include <map>
#include <memory>
#include <string>

#include "extract/extraction_plan.h"
#include "extract/folder_journal.h"
#include "extract/folder_report.h"
#include "extract/messages.h"
#include "extract/rescue_map.h"
#include "platform/side_names.h"

namespace {

using platform::FileSystem;
using platform::Found;

// Names the temporary file a write could neither place nor remove, if any.
void SayLeftBehind(const platform::WriteResult& written, Console* console) {
  if (!written.leftBehind.empty()) {
    console->Err(kNotRemovedFormat, written.leftBehind.c_str(),
                 written.leftBehindCause.c_str());
  }
}

class FolderUpdate {
 public:
  FolderUpdate(FileSystem* fs, const std::vector<std::string>& inputPaths,
               Console* console)
      : fs(fs), inputPaths(inputPaths), console(console) {}

  bool Run(const std::vector<DumpedFile>& files,
           const std::vector<std::size_t>& outside,
           const std::function<void(std::size_t)>& report);

 private:
  void ReadMap();
  std::vector<std::string> Leftovers(const std::string& name);
  // What `name` holds, as the listing says when it does (see
  // FileSystem::Read()).
  platform::FileRead Read(const std::string& name, std::size_t limit,
                          bool identify);
  void Examine(NameStep* step);
  void Resume(NameStep* step, Leftover* leftover,
              const platform::FileRead& content);
  std::string WhyNotReplace(const std::string& name, const NameStep& step);
  bool WriteMap(const std::vector<MapRecord>& records);
  void RecordBeforePlacing();
  void Place(NameStep* step);
  // Keeps the file `name` holds as its first free numbered backup, for
  // `step`; a write of `*mode` then places the new file.  False, with the
  // step failed, where no backup can be made.
  bool Backup(const std::string& name, NameStep* step,
              platform::WriteMode* mode);
  void RecordAfterPlacing();
  bool FlushFolder();

  // Whether `name` is one of the files being read.
  bool IsInput(const std::string& name);

  FileSystem* fs;
  const std::vector<std::string> inputPaths;
  Console* console;

  bool listed = false;  // the folder could be listed into `names`
  std::map<std::string, Found> names;  // and what each is, or kUnreadable
  bool lockHeld = true;
  MapUse use = MapUse::kAbsent;
  RescueMap map;           // as on the disk
  bool journaled = false;  // the map records this run's files
  std::vector<NameStep> steps;
  std::vector<Holding> others;  // the plan's files outside `steps`
  bool ok = true;               // everything was written as it was read
  bool renamed = false;  // a file was placed since the folder was flushed
};

bool FolderUpdate::Run(const std::vector<DumpedFile>& files,
                       const std::vector<std::size_t>& outside,
                       const std::function<void(std::size_t)>& report) {
  // The lock comes first: what the folder holds is read under it.
  std::unique_ptr<platform::FolderLock> lock = fs->Lock(false);
  if (lock == nullptr) {
    console->Err("%s", kFolderBusyMessage);
    lock = fs->Lock(true);
  }
  lockHeld = lock->Held();
  std::vector<platform::FolderEntry> listing;
  listed = fs->List(&listing);
  for (const platform::FolderEntry& entry : listing) {
    names[entry.name] = entry.kind;
  }
  ReadMap();
  bool clean = true;
  for (const DumpedFile& file : files) clean = clean && file.read.Clean();
  if (!lockHeld && (!clean || use == MapUse::kRead)) {
    console->Err(kNoLockFormat, lock->NotHeld().c_str());
  }
  for (const std::string& leftover : Leftovers(kMapName)) {
    console->Err(kLeftoverFormat, leftover.c_str());
  }
  steps.resize(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    steps[i].dumped = &files[i];
    Examine(&steps[i]);
  }
  // The rest of the folder, as it is: the summary speaks of all of it.
  for (const std::size_t file : outside) {
    const PlanFile& plan = PlanFiles()[file];
    others.push_back(::Examine(
        file,
        Read(plan.name, static_cast<std::size_t>(plan.entry.length), false),
        map, use));
  }
  RecordBeforePlacing();
  for (std::size_t i = 0; i < steps.size(); ++i) {
    report(i);
    Place(&steps[i]);
  }
  RecordAfterPlacing();
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
                         &map, &reason)) {
        use = MapUse::kRead;
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
  map = RescueMap();
  use = MapUse::kUnusable;
  ok = false;
}

std::vector<std::string> FolderUpdate::Leftovers(const std::string& name) {
  std::vector<std::string> leftovers;
  for (const auto& [other, kind] : names) {
    if (platform::TemporaryNumber(other, name) < 0) continue;
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

void FolderUpdate::Examine(NameStep* step) {
  const std::size_t file = step->dumped->file;
  const std::string& name = PlanFiles()[file].name;
  const std::size_t length =
      static_cast<std::size_t>(PlanFiles()[file].entry.length);
  // A file that may be written over is identified, so that it is replaced
  // only while its name still holds it.
  step->held =
      Read(name, length, !step->dumped->read.Clean() || use == MapUse::kRead);
  step->holding = ::Examine(file, step->held, map, use);
  for (const std::string& other : Leftovers(name)) {
    Leftover leftover{other, LeftoverFate::kForeign};
    if (lockHeld && use == MapUse::kRead) {
      const platform::FileRead content = fs->Read(other, length, false);
      leftover.fate = JudgeLeftover(file, content, step->holding, map, use);
      Resume(step, &leftover, content);
    }
    step->leftovers.push_back(leftover);
  }
  const bool recordable = lockHeld && use != MapUse::kUnusable;
  step->decision =
      Decide(*step->dumped, step->holding, recordable,
             [this, &name, step] { return WhyNotReplace(name, *step); });
}

void FolderUpdate::Resume(NameStep* step, Leftover* leftover,
                          const platform::FileRead& content) {
  const std::size_t file = step->dumped->file;
  const std::string& name = PlanFiles()[file].name;
  platform::FileRead& there = step->held;
  if (leftover->fate == LeftoverFate::kResume) {
    // Its record is in the map already: it takes its name as any file does.
    platform::WriteMode mode;
    mode.replace = there.found != Found::kNothing;
    mode.flush = true;
    mode.expected = mode.replace ? &there.identity : nullptr;
    const platform::WriteResult written =
        fs->Write(name, content.content.data(), content.content.size(), mode);
    SayLeftBehind(written, console);
    if (!written.status.IsOk()) {
      leftover->fate = LeftoverFate::kForeign;
      return;
    }
    renamed = true;
    there = fs->Read(name, content.content.size(), true);
    step->holding = ::Examine(file, there, map, use);
  }
  if (leftover->fate == LeftoverFate::kForeign) return;
  const platform::Status removed = fs->Remove(leftover->name);
  if (!removed.IsOk()) {
    console->Err(kNotRemovedFormat, leftover->name.c_str(),
                 removed.Cause().c_str());
    ok = false;
  }
}

bool FolderUpdate::IsInput(const std::string& name) {
  for (const std::string& path : inputPaths) {
    if (fs->SameFile(name, path)) return true;
  }
  return false;
}

std::string FolderUpdate::WhyNotReplace(const std::string& name,
                                        const NameStep& step) {
  if (IsInput(name)) return "it is the file being read";
  if (step.held.found == Found::kRegular && fs->IsReadOnly(name)) {
    return "the file is read-only";
  }
  return "";
}

bool FolderUpdate::WriteMap(const std::vector<MapRecord>& records) {
  if (IsInput(kMapName)) {
    console->Err(kNotWrittenFormat, kMapName, "it is the file being read");
    ok = false;
    return false;
  }
  const std::string text = FormatRescueMap(records);
  // The first map is placed like a new file, unnamed until complete.
  platform::WriteMode mode;
  mode.replace = use == MapUse::kRead;
  mode.flush = true;
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  platform::WriteResult written = fs->Write(kMapName, data, text.size(), mode);
  if (written.status.IsNameTaken() && !mode.replace) {
    mode.replace = true;
    written = fs->Write(kMapName, data, text.size(), mode);
  }
  SayLeftBehind(written, console);
  if (!written.status.IsOk()) {
    console->Err(kNotWrittenFormat, kMapName, written.status.Cause().c_str());
    ok = false;
    return false;
  }
  map.version = 2;
  map.records = records;
  use = MapUse::kRead;
  return true;
}

bool FolderUpdate::FlushFolder() {
  const platform::Status flushed = fs->Flush();
  renamed = false;
  if (flushed.IsOk()) return true;
  console->Err(kDirectoryNotFlushedFormat, flushed.Cause().c_str());
  ok = false;
  return false;
}

void FolderUpdate::RecordBeforePlacing() {
  if (!lockHeld || use == MapUse::kUnusable) return;
  const std::vector<MapRecord> records =
      RecordsBefore(map.records, steps, others);
  if (use == MapUse::kAbsent && !NeedsMap(records)) return;
  journaled = true;
  if (use == MapUse::kRead && records == map.records && map.version == 2) {
    return;
  }
  // The records must be on the disk before the files they are about.
  if (WriteMap(records) && FlushFolder()) return;
  journaled = false;
  use = MapUse::kUnusable;
  for (NameStep& step : steps) {
    if (!step.decision.result.Clean() && step.decision.Places() &&
        step.decision.action != Action::kNone) {
      step.decision.action = Action::kFail;
      step.decision.cause = kNotRecordableCause;
    }
  }
}

void FolderUpdate::Place(NameStep* step) {
  const std::string& name = PlanFiles()[step->dumped->file].name;
  Decision& d = step->decision;
  platform::WriteMode mode;
  mode.flush = journaled;  // a file the map records, flushed before it is
                           // named
  switch (d.action) {
    case Action::kNone:
      step->placed = true;
      break;
    case Action::kKeep:
    case Action::kDiffers:
    case Action::kFail:
      break;
    case Action::kPlace:
    case Action::kReplace:
    case Action::kMerge: {
      mode.replace = d.action != Action::kPlace || d.checked;
      mode.flush = mode.flush || mode.replace;
      mode.expected = d.checked ? &step->held.identity : nullptr;
      if (d.backup && !Backup(name, step, &mode)) break;
      const std::vector<std::uint8_t>& bytes = d.result.bytes;
      platform::WriteResult written =
          fs->Write(name, bytes.data(), bytes.size(), mode);
      if (written.status.IsNameTaken() && d.action == Action::kPlace &&
          d.result.Clean()) {
        // Something took the name since it was examined: a file read
        // cleanly replaces it all the same, if it may, and keeps it.
        SayLeftBehind(written, console);
        d.action = Action::kReplace;
        d.backup = true;
        d = Guarded(d,
                    [this, &name, step] { return WhyNotReplace(name, *step); });
        if (d.action == Action::kFail) break;
        mode.replace = true;
        mode.flush = true;
        if (!Backup(name, step, &mode)) break;
        written = fs->Write(name, bytes.data(), bytes.size(), mode);
      }
      platform::Status unlinked = platform::Status::Ok();
      if (!written.status.IsOk() && !step->backup.empty() && mode.replace) {
        // The link made for the backup goes with the write that failed:
        // the file it links is still under its name.
        unlinked = fs->Remove(step->backup);
        if (unlinked.IsOk()) step->backup.clear();
      }
      if (written.status.IsOk()) {
        step->placed = true;
        renamed = renamed || journaled || mode.replace;
      } else if (written.status.IsNameTaken()) {
        d.action = Action::kKeep;
      } else {
        d.action = Action::kFail;
        d.cause = written.status.Cause();
      }
      SayStep(*step, console);
      SayLeftBehind(written, console);
      if (!unlinked.IsOk()) {
        console->Err(kNotRemovedFormat, step->backup.c_str(),
                     unlinked.Cause().c_str());
      }
      if (!step->placed) ok = false;
      return;
    }
  }
  SayStep(*step, console);
  if (!step->placed) ok = false;
}

bool FolderUpdate::Backup(const std::string& name, NameStep* step,
                          platform::WriteMode* mode) {
  platform::Status kept = platform::Status::Failed(
      "every backup name from " + platform::BackupName(name, 1) + " to " +
      platform::BackupName(name, platform::kBackupNames) + " is taken");
  bool moved = false;
  for (int n = 1; n <= platform::kBackupNames; ++n) {
    const std::string candidate = platform::BackupName(name, n);
    if (listed && names.count(candidate) != 0) continue;
    const platform::Status tried = fs->KeepAs(name, candidate, &moved);
    if (tried.IsNameTaken()) continue;
    kept = tried;
    if (tried.IsOk()) step->backup = candidate;
    break;
  }
  if (!kept.IsOk()) {
    step->decision.action = Action::kFail;
    step->decision.cause =
        "its file cannot be kept as a backup: " + kept.Cause();
    return false;
  }
  names[step->backup] = Found::kRegular;
  renamed = true;  // the folder's flush covers the backup's name too
  // Moved where there are no hard links: the name is free for the new file.
  if (moved) {
    mode->replace = false;
    mode->expected = nullptr;
  }
  return true;
}

void FolderUpdate::RecordAfterPlacing() {
  std::vector<MapRecord> records;
  if (journaled) {
    records = RecordsAfter(steps, others);
    // The files must be in place before the map forgets what they replace.
    if (renamed) FlushFolder();
    bool changed = false;
    if (NeedsMap(records)) {
      changed = records != map.records;
      if (changed) WriteMap(records);
    } else {
      changed = true;
      const platform::Status removed = fs->Remove(kMapName);
      if (!removed.IsOk()) {
        console->Err(kNotRemovedFormat, kMapName, removed.Cause().c_str());
        ok = false;
      }
    }
    if (changed) FlushFolder();
  } else if (renamed) {
    FlushFolder();
  }
  const bool trustFound = lockHeld && use == MapUse::kAbsent;
  Summarize(steps, others, journaled ? &records : nullptr, trustFound, console);
}

}  // namespace

bool PutFiles(FileSystem* fs, const std::vector<std::string>& inputPaths,
              const std::vector<DumpedFile>& files,
              const std::vector<std::size_t>& outside,
              const std::function<void(std::size_t)>& report,
              Console* console) {
  return FolderUpdate(fs, inputPaths, console).Run(files, outside, report);
}
