// make_demo_image writes the demo D88 file: four 2DD scenario disks (80
// cylinders x 2 heads x 10 sectors of 512 bytes) whose sectors hold text
// lines naming their disk, cylinder, head and sector, so that every byte
// tamrek extracts shows where it came from.  Usage: make_demo_image OUT.d88

#include <cstdio>

#include "tools/d88_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("Usage: make_demo_image OUT.d88\n", stderr);
    return 2;
  }
  const SectorFill fill = [](int disk, int c, int h, int r) {
    return DemoSectorText(disk, c, h, r, 2);
  };
  Bytes file;
  for (int disk = 0; disk < 4; ++disk) {
    const Bytes image = MakeUniformDisk(disk, 80, 10, 2, fill).Build();
    file.insert(file.end(), image.begin(), image.end());
  }
  if (!WriteFile(argv[1], file)) {
    std::fprintf(stderr, "make_demo_image: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
