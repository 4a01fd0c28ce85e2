// Benchmarks of the reader and of the whole extraction run.
//
// Whole-disk reads (BM_WholeDisk/G): every sector of every image of a
// 64-image file read through ReadSectors(), one track side per call, for
// four common geometries, against two floors of the same work:
// - the I/O floor: one sequential fread() of the file through a buffer of
//   the reader's window size, every byte read once;
// - the algorithm floor: the file read in order, each image with one
//   fread() of its header and one of the rest into one buffer, plus the
//   reader's work done over the image's bytes right after they are read,
//   while they are in the cache: each track walked once
//   from its first record, with the reader's stop rules, and every sector
//   found among its records and copied out;
// - the memory floor: the same track walks over every image already held
//   in memory, read before the benchmark: no I/O at all.  The reader reads
//   the file; this floor gives what the walks alone cost.
// Each iteration runs the four passes one after the other, in each of the
// 24 orders in turn, and times each, so that a machine whose speed drifts
// slows all alike and no pass inherits another's caches more often; the
// ratios are the medians of the per-iteration ratios.
// After the run a table gives each pass's throughput and the ratios.  The
// extraction benchmark runs the 29-file plan in-process against a four-disk
// file, writing into a temporary directory; the run benchmark runs the
// program as a process against a bare C program that does the same reads
// and writes, and gives the ratio of their CPU times.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "disk_image/buffered_file.h"
#include "disk_image/coding.h"
#include "disk_image/d88_image.h"
#include "extract/extraction_run.h"
#include "tools/d88_writer.h"

namespace fs = std::filesystem;

namespace {

struct Geometry {
  const char* label;
  int cylinders, sectors, sizeCode;
};

const Geometry kGeometries[] = {
    {"2D 40x2x16x256", 40, 16, 1},
    {"2DD 80x2x10x512", 80, 10, 2},
    {"2HD 77x2x8x1024", 77, 8, 3},
    {"2HD 77x2x26x256", 77, 26, 1},
};
constexpr int kImagesPerFile = 64;

fs::path WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / "tamrek_bench";
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

// The 64-image file of geometry `g`, written once per process.
std::string GeometryFile(int g) {
  static std::map<int, std::string> files;
  auto it = files.find(g);
  if (it != files.end()) return it->second;
  const Geometry& geo = kGeometries[g];
  const SectorFill fill = [&geo](int disk, int c, int h, int r) {
    return DemoSectorText(disk, c, h, r, geo.sizeCode);
  };
  const Bytes image =
      MakeUniformDisk(0, geo.cylinders, geo.sectors, geo.sizeCode, fill)
          .Build();
  Bytes file;
  file.reserve(image.size() * kImagesPerFile);
  for (int i = 0; i < kImagesPerFile; ++i) {
    file.insert(file.end(), image.begin(), image.end());
  }
  const std::string path =
      (WorkDir() / ("geometry" + std::to_string(g) + ".d88")).string();
  if (!WriteFile(path, file)) std::abort();
  return files[g] = path;
}

// The reader's pass: every sector of the file through ReadSectors().
std::int64_t ReaderPass(const Geometry& geo, const std::string& path,
                        std::vector<std::uint8_t>* buf) {
  const int trackBytes = static_cast<int>(buf->size());
  std::int64_t bytes = 0;
  D88Image image;
  if (!image.Open(path.c_str())) std::abort();
  for (int i = 0; i < image.GetImageCount(); ++i) {
    image.SelectImage(i);
    image.SetSectorRange(1, geo.sectors);
    for (int t = 0; t < 2 * geo.cylinders; ++t) {
      const int got = image.ReadSectors(t, t / 2, t % 2, 1, geo.sizeCode,
                                        buf->data(), trackBytes);
      if (got != trackBytes) std::abort();
      bytes += got;
    }
  }
  return bytes;
}

// Reads `length` bytes of `f` into `dest` in window-sized pieces.
void ReadPieces(std::FILE* f, std::uint8_t* dest, std::size_t length) {
  const std::size_t piece = BufferedFile::kDefaultWindowSize;
  for (std::size_t done = 0; done < length;) {
    const std::size_t want = std::min(piece, length - done);
    if (std::fread(dest + done, 1, want, f) != want) std::abort();
    done += want;
  }
}

std::FILE* OpenUnbuffered(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) std::abort();
  std::setvbuf(f, nullptr, _IONBF, 0);  // as the reader: no second copy
  return f;
}

