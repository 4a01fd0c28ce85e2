// The lines about the folder.  See folder_report.h.

#include "extract/folder_report.h"

#include <string>

#include "extract/extraction_plan.h"
#include "extract/messages.h"

namespace {

// Sectors named in a disagreement line at most.
constexpr std::size_t kDisagreementsShown = 3;

std::string DisagreeingSectors(const PlanFile& plan,
                               const std::vector<std::size_t>& pieces) {
  std::string sectors;
  for (std::size_t i = 0; i < pieces.size() && i < kDisagreementsShown; ++i) {
    const PlanSector& at = plan.pieces[pieces[i]].at;
    if (!sectors.empty()) sectors += "; ";
    sectors += "disk " + std::to_string(plan.disk) + ", cylinder " +
               std::to_string(at.c) + ", head " + std::to_string(at.h) +
               ", sector " + std::to_string(at.r);
  }
  if (pieces.size() > kDisagreementsShown) {
    sectors += " (and " + std::to_string(pieces.size() - kDisagreementsShown) +
               " more)";
  }
  return sectors;
}

}  // namespace

void SayStep(const NameStep& step, Console* console) {
  const PlanFile& plan = PlanFiles()[step.dumped->file];
  const char* n = plan.name.c_str();
  for (const Leftover& leftover : step.leftovers) {
    const char* t = leftover.name.c_str();
    switch (leftover.fate) {
      case LeftoverFate::kForeign:
        console->Err(kLeftoverFormat, t);
        break;
      case LeftoverFate::kResume:
        console->Err(kResumedFormat, n, t);
        break;
      case LeftoverFate::kDiscard:
        console->Err(kDiscardedFormat, t, n);
        break;
    }
  }
  if (step.holding.changed) console->Err(kMapChangedFormat, n);
  const Decision& d = step.decision;
  switch (d.action) {
    case Action::kKeep:
      console->Err(kKeptFormat, n);
      return;
    case Action::kDiffers:
      console->Err(kDiffersFormat, n,
                   DisagreeingSectors(plan, d.disagreeing).c_str());
      return;
    case Action::kFail:
      console->Err(kNotWrittenFormat, n, d.cause.c_str());
      return;
    case Action::kMerge:
      console->Err(kCompletedFormat, n, d.result.KnownBytes(plan.pieces),
                   plan.entry.length);
      break;
    case Action::kNone:
    case Action::kPlace:
    case Action::kReplace:
      break;
  }
  if (!step.backup.empty()) {
    console->Err(kReplacesKeptFormat, n, static_cast<int>(d.differing),
                 static_cast<int>(plan.pieces.size()), step.backup.c_str());
  } else if (d.differing > 0) {
    console->Err(kReplacesDifferentFormat, n, static_cast<int>(d.differing),
                 static_cast<int>(plan.pieces.size()));
  }
  console->Out(kCreatedFormat, n);
}

void Summarize(const std::vector<NameStep>& steps,
               const std::vector<Holding>& others,
               const std::vector<MapRecord>* records, bool trustFound,
               Console* console) {
  bool allWell = true;
  int complete = 0;
  int sectors = 0;
  for (const NameStep& step : steps) {
    allWell = allWell && step.placed && step.dumped->read.Clean();
    if (records == nullptr) {
      const bool whole =
          step.placed ? step.decision.result.Clean()
                      : trustFound && step.holding.kind == Holding::kKnown;
      complete += whole ? 1 : 0;
    }
  }
  if (records == nullptr) {
    for (const Holding& holding : others) {
      complete += trustFound && holding.kind == Holding::kKnown ? 1 : 0;
    }
  } else {
    for (const MapRecord& record : *records) {
      complete += record.Complete() ? 1 : 0;
      sectors += static_cast<int>(record.Unread());
    }
  }
  const int total = static_cast<int>(steps.size() + others.size());
  if (allWell && complete == total) return;
  if (complete == total) {
    console->Err(kAllCompleteFormat, total);
  } else if (sectors > 0) {
    console->Err(kSummaryFormat, complete, total, sectors,
                 sectors == 1 ? "" : "s");
  } else {
    console->Err(kSummaryShortFormat, complete, total);
  }
}
