// Merging a new dump of a file with the file that already holds its name,
// piece by piece, so that successive dumps of the same damaged disk add up
// and a worse dump never replaces a better file.  What is known of each
// piece of the existing file comes from the rescue map (see rescue_map.h):
// a piece takes the new bytes only where they rank above the existing ones,
// byte by byte (see sector_state.h): the longer clean prefix of the two
// stays, and a read error's bytes fill the rest before missing ones do.  Two
// pieces both read cleanly that differ are a disagreement between the
// dumps, and the file is then kept as it was.  A file that no map describes
// counts as read cleanly throughout, except that a clean new piece may fill a
// piece that is all zero bytes, as a run without knowledge writes where it
// could read nothing.

#ifndef TAMREK_EXTRACT_MERGE_H_
#define TAMREK_EXTRACT_MERGE_H_

#include <cstdint>
#include <vector>

#include "extract/extraction_plan.h"
#include "extract/sector_state.h"

// What is known of a file of the plan's length: its bytes, and piece by
// piece how they were read.
struct KnownFile {
  std::vector<std::uint8_t> bytes;
  std::vector<PieceState> pieces;  // one per piece of the plan's file
  // Whether the states are known (from a map, or from the read that gave
  // the bytes); without, every piece is clean, and one of zero bytes may be
  // filled by a clean piece.
  bool mapped = true;

  // Whether every piece is clean.
  bool Clean() const;
  // The bytes of the clean pieces.
  std::int32_t KnownBytes(const std::vector<PlanPiece>& plan) const;
};

enum class MergeOutcome {
  kDisagrees,    // pieces both read cleanly differ: keep the existing file
  kAddsNothing,  // the merge is the existing file, bytes and states
  kMerged,       // the merge knows more than the existing file
};

struct MergeResult {
  MergeOutcome outcome = MergeOutcome::kAddsNothing;
  KnownFile merged;                      // complete whatever the outcome
  std::vector<std::size_t> disagreeing;  // the pieces that disagree
};

// Merges `fresh` into `existing`, both files of `plan`'s pieces.
MergeResult Merge(const std::vector<PlanPiece>& plan, const KnownFile& existing,
                  const KnownFile& fresh);

// The pieces that `existing` holds as read cleanly (an unmapped piece of
// zero bytes excepted) and whose bytes differ from `fresh`'s: how far a
// file read in full and cleanly differs from the file it replaces.
std::size_t DifferingPieces(const std::vector<PlanPiece>& plan,
                            const KnownFile& existing,
                            const std::vector<std::uint8_t>& fresh);

#endif  // TAMREK_EXTRACT_MERGE_H_
