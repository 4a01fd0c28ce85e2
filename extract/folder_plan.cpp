// What each name of the folder gets.  See folder_plan.h.

#include "extract/folder_plan.h"

#include <cstring>
#include <utility>

#include "extract/crc32.h"
#include "extract/extraction_plan.h"
#include "extract/messages.h"

namespace {

using platform::Found;

// A file of `size` bytes whose every piece counts as clean.
KnownFile AllClean(const std::vector<std::uint8_t>& bytes, std::size_t pieces,
                   bool mapped) {
  return KnownFile{bytes, std::vector<PieceState>(pieces), mapped};
}

// The pieces of `plan` in which `a` and `b` differ.
std::size_t DifferingBytes(const std::vector<PlanPiece>& plan,
                           const std::vector<std::uint8_t>& a,
                           const std::vector<std::uint8_t>& b) {
  std::size_t differing = 0;
  for (const PlanPiece& piece : plan) {
    if (std::memcmp(a.data() + piece.offset, b.data() + piece.offset,
                    static_cast<std::size_t>(piece.length)) != 0) {
      ++differing;
    }
  }
  return differing;
}

}  // namespace

Holding Examine(std::size_t file, const platform::FileRead& held,
                const RescueMap& map, MapUse use) {
  const PlanFile& plan = PlanFiles()[file];
  const std::size_t length = static_cast<std::size_t>(plan.entry.length);
  Holding holding;
  const bool regular =
      held.found == Found::kRegular || held.found == Found::kTooLarge;
  if (held.found == Found::kNothing) return holding;
  if (!regular) {
    holding.kind = Holding::kOther;
    return holding;
  }
  if (held.found == Found::kTooLarge || held.content.size() != length) {
    // Where tamrek placed the file, another length is what a power cut
    // leaves of it (or a write that failed), and the file is missing.
    const bool standsIn = use == MapUse::kRead && map.Names(file);
    holding.kind = standsIn ? Holding::kAbsent : Holding::kOther;
    holding.occupied = true;
    return holding;
  }
  holding.crc = Crc32(held.content.data(), held.content.size());
  const std::size_t pieces = plan.pieces.size();
  const MapRecord* record =
      use == MapUse::kRead ? map.Find(file, holding.crc) : nullptr;
  if (use != MapUse::kRead) {
    // No map, or none usable: a file found here is taken as read cleanly.
    holding.kind = Holding::kKnown;
    holding.known = AllClean(held.content, pieces, false);
    holding.record = MapRecord{file, holding.crc, RecordKind::kFound, {}};
  } else if (record != nullptr && record->kind == RecordKind::kRead) {
    holding.kind = Holding::kKnown;
    holding.known = KnownFile{held.content, record->pieces, true};
    holding.record = *record;
  } else if (record != nullptr && record->kind == RecordKind::kFound) {
    holding.kind = Holding::kKnown;
    holding.known = AllClean(held.content, pieces, false);
    holding.record = *record;
  } else if (record == nullptr && map.version == 1 && !map.Names(file)) {
    // The first version of the map named only the files not read cleanly.
    holding.kind = Holding::kKnown;
    holding.known = AllClean(held.content, pieces, true);
    holding.record = MapRecord{file, holding.crc, RecordKind::kRead,
                               std::vector<PieceState>(pieces)};
  } else {
    holding.kind = Holding::kUnknown;
    holding.known.bytes = held.content;  // how it was read, nobody knows
    holding.changed = true;
    holding.record = MapRecord{file, holding.crc, RecordKind::kChanged, {}};
  }
  return holding;
}

bool Decision::Places() const {
  return action == Action::kNone || action == Action::kPlace ||
         action == Action::kReplace || action == Action::kMerge;
}

MapRecord Decision::ResultRecord(std::size_t file) const {
  if (!result.mapped) return MapRecord{file, resultCrc, RecordKind::kFound, {}};
  return MapRecord{file, resultCrc, RecordKind::kRead, result.pieces};
}

