// The decisions of a run for the folder, as values: for each file of a
// dump, what its name holds, what is known of that (from the rescue map, or
// by the rule for a folder without one), and what the name gets.  Nothing
// here touches the folder; output_folder.h carries the decisions out, and
// folder_report.h says them.
//
// What is known of the file under a name: nothing is there (or, where the
// map names the file, a file of another length, which a power cut or a
// failed write left where tamrek's file should be: it stands for the
// missing file); a file of the plan's length that a record of the map
// describes, or that stands in a folder without a usable map, and is then
// taken as read cleanly but for its pieces of zero bytes; a file of the
// plan's length that the map does not know, changed by other hands, of
// which nothing is known; or something else (a file of another length, a
// directory, a link).
//
// What the name gets: a file read in full and cleanly replaces whatever
// is there (a name that holds the same bytes is left untouched), and a file
// it replaces that held other clean sectors, or bytes whose history is not
// known, is kept as a numbered backup; any other
// goes where nothing is, is merged with a known file (see merge.h), and
// otherwise leaves what it finds alone.  A file not read cleanly is never
// put where the map cannot record it.

#ifndef TAMREK_EXTRACT_FOLDER_PLAN_H_
#define TAMREK_EXTRACT_FOLDER_PLAN_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "extract/merge.h"
#include "extract/rescue_map.h"
#include "platform/file_system.h"

// One file of the plan as a dump gave it.
struct DumpedFile {
  std::size_t file;  // index in PlanFiles()
  KnownFile read;    // its bytes, and how each piece was read
};

// How the run may use the map.
enum class MapUse {
  kAbsent,    // the folder has none: one may be made
  kRead,      // read: it is kept true
  kUnusable,  // it cannot be read, or the folder cannot be locked: nothing
              // is recorded, and nothing that needs recording is written
};

// What the name of a plan file holds, as far as the run knows it.
struct Holding {
  enum Kind {
    kAbsent,   // nothing, or a file that stands for the missing one
    kKnown,    // a file of the plan's length: `known` says how it was read
    kUnknown,  // a file of the plan's length that the map does not know
    kOther,    // anything else
  };
  Kind kind = kAbsent;
  bool occupied = false;  // kAbsent: a file is there all the same
  KnownFile known;        // kKnown; kUnknown: its bytes alone
  std::uint32_t crc = 0;  // kKnown, kUnknown: the checksum of its bytes
  // The record the map must hold while the file stands there, if any.
  std::optional<MapRecord> record;
  // kUnknown: the map was written since, and no record of it is the file:
  // the run says so.
  bool changed = false;
};

// What the map and the rule for a folder without one say of `held`, what
// the name of plan file `file` holds.
Holding Examine(std::size_t file, const platform::FileRead& held,
                const RescueMap& map, MapUse use);

enum class Action {
  kNone,     // the name holds the file already: nothing to write
  kPlace,    // the file goes where nothing is (or a stand-in for nothing)
  kReplace,  // the file, read cleanly, replaces what the name holds
  kMerge,    // the merge replaces the file it was made from
  kKeep,     // something else holds the name, or the merge adds nothing
  kDiffers,  // the file disagrees with the one under its name: kept
  kFail,     // the file cannot be written, for `cause`
};

struct Decision {
  Action action = Action::kKeep;
  std::string cause;            // kFail: why
  KnownFile result;             // what the name holds once placed
  std::uint32_t resultCrc = 0;  // its checksum
  std::size_t differing = 0;    // kReplace: sectors that differ
  // kReplace: the file replaced holds what the new one does not (sectors
  // it read cleanly that differ, or bytes of unknown history), and is kept
  // as a numbered backup.
  bool backup = false;
  std::vector<std::size_t> disagreeing;  // kDiffers: the pieces that do
  // Whether the write replaces a file there: only while it holds the file
  // that was examined (kMerge, and a kPlace over a stand-in).
  bool checked = false;

  // Whether the name holds `result` once the decision is carried out.
  bool Places() const;
  // The record of `result`.
  MapRecord ResultRecord(std::size_t file) const;
};

// Why the name may not be written over ("it is the file being read", "the
// file is read-only"), or "".
using WhyNotReplace = std::function<std::string()>;

// What the name of `dumped` gets, given what it holds.  `recordable`: the
// map can take its record; without, a file not read cleanly is not
// written.  `whyNot` is asked only of a decision that writes over a file.
Decision Decide(const DumpedFile& dumped, const Holding& holding,
                bool recordable, const WhyNotReplace& whyNot);

// A decision to replace, checked with `whyNot`: the same, or kFail.
Decision Guarded(Decision decision, const WhyNotReplace& whyNot);

// What becomes of NAME.tmpN, a file that a run killed between writing a
// file and renaming it over its name may have left beside it.
enum class LeftoverFate {
  kForeign,  // not known to be tamrek's: left, and named
  kResume,   // the map records it: it takes its name, as the run meant
  kDiscard,  // the map records it, but the name holds a file as good
};

struct Leftover {
  std::string name;
  LeftoverFate fate = LeftoverFate::kForeign;
};

// The fate of `leftover`, the content of a NAME.tmpN of plan file `file`,
// whose name holds `holding`: tamrek's own where the map (read, usable)
// has a record of its bytes; then resumed unless the name holds a file
// that knows at least as much.
LeftoverFate JudgeLeftover(std::size_t file, const platform::FileRead& leftover,
                           const Holding& holding, const RescueMap& map,
                           MapUse use);

// One name of the folder on its way: what it holds, what it gets, and
// (once carried out) whether it got it.
struct NameStep {
  const DumpedFile* dumped = nullptr;
  platform::FileRead held;  // what the name held, as examined
  Holding holding;          // what is known of it
  Decision decision;
  std::vector<Leftover> leftovers;  // beside the name, in name order
  bool placed = false;              // the name holds `decision.result`
  std::string backup;  // the name the replaced file is kept under, if any
};

#endif  // TAMREK_EXTRACT_FOLDER_PLAN_H_
