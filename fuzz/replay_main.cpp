// Replays inputs through the fuzz target without libFuzzer: each argument is
// a file, or a directory whose files are replayed.  Used by the test suite
// to run the seed corpus and the saved crash inputs on every build.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files;
    if (fs::is_directory(argv[i])) {
      for (const auto& e : fs::directory_iterator(argv[i])) {
        if (e.is_regular_file()) files.push_back(e.path());
      }
    } else {
      files.push_back(argv[i]);
    }
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++replayed;
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
