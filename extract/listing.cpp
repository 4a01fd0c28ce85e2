// The listing of --list.  See listing.h.

#include "extract/listing.h"

#include <cstdint>
#include <set>
#include <string>

#include "extract/disk_survey.h"
#include "extract/extraction_plan.h"
#include "extract/messages.h"

namespace {

// The image's name as ASCII text: printable characters as they are, the
// quote and the backslash escaped, any other byte as \xHH.
std::string ShowName(const char* name) {
  std::string shown;
  for (const char* p = name; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte == '"' || byte == '\\') {
      shown += '\\';
      shown += static_cast<char>(byte);
    } else if (byte >= 0x20 && byte < 0x7F) {
      shown += static_cast<char>(byte);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 15];
    }
  }
  return shown;
}

// The tracks that the plan reads from `disk`, in order.
std::set<std::int32_t> PlanTracks(std::int32_t disk) {
  std::set<std::int32_t> tracks;
  for (const PlanFile& file : PlanFiles()) {
    if (file.disk != disk) continue;
    for (const PlanPiece& piece : file.pieces) tracks.insert(piece.at.track);
  }
  return tracks;
}

// Lists the tracks of scenario disk `disk` (selected) that are not laid out
// as the plan reads them, then how many of the sectors the plan reads are
// recorded with a read error.
void ListLayout(D88Image* image, std::int32_t disk, Console* console) {
  int odd = 0, sectors = 0, errors = 0;
  for (const std::int32_t track : PlanTracks(disk)) {
    const SurveyedTrack surveyed = SurveyTrack(image, disk, track);
    for (const SurveyedSector& sector : surveyed.sectors) {
      if (sector.file < 0) continue;
      ++sectors;
      if (sector.state == SectorState::kReadError) ++errors;
    }
    if (surveyed.PlanLayout()) continue;
    ++odd;
    if (!surveyed.present) {
      console->Out(kListTrackAbsentFormat, disk, track, track / 2, track % 2);
      continue;
    }
    if (surveyed.ids.empty()) {
      console->Out(kListTrackEmptyFormat, disk, track, track / 2, track % 2);
      continue;
    }
    // A record that holds other than its size code's bytes says how many.
    std::string shown;
    for (const SectorId& id : surveyed.ids) {
      shown += " " + std::to_string(id.c) + "/" + std::to_string(id.h) + "/" +
               std::to_string(id.r) + "/" + std::to_string(id.n);
      const bool planned = id.c == track / 2 && id.h == track % 2 &&
                           id.n == kPlanSizeCode && id.r >= kPlanFirstSector &&
                           id.r <= kPlanLastSector;
      const std::int32_t size =
          planned ? surveyed.sectors[id.r - kPlanFirstSector].dataSize : -1;
      if (planned && size != kPlanSectorSize) {
        shown += ":" + std::to_string(size);
      }
    }
    if (surveyed.moreIds) shown += " ...";
    console->Out(kListTrackFormat, disk, track, track / 2, track % 2,
                 shown.c_str());
  }
  if (odd == 0) console->Out(kListLayoutGoodFormat, disk);
  console->Out(kListReadErrorsFormat, disk, errors, sectors);
}

}  // namespace

void ListDisks(DiskSet* set, Console* console) {
  for (std::size_t f = 0; f < set->files.size(); ++f) {
    D88Image* image = set->files[f].get();
    if (set->files.size() > 1) {
      console->Out(kListFileFormat, set->paths[f].c_str());
    }
    const std::int32_t count = image->GetImageCount();
    if (count == 0) {
      console->Out("%s", kListNoImages);
    } else {
      console->Out(kListImageCountFormat, count, count == 1 ? "" : "s");
    }
    for (std::int32_t index = 0; index < count; ++index) {
      std::string serves = "not used";
      for (int disk = 0; disk < kScenarioDisks; ++disk) {
        const DiskSource& source = set->disks[static_cast<std::size_t>(disk)];
        if (source.file == static_cast<int>(f) && source.image == index) {
          serves = "scenario disk " + std::to_string(disk);
        }
      }
      const ImageFacts facts = FactsOf(image, index);
      if (!facts.readable) {
        console->Out(kListUnreadableImageFormat, index, serves.c_str());
        continue;
      }
      console->Out(kListImageFormat, index,
                   ShowName(facts.name.c_str()).c_str(),
                   static_cast<unsigned>(facts.mediaType),
                   static_cast<unsigned>(facts.size), facts.tracks,
                   facts.tracks == 1 ? "" : "s", serves.c_str());
      if (facts.pastEnd > 0) {
        console->Out(kListPastEndFormat, index,
                     static_cast<long long>(facts.pastEnd));
      }
    }
  }
  for (int disk = 0; disk < kScenarioDisks; ++disk) {
    if (!set->InScope(disk)) continue;
    D88Image* image = set->Select(disk);
    if (image == nullptr) {
      console->Out(kDiskMissingFormat, disk);
      continue;
    }
    // With one file, its image lines say which disk each one is.
    const DiskSource& source = set->disks[static_cast<std::size_t>(disk)];
    if (set->files.size() > 1) {
      console->Out(kListDiskSourceFormat, disk, source.image,
                   set->paths[static_cast<std::size_t>(source.file)].c_str());
    }
    ListLayout(image, disk, console);
  }
  for (const PlanFile& file : PlanFiles()) {
    if (!set->InScope(file.disk)) continue;
    const PlanSector& first = file.pieces.front().at;
    console->Out(kListEntryFormat, file.name.c_str(), file.disk, first.c,
                 first.h, first.r, file.entry.length);
  }
}
