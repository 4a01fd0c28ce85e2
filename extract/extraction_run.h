// The extraction run: the whole job of the tamrek command.  It checks the
// command line, opens the D88 files whose images are the scenario disks (see
// disk_set.h), and for every row of the extraction plan reads the row's
// sector run from its disk and writes it to a file of the row's name in the
// current working directory, one console line per file.
//
// Output files are placed as output_folder.h says: each is complete under
// its name or not there at all (written unnamed, or under a temporary name,
// until it is), nothing already at a name (a planted link, say) is ever
// opened, an existing file keeps its content when anything fails, and the
// input file itself is never replaced.  A file that was not read in full
// and cleanly never changes a byte of an existing file that was read
// cleanly: it is placed where nothing holds its name, or merged with a file
// of its length there (see merge.h), and its sectors are recorded in the
// rescue map (see rescue_map.h).

#ifndef TAMREK_EXTRACT_EXTRACTION_RUN_H_
#define TAMREK_EXTRACT_EXTRACTION_RUN_H_

#include <cstdint>
#include <cstdio>
#include <string>

// Runs the tool with the program's argument vector (argv[0] is the program
// name), writing the per-file lines to `out` and the diagnostics to `err`.
// A single argument --help or -h (or the system's own help switch) writes
// the usage line and a help text to `out`, --version the version and the
// licence; both return 0 and touch no file.  Otherwise the arguments are
// [--list | -l | --test | -t] [--disk N] FILE...: --list writes the listing
// of the files (see listing.h) and --test runs the plan with every line
// about the images but writes no file, saying which files are complete;
// neither touches a file.  --disk N reads and places disk N's files alone,
// from the one file given.
// Returns the exit status (for --list, 0 once the files are open; for
// --test, as for a run, with nothing written): 0 when all 29 files (with
// --disk, that disk's) were read in full, from sectors recorded without a
// read error, and written; 1 for a wrong command line or an input that
// cannot be opened (nothing is written then),
// or, after the whole plan has run, when any file was incomplete, held a sector
// recorded with a read error, was kept as it was or could not be written, or
// when a line could not be written to `out` (then said on `err`).
int RunExtraction(int argc, const char* const* argv, std::FILE* out,
                  std::FILE* err);

#endif  // TAMREK_EXTRACT_EXTRACTION_RUN_H_
