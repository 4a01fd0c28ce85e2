// The rescue map's two steps around placing a dump's files, as values: the
// records it must hold before the first file takes its name, and those of
// the files as they are once placed.  Written in that order, with the
// folder flushed between placing and the second step, the map is true at
// every instant a crash or a power cut can stop a run at: before a file
// takes its name, the record of what it holds (clean or not) is in the map
// beside the record of the file it replaces; a record leaves the map only
// once no file it is about stands there.

#ifndef TAMREK_EXTRACT_FOLDER_JOURNAL_H_
#define TAMREK_EXTRACT_FOLDER_JOURNAL_H_

#include <vector>

#include "extract/folder_plan.h"
#include "extract/rescue_map.h"

// The records of `onDisk`, with the record of every file that `steps` and
// `others` (the plan's files that no step places) find, so that it stands
// while the file does, and of every file the steps place, under its new
// checksum.
std::vector<MapRecord> RecordsBefore(const std::vector<MapRecord>& onDisk,
                                     const std::vector<NameStep>& steps,
                                     const std::vector<Holding>& others);

// The records of the folder's files as they are after `steps`: for each
// name of `steps`, the record of what it holds now; for the plan's other
// files, that of what `others` found.
std::vector<MapRecord> RecordsAfter(const std::vector<NameStep>& steps,
                                    const std::vector<Holding>& others);

// Whether a folder whose files have `records` needs a map: one of its
// files is not complete.
bool NeedsMap(const std::vector<MapRecord>& records);

#endif  // TAMREK_EXTRACT_FOLDER_JOURNAL_H_
