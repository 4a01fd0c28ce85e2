// Reading one file of the extraction plan piece by piece, so that a sector
// that cannot be read costs only its own share of the file: every piece is
// read alone with D88Image::ReadSector(), whatever bytes that delivers are
// kept, and the rest of the piece is zero.  The result says, piece by piece,
// what was read.

#ifndef TAMREK_EXTRACT_ENTRY_READ_H_
#define TAMREK_EXTRACT_ENTRY_READ_H_

#include <cstdint>
#include <vector>

#include "disk_image/d88_image.h"
#include "extract/extraction_plan.h"
#include "extract/sector_state.h"

// One piece of a file as it was read.
struct Piece {
  PlanPiece plan;       // where it lies and the sector it is read from
  std::int32_t got;     // bytes read: plan.length when it was read in full
  std::uint8_t status;  // the sector's status when it records a read error
  bool readError;       // whether it does

  bool Full() const { return got == plan.length; }
  // Read in full from a sector recorded without a read error.
  bool Clean() const { return Full() && !readError; }
  PieceState State() const;
};

struct EntryRead {
  std::vector<Piece> pieces;  // in file order, covering the whole file
  std::int32_t got = 0;       // bytes read, over all pieces

  // Every piece was read in full.
  bool Complete() const;
  // Every piece was read in full, none from a sector with a read error.
  bool Clean() const;
};

// Reads `file` from the selected image of `image` into `dest`, piece by
// piece.  Bytes of a piece that could not be read are zero.
// REQUIRES: `dest` holds at least file.entry.length bytes.
EntryRead ReadEntry(D88Image* image, const PlanFile& file, std::uint8_t* dest);

#endif  // TAMREK_EXTRACT_ENTRY_READ_H_
