// Tests of merging a new dump of a file with the file under its name: which
// piece comes from where, by rank and by the no-map rule, when the two
// disagree, and how much of the result is known.

#include "extract/merge.h"

#include <gtest/gtest.h>

#include <vector>

#include "extract/entry_read.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr PieceState kClean{SectorState::kClean, 4, 0};
constexpr PieceState kMissing{SectorState::kMissing, 0, 0};
constexpr PieceState kError{SectorState::kReadError, 0, 0xB0};
constexpr PieceState kOtherError{SectorState::kReadError, 0, 0xE0};
PieceState Partial(int got) { return {SectorState::kPartial, got, 0}; }
// `got` bytes read cleanly, the rest with status 0xB0.
PieceState ErrorAfter(int got) { return {SectorState::kReadError, got, 0xB0}; }

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
      {"clean over read error over missing; a clean start stays",
       File({1, 1, 1, 1, 2, 2, 0, 0, 0, 0, 0, 0},
            {kError, Partial(2), kMissing}),
       File({5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 0, 0}, {kClean, kError, Partial(2)}),
       MergeOutcome::kMerged,
       File({5, 5, 5, 5, 2, 2, 6, 6, 7, 7, 0, 0},
            {kClean, ErrorAfter(2), Partial(2)})},
      {"the same, the other way round",
       File({5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 0, 0}, {kClean, kError, Partial(2)}),
       File({1, 1, 1, 1, 2, 2, 0, 0, 0, 0, 0, 0},
            {kError, Partial(2), kMissing}),
       MergeOutcome::kMerged,
       File({5, 5, 5, 5, 2, 2, 6, 6, 7, 7, 0, 0},
            {kClean, ErrorAfter(2), Partial(2)})},
      {"a longer clean start over a read error's, the error's rest kept",
       File({1, 0, 0, 0, 2, 2, 2, 2, 3, 3, 3, 0},
            {ErrorAfter(1), ErrorAfter(3), Partial(3)}),
       File({5, 5, 5, 0, 6, 6, 0, 0, 7, 7, 7, 7},
            {Partial(3), Partial(2), kOtherError}),
       MergeOutcome::kMerged,
       File(
           {5, 5, 5, 0, 2, 2, 2, 2, 3, 3, 3, 7},
           {ErrorAfter(3), ErrorAfter(3), {SectorState::kReadError, 3, 0xE0}})},
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
  const MergeResult differ = Merge(kPlan, cases[6].existing, cases[6].fresh);
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

TEST(MergeTest, AShortSectorIsPartialWhateverItsStatus) {
  // 256 bytes of a 512-byte sector recorded with an error: what it lacks is
  // missing, so a longer clean start from another dump outranks it.
  const PlanPiece plan{0, 512, {0, 0, 0, 1}};
  EXPECT_EQ((Piece{plan, 256, 0xB0, true}.State()), Partial(256));
  EXPECT_EQ((Piece{plan, 512, 0xB0, true}.State()),
            (PieceState{SectorState::kReadError, 0, 0xB0}));
  EXPECT_EQ((Piece{plan, 0, 0xB0, true}.State()), kMissing);
}

}  // namespace
