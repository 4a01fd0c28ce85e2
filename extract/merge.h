// Merging a file that could not be read cleanly with the file that already
// holds its name, so that successive dumps of the same damaged disk add up
// and a worse dump never replaces a better file.  Zero bytes are what a run
// writes where it could read nothing, so an all-zero piece of the existing
// file is taken as unknown.  Piece by piece:
//   - a piece read in full, without a recorded read error, takes the new
//     bytes; the two files disagree when the existing piece holds a byte
//     that is not zero and differs from the new one;
//   - any other piece keeps the existing piece unless that is all zero
//     bytes, and otherwise takes the new bytes (those read, zero after).

#ifndef TAMREK_EXTRACT_MERGE_H_
#define TAMREK_EXTRACT_MERGE_H_

#include <cstdint>
#include <vector>

#include "extract/entry_read.h"

enum class MergeOutcome {
  kDisagrees,    // a cleanly read piece differs from the existing file
  kAddsNothing,  // the merged file is the existing file, byte for byte
  kMerged,       // the merged file knows more than the existing one
};

struct MergeResult {
  MergeOutcome outcome = MergeOutcome::kDisagrees;
  // Bytes of the merged file that are known: those of the pieces read
  // cleanly, and those of the kept pieces that are not all zero.
  std::int32_t known = 0;
};

// Merges `fresh`, the bytes of `read`, with `existing` into `*merged`.
// REQUIRES: `fresh` and `existing` hold every byte of `read`'s pieces.
// Returns the outcome; `*merged` is complete whatever it is.
MergeResult MergeWithExisting(const EntryRead& read, const std::uint8_t* fresh,
                              const std::vector<std::uint8_t>& existing,
                              std::vector<std::uint8_t>* merged);

#endif  // TAMREK_EXTRACT_MERGE_H_
