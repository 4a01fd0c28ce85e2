// The extraction plan: the fixed table of 29 files that the tool copies out of
// the four scenario disks, in the order they are written.  Rows are grouped
// by disk and naming rule; the run selects a group's disk once before its
// first row.  Every row reads 512-byte sectors (size code 2) numbered 1 to 10
// on each track side.

#ifndef TAMREK_EXTRACT_EXTRACTION_PLAN_H_
#define TAMREK_EXTRACT_EXTRACTION_PLAN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::int32_t kPlanSizeCode = 2;  // 512-byte sectors
constexpr std::int32_t kPlanSectorSize = std::int32_t{128} << kPlanSizeCode;
constexpr std::int32_t kPlanFirstSector = 1;
constexpr std::int32_t kPlanLastSector = 10;

struct ExtractGroup {
  std::int32_t disk;     // image index passed to SelectImage
  const char* nameRule;  // a fixed name, or a pattern with one %02d
  bool numbered;         // whether nameRule takes the row's number
};

struct ExtractEntry {
  std::int32_t group;        // index into kExtractGroups
  std::int32_t track;        // track of the first sector: 2 x C + H
  std::int32_t startSector;  // R of the first sector
  std::int32_t length;       // bytes to read and to write
};

constexpr int kExtractGroupCount = 5;
constexpr int kExtractEntryCount = 29;
constexpr std::int32_t kLongestEntry = 3330;

extern const ExtractGroup kExtractGroups[kExtractGroupCount];
extern const ExtractEntry kExtractionPlan[kExtractEntryCount];

// Where a run of the plan's sectors is: the track and the sector ID.
struct PlanSector {
  std::int32_t track, c, h, r;

  // Steps to the next sector of a run, as D88Image::ReadSectors() does with
  // the plan's sector range: after sector 10, sector 1 of the other side,
  // or of the next cylinder.
  void Next();
};

// One sector's share of an output file: a whole 512-byte sector, or less
// for the file's last piece.
struct PlanPiece {
  std::int32_t offset;  // where it lies in the file
  std::int32_t length;  // its bytes in the file
  PlanSector at;        // the sector it is read from
};

// One output file of the plan, with its name and its pieces in file order.
struct PlanFile {
  std::string name;
  std::int32_t disk;
  ExtractEntry entry;
  std::vector<PlanPiece> pieces;
};

// The plan's files, in the order they are written.
const std::vector<PlanFile>& PlanFiles();

// The index in PlanFiles() of the file named `name`; PlanFiles().size()
// when the plan has none.
std::size_t FindPlanFile(const std::string& name);

#endif  // TAMREK_EXTRACT_EXTRACTION_PLAN_H_