// The I/O floor: the file read once, sequentially, in window-sized pieces.
std::int64_t IoFloorPass(const std::string& path,
                         std::vector<std::uint8_t>* buf) {
  std::FILE* f = OpenUnbuffered(path);
  std::int64_t bytes = 0;
  for (std::size_t got;
       (got = std::fread(buf->data(), 1, buf->size(), f)) > 0;) {
    benchmark::DoNotOptimize(buf->data());
    bytes += static_cast<std::int64_t>(got);
  }
  std::fclose(f);
  return bytes;
}

// Sectors 1..`sectors` (c, h, r, n) of the track at `track` in `image`,
// found as the reader finds them: one walk from the first record, ending
// at a sector count of 0 or after the record that the count says is the
// last, notes each record's ID and data; then each sector is the first
// record of its ID.  Copies each sector's data, up to `sectorBytes`, to
// dest + (r - 1) * sectorBytes; returns the bytes copied.
std::int64_t ReadTrackInMemory(const std::vector<std::uint8_t>& image,
                               std::int64_t track, int c, int h, int n,
                               int sectors, int sectorBytes,
                               std::uint8_t* dest) {
  const std::int64_t size = static_cast<std::int64_t>(image.size());
  std::uint32_t ids[64];
  const std::uint8_t* data[64];
  int lengths[64];
  int records = 0;
  for (std::int64_t i = 0; records < 64 && track + 16 <= size; ++i) {
    const std::uint8_t* p = image.data() + track;
    const int count = DecodeFixed16(p + 4), dataSize = DecodeFixed16(p + 14);
    if (count == 0) break;
    std::memcpy(&ids[records], p, 4);
    data[records] = p + 16;
    lengths[records++] = static_cast<int>(
        std::min<std::int64_t>({dataSize, sectorBytes, size - track - 16}));
    track += 16 + dataSize;
    if (i + 1 == count) break;
  }
  std::int64_t bytes = 0;
  for (int r = 1; r <= sectors; ++r) {
    const std::uint8_t want[4] = {
        static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(h),
        static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(n)};
    std::uint32_t id;
    std::memcpy(&id, want, 4);
    for (int k = 0; k < records; ++k) {
      if (ids[k] != id) continue;
      std::memcpy(dest + static_cast<std::size_t>((r - 1) * sectorBytes),
                  data[k], static_cast<std::size_t>(lengths[k]));
      bytes += lengths[k];
      break;
    }
  }
  return bytes;
}

// The algorithm floor: the file read in order, one image at a time into one
// buffer with one read of its header and one of the rest, each image walked
// right after it is read.
std::int64_t AlgorithmFloorPass(const Geometry& geo, const std::string& path,
                                std::vector<std::uint8_t>* image,
                                std::vector<std::uint8_t>* buf) {
  const int sectorBytes = 128 << geo.sizeCode;
  std::int64_t bytes = 0;
  std::FILE* f = OpenUnbuffered(path);
  for (int i = 0; i < kImagesPerFile; ++i) {
    std::uint8_t header[D88Image::kDiskHeaderSize];
    if (std::fread(header, 1, sizeof header, f) != sizeof header) {
      std::abort();
    }
    const std::size_t rest = DecodeFixed32(header + 0x1C) - sizeof header;
    image->resize(sizeof header + rest);
    std::memcpy(image->data(), header, sizeof header);
    if (std::fread(image->data() + sizeof header, 1, rest, f) != rest) {
      std::abort();
    }
    for (int t = 0; t < 2 * geo.cylinders; ++t) {
      const std::int64_t track =
          DecodeFixed32(header + 0x20 + static_cast<std::size_t>(4 * t));
      bytes += ReadTrackInMemory(*image, track, t / 2, t % 2, geo.sizeCode,
                                 geo.sectors, sectorBytes, buf->data());
      benchmark::DoNotOptimize(buf->data());
    }
  }
  std::fclose(f);
  return bytes;
}

