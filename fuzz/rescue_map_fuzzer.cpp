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
  std::vector<MapLine> lines;
  std::string reason;
  if (!ParseRescueMap(text, &lines, &reason)) {
    Check(!reason.empty());
    return 0;
  }
  for (const MapLine& line : lines) {
    Check(line.file < PlanFiles().size());
    const std::vector<PlanPiece>& pieces = PlanFiles()[line.file].pieces;
    Check(line.piece < pieces.size());
    Check(line.state.state != SectorState::kClean);
    if (line.state.state == SectorState::kPartial) {
      Check(line.state.got > 0 && line.state.got < pieces[line.piece].length);
    }
  }
  std::vector<MapLine> again;
  Check(ParseRescueMap(FormatRescueMap(lines), &again, &reason));
  std::vector<MapLine> sorted = lines;
  std::sort(sorted.begin(), sorted.end());
  Check(again == sorted);
  return 0;
}
