// The walk over the sector records of one track, the step every read of
// D88Image is made of, and TrackIndex, the records one walk passed, among
// which a run of sectors looks up each of its sectors.  Internal to the
// reader: only d88_image.cpp includes it.

#ifndef TAMREK_DISK_IMAGE_TRACK_WALK_H_
#define TAMREK_DISK_IMAGE_TRACK_WALK_H_

#include <cstdint>
#include <cstring>

#include "disk_image/buffered_file.h"
#include "disk_image/coding.h"
#include "disk_image/d88_image.h"

namespace track_walk {

// Offsets within a sector header.
constexpr int kSectorCountOffset = 0x04;
constexpr int kStatusOffset = 0x08;
constexpr int kDataSizeOffset = 0x0E;

// The counts of a sector header that bound the walk; its ID (C, H, R, N) is
// its first four bytes, compared and copied as they are stored.
struct SectorHeader {
  std::uint16_t sectorCount;  // sectors on this track, as this record says
  std::uint16_t dataSize;     // bytes of data after this header
};

inline SectorHeader DecodeSectorHeader(const std::uint8_t* p) {
  return SectorHeader{DecodeFixed16(p + kSectorCountOffset),
                      DecodeFixed16(p + kDataSizeOffset)};
}

// Walks the records of the track whose first header is at `trackStart` in
// stored order, calling visit(header, position) with each record's 16
// header bytes and its file position, until visit returns true.  The walk
// also ends at a record whose sector count is 0 (not visited), after the
// record whose count says it is the last, and where the file ends.  It
// spends its time on the chain of dependent header reads, so each step is
// kept short: it steps through the window by pointer, `held` bytes of it
// left from `raw`, and asks the stream again only when a header lies
// beyond.  `i` counts records; a hostile file can hold more than 2^16.
template <typename Visit>
void WalkTrack(BufferedFile* file, std::int64_t trackStart, Visit visit) {
  std::int64_t position = trackStart;
  const std::uint8_t* raw = nullptr;
  std::int32_t held = 0;
  for (std::int64_t i = 0;; ++i) {
    if (held < D88Image::kSectorHeaderSize) {
      raw =
          file->View(position, D88Image::kSectorHeaderSize, trackStart, &held);
      if (raw == nullptr) return;
    }
    const SectorHeader header = DecodeSectorHeader(raw);
    if (header.sectorCount == 0) return;
    if (visit(raw, position)) return;
    const std::int32_t step = D88Image::kSectorHeaderSize + header.dataSize;
    position += step;
    if (step < held) {
      raw += step;
      held -= step;
    } else {
      held = 0;
    }
    if (i + 1 == header.sectorCount) return;
  }
}

// The records one walk of a track visits, as far as it holds them: a run
// of sectors looks each of its sectors up here rather than walking the
// track again for each.  A track as nearly every disk records it, its
// sectors numbered on from the first record's with the same C, H and N,
// is looked up by number; any other is searched record by record.
class TrackIndex {
 public:
  // Enough for any floppy's track; a hostile one may hold more.
  static constexpr int kMaxRecords = 64;

  struct Record {
    std::uint8_t id[4];    // C, H, R, N as stored
    std::uint32_t offset;  // of its header, from the track's first
    std::uint16_t dataSize;
    std::uint8_t status;
  };

  // Walks the track whose first header is at `trackStart`.
  void Build(BufferedFile* file, std::int64_t trackStart) {
    count = 0;
    complete = true;
    numbered = true;
    WalkTrack(
        file, trackStart, [&](const std::uint8_t* raw, std::int64_t position) {
          if (count == kMaxRecords) {
            complete = false;
            return true;
          }
          numbered = numbered &&
                     (count == 0 || (std::memcmp(raw, records[0].id, 2) == 0 &&
                                     raw[2] == records[0].id[2] + count &&
                                     raw[3] == records[0].id[3]));
          Record& record = records[count++];
          std::memcpy(record.id, raw, 4);
          // At most kMaxRecords steps of 16 + 65535 bytes.
          record.offset = static_cast<std::uint32_t>(position - trackStart);
          record.dataSize = DecodeSectorHeader(raw).dataSize;
          record.status = raw[kStatusOffset];
          return false;
        });
  }

  // The first record whose ID bytes are `id`, or nullptr.
  const Record* Find(const std::uint8_t id[4]) const {
    if (count == 0) return nullptr;  // records[0] holds nothing yet
    if (numbered) {
      // Every record's ID differs from the others, and only these are here.
      const int i = id[2] - records[0].id[2];
      return i >= 0 && i < count && std::memcmp(id, records[0].id, 2) == 0 &&
                     id[3] == records[0].id[3]
                 ? &records[i]
                 : nullptr;
    }
    for (int i = 0; i < count; ++i) {
      if (std::memcmp(records[i].id, id, 4) == 0) return &records[i];
    }
    return nullptr;
  }

  // Whether the walk ended with the track, so that a record Find() does
  // not find is not on it.
  bool IsComplete() const { return complete; }

 private:
  Record records[kMaxRecords];
  int count = 0;
  bool complete = true;
  bool numbered = true;  // record i is the first's sector number + i
};

}  // namespace track_walk

#endif  // TAMREK_DISK_IMAGE_TRACK_WALK_H_
