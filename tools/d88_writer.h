// D88Writer builds D88 files in memory, byte by byte, for the tests, the
// benchmarks and the demo.  It is written independently of the reader: it
// encodes the format's little-endian fields itself and shares no structs with
// it, so a reader that misreads the format cannot be confirmed by its own
// mistake.  Besides well-formed images it makes deliberately damaged ones:
// any header field can be given a value of the caller's choice, and the
// result is plain bytes that a test may patch or truncate further.

#ifndef TAMREK_TOOLS_D88_WRITER_H_
#define TAMREK_TOOLS_D88_WRITER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// One sector record: its ID, the sector count and status its header records,
// and its data.  The header's data size field is data.size() unless `dataSize`
// is set, which lets a header claim more or fewer bytes than follow it.
struct SectorRecord {
  std::uint8_t c = 0, h = 0, r = 1, n = 2;
  std::uint16_t sectorCount = 1;
  std::uint8_t status = 0;  // the drive's status when dumped; 0: read well
  Bytes data;
  int dataSize = -1;  // -1: the size of `data`
};

// A record with ID (c, h, r, n) whose header records `sectorCount`.
SectorRecord MakeSector(int c, int h, int r, int n, int sectorCount,
                        Bytes data);

// One disk image: header fields and tracks.
class D88DiskWriter {
 public:
  static constexpr int kTrackCount = 164;
  static constexpr int kHeaderSize = 688;

  explicit D88DiskWriter(std::string name = "", std::uint8_t mediaType = 0x10)
      : name(std::move(name)), mediaType(mediaType) {}

  // Stores the records of track `index` (0..163) in the given order.
  void SetTrack(int index, std::vector<SectorRecord> records);

  // Writes `value` into the track table instead of the track's real offset
  // (0 makes a stored track absent, a large value points past the image).
  void OverrideTrackOffset(int index, std::uint32_t value);

  // Writes `value` as the disk size instead of the image's real size.
  void OverrideDiskSize(std::uint32_t value);

  // The image's bytes: header, then the tracks in index order.
  Bytes Build() const;

 private:
  std::string name;
  std::uint8_t mediaType;
  std::vector<std::vector<SectorRecord>> tracks =
      std::vector<std::vector<SectorRecord>>(kTrackCount);
  std::vector<bool> present = std::vector<bool>(kTrackCount);
  std::vector<std::int64_t> offsetOverrides =
      std::vector<std::int64_t>(kTrackCount, -1);
  std::int64_t diskSizeOverride = -1;
};

// Content of one sector of a uniform disk, from its disk and sector ID.
using SectorFill = std::function<Bytes(int disk, int c, int h, int r)>;

// A uniform double-sided disk: `cylinders` x 2 sides x `sectors` records
// numbered 1..sectors, size code `sizeCode`, track index 2c + h, each header
// recording `sectors` as the sector count.  With `interleave` > 1 the records
// of a track are stored in interleaved order (1, 1+k, 1+2k, ...).  `edit`,
// when set, may change each record (its ID, status, data) before it is
// stored, to damage a disk in chosen places.
using SectorEdit = std::function<void(int disk, SectorRecord* record)>;
D88DiskWriter MakeUniformDisk(int disk, int cylinders, int sectors,
                              int sizeCode, const SectorFill& fill,
                              int interleave = 1,
                              const SectorEdit& edit = nullptr);

// Readable demo content: 32-byte text lines "disk D cyl CC head H sector RR"
// repeated to fill 128 << sizeCode bytes, so every byte shows where it was
// read from.
Bytes DemoSectorText(int disk, int c, int h, int r, int sizeCode);

// The demo file: four scenario disks (2DD, 80 cylinders x 2 heads x 10
// sectors of 512 bytes) filled with DemoSectorText, back to back.
Bytes MakeDemoFile();

// Stores little-endian values into a byte buffer.
void PutFixed16(Bytes* bytes, std::size_t offset, std::uint16_t value);
void PutFixed32(Bytes* bytes, std::size_t offset, std::uint32_t value);

// Writes `bytes` to `path`; false on any failure.
bool WriteFile(const std::string& path, const Bytes& bytes);

#endif  // TAMREK_TOOLS_D88_WRITER_H_