Decision Guarded(Decision decision, const WhyNotReplace& whyNot) {
  const bool over = decision.action == Action::kReplace ||
                    decision.action == Action::kMerge ||
                    (decision.action == Action::kPlace && decision.checked);
  if (over) {
    const std::string why = whyNot();
    if (!why.empty()) {
      decision.action = Action::kFail;
      decision.cause = why;
    }
  }
  return decision;
}

Decision Decide(const DumpedFile& dumped, const Holding& holding,
                bool recordable, const WhyNotReplace& whyNot) {
  const KnownFile& fresh = dumped.read;
  const std::vector<PlanPiece>& plan = PlanFiles()[dumped.file].pieces;
  const bool known = holding.kind == Holding::kKnown;
  const std::vector<std::uint8_t>* bytes =
      known || holding.kind == Holding::kUnknown ? &holding.known.bytes
                                                 : nullptr;
  Decision d;
  d.result = fresh;
  if (fresh.Clean()) {
    if (holding.kind == Holding::kAbsent) {
      d.action = Action::kPlace;
      d.checked = holding.occupied;
    } else if (bytes != nullptr && *bytes == fresh.bytes) {
      d.action = Action::kNone;
    } else {
      d.action = Action::kReplace;
      if (known) {
        d.differing = DifferingPieces(plan, holding.known, fresh.bytes);
      } else if (bytes != nullptr) {
        d.differing = DifferingBytes(plan, *bytes, fresh.bytes);
      }
      d.backup = d.differing > 0;
    }
  } else if (holding.kind == Holding::kAbsent) {
    d.action = Action::kPlace;
    d.checked = holding.occupied;
  } else if (!known) {
    d.action = Action::kKeep;  // never merged into what is not known
  } else {
    MergeResult merge = Merge(plan, holding.known, fresh);
    d.result = std::move(merge.merged);
    d.disagreeing = std::move(merge.disagreeing);
    d.action = merge.outcome == MergeOutcome::kDisagrees     ? Action::kDiffers
               : merge.outcome == MergeOutcome::kAddsNothing ? Action::kKeep
               : d.result.bytes == holding.known.bytes       ? Action::kNone
                                                             : Action::kMerge;
    d.checked = d.action == Action::kMerge;
  }
  d = Guarded(std::move(d), whyNot);
  if (!recordable && !d.result.Clean() && d.Places()) {
    d.action = Action::kFail;
    d.cause = kNotRecordableCause;
  }
  // Where the result is the file the name holds (a rerun), its checksum is
  // known already.
  const bool asHeld = (known || holding.kind == Holding::kUnknown) &&
                      d.result.bytes == holding.known.bytes;
  d.resultCrc = asHeld ? holding.crc
                       : Crc32(d.result.bytes.data(), d.result.bytes.size());
  return d;
}

LeftoverFate JudgeLeftover(std::size_t file, const platform::FileRead& leftover,
                           const Holding& holding, const RescueMap& map,
                           MapUse use) {
  const PlanFile& plan = PlanFiles()[file];
  if (use != MapUse::kRead || leftover.found != Found::kRegular ||
      leftover.content.size() != static_cast<std::size_t>(plan.entry.length)) {
    return LeftoverFate::kForeign;
  }
  const MapRecord* record =
      map.Find(file, Crc32(leftover.content.data(), leftover.content.size()));
  if (record == nullptr || record->kind != RecordKind::kRead) {
    return LeftoverFate::kForeign;
  }
  const KnownFile own{leftover.content, record->pieces, true};
  switch (holding.kind) {
    case Holding::kAbsent:
      return LeftoverFate::kResume;
    case Holding::kKnown: {
      const MergeResult merge = Merge(plan.pieces, holding.known, own);
      if (merge.outcome == MergeOutcome::kDisagrees) break;
      return merge.outcome == MergeOutcome::kAddsNothing
                 ? LeftoverFate::kDiscard
                 : LeftoverFate::kResume;
    }
    case Holding::kUnknown:
    case Holding::kOther:
      break;
  }
  return LeftoverFate::kForeign;
}
