// Reading and writing the rescue map.  See rescue_map.h.

#include "extract/rescue_map.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>

#include "extract/extraction_plan.h"

namespace {

constexpr char kFirstLine[] = "tamrek-map 1";

constexpr char kComment[] =
    "# The sectors of the files in this folder that no dump has yet read in\n"
    "# full and without a read error.  tamrek writes this file, and removes "
    "it\n"
    "# once every file is complete.  One line per sector:\n"
    "#   FILE CRC-32 DISK CYLINDER HEAD SECTOR STATE\n"
    "# STATE is missing, partial GOT of UNIT (bytes read of the sector's "
    "share\n"
    "# of the file), or read-error 0xSS (the status the dump recorded).  "
    "CRC-32\n"
    "# is that of the whole file as it stands here: a line whose CRC-32 is "
    "not\n"
    "# the file's is about an earlier or a later state of it.\n";

// The words of `line`, between spaces and tabs.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while ((at = line.find_first_not_of(" \t", at)) != std::string::npos) {
    const std::size_t end = line.find_first_of(" \t", at);
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

// The value of `word` if it is a decimal number of at most `digits` digits.
bool Decimal(const std::string& word, std::size_t digits, std::int32_t* value) {
  if (word.empty() || word.size() > digits) return false;
  std::int32_t v = 0;
  for (const char ch : word) {
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + (ch - '0');
  }
  *value = v;
  return true;
}

// The value of `word` if it is exactly `digits` hexadecimal digits.
bool Hexadecimal(const std::string& word, std::size_t digits,
                 std::uint32_t* value) {
  if (word.size() != digits) return false;
  std::uint32_t v = 0;
  for (const char ch : word) {
    const int digit = ch >= '0' && ch <= '9'   ? ch - '0'
                      : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                      : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                               : -1;
    if (digit < 0) return false;
    v = v << 4 | static_cast<std::uint32_t>(digit);
  }
  *value = v;
  return true;
}

// Parses the words of one line.  Returns "" and sets `*line`, or the reason
// it cannot be read.
std::string ParseLine(const std::vector<std::string>& words, MapLine* line) {
  const char* kNoParse = "does not parse";
  if (words.size() < 7) return kNoParse;
  line->file = FindPlanFile(words[0]);
  if (line->file == PlanFiles().size()) {
    return "names a file that tamrek does not write";
  }
  const PlanFile& file = PlanFiles()[line->file];
  std::int32_t disk, c, h, r;
  if (!Hexadecimal(words[1], 8, &line->crc) || !Decimal(words[2], 3, &disk) ||
      !Decimal(words[3], 3, &c) || !Decimal(words[4], 3, &h) ||
      !Decimal(words[5], 3, &r)) {
    return kNoParse;
  }
  line->piece = file.pieces.size();
  for (std::size_t i = 0; i < file.pieces.size(); ++i) {
    const PlanSector& at = file.pieces[i].at;
    if (at.c == c && at.h == h && at.r == r) line->piece = i;
  }
  if (disk != file.disk || line->piece == file.pieces.size()) {
    return "names a sector that its file is not read from";
  }
  const std::string& state = words[6];
  std::uint32_t status;
  std::int32_t got, unit;
  if (state == "missing" && words.size() == 7) {
    line->state = PieceState{SectorState::kMissing, 0, 0};
  } else if (state == "read-error" && words.size() == 8 &&
             words[7].size() == 4 && words[7].compare(0, 2, "0x") == 0 &&
             Hexadecimal(words[7].substr(2), 2, &status) && status != 0x00 &&
             status != 0x10) {
    line->state =
        PieceState{SectorState::kReadError, file.pieces[line->piece].length,
                   static_cast<std::uint8_t>(status)};
  } else if (state == "partial" && words.size() == 10 && words[8] == "of" &&
             Decimal(words[7], 4, &got) && Decimal(words[9], 4, &unit) &&
             unit == file.pieces[line->piece].length && got > 0 && got < unit) {
    line->state = PieceState{SectorState::kPartial, got, 0};
  } else {
    return kNoParse;
  }
  return "";
}

}  // namespace

bool MapLine::operator<(const MapLine& other) const {
  return std::tie(file, crc, piece) <
         std::tie(other.file, other.crc, other.piece);
}

bool MapLine::operator==(const MapLine& other) const {
  return file == other.file && crc == other.crc && piece == other.piece &&
         state == other.state;
}

bool ParseRescueMap(const std::string& text, std::vector<MapLine>* lines,
                    std::string* reason) {
  lines->clear();
  if (!text.empty() && text.back() != '\n') {
    *reason = "it ends in the middle of a line";
    return false;
  }
  std::set<std::tuple<std::size_t, std::uint32_t, std::size_t>> seen;
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1) {
      if (line == kFirstLine) continue;
      int version = 0;
      char rest = 0;
      *reason =
          std::sscanf(line.c_str(), "tamrek-map %d%c", &version, &rest) == 1 &&
                  version != 1
              ? "it is in version " + std::to_string(version) +
                    " of its format, which this tamrek does not read"
              : "its first line is not \"" + std::string(kFirstLine) + "\"";
      return false;
    }
    if (!line.empty() && line[0] == '#') continue;
    std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    MapLine parsed{};
    std::string why = ParseLine(words, &parsed);
    if (why.empty() &&
        !seen.insert({parsed.file, parsed.crc, parsed.piece}).second) {
      why = "repeats a sector of an earlier line";
    }
    if (!why.empty()) {
      *reason = "line " + std::to_string(number) + " " + why;
      return false;
    }
    lines->push_back(parsed);
  }
  if (number == 0) {
    *reason = "it is empty";
    return false;
  }
  return true;
}

std::string FormatRescueMap(std::vector<MapLine> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text = std::string(kFirstLine) + "\n" + kComment;
  for (const MapLine& line : lines) {
    const PlanFile& file = PlanFiles()[line.file];
    const PlanSector& at = file.pieces[line.piece].at;
    char head[96];
    std::snprintf(head, sizeof head, "%s %08x %d %d %d %d ", file.name.c_str(),
                  static_cast<unsigned>(line.crc), file.disk, at.c, at.h, at.r);
    text += head;
    switch (line.state.state) {
      case SectorState::kMissing:
        text += "missing\n";
        break;
      case SectorState::kPartial:
        text += "partial " + std::to_string(line.state.got) + " of " +
                std::to_string(file.pieces[line.piece].length) + "\n";
        break;
      case SectorState::kReadError: {
        char status[8];
        std::snprintf(status, sizeof status, "0x%02X",
                      static_cast<unsigned>(line.state.status));
        text += "read-error " + std::string(status) + "\n";
        break;
      }
      case SectorState::kClean:
        break;  // never in a map
    }
  }
  return text;
}
