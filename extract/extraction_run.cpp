// The extraction run.  See extraction_run.h.

#include "extract/extraction_run.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "disk_image/d88_image.h"
#include "extract/extraction_plan.h"
#include "extract/messages.h"
#include "platform/platform.h"

namespace {

// Temporary names tried per output file: NAME.tmp0 to NAME.tmp99.
constexpr int kTemporaryNames = 100;

// Every row is read into this buffer from its first byte.
std::uint8_t transferBuffer[kLongestEntry];

// Writes one ASCII console line, formatted from `format` and `args`.
template <typename... Args>
void PrintLine(std::FILE* stream, const char* format, Args... args) {
  char line[160];
  std::snprintf(line, sizeof line, format, args...);
  platform::WriteConsoleLine(stream, line, line);
}

}  // namespace

Placement PlaceOutputFile(const std::string& name, const std::uint8_t* data,
                          std::size_t size, const char* inputPath,
                          bool mayReplace) {
  if (mayReplace && platform::SameFile(name.c_str(), inputPath)) {
    return Placement::kFailed;
  }
  // Each temporary file is created new: whatever already holds a name (a
  // user's file, a link planted by someone else) is passed over untouched.
  for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
    const std::string temporary = name + ".tmp" + std::to_string(attempt);
    bool nameTaken = false;
    std::FILE* file = platform::CreateNewFile(temporary, &nameTaken);
    if (file == nullptr) {
      if (nameTaken) continue;
      return Placement::kFailed;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    bool kept = false;
    if (written && closed &&
        (mayReplace ? platform::MoveIntoPlace(temporary, name)
                    : platform::MoveToFreeName(temporary, name, &kept))) {
      return Placement::kPlaced;
    }
    std::remove(temporary.c_str());
    return kept ? Placement::kKept : Placement::kFailed;
  }
  return Placement::kFailed;
}

int RunExtraction(int argc, const char* const* argv, std::FILE* out,
                  std::FILE* err) {
  D88Image image;
  if (argc == 2) {
    const std::string option = argv[1];
    if (option == "--help" || option == "-h" ||
        platform::IsSystemHelpOption(option)) {
      platform::WriteConsoleLine(out, kUsageMessage, kUsageMessageUtf8);
      platform::WriteConsoleLine(out, kHelpText, kHelpText);
      return 0;
    }
    if (option == "--version") {
      char text[512];
      std::snprintf(text, sizeof text, kVersionFormat, TAMREK_VERSION,
                    TAMREK_COPYRIGHT);
      platform::WriteConsoleLine(out, text, text);
      return 0;
    }
  }
  if (argc != 2) {
    platform::WriteConsoleLine(err, kUsageMessage, kUsageMessageUtf8);
    return 1;
  }
  const char* inputPath = argv[1];
  if (!image.Open(inputPath)) {
    platform::WriteConsoleLine(err, kOpenFailureMessage,
                               kOpenFailureMessageUtf8);
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
    for (const SectorReadError& error : image.GetReadErrors()) {
      PrintLine(err, kReadErrorFormat, name.c_str(), int{error.id.c},
                int{error.id.h}, int{error.id.r}, unsigned{error.status});
      status = 1;
    }
    // Whatever a failed piece left behind is not part of the file.
    std::memset(transferBuffer + got, 0,
                static_cast<std::size_t>(entry.length - got));
    const bool complete = got == entry.length;
    if (!complete) {
      PrintLine(err, kIncompleteFormat, name.c_str(), got, entry.length);
      status = 1;
    }

    // An incomplete file never replaces what the user already has.
    switch (PlaceOutputFile(name, transferBuffer,
                            static_cast<std::size_t>(entry.length), inputPath,
                            complete)) {
      case Placement::kPlaced:
        PrintLine(out, kCreatedFormat, name.c_str());
        break;
      case Placement::kKept:
        PrintLine(err, kKeptFormat, name.c_str());
        status = 1;
        break;
      case Placement::kFailed:
        PrintLine(err, kNotWrittenFormat, name.c_str());
        status = 1;
        break;
    }
  }
  return status;
}
