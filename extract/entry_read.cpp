// Reading a plan entry sector by sector.  See entry_read.h.

#include "extract/entry_read.h"

#include <cstring>

namespace {

// The length of the piece at `offset`: a sector, or the file's rest.
std::int32_t PieceLength(const ExtractEntry& entry, std::int32_t offset) {
  const std::int32_t rest = entry.length - offset;
  return rest < kPlanSectorSize ? rest : kPlanSectorSize;
}

// Appends the piece at `offset`, read from `at`, of which `got` bytes were
// read.
void AddPiece(std::int32_t offset, std::int32_t length, const PlanSector& at,
              std::int32_t got, EntryRead* read) {
  read->pieces.push_back(
      Piece{offset, length, at.c, at.h, at.r, got, 0, false});
  read->got += got;
}

// Marks the pieces from `first` on that `errors` name as read with an error.
// The pieces of one run are distinct sectors, so the ID finds the piece.
void NoteErrors(const std::vector<SectorReadError>& errors, std::size_t first,
                EntryRead* read) {
  for (const SectorReadError& error : errors) {
    for (std::size_t i = first; i < read->pieces.size(); ++i) {
      Piece& piece = read->pieces[i];
      if (piece.c == error.id.c && piece.h == error.id.h &&
          piece.r == error.id.r) {
        piece.readError = true;
        piece.status = error.status;
        break;
      }
    }
  }
}

}  // namespace

bool EntryRead::Complete() const {
  for (const Piece& piece : pieces) {
    if (!piece.Full()) return false;
  }
  return true;
}

bool EntryRead::Clean() const {
  for (const Piece& piece : pieces) {
    if (!piece.Clean()) return false;
  }
  return true;
}

EntryRead ReadEntry(D88Image* image, const ExtractEntry& entry,
                    std::uint8_t* dest) {
  EntryRead read;
  PlanSector at = FirstSector(entry);
  std::int32_t done = 0;
  while (done < entry.length) {
    // As far as the run reads in full: whole pieces, or the rest at once.
    std::int32_t got =
        image->ReadSectors(at.track, at.c, at.h, at.r, kPlanSizeCode,
                           dest + done, entry.length - done);
    // Whole pieces, or the whole rest: the only counts it returns.
    if (got < 0 || got > entry.length - done) got = 0;
    const std::size_t first = read.pieces.size();
    for (const std::int32_t end = done + got; done < end; at.Next()) {
      const std::int32_t length = PieceLength(entry, done);
      AddPiece(done, length, at, length, &read);
      done += length;
    }
    NoteErrors(image->GetReadErrors(), first, &read);
    if (done >= entry.length) break;

    // The piece the run stopped at, alone: what it delivers, zero after.
    const std::int32_t length = PieceLength(entry, done);
    std::int32_t alone = image->ReadSector(at.track, at.c, at.h, at.r,
                                           kPlanSizeCode, dest + done, length);
    if (alone < 0 || alone > length) alone = 0;
    std::memset(dest + done + alone, 0,
                static_cast<std::size_t>(length - alone));
    AddPiece(done, length, at, alone, &read);
    NoteErrors(image->GetReadErrors(), read.pieces.size() - 1, &read);
    done += length;
    at.Next();
  }
  return read;
}
