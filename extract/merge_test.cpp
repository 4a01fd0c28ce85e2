// Tests of merging a new dump of a file with the file under its name: which
// piece comes from where, by rank and by the no-map rule, when the two
// disagree, and how much of the result is known.

#include "extract/merge.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr PieceState kClean{SectorState::kClean, 4, 0};
constexpr PieceState kMissing{SectorState::kMissing, 0, 0};
constexpr PieceState kError{SectorState::kReadError, 4, 0xB0};
constexpr PieceState kOtherError{SectorState::kReadError, 4, 0xE0};
PieceState Partial(int got) { return {SectorState::kPartial, got, 0}; }

// Three pieces of 4 bytes.
const std::vector<PlanPiece> kPlan = {
    {0, 4, {0, 0, 0, 1}}, {4, 4, {0, 0, 0, 2}}, {8, 4, {0, 0, 0, 3}}};

KnownFile File(Bytes bytes, std::vector<PieceState> pieces,
               bool mapped = true) {
  return KnownFile{std::move(bytes), std::move(pieces), mapped};
}

TEST(MergeTest, APieceTakesTheNewBytesOnlyWhereTheNewReadRanksHigher) {
  struct Case {
    const char* what;
    KnownFile existing, fresh;
    MergeOutcome outcome;
    KnownFile merged;
  };
  const Case cases[] = {
      {"clean over read error over partial over missing",
       File({1, 1, 1, 1, 2, 2, 0, 0, 0, 0, 0, 0},
            {kError, Partial(2), kMissing}),
       File({5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 0, 0}, {kClean, kError, Partial(2)}),
       MergeOutcome::kMerged,
       File({5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 0, 0},
            {kClean, kError, Partial(2)})},
      {"a read error never replaces a read error, nor missing a partial",
       File({1, 1, 1, 1, 2, 2, 0, 0, 3, 3, 3, 0},
            {kError, Partial(2), Partial(3)}),
       File({5, 5, 5, 5, 0, 0, 0, 0, 7, 7, 0, 0},
            {kOtherError, kMissing, Partial(2)}),
       MergeOutcome::kAddsNothing,
       File({1, 1, 1, 1, 2, 2, 0, 0, 3, 3, 3, 0},
            {kError, Partial(2), Partial(3)})},
      {"more bytes of a partial piece win",
       File({1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
            {Partial(2), kMissing, kMissing}),
       File({5, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0},
            {Partial(3), kMissing, kMissing}),
       MergeOutcome::kMerged,
       File({5, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0},
            {Partial(3), kMissing, kMissing})},
      {"a clean read of the same bytes makes a piece known",
       File(Bytes(12, 0), {kMissing, kError, kClean}),
       File(Bytes(12, 0), {kClean, kClean, kMissing}), MergeOutcome::kMerged,
       File(Bytes(12, 0), {kClean, kClean, kClean})},
      {"clean pieces that differ disagree, even in zero bytes",
       File({1, 1, 1, 1, 0, 0, 0, 0, 3, 3, 3, 3}, {kClean, kClean, kClean}),
       File({1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4}, {kClean, kClean, kClean}),
       MergeOutcome::kDisagrees,
       File({1, 1, 1, 1, 0, 0, 0, 0, 3, 3, 3, 3}, {kClean, kClean, kClean})},
      {"without a map, a clean piece fills zeros and nothing else",
       File({0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3}, {kClean, kClean, kClean},
            false),
       File({5, 5, 5, 5, 6, 6, 6, 6, 3, 3, 3, 3}, {kClean, kError, kMissing}),
       MergeOutcome::kMerged,
       File({5, 5, 5, 5, 0, 0, 0, 0, 3, 3, 3, 3}, {kClean, kClean, kClean})},
      {"without a map, half a piece of zeros is not unknown",
       File({0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {kClean, kClean, kClean},
            false),
       File({0, 0, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0}, {kClean, kClean, kClean}),
       MergeOutcome::kDisagrees,
       File({0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {kClean, kClean, kClean})},
  };
  for (const Case& c : cases) {
    const MergeResult result = Merge(kPlan, c.existing, c.fresh);
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.merged.bytes, c.merged.bytes) << c.what;
    EXPECT_EQ(result.merged.pieces, c.merged.pieces) << c.what;
    EXPECT_TRUE(result.merged.mapped) << c.what;
  }
  const MergeResult differ = Merge(kPlan, cases[4].existing, cases[4].fresh);
  EXPECT_EQ(differ.disagreeing, (std::vector<std::size_t>{1, 2}));
}

TEST(MergeTest, KnownBytesAndDifferingSectorsCountOnlyCleanPieces) {
  const KnownFile mixed =
      File({1, 1, 1, 1, 0, 0, 0, 0, 3, 3}, {kClean, kMissing, kError});
  const std::vector<PlanPiece> plan = {
      {0, 4, {}}, {4, 4, {}}, {8, 2, {}}};  // the last piece is short
  EXPECT_EQ(mixed.KnownBytes(plan), 4);
  EXPECT_EQ(File(Bytes(10, 1), {kClean, kClean, kClean}).KnownBytes(plan), 10);
  const Bytes fresh = {9, 1, 1, 1, 9, 0, 0, 0, 9, 3};
  EXPECT_EQ(DifferingPieces(plan, mixed, fresh), 1u);
  EXPECT_EQ(DifferingPieces(plan, File(Bytes(10, 1), {kClean, kClean, kClean}),
                            fresh),
            3u);
  // Without a map a piece of zeros is unknown, not different.
  EXPECT_EQ(DifferingPieces(plan,
                            File({1, 1, 1, 1, 0, 0, 0, 0, 3, 3},
                                 {kClean, kClean, kClean}, false),
                            fresh),
            2u);
}

}  // namespace
