// Reading one entry of the extraction plan sector by sector, so that a
// sector that cannot be read costs only its own share of the file.  The run
// is read with D88Image::ReadSectors() as far as it goes; the piece where it
// stops is read alone with ReadSector(), keeping whatever bytes that
// delivers, the rest of the piece is zero, and ReadSectors() goes on from the
// next sector.  The result says, piece by piece, what was read.

#ifndef TAMREK_EXTRACT_ENTRY_READ_H_
#define TAMREK_EXTRACT_ENTRY_READ_H_

#include <cstdint>
#include <vector>

#include "disk_image/d88_image.h"
#include "extract/extraction_plan.h"

// One sector's share of an output file: a whole 512-byte sector, or less for
// the file's last piece.
struct Piece {
  std::int32_t offset;   // where it lies in the file
  std::int32_t length;   // its bytes in the file
  std::int32_t c, h, r;  // the sector it is read from
  std::int32_t got;      // bytes read: `length` when it was read in full
  std::uint8_t status;   // the sector's status when it records a read error
  bool readError;        // whether it does

  bool Full() const { return got == length; }
  // Read in full from a sector recorded without a read error.
  bool Clean() const { return Full() && !readError; }
};

struct EntryRead {
  std::vector<Piece> pieces;  // in file order, covering the whole file
  std::int32_t got = 0;       // bytes read, over all pieces

  // Every piece was read in full.
  bool Complete() const;
  // Every piece was read in full, none from a sector with a read error.
  bool Clean() const;
};

// Reads `entry` from the selected image of `image` into `dest`, piece by
// piece, with the plan's size code and sector range (which `image` must
// have set).  Bytes of a piece that could not be read are zero.
// REQUIRES: `dest` holds at least entry.length bytes.
EntryRead ReadEntry(D88Image* image, const ExtractEntry& entry,
                    std::uint8_t* dest);

#endif  // TAMREK_EXTRACT_ENTRY_READ_H_
