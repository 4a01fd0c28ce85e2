// Benchmarks of the reader and of the whole extraction run.
//
// Whole-disk reads: every sector of every image of a 64-image file read
// through ReadSectors(), one track side per call, for four common
// geometries; the baseline is one sequential fread() of the same file, in the
// same process.  After the run a table gives each geometry's throughput and
// its ratio to the baseline.  The extraction benchmark runs the 29-file plan
// in-process against a four-disk file, writing into a temporary directory.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

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

void BM_ReadSectors(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  const Geometry& geo = kGeometries[g];
  const std::string path = GeometryFile(g);
  const int trackBytes = geo.sectors * (128 << geo.sizeCode);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(trackBytes));
  std::int64_t bytes = 0;
  for (auto _ : state) {
    D88Image image;
    if (!image.Open(path.c_str())) std::abort();
    for (int i = 0; i < image.GetImageCount(); ++i) {
      image.SelectImage(i);
      image.SetSectorRange(1, geo.sectors);
      for (int t = 0; t < 2 * geo.cylinders; ++t) {
        const int got = image.ReadSectors(t, t / 2, t % 2, 1, geo.sizeCode,
                                          buf.data(), trackBytes);
        if (got != trackBytes) std::abort();
        bytes += got;
      }
    }
  }
  state.SetBytesProcessed(bytes);
  state.SetLabel(geo.label);
}

void BM_FreadBaseline(benchmark::State& state) {
  const int g = static_cast<int>(state.range(0));
  const std::string path = GeometryFile(g);
  const std::size_t size = static_cast<std::size_t>(fs::file_size(path));
  std::vector<std::uint8_t> buf(size);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr || std::fread(buf.data(), 1, size, f) != size) {
      std::abort();
    }
    std::fclose(f);
    benchmark::DoNotOptimize(buf.data());
    bytes += static_cast<std::int64_t>(size);
  }
  state.SetBytesProcessed(bytes);
  state.SetLabel(kGeometries[g].label);
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

BENCHMARK(BM_FreadBaseline)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadSectors)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractionPlan)->Unit(benchmark::kMicrosecond);

// Console output as usual, plus the times it saw, for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      const double seconds =
          run.real_accumulated_time / static_cast<double>(run.iterations);
      times[run.benchmark_name()] = seconds;
      auto bytes = run.counters.find("bytes_per_second");
      if (bytes != run.counters.end())
        rates[run.benchmark_name()] = bytes->second;
    }
  }
  std::map<std::string, double> times, rates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-18s %12s %12s %8s\n", "geometry", "ReadSectors", "fread",
              "ratio");
  for (int g = 0; g < 4; ++g) {
    const std::string suffix = "/" + std::to_string(g);
    const auto read = reporter.times.find("BM_ReadSectors" + suffix);
    const auto base = reporter.times.find("BM_FreadBaseline" + suffix);
    if (read == reporter.times.end() || base == reporter.times.end()) continue;
    std::printf("%-18s %9.0f MB/s %7.0f MB/s %7.2fx\n", kGeometries[g].label,
                reporter.rates["BM_ReadSectors" + suffix] / 1e6,
                reporter.rates["BM_FreadBaseline" + suffix] / 1e6,
                read->second / base->second);
  }
  fs::remove_all(WorkDir());
  benchmark::Shutdown();
  return 0;
}
