// A survey of the disk images of a D88 file as the plan reads them: what
// the file holds of each image (its name, media type, size, tracks, and
// whether it runs past the end of the file), and, track side by track side,
// how each of the sectors 1 to 10 reads as a piece of a plan file would
// (cleanly, with a recorded read error, partly, not at all), with the
// sector IDs the track stores, and the plan file each sector belongs to.
// It asks the reader nothing but HasTrack(), ReadSector() and
// ReadTrackIds().  --list shows it in lines; the web page draws it.

#ifndef TAMREK_EXTRACT_DISK_SURVEY_H_
#define TAMREK_EXTRACT_DISK_SURVEY_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "disk_image/d88_image.h"
#include "extract/sector_state.h"

// The IDs kept per track at most; a hostile track may store thousands.
constexpr std::int32_t kSurveyIds = 32;

struct ImageFacts {
  bool readable = false;  // its header could be read
  std::string name;       // its 16 name bytes up to the first zero
  std::int32_t mediaType = -1;
  std::uint32_t size = 0;    // its disk size field
  std::int32_t tracks = 0;   // tracks of its table that the reads take
  std::int64_t pastEnd = 0;  // bytes it claims beyond the end of the file
};

struct SurveyedSector {
  SectorState state = SectorState::kMissing;  // as a plan read would go
  std::uint8_t status = 0;     // kReadError: the status byte recorded
  std::int32_t dataSize = -1;  // bytes its record holds, -1 if not found
  std::int32_t sizeCode = -1;  // N of its record with the track's C and H
  std::int32_t file = -1;      // index in PlanFiles() of its file, or -1
};

struct SurveyedTrack {
  bool present = false;       // the track table gives the track
  std::vector<SectorId> ids;  // its records' IDs as stored, at most kSurveyIds
  bool moreIds = false;       // it stores more than kSurveyIds records
  std::array<SurveyedSector, 10> sectors;  // sectors 1 to 10

  // Whether it is laid out as the plan reads it: ten records numbered 1 to
  // 10 in any order, each with the track's own cylinder and head, size code
  // 2, and 512 bytes of data.
  bool PlanLayout() const;
};

// Selects image `index` of the file open in `image` and says what the file
// holds of it.
ImageFacts FactsOf(D88Image* image, std::int32_t index);

// Surveys `track` of the image selected in `image` as scenario disk `disk`.
SurveyedTrack SurveyTrack(D88Image* image, std::int32_t disk,
                          std::int32_t track);

#endif  // TAMREK_EXTRACT_DISK_SURVEY_H_
