// D88Writer: see d88_writer.h.

#include "tools/d88_writer.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

void PutFixed16(Bytes* bytes, std::size_t offset, std::uint16_t value) {
  (*bytes)[offset] = static_cast<std::uint8_t>(value & 0xFF);
  (*bytes)[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutFixed32(Bytes* bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*bytes)[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
  }
}

SectorRecord MakeSector(int c, int h, int r, int n, int sectorCount,
                        Bytes data) {
  SectorRecord s;
  s.c = static_cast<std::uint8_t>(c);
  s.h = static_cast<std::uint8_t>(h);
  s.r = static_cast<std::uint8_t>(r);
  s.n = static_cast<std::uint8_t>(n);
  s.sectorCount = static_cast<std::uint16_t>(sectorCount);
  s.data = std::move(data);
  return s;
}

void D88DiskWriter::SetTrack(int index, std::vector<SectorRecord> records) {
  tracks.at(index) = std::move(records);
  present.at(index) = true;
}

void D88DiskWriter::OverrideTrackOffset(int index, std::uint32_t value) {
  offsetOverrides.at(index) = value;
}

void D88DiskWriter::OverrideDiskSize(std::uint32_t value) {
  diskSizeOverride = value;
}

Bytes D88DiskWriter::Build() const {
  Bytes out(kHeaderSize, 0);
  for (std::size_t i = 0; i < name.size() && i < 16; ++i) {
    out[i] = static_cast<std::uint8_t>(name[i]);
  }
  out[0x1B] = mediaType;
  for (int t = 0; t < kTrackCount; ++t) {
    std::uint32_t offset = 0;
    if (present[t]) {
      offset = static_cast<std::uint32_t>(out.size());
      for (const SectorRecord& s : tracks[t]) {
        const std::size_t at = out.size();
        out.resize(at + 16, 0);
        out[at + 0] = s.c;
        out[at + 1] = s.h;
        out[at + 2] = s.r;
        out[at + 3] = s.n;
        PutFixed16(&out, at + 0x04, s.sectorCount);
        out[at + 0x08] = s.status;
        const int size =
            s.dataSize >= 0 ? s.dataSize : static_cast<int>(s.data.size());
        PutFixed16(&out, at + 0x0E, static_cast<std::uint16_t>(size));
        out.insert(out.end(), s.data.begin(), s.data.end());
      }
    }
    if (offsetOverrides[t] >= 0) {
      offset = static_cast<std::uint32_t>(offsetOverrides[t]);
    }
    PutFixed32(&out, 0x20 + 4 * t, offset);
  }
  PutFixed32(&out, 0x1C,
             diskSizeOverride >= 0
                 ? static_cast<std::uint32_t>(diskSizeOverride)
                 : static_cast<std::uint32_t>(out.size()));
  return out;
}

D88DiskWriter MakeUniformDisk(int disk, int cylinders, int sectors,
                              int sizeCode, const SectorFill& fill,
                              int interleave, const SectorEdit& edit) {
  D88DiskWriter writer("DISK" + std::to_string(disk), 0x10);
  // Interleaved order: 1, 1+k, 1+2k, ... then 2, 2+k, ...
  std::vector<int> order;
  for (int start = 1; start <= interleave && start <= sectors; ++start) {
    for (int r = start; r <= sectors; r += interleave) order.push_back(r);
  }
  for (int c = 0; c < cylinders; ++c) {
    for (int h = 0; h < 2; ++h) {
      std::vector<SectorRecord> records;
      records.reserve(order.size());
      for (int r : order) {
        records.push_back(
            MakeSector(c, h, r, sizeCode, sectors, fill(disk, c, h, r)));
        if (edit) edit(disk, &records.back());
      }
      writer.SetTrack(2 * c + h, std::move(records));
    }
  }
  return writer;
}

Bytes DemoSectorText(int disk, int c, int h, int r, int sizeCode) {
  char line[40];
  std::snprintf(line, sizeof line, "disk %d  cyl %02d head %d sector %02d\n",
                disk, c, h, r);
  const std::string text(line);
  Bytes out(static_cast<std::size_t>(128) << sizeCode);
  for (std::size_t i = 0; i < out.size(); i += text.size()) {
    std::copy_n(text.begin(), std::min(text.size(), out.size() - i),
                out.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return out;
}

Bytes MakeDemoFile() {
  const SectorFill fill = [](int disk, int c, int h, int r) {
    return DemoSectorText(disk, c, h, r, 2);
  };
  Bytes file;
  for (int disk = 0; disk < 4; ++disk) {
    const Bytes image = MakeUniformDisk(disk, 80, 10, 2, fill).Build();
    file.insert(file.end(), image.begin(), image.end());
  }
  return file;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written =
      bytes.empty() ||
      std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}
