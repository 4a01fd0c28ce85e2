// D88Image reads a D88 floppy-disk image file: one file holding one or more
// disk images back to back, each a 688-byte header (name, media type, disk
// size and a 164-entry track table) followed by its tracks, each track a run of
// sector records (a 16-byte sector header followed by the sector's data).
//
// Open() indexes the images of a file, SelectImage() makes one current, and
// the reads work on the selected image: ReadSector() finds one sector by its
// ID, ReadSectors() reads a run of consecutive sectors across tracks and sides,
// and ReadTrackIds() lists the IDs a track records.  Failures are reported by
// return values only; the reader never prints and never throws.  Every walk
// over file data ends, whatever the file holds.
//
// Integers in the interface are 32-bit signed; the format's 4-byte values are
// taken into them bit for bit, so files of 2 GiB or more are outside the
// reader's limits (it refuses what it cannot address rather than misreading).

#ifndef TAMREK_DISK_IMAGE_D88_IMAGE_H_
#define TAMREK_DISK_IMAGE_D88_IMAGE_H_

#include <cstdint>
#include <vector>

#include "disk_image/buffered_file.h"

// One entry of D88Image::ReadTrackIds(): the ID of a sector record, the first
// four bytes of its sector header unchanged.
struct SectorId {
  std::uint8_t c;  // cylinder
  std::uint8_t h;  // head (side)
  std::uint8_t r;  // sector number
  std::uint8_t n;  // size code: 128 << n bytes
};
static_assert(sizeof(SectorId) == 4, "SectorId is 4 bytes: C, H, R, N");

// A sector whose header records that the drive reported a read error when
// the disk was dumped: its bytes are whatever the drive returned.
struct SectorReadError {
  SectorId id;          // as its header records it
  std::uint8_t status;  // any but 0x00 and 0x10: 0xA0 ID CRC, 0xB0 data CRC
};

class D88Image {
 public:
  static constexpr std::int32_t kMaxImages = 64;    // images indexed per file
  static constexpr std::int32_t kTrackCount = 164;  // entries in a track table
  static constexpr std::int32_t kDiskHeaderSize =
      688;  // bytes in a disk header
  static constexpr std::int32_t kSectorHeaderSize =
      16;                                        // bytes in a sector header
  static constexpr std::int32_t kNameSize = 16;  // name bytes in a disk header

  // `windowSize` is the bytes its stream reads from the file at a time (see
  // BufferedFile): larger windows cost fewer system calls and more copying.
  // REQUIRES: windowSize > 0.
  explicit D88Image(std::int32_t windowSize = BufferedFile::kDefaultWindowSize);
  ~D88Image();  // closes the file
  D88Image(const D88Image&) = delete;
  D88Image& operator=(const D88Image&) = delete;

  // With a path: closes any file already open, opens `path` for binary
  // reading and indexes its images (at most kMaxImages).  On POSIX `path` is
  // passed to the system as it is; on Windows it is UTF-8, so that any file
  // name can be opened, and a string that is not valid UTF-8 is opened as a
  // path in the ANSI code page, as the C library's fopen() would.  Returns
  // false, with no file open, when the file cannot be opened or cannot be read
  // from its start (a directory, an unreadable disk).  A stream that cannot
  // seek (a pipe, a FIFO) is read whole first and read from memory, with the
  // same results; one longer than BufferedFile::kMaxStreamSize (256 MiB) is
  // refused.  A file too short for one header opens with no images.  With
  // nullptr: closes the file and returns true; the image count becomes 0 and
  // nothing stays selected.
  bool Open(const char* path);

  // Images found by the last Open(), 0..kMaxImages; 0 when closed.
  std::int32_t GetImageCount() const;

  // Makes image `index` current by loading its header.  Returns false when no
  // file is open (nothing changes), or, leaving nothing selected (media type
  // -1, empty name, every read returning 0), when `index` is not in
  // 0..GetImageCount()-1 or its header can no longer be read in full.
  // Reselecting an image reloads its header from the file.
  bool SelectImage(std::int32_t index);

  // Media type byte of the selected image (0..255), or -1 when none is
  // selected.
  std::int32_t GetMediaType() const;

  // The selected image's name: its 16 name bytes up to the first zero, not
  // decoded, always zero-terminated.  Empty after construction and after a
  // refused selection; closing leaves it as it was.
  const char* GetImageName() const;

  // Index of the selected image, or -1 when none is selected.
  std::int32_t GetSelectedImage() const;

  // The disk size field of the selected image (its bytes, header included,
  // as the header records them); 0 when none is selected.
  std::int32_t GetDiskSize() const;

  // Where the selected image begins in the file; -1 when none is selected.
  std::int64_t GetImageBase() const;

  // The size of the open file when it was opened (a pipe's: all it held);
  // -1 when it is not known (a disk) or no file is open.
  std::int64_t GetFileSize() const;

