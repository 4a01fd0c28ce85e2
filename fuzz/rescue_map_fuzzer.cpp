// Fuzz target for the rescue map's parser.  The whole input is a map's
// text.  What parses must name only sectors the plan reads, in states a map
// can hold, and read back the same once written; what does not must say
// why.  A broken postcondition aborts.
//
// Built with -fsanitize=fuzzer it is a libFuzzer target; built with
// replay_main.cpp it replays files (the seed corpus and past crashes).

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "extract/extraction_plan.h"
#include "extract/rescue_map.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RescueMap map;
  std::string reason;
  if (!ParseRescueMap(text, &map, &reason)) {
    Check(!reason.empty());
    return 0;
  }
  for (const MapRecord& record : map.records) {
    Check(record.file < PlanFiles().size());
    const std::vector<PlanPiece>& pieces = PlanFiles()[record.file].pieces;
    Check(record.kind == RecordKind::kRead
              ? record.pieces.size() == pieces.size()
              : record.pieces.empty());
    for (std::size_t i = 0; i < record.pieces.size(); ++i) {
      const PieceState& state = record.pieces[i];
      if (state.state == SectorState::kPartial ||
          (state.state == SectorState::kReadError && state.got > 0)) {
        Check(state.got > 0 && state.got < pieces[i].length);
      }
    }
  }
  RescueMap again;
  Check(ParseRescueMap(FormatRescueMap(map.records), &again, &reason));
  Check(again.records == map.records);
  return 0;
}
