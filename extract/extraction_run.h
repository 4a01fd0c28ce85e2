// The extraction run: the whole job of the tamrek command.  It checks the
// command line, opens the D88 file, and for every row of the extraction plan
// reads the row's sector run from its disk and writes it to a file of the
// row's name in the current working directory, one console line per file.
//
// Output files are written safely: each is written to a temporary file in
// the same directory, created new so that nothing already at that name (a
// planted link, say) is ever opened, and renamed over its name only once it
// is complete, so an existing file of that name keeps its content when
// anything fails, and the input file itself is never replaced.  A file that
// could not be read in full never replaces anything: it is placed only
// under a name that nothing holds.

#ifndef TAMREK_EXTRACT_EXTRACTION_RUN_H_
#define TAMREK_EXTRACT_EXTRACTION_RUN_H_

#include <cstdint>
#include <cstdio>
#include <string>

// Runs the tool with the program's argument vector (argv[0] is the program
// name), writing the per-file lines to `out` and the diagnostics to `err`.
// A single argument --help or -h (or the system's own help switch) writes
// the usage line and a help text to `out`, --version the version and the
// licence; both return 0 and touch no file.
// Returns the exit status: 0 when all 29 files were read in full, from
// sectors recorded without a read error, and written; 1 for a wrong argument
// count or an input that cannot be opened (nothing is written then), or,
// after the whole plan has run, when any file was incomplete, held a sector
// recorded with a read error, or could not be written.
int RunExtraction(int argc, const char* const* argv, std::FILE* out,
                  std::FILE* err);

// How PlaceOutputFile() ended.
enum class Placement {
  kPlaced,  // the file is in place under its name
  kKept,    // something already held the name and was left as it was
  kFailed,  // it could not be created, written in full, closed or placed
};

// Puts `size` bytes from `data` into the file `name` in the working
// directory: writes a new temporary file beside it (the first of NAME.tmp0
// to NAME.tmp99 that nothing holds yet), then renames it to `name`.  With
// `mayReplace` the rename replaces what `name` holds, except the file at
// `inputPath` (the file being read); without it the file is placed only
// where nothing exists under `name`, in one step with that test.
// Returns kKept or kFailed, leaving whatever holds `name` as it was and no
// temporary file behind, when it does not place the file.
Placement PlaceOutputFile(const std::string& name, const std::uint8_t* data,
                          std::size_t size, const char* inputPath,
                          bool mayReplace);

#endif  // TAMREK_EXTRACT_EXTRACTION_RUN_H_
