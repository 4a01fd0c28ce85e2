// Writes the fuzzer's seed corpus into a directory: small valid one- and
// four-image files, truncated files, zero and huge disk sizes, odd sector
// counts and data sizes, each followed by a short script of reader calls
// encoded as the fuzz target reads its arguments (from the end backwards).
// Usage: make_fuzz_seeds DIR

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/d88_writer.h"

namespace {

// Reader calls in the fuzz target's encoding.
class Script {
 public:
  Script& Select(int index, int count) { return Op(0).Int(index, -1, count); }
  Script& Range(int first, int last) {
    return Op(1).Int(first, 0, 40).Int(last, 0, 40);
  }
  Script& ReadSector(int track, int c, int h, int r, int n, int maxLen) {
    return Op(2).Id(track, c, h, r).Int(n, -1, 8).Int(maxLen, -2, 70000);
  }
  Script& ReadSectors(int track, int c, int h, int r, int n, int length) {
    return Op(3).Id(track, c, h, r).Int(n, -1, 25).Int(length, -2, 1 << 18);
  }
  Script& ReadTrackIds(int track, int length) {
    return Op(4).Int(track, -1, 164).Int(length, -5, 4099);
  }

  // The bytes to append to a file: the reading order reversed.
  Bytes Tail() const { return Bytes(bytes.rbegin(), bytes.rend()); }

 private:
  Script& Op(int op) {
    bytes.push_back(static_cast<std::uint8_t>(op));
    return *this;
  }
  Script& Int(int value, int low, int high) {
    (void)high;
    const unsigned v = static_cast<unsigned>(value - low);
    bytes.push_back(0);  // an in-range pick
    bytes.push_back(static_cast<std::uint8_t>(v >> 16));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Script& Id(int track, int c, int h, int r) {
    return Int(track, -1, 164).Int(c, -1, 256).Int(h, -1, 2).Int(r, -1, 256);
  }
  Bytes bytes;
};

// Two cylinders of 4 sectors of 128 bytes a side, stored `interleave` apart.
Bytes SmallDisk(int disk, int interleave = 2) {
  const SectorFill fill = [](int d, int c, int h, int r) {
    return Bytes(128, static_cast<std::uint8_t>(d * 64 + c * 8 + h * 4 + r));
  };
  return MakeUniformDisk(disk, 2, 4, 0, fill, interleave).Build();
}

Bytes Join(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Usage: make_fuzz_seeds DIR\n", stderr);
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  const Bytes script = Script()
                           .Select(0, 4)
                           .Range(1, 4)
                           .ReadSectors(0, 0, 0, 1, 0, 1500)
                           .ReadTrackIds(1, 30)
                           .ReadSector(3, 1, 1, 2, 0, 128)
                           .Select(3, 4)
                           .ReadSectors(2, 1, 0, 4, 0, 512)
                           .Tail();
  const Bytes one = SmallDisk(0);
  std::vector<std::pair<std::string, Bytes>> seeds = {
      {"one_image", one},
      {"four_images",
       Join({SmallDisk(0), SmallDisk(1, 1), SmallDisk(2), SmallDisk(3, 1)})},
      {"empty", Bytes()},
      {"short_header", Bytes(one.begin(), one.begin() + 600)},
      {"cut_in_sector_header", Bytes(one.begin(), one.begin() + 700)},
      {"cut_in_data", Bytes(one.begin(), one.begin() + 688 + 16 + 60)},
  };
  {
    Bytes zero = one;
    PutFixed32(&zero, 0x1C, 0);
    seeds.push_back({"zero_disk_size", zero});
    Bytes huge = one;
    PutFixed32(&huge, 0x1C, 0xFFFFFFF0u);
    PutFixed32(&huge, 0x20 + 4 * 2, 0x80000000u);
    seeds.push_back({"huge_sizes", Join({huge, one})});
  }
  {
    D88DiskWriter odd("ODD");
    SectorRecord s;
    s.data = Bytes(200, 0x5A);
    std::vector<SectorRecord> records;
    const std::uint8_t statuses[] = {0x00, 0xA0, 0x10, 0xB0, 0xE0, 0xF0};
    for (int i = 0; i < 6; ++i) {
      s.r = static_cast<std::uint8_t>(i + 1);
      s.status = statuses[i];  // read errors among them
      s.sectorCount = static_cast<std::uint16_t>(i % 3);  // 0, 1, 2, ...
      s.dataSize = i == 4 ? 0xFFFF : -1;  // one claims more than follows
      records.push_back(s);
    }
    odd.SetTrack(0, records);
    odd.SetTrack(1, {records[2], records[1]});
    seeds.push_back({"odd_sector_counts", odd.Build()});
  }
  {
    // More records on a track than a run's index of it holds: track 0
    // numbered 1..70, track 1 the same with sector 66 recorded a second
    // time first, as record 10.
    D88DiskWriter many("MANY");
    std::vector<SectorRecord> records;
    for (int r = 1; r <= 70; ++r) {
      records.push_back(
          MakeSector(0, 0, r, 0, 70, Bytes(128, static_cast<std::uint8_t>(r))));
    }
    many.SetTrack(0, records);
    records.insert(records.begin() + 9,
                   MakeSector(0, 1, 66, 0, 71, Bytes(128, 0)));
    for (SectorRecord& record : records) {
      record.h = 1;
      record.sectorCount = 71;
    }
    many.SetTrack(1, records);
    const Bytes bytes = many.Build();
    const Bytes runs = Script()
                           .Select(0, 1)
                           .Range(1, 40)
                           .ReadSectors(0, 0, 0, 60, 0, 1280)
                           .ReadSectors(1, 0, 1, 62, 0, 640)
                           .Tail();
    if (!WriteFile(std::string(argv[1]) + "/many_records_script",
                   Join({bytes, runs}))) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot write many_records\n");
      return 1;
    }
  }
  for (const auto& [name, bytes] : seeds) {
    const std::string base = std::string(argv[1]) + "/" + name;
    if (!WriteFile(base, bytes) ||
        !WriteFile(base + "_script", Join({bytes, script}))) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", base.c_str());
      return 1;
    }
  }
  return 0;
}
