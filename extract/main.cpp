// tamrek: extracts the 29 data files of the scenario disks from a D88 file
// into the current working directory.  Usage: tamrek FILE.d88

#include <cstdio>

#include "extract/extraction_run.h"

int main(int argc, char** argv) {
  return RunExtraction(argc, argv, stdout, stderr);
}
