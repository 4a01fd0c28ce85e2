// The web page's view of dumps, as JSON for its script: whether a file is a
// D88 file and how many images it holds (tamrek_probe), the plan's file
// names (tamrek_files), and the survey of one scenario disk as one image of
// a file gives it (tamrek_survey; see extract/disk_survey.h).  Reached from
// the page through ccall, on the page's in-memory files.

#include <emscripten/emscripten.h>

#include <cstdio>
#include <string>

#include "disk_image/d88_image.h"
#include "extract/disk_set.h"
#include "extract/disk_survey.h"
#include "extract/extraction_plan.h"
#include "platform/input_file.h"

namespace {

// `text` as a JSON string: printable ASCII as it is, every other byte as
// \u00XX (a name's bytes, not decoded: the page decodes Shift_JIS).
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

// One letter per state, as the page draws them.
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

// The string a call returns; it lives until the next call.
const char* Returned(std::string text) {
  static std::string held;
  held = std::move(text);
  return held.c_str();
}

}  // namespace

// {"images":N,"reason":"...","image":"..."}: the images the file at `path`
// holds, why it cannot be a D88 file ("" when it can), in the program's
// words, and the name of its first image.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tamrek_probe(const char* path) {
  std::string reason;
  platform::InputFile raw;
  if (!raw.OpenRegular(path)) {
    reason = "it cannot be opened";
  } else {
    std::uint8_t header[kHeaderBytes];
    const std::int64_t got = raw.ReadAt(0, header, sizeof header);
    reason = NotD88Reason(header, got > 0 ? static_cast<std::size_t>(got) : 0,
                          raw.Size());
  }
  raw.Close();
  D88Image image;
  const std::int32_t images =
      reason.empty() && image.Open(path) ? image.GetImageCount() : 0;
  if (reason.empty() && images == 0) reason = "it holds no disk image";
  const std::string name = images > 0 ? FactsOf(&image, 0).name : "";
  return Returned("{\"images\":" + std::to_string(images) + ",\"reason\":" +
                  Quoted(reason) + ",\"image\":" + Quoted(name) + "}");
}

// ["NAME",...]: the plan's files, in the order the surveys number them.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tamrek_files() {
  std::string json = "[";
  for (std::size_t i = 0; i < PlanFiles().size(); ++i) {
    json += (i > 0 ? "," : "") + Quoted(PlanFiles()[i].name);
  }
  return Returned(json + "]");
}

// Image `index` of the D88 file at `path` read as scenario disk `disk`:
// {"inFile":..,"name":..,"mediaType":..,"size":..,"tracks":..,"pastEnd":..,
// "track":[[present,[letter,status,dataSize,sizeCode,planFile] x 10] x 164]}.
// A file that cannot be opened, or an image it lacks, reads as nothing:
// its survey then gives the plan's layout of the disk alone.
extern "C" EMSCRIPTEN_KEEPALIVE const char* tamrek_survey(const char* path,
                                                          std::int32_t index,
                                                          std::int32_t disk) {
  D88Image image;
  const bool open = path[0] != '\0' && image.Open(path);
  const bool inFile = open && index >= 0 && index < image.GetImageCount();
  const ImageFacts facts = FactsOf(&image, index);
  std::string json = std::string("{\"inFile\":") + (inFile ? "true" : "false") +
                     ",\"readable\":" + (facts.readable ? "true" : "false") +
                     ",\"name\":" + Quoted(facts.name) +
                     ",\"mediaType\":" + std::to_string(facts.mediaType) +
                     ",\"size\":" + std::to_string(facts.size) +
                     ",\"tracks\":" + std::to_string(facts.tracks) +
                     ",\"pastEnd\":" + std::to_string(facts.pastEnd) +
                     ",\"track\":[";
  json.reserve(48 * 1024);
  for (std::int32_t t = 0; t < D88Image::kTrackCount; ++t) {
    const SurveyedTrack track = SurveyTrack(&image, disk, t);
    json += t > 0 ? ",[" : "[";
    json += track.present ? "1" : "0";
    for (const SurveyedSector& s : track.sectors) {
      json += ",[\"" + std::string(1, Letter(s.state)) + "\"," +
              std::to_string(s.status) + "," + std::to_string(s.dataSize) +
              "," + std::to_string(s.sizeCode) + "," + std::to_string(s.file) +
              "]";
    }
    json += "]";
  }
  return Returned(json + "]}");
}