  // Whether `track` of the selected image passes the reads' track check: a
  // file is open, `track` is in 0..163, and its offset in the track table
  // is neither 0 (absent) nor beyond the disk size.  False when no image is
  // selected.
  bool HasTrack(std::int32_t track) const;

  // Sets the sector numbers a track side runs through in ReadSectors()
  // (1..16 until set).  The values are not checked.
  void SetSectorRange(std::int32_t first, std::int32_t last);

  // Finds sector ID (c, h, r, n) on `track` of the selected image, the first
  // record that matches, and copies its data into `dest`, at most `maxLen`
  // bytes (the data size recorded in its header decides, not 128 << n).
  // REQUIRES: `dest` holds at least `maxLen` bytes.
  // Returns the bytes copied, fewer than the data size when the file ends
  // inside the data.  Returns 0, leaving `dest` untouched, when `maxLen` <= 0,
  // the track is refused (no file, `track` outside 0..163, absent, or beyond
  // the disk size), the sector is not recorded on the track, or the file ends
  // first.
  std::int32_t ReadSector(std::int32_t track, std::int32_t c, std::int32_t h,
                          std::int32_t r, std::int32_t n, std::uint8_t* dest,
                          std::int32_t maxLen);

  // Reads `length` bytes of consecutive sectors of size code `n` into `dest`,
  // starting with (c, h, r, n) on `track`.  After the last sector of the range
  // the run goes on with the first sector of the other side (h 0 -> 1) or of
  // the next cylinder (h 1 -> 0, c + 1), on track + 1.  Every sector is read
  // whole (128 << n bytes) but the last piece, which is cut to `length`.
  // REQUIRES: `dest` holds at least `length` bytes.
  // Returns the bytes of the pieces read in full: `length` when the whole run
  // was read, less when a sector could not be read in full (that piece is not
  // counted, though its bytes may already be in `dest`).  Returns 0 without
  // touching `dest` when `length` <= 0 or `n` is outside 0..23.
  std::int32_t ReadSectors(std::int32_t track, std::int32_t c, std::int32_t h,
                           std::int32_t r, std::int32_t n, std::uint8_t* dest,
                           std::int32_t length);

  // The sectors whose data the last ReadSector() or ReadSectors() call
  // delivered (for ReadSectors(), the pieces it counted) and whose header
  // status byte records a read error, in the order they were read: every
  // status but 0x00 (read well) and 0x10 (a deleted-data mark, read well),
  // such as 0xA0 (ID CRC error), 0xB0 (data CRC error), 0xE0 (no address
  // mark) or 0xF0 (no data mark).  Empty before the first read; valid until
  // the next read.
  const std::vector<SectorReadError>& GetReadErrors() const;

  // Lists the IDs of the sector records of `track` in stored order: one
  // 4-byte SectorId (C, H, R, N) per record at dest + 4 * i, without reading
  // their data.  Stops after the first record whose sector count equals its
  // position + 1 (a count of 0 does not stop it), when the file ends, or
  // when the next whole entry would not fit in `length` bytes.
  // REQUIRES: `dest` holds at least `length` bytes.
  // Returns the bytes written, a multiple of 4 and never more than `length`;
  // 0, leaving `dest` untouched, when the track is refused as for
  // ReadSector() or `length` < 4.
  std::int32_t ReadTrackIds(std::int32_t track, std::uint8_t* dest,
                            std::int32_t length);

 private:
  void Close();
  // Track check shared by the reads: on success stores the file position of
  // the track's first sector header in `*position`.
  bool LocateTrack(std::int32_t track, std::int64_t* position) const;
  // ReadSector() without touching readErrors: on a match stores the
  // record's status byte in `*status`.
  std::int32_t FindSector(std::int32_t track, std::int32_t c, std::int32_t h,
                          std::int32_t r, std::int32_t n, std::uint8_t* dest,
                          std::int32_t maxLen, std::uint8_t* status);
  // FindSector() on the track whose first header is at `trackStart`, for
  // the ID bytes `id` (C, H, R, N).  REQUIRES: maxLen > 0.
  std::int32_t FindInTrack(std::int64_t trackStart, const std::uint8_t id[4],
                           std::uint8_t* dest, std::int32_t maxLen,
                           std::uint8_t* status);
  // Appends sector (c, h, r, n) to readErrors when `status` is an error.
  void NoteStatus(std::int32_t c, std::int32_t h, std::int32_t r,
                  std::int32_t n, std::uint8_t status);

  BufferedFile file;
  std::int32_t selectedImage;
  std::int32_t imageCount;
  std::int32_t firstSector;
  std::int32_t lastSector;
  std::int32_t imageOffsets[kMaxImages];
  std::int32_t diskSize;
  std::int32_t imageBase;
  std::int32_t trackOffsets[kTrackCount];
  std::int32_t mediaType;
  char name[kNameSize + 1];
  std::vector<SectorReadError> readErrors;
};

#endif  // TAMREK_DISK_IMAGE_D88_IMAGE_H_
