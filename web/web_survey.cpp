// The web page's view of a dump: the survey of its four scenario disks (see
// extract/disk_survey.h) as JSON, for the page to draw.  Reached from the
// page's script as tamrek_survey(path), on the page's in-memory files.

#include <emscripten/emscripten.h>

#include <cstdio>
#include <string>

#include "disk_image/d88_image.h"
#include "extract/disk_survey.h"
#include "extract/extraction_plan.h"

namespace {

// `text` as a JSON string: printable ASCII as it is, every other byte as
// \u00XX (the name's bytes, not decoded).
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += ch;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += ch;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    }
  }
  return out + "\"";
}

// One letter per state, as the page shows them.
char Letter(SectorState state) {
  switch (state) {
    case SectorState::kClean:
      return 'C';
    case SectorState::kReadError:
      return 'E';
    case SectorState::kPartial:
      return 'P';
    case SectorState::kMissing:
      return 'M';
  }
  return 'M';
}

}  // namespace

// The survey of the D88 file at `path`: {"images":N,"disks":[...]} with, per
// scenario disk, what the file holds of it and, per track, whether it is
// there and its sectors 1 to 10 as [state letter, status, data size, size
// code, plan file].  The string lives until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tamrek_survey(const char* path) {
  static std::string json;
  D88Image image;
  if (!image.Open(path)) return json = "null", json.c_str();
  json =
      "{\"images\":" + std::to_string(image.GetImageCount()) + ",\"files\":[";
  for (std::size_t i = 0; i < PlanFiles().size(); ++i) {
    json += (i > 0 ? "," : "") + Quoted(PlanFiles()[i].name);
  }
  json += "],\"disks\":[";
  for (std::int32_t disk = 0; disk < 4; ++disk) {
    // A disk the file lacks is selected all the same: refused, it reads as
    // nothing.
    const bool inFile = disk < image.GetImageCount();
    const ImageFacts facts = FactsOf(&image, disk);
    json += disk > 0 ? "," : "";
    json += "{\"disk\":" + std::to_string(disk) +
            ",\"inFile\":" + (inFile ? "true" : "false") +
            ",\"readable\":" + (facts.readable ? "true" : "false") +
            ",\"name\":" + Quoted(facts.name) +
            ",\"mediaType\":" + std::to_string(facts.mediaType) +
            ",\"size\":" + std::to_string(facts.size) +
            ",\"tracks\":" + std::to_string(facts.tracks) +
            ",\"pastEnd\":" + std::to_string(facts.pastEnd) + ",\"track\":[";
    for (std::int32_t t = 0; t < D88Image::kTrackCount; ++t) {
      const SurveyedTrack track = SurveyTrack(&image, disk, t);
      json += t > 0 ? "," : "";
      json += std::string("[") + (track.present ? "1" : "0");
      for (const SurveyedSector& s : track.sectors) {
        json += ",[\"" + std::string(1, Letter(s.state)) + "\"," +
                std::to_string(s.status) + "," + std::to_string(s.dataSize) +
                "," + std::to_string(s.sizeCode) + "," +
                std::to_string(s.file) + "]";
      }
      json += "]";
    }
    json += "]}";
  }
  json += "]}";
  return json.c_str();
}
