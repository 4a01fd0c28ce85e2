// Reading a plan file piece by piece.  See entry_read.h.

#include "extract/entry_read.h"

#include <cstring>

// A short read is partial whatever its status: the bytes it lacks are
// missing, and a longer clean prefix from another dump must outrank it.
PieceState Piece::State() const {
  if (got == 0) return PieceState{SectorState::kMissing, 0, 0};
  if (!Full()) return PieceState{SectorState::kPartial, got, 0};
  if (readError) return PieceState{SectorState::kReadError, 0, status};
  return PieceState{SectorState::kClean, got, 0};
}

bool EntryRead::Complete() const {
  for (const Piece& piece : pieces) {
    if (!piece.Full()) return false;
  }
  return true;
}

bool EntryRead::Clean() const {
  for (const Piece& piece : pieces) {
    if (!piece.Clean()) return false;
  }
  return true;
}

EntryRead ReadEntry(D88Image* image, const PlanFile& file, std::uint8_t* dest) {
  EntryRead read;
  for (const PlanPiece& plan : file.pieces) {
    std::uint8_t* piece = dest + plan.offset;
    std::int32_t got =
        image->ReadSector(plan.at.track, plan.at.c, plan.at.h, plan.at.r,
                          kPlanSizeCode, piece, plan.length);
    if (got < 0 || got > plan.length) got = 0;  // no count it returns
    std::memset(piece + got, 0, static_cast<std::size_t>(plan.length - got));
    const std::vector<SectorReadError>& errors = image->GetReadErrors();
    read.pieces.push_back(Piece{
        plan, got, errors.empty() ? std::uint8_t{0} : errors.front().status,
        !errors.empty()});
    read.got += got;
  }
  return read;
}
