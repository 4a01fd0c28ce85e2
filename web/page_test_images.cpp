// Writes the dumps that the browser test of the web page (page_test.mjs)
// drops on it, into the directory given, with what the page must draw of
// them (expected.json): the demo image, whole and as one file per disk
// ("Game (Disk A).d88" to "Game (Disk D).d88"); a damaged one whose damage
// is known (read errors, a missing sector, an absent track, a short sector,
// a missing disk); two dumps of all disks that each lack a sector the
// other has, and the same two of disk 0 alone ("Disk A, try N.d88"); a text
// file.
// Usage: page_test_images DIR

#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/d88_writer.h"

namespace {

Bytes Text(int disk, int c, int h, int r) {
  return DemoSectorText(disk, c, h, r, 2);
}

// The images of the D88 file `file`, one by one, by their disk size fields.
std::vector<Bytes> Split(const Bytes& file) {
  std::vector<Bytes> images;
  std::size_t at = 0;
  while (at + 0x20 <= file.size()) {
    std::size_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | file[at + 0x1C + i];
    if (size < 0x20 || size > file.size() - at) break;
    images.emplace_back(file.begin() + at, file.begin() + at + size);
    at += size;
  }
  return images;
}

Bytes Join(const std::vector<Bytes>& disks) {
  Bytes out;
  for (const Bytes& d : disks) out.insert(out.end(), d.begin(), d.end());
  return out;
}

// `disks` demo disks, the records of disk `damaged` passed through `edit`.
Bytes Demo(int disks, int damaged, const SectorEdit& edit) {
  std::vector<Bytes> images;
  images.reserve(disks);
  for (int d = 0; d < disks; ++d) {
    images.push_back(
        MakeUniformDisk(d, 80, 10, 2, Text, 1, d == damaged ? edit : nullptr)
            .Build());
  }
  return Join(images);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const Bytes demo = MakeDemoFile();
  bool ok = WriteFile(dir + "/demo.d88", demo);
  const std::vector<Bytes> perDisk = Split(demo);
  ok = ok && perDisk.size() == 4;
  for (std::size_t d = 0; ok && d < perDisk.size(); ++d) {
    ok = WriteFile(dir + "/Game (Disk " + std::string(1, 'A' + d) + ").d88",
                   perDisk[d]);
  }
  // Damaged: disk 0's cylinder 7, head 0 (MDAT01) has sector 6 recorded
  // with a data CRC error and sector 8 renumbered away; disk 1 lacks track
  // 75 and is named in Shift_JIS (シナリオ); disk 2's cylinder 38, head 1,
  // sector 2 is 300 bytes; no disk 3.
  D88DiskWriter disk0 =
      MakeUniformDisk(0, 80, 10, 2, Text, 1, [](int, SectorRecord* s) {
        if (s->c == 7 && s->h == 0 && s->r == 6) s->status = 0xB0;
        if (s->c == 7 && s->h == 0 && s->r == 8) s->r = 99;
      });
  D88DiskWriter disk1 = MakeUniformDisk(1, 80, 10, 2, Text);
  disk1.OverrideTrackOffset(75, 0);
  D88DiskWriter disk2 =
      MakeUniformDisk(2, 80, 10, 2, Text, 1, [](int, SectorRecord* s) {
        if (s->c == 38 && s->h == 1 && s->r == 2) s->data.resize(300);
      });
  Bytes named1 = disk1.Build();
  const char kName[] = "\x83\x56\x83\x69\x83\x8A\x83\x49";
  std::copy(kName, kName + sizeof kName, named1.begin());
  ok = ok && WriteFile(dir + "/damaged.d88",
                       Join({disk0.Build(), named1, disk2.Build()}));
  // Every sector of 164 tracks by 10: clean, with a read error, partly read,
  // missing, in an absent track; the plan's sectors, and those the folder
  // holds read cleanly after the damaged dump alone.
  const char* expected =
      "{\"damaged\": ["
      "{\"C\": 1598, \"E\": 1, \"P\": 0, \"M\": 1, \"A\": 40, \"plan\": 44, "
      "\"planClean\": 42},"
      "{\"C\": 1590, \"E\": 0, \"P\": 0, \"M\": 0, \"A\": 50, \"plan\": 60, "
      "\"planClean\": 50},"
      "{\"C\": 1599, \"E\": 0, \"P\": 1, \"M\": 0, \"A\": 40, \"plan\": 20, "
      "\"planClean\": 19},"
      "{\"C\": 0, \"E\": 0, \"P\": 0, \"M\": 0, \"A\": 1640, \"plan\": 21, "
      "\"planClean\": 0}]}\n";
  std::FILE* json = std::fopen((dir + "/expected.json").c_str(), "w");
  ok = ok && json != nullptr && std::fputs(expected, json) >= 0 &&
       std::fclose(json) == 0;
  // Two dumps that add up: MDAT01's sector 6 lacking in one, 8 in the other.
  for (const int lacking : {6, 8}) {
    const Bytes lacks = Demo(4, 0, [lacking](int, SectorRecord* s) {
      if (s->c == 7 && s->h == 0 && s->r == lacking) s->r = 99;
    });
    ok = ok &&
         WriteFile(dir + "/lacks" + std::to_string(lacking) + ".d88", lacks) &&
         WriteFile(
             dir + "/Disk A, try " + std::to_string(lacking / 2 - 2) + ".d88",
             Split(lacks).at(0));
  }
  const std::string notes = "These are my notes, not a disk.\n";
  ok = ok && WriteFile(dir + "/notes.txt", Bytes(notes.begin(), notes.end()));
  return ok ? 0 : 1;
}
