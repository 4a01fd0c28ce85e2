/* The floor of a tamrek run, for the benchmarks: the same reads and writes
 * done by a bare C program, with nothing but what the work needs.  It reads
 * the 29 files of the plan out of the D88 file named by its argument, each
 * sector found by walking its track's headers from the first, and writes
 * each into the working directory, or, where the directory holds it
 * already, reads it and writes nothing; one line per file on standard
 * output, as the tool prints.  It makes none of the tool's checks.
 * Usage: bare_floor FILE.d88 */

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const struct {
  const char* name;
  int disk, track, sector, length;
} kPlan[29] = {
    {"DRIVER01.BIN", 0, 79, 4, 3071}, {"MDAT01", 0, 14, 4, 2818},
    {"MDAT02", 0, 14, 10, 2050},      {"MDAT03", 0, 15, 5, 1538},
    {"MDAT04", 0, 15, 9, 2818},       {"MDAT05", 0, 16, 5, 3330},
    {"MDAT06", 0, 17, 2, 2818},       {"MDAT07", 0, 17, 8, 1538},
    {"LDAT01", 1, 73, 9, 3074},       {"LDAT02", 1, 74, 6, 2306},
    {"LDAT03", 1, 75, 1, 2818},       {"LDAT04", 1, 75, 7, 1026},
    {"LDAT05", 1, 75, 10, 1794},      {"LDAT06", 1, 76, 4, 3074},
    {"LDAT07", 1, 77, 1, 3330},       {"LDAT08", 1, 77, 8, 2050},
    {"LDAT09", 1, 78, 3, 1794},       {"LDAT10", 1, 78, 7, 2562},
    {"LDAT11", 1, 79, 3, 1282},       {"LDAT12", 1, 79, 6, 1026},
    {"NDAT01", 2, 75, 10, 1794},      {"NDAT02", 2, 76, 10, 2818},
    {"NDAT03", 2, 77, 6, 3074},       {"NDAT04", 2, 78, 3, 1026},
    {"PDAT01", 3, 76, 1, 2050},       {"PDAT02", 3, 78, 10, 2050},
    {"PDAT03", 3, 79, 5, 1026},       {"PDAT04", 3, 80, 2, 1026},
    {"PDAT05", 3, 80, 5, 2306},
};

static unsigned Get32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | (unsigned)p[3] << 24;
}

/* The part of a disk that the plan reads: its header and its first 82
 * tracks of ten 528-byte records. */
static unsigned char image[512 * 1024];

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int in = open(argv[1], O_RDONLY);
  if (in < 0) return 1;
  long base = 0;
  int loaded = -1;
  static char out[3330], existing[3331];
  for (int f = 0; f < 29; ++f) {
    /* The files come disk by disk; each disk is read once. */
    for (; loaded < kPlan[f].disk; ++loaded) {
      if (loaded >= 0) base += Get32(image + 0x1C);
      if (pread(in, image, sizeof image, base) < 688) return 1;
    }
    int track = kPlan[f].track, c = track / 2, h = track % 2;
    int r = kPlan[f].sector;
    for (int done = 0; done < kPlan[f].length; done += 512) {
      const unsigned char* p = image + Get32(image + 0x20 + 4 * track);
      while (!(p[0] == c && p[1] == h && p[2] == r))
        p += 16 + (p[14] | p[15] << 8);
      const int n = kPlan[f].length - done < 512 ? kPlan[f].length - done : 512;
      memcpy(out + done, p + 16, n);
      if (r++ == 10) {
        r = 1, ++track;
        if (h++ == 1) h = 0, ++c;
      }
    }
    const int old = open(kPlan[f].name, O_RDONLY);
    if (old >= 0) {
      const ssize_t got = read(old, existing, sizeof existing);
      close(old);
      if (got != kPlan[f].length || memcmp(existing, out, got) != 0) return 1;
    } else {
      const int fd = open(kPlan[f].name, O_WRONLY | O_CREAT | O_EXCL, 0666);
      if (fd < 0 || write(fd, out, kPlan[f].length) != kPlan[f].length)
        return 1;
      close(fd);
    }
    char line[32];
    const int length =
        snprintf(line, sizeof line, "%s is created.\n", kPlan[f].name);
    if (write(1, line, length) != length) return 1;
  }
  return 0;
}
