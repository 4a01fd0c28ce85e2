// How a sector's share of an output file (a piece) was read, the knowledge
// that a run records for each piece in the rescue map (see rescue_map.h) and
// that the merge of successive dumps ranks (see merge.h).  A piece that is
// not clean is a clean prefix of `got` bytes (none when nothing was read
// cleanly) followed by a rest that is either missing (zero bytes) or read
// from a sector recorded with a read error.  Ranked byte by byte: clean
// bytes above read-error bytes above missing ones.

#ifndef TAMREK_EXTRACT_SECTOR_STATE_H_
#define TAMREK_EXTRACT_SECTOR_STATE_H_

#include <cstdint>

enum class SectorState : std::uint8_t {
  kMissing,    // nothing was read: the image lacks the sector
  kPartial,    // `got` bytes were read cleanly; the rest is missing
  kReadError,  // `got` bytes (often none) were read cleanly; the rest comes
               // from a sector recorded with a read error
  kClean,      // read in full, from a sector recorded without one
};

struct PieceState {
  SectorState state = SectorState::kClean;
  std::int32_t got = 0;     // kPartial, kReadError: the clean prefix's bytes
  std::uint8_t status = 0;  // kReadError: the sector's status byte
};

inline bool operator==(const PieceState& a, const PieceState& b) {
  return a.state == b.state &&
         (a.state == SectorState::kClean || a.state == SectorState::kMissing ||
          a.got == b.got) &&
         (a.state != SectorState::kReadError || a.status == b.status);
}
inline bool operator!=(const PieceState& a, const PieceState& b) {
  return !(a == b);
}

#endif  // TAMREK_EXTRACT_SECTOR_STATE_H_