// The images of the file at `path`, each in memory.
std::vector<std::vector<std::uint8_t>> ImagesOf(const std::string& path) {
  std::vector<std::vector<std::uint8_t>> images;
  std::FILE* f = OpenUnbuffered(path);
  for (int i = 0; i < kImagesPerFile; ++i) {
    std::uint8_t header[D88Image::kDiskHeaderSize];
    ReadPieces(f, header, sizeof header);
    std::vector<std::uint8_t> image(DecodeFixed32(header + 0x1C));
    std::memcpy(image.data(), header, sizeof header);
    ReadPieces(f, image.data() + sizeof header, image.size() - sizeof header);
    images.push_back(std::move(image));
  }
  std::fclose(f);
  return images;
}

// The memory floor: every track of every image held in memory walked.
std::int64_t MemoryFloorPass(
    const Geometry& geo, const std::vector<std::vector<std::uint8_t>>& images,
    std::vector<std::uint8_t>* buf) {
  const int sectorBytes = 128 << geo.sizeCode;
  std::int64_t bytes = 0;
  for (const std::vector<std::uint8_t>& image : images) {
    for (int t = 0; t < 2 * geo.cylinders; ++t) {
      const std::int64_t track =
          DecodeFixed32(image.data() + 0x20 + static_cast<std::size_t>(4 * t));
      bytes += ReadTrackInMemory(image, track, t / 2, t % 2, geo.sizeCode,
                                 geo.sectors, sectorBytes, buf->data());
      benchmark::DoNotOptimize(buf->data());
    }
  }
  return bytes;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// What the table at the end shows, per geometry.
struct WholeDiskResult {
  double readerRate, ioRate, algorithmRate, memoryRate;  // bytes per second
  double vsIo, vsAlgorithm, vsMemory;                    // time ratios
};
std::map<int, WholeDiskResult> wholeDiskResults;

void BM_WholeDisk(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  const Geometry& geo = kGeometries[g];
  const std::string path = GeometryFile(g);
  const double fileBytes = static_cast<double>(fs::file_size(path));
  std::vector<std::uint8_t> buf(
      static_cast<std::size_t>(geo.sectors * (128 << geo.sizeCode)));
  std::vector<std::uint8_t> stream(BufferedFile::kDefaultWindowSize), image;
  const std::vector<std::vector<std::uint8_t>> images = ImagesOf(path);
  std::vector<double> times[4], vsIo, vsAlgorithm, vsMemory;
  std::int64_t sectorBytes = 0;
  // The passes run in every order in turn, so that each follows each other
  // pass equally often: the memory floor leaves the caches full of its
  // images, and in a rotation the reader would follow it three times in
  // four and the algorithm floor never.
  std::array<int, 4> order = {0, 1, 2, 3};
  for (auto _ : state) {
    double t[4] = {};
    for (const int pass : order) {
      const auto start = std::chrono::steady_clock::now();
      if (pass == 0) sectorBytes = ReaderPass(geo, path, &buf);
      if (pass == 1) IoFloorPass(path, &stream);
      if (pass == 2) AlgorithmFloorPass(geo, path, &image, &buf);
      if (pass == 3) MemoryFloorPass(geo, images, &buf);
      t[pass] = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                              start)
                    .count();
      times[pass].push_back(t[pass]);
    }
    vsIo.push_back(t[0] / t[1]);
    vsAlgorithm.push_back(t[0] / t[2]);
    vsMemory.push_back(t[0] / t[3]);
    std::next_permutation(order.begin(), order.end());
  }
  const double sectors = static_cast<double>(sectorBytes);
  const WholeDiskResult result{sectors / Median(times[0]),
                               fileBytes / Median(times[1]),
                               sectors / Median(times[2]),
                               sectors / Median(times[3]),
                               Median(vsIo),
                               Median(vsAlgorithm),
                               Median(vsMemory)};
  state.counters["vs_io"] = result.vsIo;
  state.counters["vs_alg"] = result.vsAlgorithm;
  state.counters["vs_mem"] = result.vsMemory;
  state.SetLabel(geo.label);
  wholeDiskResults[g] = result;
}

