// D88Image: indexing of the images of a D88 file, image selection, and the
// sector reads.  See d88_image.h for the interface.  One walk over a track's
// records (WalkTrack, track_walk.h) serves every read: ReadSector() walks until
// its sector matches, ReadSectors() walks each track once into a TrackIndex of
// the records passed and looks its sectors up there.
//
// Every file position is computed in 64 bits and checked before it is read, a
// header that the file delivers short ends whatever walk asked for it, and a
// failed seek ends an operation as a short read does: every loop over file
// data moves forward through a finite file and so ends.

#include "disk_image/d88_image.h"

#include <cstring>

#include "disk_image/coding.h"
#include "disk_image/track_walk.h"

namespace {

using track_walk::DecodeSectorHeader;
using track_walk::kStatusOffset;
using track_walk::SectorHeader;
using track_walk::TrackIndex;
using track_walk::WalkTrack;

// Offsets within a disk header.
constexpr int kMediaTypeOffset = 0x1B;
constexpr int kDiskSizeOffset = 0x1C;
constexpr int kTrackTableOffset = 0x20;

// Largest size code whose sector size, 128 << n, is a positive int32.
constexpr std::int32_t kMaxSizeCode = 23;

bool IsByte(std::int32_t v) { return v >= 0 && v <= 0xFF; }

// Status bytes of sectors the drive could not read correctly when the disk
// was dumped: every one but 0x00 (read well) and 0x10 (a deleted-data mark,
// read well), so that a status no dump tool writes for a good read is never
// taken for one.
bool IsReadErrorStatus(std::uint8_t status) {
  return status != 0x00 && status != 0x10;
}

}  // namespace

D88Image::D88Image(std::int32_t windowSize)
    : file(windowSize),
      selectedImage(-1),
      imageCount(0),
      firstSector(1),
      lastSector(16),
      imageOffsets(),
      diskSize(0),
      imageBase(-1),
      trackOffsets(),
      mediaType(-1),
      name() {}

D88Image::~D88Image() { Close(); }

bool D88Image::Open(const char* path) {
  Close();
  if (path == nullptr) return true;

  if (!file.Open(path)) return false;

  std::uint8_t header[kDiskHeaderSize];
  std::int64_t position = 0;
  while (imageCount < kMaxImages) {
    imageOffsets[imageCount] = static_cast<std::int32_t>(position);
    // Read past the window: the images' headers lie far apart.
    if (file.ReadDirect(position, header, kDiskHeaderSize) < kDiskHeaderSize) {
      // A file that fails on its very first read (a disk that cannot be
      // read, say) is not a file that can be read at all.
      if (imageCount == 0 && file.HadError()) {
        Close();
        return false;
      }
      break;
    }
    position += DecodeFixed32(header + kDiskSizeOffset);
    ++imageCount;
    // The next image must lie where a 32-bit signed offset can reach it.
    if (position > INT32_MAX) break;
  }
  return true;
}

void D88Image::Close() {
  file.Close();
  imageCount = 0;
  selectedImage = -1;
  mediaType = -1;
  // Nothing may be read from a newly opened file before its first selection.
  diskSize = 0;
  imageBase = -1;
}

std::int32_t D88Image::GetImageCount() const { return imageCount; }

bool D88Image::SelectImage(std::int32_t index) {
  if (!file.IsOpen()) return false;

  imageBase = -1;
  selectedImage = -1;
  mediaType = -1;
  diskSize = 0;
  std::memset(name, 0, sizeof name);
  if (index < 0 || index >= imageCount) return false;

  // The header is reloaded from the file as it is now, not from the window.
  file.DropWindow();
  std::uint8_t header[kDiskHeaderSize];
  if (!file.Seek(imageOffsets[index]) ||
      file.Read(header, kDiskHeaderSize) < kDiskHeaderSize) {
    return false;  // the file shrank since Open(): stay unselected
  }
  const std::uint8_t* table = header + kTrackTableOffset;
  for (std::int32_t& offset : trackOffsets) {
    offset = BitCastToSigned32(DecodeFixed32(table));
    table += 4;
  }
  mediaType = header[kMediaTypeOffset];
  diskSize = BitCastToSigned32(DecodeFixed32(header + kDiskSizeOffset));
  // A walk reading on reads no further ahead than the image's end.
  file.SetReadOnEnd(std::int64_t{imageOffsets[index]} +
                    (diskSize > 0 ? diskSize : 0));
  for (int i = 0; i < kNameSize && header[i] != 0; ++i) {
    name[i] = static_cast<char>(header[i]);
  }
  imageBase = imageOffsets[index];
  selectedImage = index;
  return true;
}

std::int32_t D88Image::GetMediaType() const { return mediaType; }

const char* D88Image::GetImageName() const { return name; }

std::int32_t D88Image::GetSelectedImage() const { return selectedImage; }

std::int32_t D88Image::GetDiskSize() const { return diskSize; }

std::int64_t D88Image::GetImageBase() const { return imageBase; }

std::int64_t D88Image::GetFileSize() const {
  return file.IsOpen() ? file.Size() : -1;
}

bool D88Image::HasTrack(std::int32_t track) const {
  std::int64_t position;
  return LocateTrack(track, &position);
}

void D88Image::SetSectorRange(std::int32_t first, std::int32_t last) {
  firstSector = first;
  lastSector = last;
}

bool D88Image::LocateTrack(std::int32_t track, std::int64_t* position) const {
  if (!file.IsOpen() || imageBase < 0) return false;
  if (track < 0 || track >= kTrackCount) return false;
  const std::int32_t offset = trackOffsets[track];
  // Absent, negative (2^31 or more in the file) or beyond the image's end.
  if (offset <= 0 || offset > diskSize) return false;
  *position = static_cast<std::int64_t>(imageBase) + offset;
  return true;
}

