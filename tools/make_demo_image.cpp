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
  if (!WriteFile(argv[1], MakeDemoFile())) {
    std::fprintf(stderr, "make_demo_image: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
