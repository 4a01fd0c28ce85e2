// The listing of --list.  See listing.h.

#include "extract/listing.h"

#include <cstdint>
#include <set>
#include <string>

#include "extract/extraction_plan.h"
#include "extract/messages.h"

namespace {

// Sector IDs shown per track at most; a hostile track may hold thousands.
constexpr std::int32_t kIdsShown = 32;

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

// Whether `ids` (`count` of them) are the plan's layout of `track`: ten
// 512-byte sectors, numbered 1 to 10 in any order, each with the track's
// own cylinder and head.
bool PlanLayout(std::int32_t track, const SectorId* ids, std::int32_t count) {
  if (count != kPlanLastSector - kPlanFirstSector + 1) return false;
  std::set<int> numbers;
  for (std::int32_t i = 0; i < count; ++i) {
    const SectorId& id = ids[i];
    if (id.c != track / 2 || id.h != track % 2 || id.n != kPlanSizeCode ||
        id.r < kPlanFirstSector || id.r > kPlanLastSector) {
      return false;
    }
    numbers.insert(id.r);
  }
  return static_cast<std::int32_t>(numbers.size()) == count;
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
// as the plan reads them.
void ListLayout(D88Image* image, std::int32_t disk, Console* console) {
  int odd = 0;
  for (const std::int32_t track : PlanTracks(disk)) {
    SectorId ids[kIdsShown + 1];
    const std::int32_t count =
        image->ReadTrackIds(track, reinterpret_cast<std::uint8_t*>(ids),
                            static_cast<std::int32_t>(sizeof ids)) /
        static_cast<std::int32_t>(sizeof(SectorId));
    if (PlanLayout(track, ids, count)) continue;
    ++odd;
    if (!image->HasTrack(track)) {
      console->Out(kListTrackAbsentFormat, disk, track, track / 2, track % 2);
      continue;
    }
    std::string shown;
    for (std::int32_t i = 0; i < count && i < kIdsShown; ++i) {
      shown += " " + std::to_string(ids[i].c) + "/" + std::to_string(ids[i].h) +
               "/" + std::to_string(ids[i].r) + "/" + std::to_string(ids[i].n);
    }
    if (count > kIdsShown) shown += " ...";
    if (count == 0) {
      console->Out(kListTrackEmptyFormat, disk, track, track / 2, track % 2);
    } else {
      console->Out(kListTrackFormat, disk, track, track / 2, track % 2,
                   shown.c_str());
    }
  }
  if (odd == 0) console->Out(kListLayoutGoodFormat, disk);
}

}  // namespace

void ListImage(D88Image* image, Console* console) {
  const std::int32_t count = image->GetImageCount();
  if (count == 0) {
    console->Out("%s", kListNoImages);
  } else {
    console->Out(kListImageCountFormat, count, count == 1 ? "" : "s");
  }
  std::int32_t scenarioDisks = 0;
  for (const ExtractGroup& group : kExtractGroups) {
    if (group.disk + 1 > scenarioDisks) scenarioDisks = group.disk + 1;
  }
  for (std::int32_t index = 0; index < count; ++index) {
    const bool selected = image->SelectImage(index);
    std::int32_t tracks = 0;
    for (std::int32_t t = 0; t < D88Image::kTrackCount; ++t) {
      if (image->HasTrack(t)) ++tracks;
    }
    const std::string serves = index < scenarioDisks
                                   ? "scenario disk " + std::to_string(index)
                                   : std::string("not used");
    if (!selected) {
      console->Out(kListUnreadableImageFormat, index, serves.c_str());
      continue;
    }
    console->Out(
        kListImageFormat, index, ShowName(image->GetImageName()).c_str(),
        static_cast<unsigned>(image->GetMediaType()),
        static_cast<unsigned>(static_cast<std::uint32_t>(image->GetDiskSize())),
        tracks, serves.c_str());
  }
  for (std::int32_t disk = 0; disk < scenarioDisks; ++disk) {
    if (disk >= count) {
      console->Out(kDiskMissingFormat, disk);
      continue;
    }
    image->SelectImage(disk);
    ListLayout(image, disk, console);
  }
  for (const PlanFile& file : PlanFiles()) {
    const PlanSector& first = file.pieces.front().at;
    console->Out(kListEntryFormat, file.name.c_str(), file.disk, first.c,
                 first.h, first.r, file.entry.length);
  }
}
