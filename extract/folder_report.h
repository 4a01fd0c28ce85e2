// The lines a run writes about the folder: for each name, what became of
// it (and of what an earlier run left beside it), and at the end a summary
// of how complete the folder is, counted from what the folder's files are,
// never from what the run meant to make of them.

#ifndef TAMREK_EXTRACT_FOLDER_REPORT_H_
#define TAMREK_EXTRACT_FOLDER_REPORT_H_

#include <vector>

#include "extract/console.h"
#include "extract/folder_plan.h"
#include "extract/rescue_map.h"

// Writes the lines about `step`, once carried out.
void SayStep(const NameStep& step, Console* console);

// Writes the last line of a run: how many of the plan's files (those of
// `steps`, and `others`, found in the folder) are complete and, where
// the map is kept, how many sectors it lists still to be read.  `records`:
// the map's records of the files as they are, or nullptr where no map
// records them: none is needed (`trustFound`: a file found of the plan's
// length is complete), or none could be read or written (only a file placed
// clean is).  Writes nothing when every file was read cleanly, placed, and
// is complete.
void Summarize(const std::vector<NameStep>& steps,
               const std::vector<Holding>& others,
               const std::vector<MapRecord>* records, bool trustFound,
               Console* console);

#endif  // TAMREK_EXTRACT_FOLDER_REPORT_H_
