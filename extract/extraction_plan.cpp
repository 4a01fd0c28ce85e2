// The extraction plan's table.  See extraction_plan.h.

#include "extract/extraction_plan.h"

#include <cstdio>
#include <utility>

const ExtractGroup kExtractGroups[kExtractGroupCount] = {
    {0, "DRIVER01.BIN", false},  //
    {0, "MDAT%02d", true},       //
    {1, "LDAT%02d", true},       //
    {2, "NDAT%02d", true},       //
    {3, "PDAT%02d", true},       //
};

const ExtractEntry kExtractionPlan[kExtractEntryCount] = {
    // group, track, start sector, length
    {0, 79, 4, 3071},   // DRIVER01.BIN
    {1, 14, 4, 2818},   // MDAT01
    {1, 14, 10, 2050},  // MDAT02
    {1, 15, 5, 1538},   // MDAT03
    {1, 15, 9, 2818},   // MDAT04
    {1, 16, 5, 3330},   // MDAT05
    {1, 17, 2, 2818},   // MDAT06
    {1, 17, 8, 1538},   // MDAT07
    {2, 73, 9, 3074},   // LDAT01
    {2, 74, 6, 2306},   // LDAT02
    {2, 75, 1, 2818},   // LDAT03
    {2, 75, 7, 1026},   // LDAT04
    {2, 75, 10, 1794},  // LDAT05
    {2, 76, 4, 3074},   // LDAT06
    {2, 77, 1, 3330},   // LDAT07
    {2, 77, 8, 2050},   // LDAT08
    {2, 78, 3, 1794},   // LDAT09
    {2, 78, 7, 2562},   // LDAT10
    {2, 79, 3, 1282},   // LDAT11
    {2, 79, 6, 1026},   // LDAT12
    {3, 75, 10, 1794},  // NDAT01
    {3, 76, 10, 2818},  // NDAT02
    {3, 77, 6, 3074},   // NDAT03
    {3, 78, 3, 1026},   // NDAT04
    {4, 76, 1, 2050},   // PDAT01
    {4, 78, 10, 2050},  // PDAT02
    {4, 79, 5, 1026},   // PDAT03
    {4, 80, 2, 1026},   // PDAT04
    {4, 80, 5, 2306},   // PDAT05
};

void PlanSector::Next() {
  if (r != kPlanLastSector) {
    ++r;
    return;
  }
  ++track;
  if (h == 0) {
    h = 1;
  } else {
    h = 0;
    ++c;
  }
  r = kPlanFirstSector;
}

namespace {

std::vector<PlanFile> MakePlanFiles() {
  std::vector<PlanFile> files;
  std::int32_t previous = -1;
  int number = 0;  // the row's 1-based position within its group
  for (const ExtractEntry& entry : kExtractionPlan) {
    number = entry.group == previous ? number + 1 : 1;
    previous = entry.group;
    const ExtractGroup& group = kExtractGroups[entry.group];
    PlanFile file;
    file.name = group.nameRule;
    if (group.numbered) {
      char name[16];
      std::snprintf(name, sizeof name, group.nameRule, number);
      file.name = name;
    }
    file.disk = group.disk;
    file.entry = entry;
    PlanSector at{entry.track, entry.track / 2, entry.track % 2,
                  entry.startSector};
    for (std::int32_t offset = 0; offset < entry.length;
         offset += kPlanSectorSize, at.Next()) {
      const std::int32_t rest = entry.length - offset;
      file.pieces.push_back(PlanPiece{
          offset, rest < kPlanSectorSize ? rest : kPlanSectorSize, at});
    }
    files.push_back(std::move(file));
  }
  return files;
}

}  // namespace

const std::vector<PlanFile>& PlanFiles() {
  static const std::vector<PlanFile> files = MakePlanFiles();
  return files;
}

std::size_t FindPlanFile(const std::string& name) {
  const std::vector<PlanFile>& files = PlanFiles();
  std::size_t i = 0;
  while (i < files.size() && files[i].name != name) ++i;
  return i;
}
