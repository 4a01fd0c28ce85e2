// The rescue map, tamrek.map: what a folder knows of how its files were
// read, kept beside them so that damaged dumps run one after the other in
// the folder add up in any order.  It lists, one line per sector, the pieces
// (see extraction_plan.h) of the files there that no dump has yet given in
// full and without a read error; every other piece of a file of the plan's
// length was read cleanly.  Each line names its file by name and by the
// CRC-32 of the whole file, so that a line applies only to the file as it
// was when the line was written, and a file that was replaced, edited or
// copied over since is seen to have changed.  The text, which a person can
// read:
//
//   tamrek-map 1
//   # comment lines, saying what the file is
//   FILE CRC-32 DISK CYLINDER HEAD SECTOR STATE
//
// CRC-32 is eight hexadecimal digits; STATE is "missing", "partial GOT of
// UNIT" (GOT of the piece's UNIT bytes were read) or "read-error 0xSS" (the
// status byte the dump recorded).  Blank lines are allowed; every line ends
// in a line feed (a carriage return before it is allowed).

#ifndef TAMREK_EXTRACT_RESCUE_MAP_H_
#define TAMREK_EXTRACT_RESCUE_MAP_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "extract/sector_state.h"

constexpr char kMapName[] = "tamrek.map";
// The largest map read: far more than the lines of 29 files in two states.
constexpr std::size_t kMapLimit = std::size_t{1} << 20;

struct MapLine {
  std::size_t file;   // index in PlanFiles()
  std::uint32_t crc;  // CRC-32 of the whole file the line belongs to
  std::size_t piece;  // index in the file's pieces
  PieceState state;   // never clean

  // Lines are ordered by file, checksum and piece; one line per sector.
  bool operator<(const MapLine& other) const;
  bool operator==(const MapLine& other) const;
};

// Parses the text of a map into `*lines`.  Returns false, with `*reason`
// saying why in plain English ("line 3 does not parse"), when the text is
// not a map that this version writes: a wrong first line, a line that does
// not parse, a file or a sector that the plan does not have, a sector given
// twice for one checksum, a text that ends without a line end.
bool ParseRescueMap(const std::string& text, std::vector<MapLine>* lines,
                    std::string* reason);

// The text of the map that holds `lines`, in their order.
std::string FormatRescueMap(std::vector<MapLine> lines);

#endif  // TAMREK_EXTRACT_RESCUE_MAP_H_