void BM_ExtractionPlan(benchmark::State& state) {
  const fs::path dir = WorkDir() / "extract";
  fs::create_directories(dir);
  const std::string input = (dir / "scenario.d88").string();
  if (!WriteFile(input, MakeDemoFile())) std::abort();
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  std::FILE* sink = std::fopen((dir / "console.txt").string().c_str(), "wb");
  const char* argv[] = {"tamrek", input.c_str(), nullptr};
  for (auto _ : state) {
    std::rewind(sink);
    if (RunExtraction(2, argv, sink, sink) != 0) std::abort();
  }
  std::fclose(sink);
  fs::current_path(previous);
}

// The CPU time (user and system) of the process `argv` run in `dir` with
// its output discarded, in seconds.
double ProcessCpu(const fs::path& dir, const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0 || chdir(dir.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::abort();
  }
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Whole runs of the program against the bare C floor (bench/bare_floor.c),
// each timed in CPU time as a process of its own, in alternating order:
// into an empty folder (Arg 0), and over the same extraction (Arg 1).  The
// ratio is the median of the per-iteration ratios.
void BM_RunAgainstFloor(benchmark::State& state) {
  const bool rerun = state.range(0) == 1;
  const fs::path dir = WorkDir() / "floor";
  fs::create_directories(dir);
  const std::string input = (dir / "scenario.d88").string();
  if (!WriteFile(input, MakeDemoFile())) std::abort();
  const std::vector<std::string> programs[2] = {{TAMREK_PATH, input},
                                                {BARE_FLOOR_PATH, input}};
  std::vector<double> ratios;
  double cpu[2] = {0, 0};
  int turn = 0;
  for (auto _ : state) {
    double spent[2];
    for (int k = 0; k < 2; ++k) {
      const int which = (k + turn) % 2;
      const fs::path folder = dir / ("run" + std::to_string(which));
      state.PauseTiming();
      fs::remove_all(folder);
      fs::create_directories(folder);
      if (rerun) ProcessCpu(folder, programs[which]);
      state.ResumeTiming();
      spent[which] = ProcessCpu(folder, programs[which]);
      cpu[which] += spent[which];
    }
    ++turn;
    ratios.push_back(spent[0] / (spent[1] > 0 ? spent[1] : 1e-6));
  }
  std::sort(ratios.begin(), ratios.end());
  const double iterations = static_cast<double>(state.iterations());
  state.counters["tool_ms"] = 1e3 * cpu[0] / iterations;
  state.counters["floor_ms"] = 1e3 * cpu[1] / iterations;
  state.counters["vs_floor"] = ratios[ratios.size() / 2];
  state.SetLabel(rerun ? "over the same extraction" : "into an empty folder");
}

BENCHMARK(BM_WholeDisk)
    ->DenseRange(0, 3)
    ->MinTime(3.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractionPlan)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RunAgainstFloor)
    ->DenseRange(0, 1)
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (!wholeDiskResults.empty()) {
    std::printf("\n%-18s %12s %12s %12s %12s %8s %8s %8s\n", "geometry",
                "ReadSectors", "I/O floor", "alg. floor", "mem. floor", "/ I/O",
                "/ alg.", "/ mem.");
  }
  for (const auto& [g, r] : wholeDiskResults) {
    std::printf(
        "%-18s %7.0f MB/s %7.0f MB/s %7.0f MB/s %7.0f MB/s %7.2fx %7.2fx "
        "%7.2fx\n",
        kGeometries[g].label, r.readerRate / 1e6, r.ioRate / 1e6,
        r.algorithmRate / 1e6, r.memoryRate / 1e6, r.vsIo, r.vsAlgorithm,
        r.vsMemory);
  }
  fs::remove_all(WorkDir());
  benchmark::Shutdown();
  return 0;
}
