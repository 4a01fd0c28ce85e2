// How a sector's share of an output file (a piece) was read, the knowledge
// that a run records for each piece in the rescue map (see rescue_map.h) and
// that the merge of successive dumps ranks (see merge.h): clean above read
// error above partial (more bytes read first) above missing.

#ifndef TAMREK_EXTRACT_SECTOR_STATE_H_
#define TAMREK_EXTRACT_SECTOR_STATE_H_

#include <cstdint>

enum class SectorState : std::uint8_t {
  kMissing,    // nothing was read: the image lacks the sector
  kPartial,    // fewer bytes than the piece holds were read
  kReadError,  // read in full, from a sector recorded with a read error
  kClean,      // read in full, from a sector recorded without one
};

struct PieceState {
  SectorState state = SectorState::kClean;
  std::int32_t got = 0;     // kPartial: the bytes read
  std::uint8_t status = 0;  // kReadError: the sector's status byte
};

inline bool operator==(const PieceState& a, const PieceState& b) {
  return a.state == b.state &&
         (a.state != SectorState::kPartial || a.got == b.got) &&
         (a.state != SectorState::kReadError || a.status == b.status);
}
inline bool operator!=(const PieceState& a, const PieceState& b) {
  return !(a == b);
}

// Whether `a` ranks above `b`, so that a piece read as `a` takes the place
// of one read as `b`.  Pieces of equal rank keep the first.
inline bool RanksAbove(const PieceState& a, const PieceState& b) {
  if (a.state != b.state) return a.state > b.state;
  return a.state == SectorState::kPartial && a.got > b.got;
}

#endif  // TAMREK_EXTRACT_SECTOR_STATE_H_
