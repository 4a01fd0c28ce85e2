// Merging with an existing file.  See merge.h.

#include "extract/merge.h"

#include <algorithm>
#include <cstring>

namespace {

bool AllZero(const std::uint8_t* bytes, const PlanPiece& piece) {
  return std::all_of(bytes + piece.offset, bytes + piece.offset + piece.length,
                     [](std::uint8_t b) { return b == 0; });
}

bool SameBytes(const std::uint8_t* a, const std::uint8_t* b,
               const PlanPiece& piece) {
  return std::memcmp(a + piece.offset, b + piece.offset,
                     static_cast<std::size_t>(piece.length)) == 0;
}

// Whether piece `i` of `existing` is one that the no-map rule lets a clean
// piece fill: unmapped, and all zero bytes.
bool Fillable(const KnownFile& existing, const PlanPiece& piece) {
  return !existing.mapped && AllZero(existing.bytes.data(), piece);
}

// The piece `i` that `was` and `now`, neither clean, make together: the
// longer clean prefix of the two, then the rest of whichever has a read
// error's bytes there (the existing one first), else nothing.
PieceState Combine(const PieceState& was, const std::uint8_t* wasBytes,
                   const PieceState& now, const std::uint8_t* nowBytes,
                   const PlanPiece& piece, std::uint8_t* into) {
  const std::int32_t prefix = std::max(was.got, now.got);
  const bool wasError = was.state == SectorState::kReadError;
  const bool nowError = now.state == SectorState::kReadError;
  const std::uint8_t* rest =
      wasError || (!nowError && was.got >= now.got) ? wasBytes : nowBytes;
  const std::uint8_t* head = was.got >= now.got ? wasBytes : nowBytes;
  std::memcpy(into + piece.offset, rest + piece.offset,
              static_cast<std::size_t>(piece.length));
  std::memcpy(into + piece.offset, head + piece.offset,
              static_cast<std::size_t>(prefix));
  if (wasError || nowError) {
    return PieceState{SectorState::kReadError, prefix,
                      wasError ? was.status : now.status};
  }
  return prefix > 0 ? PieceState{SectorState::kPartial, prefix, 0}
                    : PieceState{SectorState::kMissing, 0, 0};
}

}  // namespace

bool KnownFile::Clean() const {
  return std::all_of(pieces.begin(), pieces.end(), [](const PieceState& p) {
    return p.state == SectorState::kClean;
  });
}

std::int32_t KnownFile::KnownBytes(const std::vector<PlanPiece>& plan) const {
  std::int32_t known = 0;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    if (pieces[i].state == SectorState::kClean) known += plan[i].length;
  }
  return known;
}

MergeResult Merge(const std::vector<PlanPiece>& plan, const KnownFile& existing,
                  const KnownFile& fresh) {
  MergeResult result;
  result.merged = existing;
  result.merged.mapped = true;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const PlanPiece& piece = plan[i];
    const PieceState& now = fresh.pieces[i];
    const PieceState& was = existing.pieces[i];
    const bool nowClean = now.state == SectorState::kClean;
    const bool wasClean = was.state == SectorState::kClean;
    if (!nowClean && !wasClean) {
      result.merged.pieces[i] =
          Combine(was, existing.bytes.data(), now, fresh.bytes.data(), piece,
                  result.merged.bytes.data());
      continue;
    }
    bool take = nowClean && !wasClean;
    if (nowClean && wasClean &&
        !SameBytes(fresh.bytes.data(), existing.bytes.data(), piece)) {
      take = Fillable(existing, piece);
      if (!take) result.disagreeing.push_back(i);
    }
    if (!take) continue;
    std::memcpy(result.merged.bytes.data() + piece.offset,
                fresh.bytes.data() + piece.offset,
                static_cast<std::size_t>(piece.length));
    result.merged.pieces[i] = now;
  }
  if (!result.disagreeing.empty()) {
    result.outcome = MergeOutcome::kDisagrees;
  } else if (result.merged.bytes == existing.bytes &&
             result.merged.pieces == existing.pieces) {
    result.outcome = MergeOutcome::kAddsNothing;
  } else {
    result.outcome = MergeOutcome::kMerged;
  }
  return result;
}

std::size_t DifferingPieces(const std::vector<PlanPiece>& plan,
                            const KnownFile& existing,
                            const std::vector<std::uint8_t>& fresh) {
  std::size_t differing = 0;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    if (existing.pieces[i].state == SectorState::kClean &&
        !Fillable(existing, plan[i]) &&
        !SameBytes(existing.bytes.data(), fresh.data(), plan[i])) {
      ++differing;
    }
  }
  return differing;
}
