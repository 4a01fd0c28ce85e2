// The extraction run.  See extraction_run.h.

#include "extract/extraction_run.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "disk_image/d88_image.h"
#include "extract/extraction_plan.h"
#include "extract/messages.h"

namespace fs = std::filesystem;

namespace {

// Every row is read into this buffer from its first byte.
std::uint8_t transferBuffer[kLongestEntry];

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// Whether `name` is the file being read (the same file under any name or
// link).  A name that does not exist, or a path that cannot be compared, is
// taken as a different file.
bool IsInputFile(const std::string& name, const char* inputPath) {
  try {
    std::error_code ec;
    return fs::equivalent(fs::path(inputPath), name, ec);
  } catch (const std::exception&) {  // an unconvertible path name
    return false;
  }
}

// A name beside `name` that no file or link holds yet; empty if none.
std::string TemporaryName(const std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = name + ".tmp" + std::to_string(attempt);
    if (!Exists(candidate)) return candidate;
  }
  return std::string();
}

bool WriteWhole(const std::string& path, const std::uint8_t* data,
                std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace

bool PlaceOutputFile(const std::string& name, const std::uint8_t* data,
                     std::size_t size, const char* inputPath) {
  if (IsInputFile(name, inputPath)) return false;
  const std::string temporary = TemporaryName(name);
  if (temporary.empty()) return false;
  std::error_code ec;
  if (WriteWhole(temporary, data, size)) {
    fs::rename(temporary, name, ec);
    if (!ec) return true;
  }
  fs::remove(temporary, ec);
  return false;
}

int RunExtraction(int argc, const char* const* argv, std::FILE* out,
                  std::FILE* err) {
  D88Image image;
  if (argc != 2) {
    std::fputs(kUsageMessage, err);
    return 1;
  }
  const char* inputPath = argv[1];
  if (!image.Open(inputPath)) {
    std::fputs(kOpenFailureMessage, err);
    return 1;
  }

  int status = 0;
  int group = -1;
  int number = 0;
  for (const ExtractEntry& entry : kExtractionPlan) {
    if (entry.group != group) {
      group = entry.group;
      number = 0;
      image.SelectImage(kExtractGroups[group].disk);
      image.SetSectorRange(kPlanFirstSector, kPlanLastSector);
    }
    const std::string name = OutputName(entry, ++number);

    const std::int32_t got = image.ReadSectors(
        entry.track, entry.track / 2, entry.track % 2, entry.startSector,
        kPlanSizeCode, transferBuffer, entry.length);
    // Whatever a failed piece left behind is not part of the file.
    std::memset(transferBuffer + got, 0,
                static_cast<std::size_t>(entry.length - got));
    if (got < entry.length) {
      std::fprintf(err, kIncompleteFormat, name.c_str(), got, entry.length);
      status = 1;
    }

    if (PlaceOutputFile(name, transferBuffer,
                        static_cast<std::size_t>(entry.length), inputPath)) {
      std::fprintf(out, kCreatedFormat, name.c_str());
      std::fflush(out);
    } else {
      std::fprintf(err, kNotWrittenFormat, name.c_str());
      status = 1;
    }
  }
  return status;
}