std::int32_t D88Image::ReadSector(std::int32_t track, std::int32_t c,
                                  std::int32_t h, std::int32_t r,
                                  std::int32_t n, std::uint8_t* dest,
                                  std::int32_t maxLen) {
  readErrors.clear();
  std::uint8_t status = 0;
  const std::int32_t got = FindSector(track, c, h, r, n, dest, maxLen, &status);
  if (got > 0) NoteStatus(c, h, r, n, status);
  return got;
}

const std::vector<SectorReadError>& D88Image::GetReadErrors() const {
  return readErrors;
}

void D88Image::NoteStatus(std::int32_t c, std::int32_t h, std::int32_t r,
                          std::int32_t n, std::uint8_t status) {
  // Only ever called after a match, so the ID parts are bytes.
  if (!IsReadErrorStatus(status)) return;
  readErrors.push_back(SectorReadError{
      SectorId{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h),
               static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(n)},
      status});
}

std::int32_t D88Image::FindSector(std::int32_t track, std::int32_t c,
                                  std::int32_t h, std::int32_t r,
                                  std::int32_t n, std::uint8_t* dest,
                                  std::int32_t maxLen, std::uint8_t* status) {
  if (maxLen <= 0) return 0;
  std::int64_t position;
  if (!LocateTrack(track, &position)) return 0;
  // A record's ID bytes hold 0..255: nothing else is ever found.
  if (!IsByte(c) || !IsByte(h) || !IsByte(r) || !IsByte(n)) return 0;
  const std::uint8_t id[4] = {
      static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h),
      static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(n)};
  return FindInTrack(position, id, dest, maxLen, status);
}

std::int32_t D88Image::FindInTrack(std::int64_t trackStart,
                                   const std::uint8_t id[4], std::uint8_t* dest,
                                   std::int32_t maxLen, std::uint8_t* status) {
  std::int32_t got = 0;
  WalkTrack(
      &file, trackStart, [&](const std::uint8_t* raw, std::int64_t position) {
        if (std::memcmp(raw, id, 4) != 0) return false;
        const std::int32_t dataSize = DecodeSectorHeader(raw).dataSize;
        *status = raw[kStatusOffset];
        got = file.ReadAt(position + kSectorHeaderSize, dest,
                          dataSize < maxLen ? dataSize : maxLen, trackStart);
        return true;
      });
  return got;
}

std::int32_t D88Image::ReadSectors(std::int32_t track, std::int32_t c,
                                   std::int32_t h, std::int32_t r,
                                   std::int32_t n, std::uint8_t* dest,
                                   std::int32_t length) {
  readErrors.clear();
  if (length <= 0 || n < 0 || n > kMaxSizeCode) return 0;
  std::int32_t unit = std::int32_t{128} << n;
  std::int32_t done = 0;
  // Each track is located, its C, H and N checked, and its records walked
  // once for all its sectors; each sector is then looked up among the
  // records the walk passed, the first that matches as a walk for it alone
  // would find.  A track of more records than the index holds is walked
  // again for a sector not among them.
  std::int32_t located = -1;
  std::int64_t trackStart = 0;
  TrackIndex index;
  while (done < length) {
    if (length - done < unit) unit = length - done;
    if (track != located) {
      if (!LocateTrack(track, &trackStart) || !IsByte(c) || !IsByte(h) ||
          !IsByte(n)) {
        break;
      }
      located = track;
      index.Build(&file, trackStart);
    }
    if (!IsByte(r)) break;
    const std::uint8_t id[4] = {
        static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h),
        static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(n)};
    std::uint8_t status = 0;
    std::int32_t got = 0;
    if (const TrackIndex::Record* record = index.Find(id)) {
      status = record->status;
      got = file.ReadAt(
          trackStart + record->offset + kSectorHeaderSize, dest + done,
          record->dataSize < unit ? record->dataSize : unit, trackStart);
    } else if (!index.IsComplete()) {
      got = FindInTrack(trackStart, id, dest + done, unit, &status);
    }
    if (got < unit) break;
    NoteStatus(c, h, r, n, status);
    done += unit;
    // The read just matched c and r against header bytes and `track` passed
    // the track check, so none of these steps can overflow.
    if (r == lastSector) {
      ++track;
      if (h == 0) {
        h = 1;
      } else {
        h = 0;
        ++c;
      }
      r = firstSector;
    } else {
      ++r;
    }
  }
  return done;
}

std::int32_t D88Image::ReadTrackIds(std::int32_t track, std::uint8_t* dest,
                                    std::int32_t length) {
  std::int64_t position;
  if (!LocateTrack(track, &position)) return 0;

  // Only whole entries are stored.
  constexpr std::int32_t kEntrySize = sizeof(SectorId);
  const std::int32_t entries = length > 0 ? length / kEntrySize : 0;
  const std::int64_t trackStart = position;
  std::int32_t i = 0;
  while (i < entries) {
    std::int32_t held;
    const std::uint8_t* raw =
        file.View(position, kSectorHeaderSize, trackStart, &held);
    if (raw == nullptr) break;
    const SectorHeader header = DecodeSectorHeader(raw);
    // C, H, R, N: the header's first bytes, as stored.
    std::memcpy(dest + static_cast<std::size_t>(kEntrySize) * i, raw,
                kEntrySize);
    ++i;
    position += kSectorHeaderSize + header.dataSize;
    if (i == header.sectorCount) break;
  }
  return kEntrySize * i;
}
