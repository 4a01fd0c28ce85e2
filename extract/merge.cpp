// Merging with an existing file.  See merge.h.

#include "extract/merge.h"

#include <algorithm>
#include <cstring>

MergeResult MergeWithExisting(const EntryRead& read, const std::uint8_t* fresh,
                              const std::vector<std::uint8_t>& existing,
                              std::vector<std::uint8_t>* merged) {
  MergeResult result;
  bool disagrees = false;
  merged->assign(existing.begin(), existing.end());
  for (const Piece& piece : read.pieces) {
    const std::uint8_t* now = fresh + piece.offset;
    std::uint8_t* kept = merged->data() + piece.offset;
    const std::size_t length = static_cast<std::size_t>(piece.length);
    if (piece.Clean()) {
      for (std::size_t i = 0; i < length; ++i) {
        if (kept[i] != 0 && kept[i] != now[i]) disagrees = true;
      }
      std::memcpy(kept, now, length);
      result.known += piece.length;
    } else if (std::all_of(kept, kept + length,
                           [](std::uint8_t b) { return b == 0; })) {
      std::memcpy(kept, now, length);
    } else {
      result.known += piece.length;
    }
  }
  if (disagrees) {
    result.outcome = MergeOutcome::kDisagrees;
  } else {
    result.outcome = *merged == existing ? MergeOutcome::kAddsNothing
                                         : MergeOutcome::kMerged;
  }
  return result;
}
