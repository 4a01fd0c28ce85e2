// Reading and writing the rescue map.  See rescue_map.h.

#include "extract/rescue_map.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <utility>

#include "extract/extraction_plan.h"

namespace {

constexpr char kFirstLine[] = "tamrek-map 2";

constexpr char kComment[] =
    "# How the files in this folder were read.  tamrek writes this file, and\n"
    "# removes it once every file is complete.  Each line is about one file\n"
    "# as it stands, named with the CRC-32 of its content:\n"
    "#   FILE CRC-32 complete    every sector read cleanly\n"
    "#   FILE CRC-32 found       here before this file: taken as read\n"
    "#   FILE CRC-32 changed     changed since tamrek placed it: unknown\n"
    "#   FILE CRC-32 DISK CYLINDER HEAD SECTOR STATE\n"
    "# for each sector not yet read cleanly, the file's others being clean.\n"
    "# STATE is missing, partial GOT of UNIT (bytes read cleanly of the\n"
    "# sector's share of the file), read-error 0xSS (the status the dump\n"
    "# recorded), or partial GOT of UNIT read-error 0xSS (the rest read\n"
    "# with that error).  A file whose CRC-32 no line names has changed.\n";

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

// The version a first line "tamrek-map N" names, or -1 when it names none.
int VersionOf(const std::string& line) {
  const std::string prefix = "tamrek-map ";
  std::int32_t version;
  if (line.compare(0, prefix.size(), prefix) != 0 ||
      !Decimal(line.substr(prefix.size()), 6, &version)) {
    return -1;
  }
  return version;
}

// Parses the state words of a sector line, from `words[6]` on, for a piece
// of `unit` bytes.
bool ParseState(const std::vector<std::string>& words, std::int32_t unit,
                int version, PieceState* state) {
  const auto readError = [&](std::size_t at, std::int32_t prefix) {
    std::uint32_t status;
    if (words.size() != at + 2 || words[at] != "read-error" ||
        words[at + 1].size() != 4 || words[at + 1].compare(0, 2, "0x") != 0 ||
        !Hexadecimal(words[at + 1].substr(2), 2, &status) || status == 0x00 ||
        status == 0x10) {
      return false;
    }
    *state = PieceState{SectorState::kReadError, prefix,
                        static_cast<std::uint8_t>(status)};
    return true;
  };
  if (words[6] == "missing" && words.size() == 7) {
    *state = PieceState{SectorState::kMissing, 0, 0};
    return true;
  }
  if (words[6] == "read-error") return readError(6, 0);
  std::int32_t got, of;
  if (words[6] != "partial" || words.size() < 10 || words[8] != "of" ||
      !Decimal(words[7], 4, &got) || !Decimal(words[9], 4, &of) || of != unit ||
      got <= 0 || got >= unit) {
    return false;
  }
  if (words.size() == 10) {
    *state = PieceState{SectorState::kPartial, got, 0};
    return true;
  }
  return version >= 2 && readError(10, got);
}

// Parses the words of one line into `*record` (a whole record, or the
// record of one sector line: `*piece` its piece).  Returns "" or the reason
// it cannot be read.
std::string ParseLine(const std::vector<std::string>& words, int version,
                      MapRecord* record, std::size_t* piece) {
  const char* kNoParse = "does not parse";
  if (words.size() < 3) return kNoParse;
  record->file = FindPlanFile(words[0]);
  if (record->file == PlanFiles().size()) {
    return "names a file that tamrek does not write";
  }
  const PlanFile& file = PlanFiles()[record->file];
  if (!Hexadecimal(words[1], 8, &record->crc)) return kNoParse;
  record->pieces.assign(file.pieces.size(), PieceState{});
  *piece = file.pieces.size();
  if (words.size() == 3 && version >= 2) {
    if (words[2] == "complete") {
      record->kind = RecordKind::kRead;
    } else if (words[2] == "found") {
      record->kind = RecordKind::kFound;
    } else if (words[2] == "changed") {
      record->kind = RecordKind::kChanged;
    } else {
      return kNoParse;
    }
    if (record->kind != RecordKind::kRead) record->pieces.clear();
    return "";
  }
  std::int32_t disk, c, h, r;
  if (words.size() < 7 || !Decimal(words[2], 3, &disk) ||
      !Decimal(words[3], 3, &c) || !Decimal(words[4], 3, &h) ||
      !Decimal(words[5], 3, &r)) {
    return kNoParse;
  }
  for (std::size_t i = 0; i < file.pieces.size(); ++i) {
    const PlanSector& at = file.pieces[i].at;
    if (at.c == c && at.h == h && at.r == r) *piece = i;
  }
  if (disk != file.disk || *piece == file.pieces.size()) {
    return "names a sector that its file is not read from";
  }
  record->kind = RecordKind::kRead;
  if (!ParseState(words, file.pieces[*piece].length, version,
                  &record->pieces[*piece])) {
    return kNoParse;
  }
  return "";
}

// The words after "FILE CRC-32 DISK C H R " of the line of `state`, a
// piece of `unit` bytes.
std::string StateWords(const PieceState& state, std::int32_t unit) {
  char status[8];
  std::snprintf(status, sizeof status, "0x%02X",
                static_cast<unsigned>(state.status));
  std::string partial =
      "partial " + std::to_string(state.got) + " of " + std::to_string(unit);
  switch (state.state) {
    case SectorState::kMissing:
      return "missing";
    case SectorState::kPartial:
      return partial;
    case SectorState::kReadError:
      return (state.got > 0 ? partial + " " : "") + "read-error " + status;
    case SectorState::kClean:
      break;  // never a line
  }
  return "";
}

}  // namespace

