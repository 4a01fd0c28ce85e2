// The map's steps around placing.  See folder_journal.h.

#include "extract/folder_journal.h"

#include <algorithm>

namespace {

// `records` with `record` in it, in the place of one about the same file
// state.
void Put(const MapRecord& record, std::vector<MapRecord>* records) {
  const auto same = std::find_if(
      records->begin(), records->end(), [&record](const MapRecord& other) {
        return record.file == other.file && record.crc == other.crc;
      });
  if (same != records->end()) {
    *same = record;
  } else {
    records->push_back(record);
  }
}

}  // namespace

std::vector<MapRecord> RecordsBefore(const std::vector<MapRecord>& onDisk,
                                     const std::vector<NameStep>& steps,
                                     const std::vector<Holding>& others) {
  std::vector<MapRecord> records = onDisk;
  for (const Holding& holding : others) {
    if (holding.record) Put(*holding.record, &records);
  }
  for (const NameStep& step : steps) {
    if (step.holding.record) Put(*step.holding.record, &records);
    if (step.decision.Places()) {
      Put(step.decision.ResultRecord(step.dumped->file), &records);
    }
  }
  std::sort(records.begin(), records.end());
  return records;
}

std::vector<MapRecord> RecordsAfter(const std::vector<NameStep>& steps,
                                    const std::vector<Holding>& others) {
  std::vector<MapRecord> records;
  for (const Holding& holding : others) {
    if (holding.record) Put(*holding.record, &records);
  }
  for (const NameStep& step : steps) {
    if (step.placed) {
      Put(step.decision.ResultRecord(step.dumped->file), &records);
    } else if (step.holding.record) {
      Put(*step.holding.record, &records);
    }
  }
  std::sort(records.begin(), records.end());
  return records;
}

bool NeedsMap(const std::vector<MapRecord>& records) {
  return std::any_of(records.begin(), records.end(),
                     [](const MapRecord& r) { return !r.Complete(); });
}
