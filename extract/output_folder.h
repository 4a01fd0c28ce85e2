// Putting the files of one dump into the working folder, where earlier
// dumps of the same disks may have left files and the rescue map that says
// how they were read (see rescue_map.h).  One run at a time: the folder is
// locked for the whole update, and a second run waits for the first.
//
// For each file: one read in full and cleanly replaces whatever its name
// holds (and says so when it replaces a file that differs from it where
// that file was read cleanly); any other is put where nothing holds the
// name, merged with a file of its length there (see merge.h), or, when
// something else holds the name, not put anywhere.  A name that already
// holds exactly the file is left untouched.  Files are written through the
// FileSystem (see platform/file_system.h): complete or not at all, and never
// over the file being read.
//
// The map is kept true at every instant, whatever ends the run: before a
// file whose pieces are not all clean takes its name, the map already holds
// its lines, under its own checksum, beside those of the file it replaces;
// a line leaves the map only after the file that makes it untrue is in
// place.  A map that cannot be read is left as it is, and nothing is
// recorded then: a file not read cleanly, which would pass for a clean one
// without its lines, is not written.

#ifndef TAMREK_EXTRACT_OUTPUT_FOLDER_H_
#define TAMREK_EXTRACT_OUTPUT_FOLDER_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "extract/console.h"
#include "extract/merge.h"
#include "platform/file_system.h"

// One file of the plan as a dump gave it.
struct DumpedFile {
  std::size_t file;  // index in PlanFiles()
  KnownFile read;    // its bytes, and how each piece was read
};

// Puts `files` into the folder of `fs`, one after the other, writing the
// lines about each to `console`: first the lines that `report` writes,
// called with the file's index in `files`, then what became of it.  Ends
// with a line that says how many of `files` are complete in the folder,
// when one was not read cleanly or not put in place, or one is not.
// `inputPath` is the file being read, which is never replaced.
// REQUIRES: `files` are distinct files of the plan, in the plan's order.
// Returns true when every file was put in place as it was read (or its name
// held it already), and the folder and its map were written as needed.
bool PutFiles(platform::FileSystem* fs, const std::string& inputPath,
              const std::vector<DumpedFile>& files,
              const std::function<void(std::size_t)>& report, Console* console);

#endif  // TAMREK_EXTRACT_OUTPUT_FOLDER_H_
