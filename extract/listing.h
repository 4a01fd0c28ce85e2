// The listing of `tamrek --list`: what the D88 files given hold, read without
// writing anything, so that a user can see whether the file is the four
// scenario disks in their order before extracting it.  It shows each disk
// image (its name, media type, size, present tracks and the scenario disk it
// serves, and whether it runs past the end of the file), then, for each
// scenario disk, every track the plan reads that is not laid out as the
// plan reads it (ten sectors numbered 1 to 10 with the track's own cylinder
// and head, size code 2 and 512 bytes of data), with the sector IDs it does
// hold in their stored order, and how many of the sectors the plan reads
// are recorded with a read error; last the plan itself.  What it shows of
// the disks comes from their survey (see disk_survey.h).

#ifndef TAMREK_EXTRACT_LISTING_H_
#define TAMREK_EXTRACT_LISTING_H_

#include "extract/console.h"
#include "extract/disk_set.h"

// Writes the listing of the files of `set` to standard output: each file's
// images (under the file's name, when there are several), which file and
// image serve each scenario disk in scope, their layout, and the plan's
// files of those disks.  REQUIRES: `set` is open.  Selects images in turn.
void ListDisks(DiskSet* set, Console* console);

#endif  // TAMREK_EXTRACT_LISTING_H_
