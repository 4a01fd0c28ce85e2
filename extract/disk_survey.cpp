// The survey of disk images.  See disk_survey.h.

#include "extract/disk_survey.h"

#include <map>
#include <tuple>

#include "extract/extraction_plan.h"

namespace {

// The bytes a sector is read with: enough to tell a record that holds more
// than the plan's 512 bytes.
constexpr std::int32_t kProbe = 4096;

// The plan file that reads sector `r` of `track` of scenario disk `disk`.
std::int32_t FileOf(std::int32_t disk, std::int32_t track, std::int32_t r) {
  static const std::map<std::tuple<std::int32_t, std::int32_t, std::int32_t>,
                        std::int32_t>
      files = [] {
        std::map<std::tuple<std::int32_t, std::int32_t, std::int32_t>,
                 std::int32_t>
            map;
        for (std::size_t i = 0; i < PlanFiles().size(); ++i) {
          const PlanFile& file = PlanFiles()[i];
          for (const PlanPiece& piece : file.pieces) {
            map[{file.disk, piece.at.track, piece.at.r}] =
                static_cast<std::int32_t>(i);
          }
        }
        return map;
      }();
  const auto it = files.find({disk, track, r});
  return it == files.end() ? -1 : it->second;
}

}  // namespace

bool SurveyedTrack::PlanLayout() const {
  // Each of the plan's ten IDs was found, by its whole ID, with 512 bytes;
  // ten distinct IDs found among ten records leave no room for another:
  // no duplicate number, other size code, head or cylinder can be there.
  if (ids.size() != sectors.size()) return false;
  for (const SurveyedSector& sector : sectors) {
    if (sector.dataSize != kPlanSectorSize) return false;
  }
  return true;
}

ImageFacts FactsOf(D88Image* image, std::int32_t index) {
  ImageFacts facts;
  facts.readable = image->SelectImage(index);
  if (!facts.readable) return facts;
  facts.name = image->GetImageName();
  facts.mediaType = image->GetMediaType();
  facts.size = static_cast<std::uint32_t>(image->GetDiskSize());
  for (std::int32_t t = 0; t < D88Image::kTrackCount; ++t) {
    if (image->HasTrack(t)) ++facts.tracks;
  }
  const std::int64_t end = image->GetImageBase() + facts.size;
  if (image->GetFileSize() >= 0 && end > image->GetFileSize()) {
    facts.pastEnd = end - image->GetFileSize();
  }
  return facts;
}

SurveyedTrack SurveyTrack(D88Image* image, std::int32_t disk,
                          std::int32_t track) {
  SurveyedTrack surveyed;
  surveyed.present = image->HasTrack(track);
  SectorId ids[kSurveyIds + 1];
  const std::int32_t count =
      image->ReadTrackIds(track, reinterpret_cast<std::uint8_t*>(ids),
                          static_cast<std::int32_t>(sizeof ids)) /
      static_cast<std::int32_t>(sizeof(SectorId));
  surveyed.moreIds = count > kSurveyIds;
  surveyed.ids.assign(ids, ids + (surveyed.moreIds ? kSurveyIds : count));
  const std::int32_t c = track / 2, h = track % 2;
  std::uint8_t data[kProbe];
  for (std::int32_t r = kPlanFirstSector; r <= kPlanLastSector; ++r) {
    SurveyedSector& sector = surveyed.sectors[r - kPlanFirstSector];
    sector.file = FileOf(disk, track, r);
    for (const SectorId& id : surveyed.ids) {
      if (id.c == c && id.h == h && id.r == r) {
        sector.sizeCode = id.n;
        break;
      }
    }
    const std::int32_t got =
        image->ReadSector(track, c, h, r, kPlanSizeCode, data, kProbe);
    const std::vector<SectorReadError>& errors = image->GetReadErrors();
    if (got <= 0) {
      sector.state = SectorState::kMissing;
      continue;
    }
    sector.dataSize = got;
    if (got < kPlanSectorSize) {
      sector.state = SectorState::kPartial;
    } else if (!errors.empty()) {
      sector.state = SectorState::kReadError;
      sector.status = errors.front().status;
    } else {
      sector.state = SectorState::kClean;
    }
  }
  return surveyed;
}
