// The rescue map, tamrek.map: what a folder knows of how its files were
// read, kept beside them so that damaged dumps run one after the other in
// the folder add up in any order.  While it exists it holds a record of
// every file of the plan that tamrek placed in the folder (and of every one
// it found there), so that no file passes for one read cleanly unless the
// map says so.  A record names its file by name and by the CRC-32 of the
// whole file, so that it applies only to the file as it was when it was
// written; a file that was replaced, edited or copied over since matches
// none.  A file may have more than one record while it is being replaced:
// the record of the new state is written before the new file takes its
// name.  The text, which a person can read:
//
//   tamrek-map 2
//   # comment lines, saying what the file is
//   FILE CRC-32 complete      every piece was read cleanly
//   FILE CRC-32 found         found here before the map, without a record:
//                             taken as read cleanly, but a piece of zero
//                             bytes may still be filled by a clean read
//   FILE CRC-32 changed       changed by other hands: nothing is known
//   FILE CRC-32 DISK CYLINDER HEAD SECTOR STATE
//                             a piece not read cleanly; the file's other
//                             pieces were
//
// CRC-32 is eight hexadecimal digits; STATE is "missing", "partial GOT of
// UNIT" (GOT of the piece's UNIT bytes were read cleanly, the rest is
// missing), "read-error 0xSS" (read from a sector with that status), or
// "partial GOT of UNIT read-error 0xSS" (a clean prefix, then a read
// error's bytes).  Blank lines are allowed; every line ends in a line feed
// (a carriage return before it is allowed).  Version 1 of the format, which
// had only sector lines and took a file without any for a clean one, is
// read as it was meant.

#ifndef TAMREK_EXTRACT_RESCUE_MAP_H_
#define TAMREK_EXTRACT_RESCUE_MAP_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "extract/sector_state.h"

constexpr char kMapName[] = "tamrek.map";
// The largest map read: far more than the records of 29 files.
constexpr std::size_t kMapLimit = std::size_t{1} << 20;

enum class RecordKind : std::uint8_t {
  kRead,     // placed by tamrek: `pieces` says how each piece was read
  kFound,    // found in the folder before a map knew it
  kChanged,  // changed by other hands since tamrek placed it
};

struct MapRecord {
  std::size_t file;   // index in PlanFiles()
  std::uint32_t crc;  // CRC-32 of the whole file the record is about
  RecordKind kind = RecordKind::kRead;
  std::vector<PieceState> pieces;  // kRead: one per piece of the file

  // Whether the file counts as complete: read cleanly throughout, or found
  // without a map.
  bool Complete() const;
  // The pieces not read cleanly (the map's sector lines).
  std::size_t Unread() const;

  // Records are ordered by file and checksum; one per pair.
  bool operator<(const MapRecord& other) const;
  bool operator==(const MapRecord& other) const;
};

struct RescueMap {
  int version = 2;
  std::vector<MapRecord> records;  // in order

  // The record about file `file` whose content has checksum `crc`, or
  // nullptr.
  const MapRecord* Find(std::size_t file, std::uint32_t crc) const;
  // Whether any record is about file `file`.
  bool Names(std::size_t file) const;
};

// Parses the text of a map into `*map`.  Returns false, with `*reason`
// saying why in plain English ("line 3 does not parse"), when the text is
// not a map that this version reads: a wrong first line, a line that does
// not parse, a file or a sector that the plan does not have, a sector or a
// record given twice, a text that ends without a line end.
bool ParseRescueMap(const std::string& text, RescueMap* map,
                    std::string* reason);

// The text of the map that holds `records` (in the current version).
std::string FormatRescueMap(std::vector<MapRecord> records);

#endif  // TAMREK_EXTRACT_RESCUE_MAP_H_