bool MapRecord::Complete() const {
  return kind == RecordKind::kFound || (kind == RecordKind::kRead && !Unread());
}

std::size_t MapRecord::Unread() const {
  return static_cast<std::size_t>(std::count_if(
      pieces.begin(), pieces.end(),
      [](const PieceState& p) { return p.state != SectorState::kClean; }));
}

bool MapRecord::operator<(const MapRecord& other) const {
  return std::tie(file, crc) < std::tie(other.file, other.crc);
}

bool MapRecord::operator==(const MapRecord& other) const {
  return file == other.file && crc == other.crc && kind == other.kind &&
         pieces == other.pieces;
}

const MapRecord* RescueMap::Find(std::size_t file, std::uint32_t crc) const {
  for (const MapRecord& record : records) {
    if (record.file == file && record.crc == crc) return &record;
  }
  return nullptr;
}

bool RescueMap::Names(std::size_t file) const {
  return std::any_of(records.begin(), records.end(),
                     [file](const MapRecord& r) { return r.file == file; });
}

bool ParseRescueMap(const std::string& text, RescueMap* map,
                    std::string* reason) {
  map->records.clear();
  if (!text.empty() && text.back() != '\n') {
    *reason = "it ends in the middle of a line";
    return false;
  }
  // Records by file and checksum, and whether each came from a sector line.
  std::map<std::pair<std::size_t, std::uint32_t>, std::pair<MapRecord, bool>>
      records;
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1) {
      map->version = VersionOf(line);
      if (map->version == 1 || map->version == 2) continue;
      *reason =
          map->version < 0
              ? "its first line is not \"" + std::string(kFirstLine) + "\""
              : "it is in version " + std::to_string(map->version) +
                    " of its format, which this tamrek does not read";
      return false;
    }
    if (!line.empty() && line[0] == '#') continue;
    const std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    MapRecord parsed{};
    std::size_t piece = 0;
    std::string why = ParseLine(words, map->version, &parsed, &piece);
    const bool sector = piece < parsed.pieces.size();
    if (why.empty()) {
      const auto [it, added] = records.try_emplace(
          std::make_pair(parsed.file, parsed.crc), parsed, sector);
      MapRecord& record = it->second.first;
      if (added) {
      } else if (!sector || !it->second.second) {
        why = "repeats the record of an earlier line";
      } else if (record.pieces[piece].state != SectorState::kClean) {
        why = "repeats a sector of an earlier line";
      } else {
        record.pieces[piece] = parsed.pieces[piece];
      }
    }
    if (!why.empty()) {
      *reason = "line " + std::to_string(number) + " " + why;
      return false;
    }
  }
  if (number == 0) {
    *reason = "it is empty";
    return false;
  }
  for (auto& entry : records) map->records.push_back(entry.second.first);
  return true;
}

std::string FormatRescueMap(std::vector<MapRecord> records) {
  std::sort(records.begin(), records.end());
  std::string text = std::string(kFirstLine) + "\n" + kComment;
  for (const MapRecord& record : records) {
    const PlanFile& file = PlanFiles()[record.file];
    char head[64];
    std::snprintf(head, sizeof head, "%s %08x ", file.name.c_str(),
                  static_cast<unsigned>(record.crc));
    if (record.kind != RecordKind::kRead || record.Unread() == 0) {
      text += head;
      text += record.kind == RecordKind::kFound     ? "found\n"
              : record.kind == RecordKind::kChanged ? "changed\n"
                                                    : "complete\n";
      continue;
    }
    for (std::size_t i = 0; i < record.pieces.size(); ++i) {
      if (record.pieces[i].state == SectorState::kClean) continue;
      const PlanPiece& piece = file.pieces[i];
      text += head + std::to_string(file.disk) + " " +
              std::to_string(piece.at.c) + " " + std::to_string(piece.at.h) +
              " " + std::to_string(piece.at.r) + " " +
              StateWords(record.pieces[i], piece.length) + "\n";
    }
  }
  return text;
}
