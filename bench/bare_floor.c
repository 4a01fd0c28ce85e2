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
#include "tools/plan_rows.inc"
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
