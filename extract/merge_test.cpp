// Tests of merging a file read in part with the file under its name: which
// piece comes from where, when the two disagree, and how much is known.

#include "extract/merge.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Three pieces of 4 bytes; `got` and `error` per piece.
EntryRead ThreePieces(std::vector<int> got, std::vector<bool> error) {
  EntryRead read;
  for (int i = 0; i < 3; ++i) {
    read.pieces.push_back(Piece{4 * i, 4, 0, 0, i + 1, got[i], 0, error[i]});
  }
  return read;
}

TEST(MergeTest, CleanPiecesWinUnknownPiecesKeepWhatIsKnown) {
  const Bytes fresh = {1, 1, 1, 1, 2, 2, 0, 0, 3, 3, 3, 3};
  struct Case {  // NOLINT(clang-analyzer-optin.performance.Padding)
    const char* what;
    EntryRead read;
    Bytes existing;
    MergeOutcome outcome;
    Bytes merged;
    int known;
  };
  const Case cases[] = {
      {"a placeholder takes what was read", ThreePieces({4, 2, 4}, {0, 0, 0}),
       Bytes(12, 0), MergeOutcome::kMerged, fresh, 8},
      {"a known piece stays where this read fell short",
       ThreePieces({4, 2, 4}, {0, 0, 0}),
       {1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0},
       MergeOutcome::kMerged,
       {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3},
       12},
      {"a read error never overwrites a known piece",
       ThreePieces({4, 4, 4}, {1, 0, 0}),
       {9, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0},
       MergeOutcome::kMerged,
       {9, 9, 9, 9, 2, 2, 0, 0, 3, 3, 3, 3},
       12},
      {"a read error fills an unknown piece, not counted as known",
       ThreePieces({4, 2, 4}, {1, 0, 0}), Bytes(12, 0), MergeOutcome::kMerged,
       fresh, 4},
      {"a clean piece that differs is a disagreement",
       ThreePieces({4, 2, 4}, {0, 0, 0}),
       {1, 1, 1, 1, 0, 0, 0, 0, 3, 3, 7, 3},
       MergeOutcome::kDisagrees,
       {1, 1, 1, 1, 2, 2, 0, 0, 3, 3, 3, 3},
       8},
      {"zero bytes in a clean piece are no disagreement",
       ThreePieces({4, 0, 4}, {0, 0, 0}),
       {1, 0, 1, 1, 5, 5, 5, 5, 3, 3, 3, 0},
       MergeOutcome::kMerged,
       {1, 1, 1, 1, 5, 5, 5, 5, 3, 3, 3, 3},
       12},
      {"a merge equal to the file adds nothing",
       ThreePieces({4, 0, 4}, {0, 0, 0}),
       {1, 1, 1, 1, 5, 5, 5, 5, 3, 3, 3, 3},
       MergeOutcome::kAddsNothing,
       {1, 1, 1, 1, 5, 5, 5, 5, 3, 3, 3, 3},
       12},
  };
  for (const Case& c : cases) {
    Bytes merged;
    const MergeResult result =
        MergeWithExisting(c.read, fresh.data(), c.existing, &merged);
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(merged, c.merged) << c.what;
    EXPECT_EQ(result.known, c.known) << c.what;
  }
}

}  // namespace
