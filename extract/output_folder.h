// Putting the files of one dump into the working folder, where earlier
// dumps of the same disks may have left files and the rescue map that says
// how they were read (see rescue_map.h): the decisions of folder_plan.h
// carried out through the FileSystem (see platform/file_system.h), in the
// order folder_journal.h keeps the map true by, and said as
// folder_report.h says them.
//
// One run at a time: the folder is locked before it is listed, for the whole
// update, and a second run waits for the first.  Where no lock can be held,
// nothing is recorded and no file that would need recording is written.
// Files are written complete or not at all, and never over the file being
// read or one the user has made read-only.  Power cuts: the map's steps are
// flushed, a file the map records is flushed before it takes its name, and
// the folder is flushed between placing files and changing the map again;
// a clean extraction into a folder without a map flushes only what it
// replaces.

#ifndef TAMREK_EXTRACT_OUTPUT_FOLDER_H_
#define TAMREK_EXTRACT_OUTPUT_FOLDER_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "extract/console.h"
#include "extract/folder_plan.h"
#include "platform/file_system.h"

// Puts `files` into the folder of `fs`, one after the other, writing the
// lines about each to `console`: first the lines that `report` writes,
// called with the file's index in `files`, then what became of it.  Ends
// with a line that says how many of the plan's files are complete in the
// folder (`files`, and the plan's files `outside` them, which are only
// looked at), when one of `files` was not read cleanly or not put in place,
// or one is not complete.  `inputPaths` are the files being read, which
// are never replaced.
// REQUIRES: `files` are distinct files of the plan, in the plan's order.
// Returns true when every file was put in place as it was read (or its name
// held it already), and the folder and its map were written as needed.
bool PutFiles(platform::FileSystem* fs,
              const std::vector<std::string>& inputPaths,
              const std::vector<DumpedFile>& files,
              const std::vector<std::size_t>& outside,
              const std::function<void(std::size_t)>& report, Console* console);

#endif  // TAMREK_EXTRACT_OUTPUT_FOLDER_H_
