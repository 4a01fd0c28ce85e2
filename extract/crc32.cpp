// CRC-32 by slicing: eight table lookups per eight bytes, which take no
// more time than one lookup per byte's chain of dependent steps allows for
// one byte.  See crc32.h.

#include "extract/crc32.h"

#include <array>

namespace {

// tables[0] is the classic byte table; tables[k][i] is the CRC of byte i
// followed by k zero bytes.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

Tables MakeTables() {
  Tables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) {
      c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    tables[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i) {
    for (std::size_t k = 1; k < tables.size(); ++k) {
      const std::uint32_t c = tables[k - 1][i];
      tables[k][i] = tables[0][c & 0xFF] ^ (c >> 8);
    }
  }
  return tables;
}

std::uint32_t Load32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
         std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static const Tables t = MakeTables();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (; size >= 8; data += 8, size -= 8) {
    const std::uint32_t low = Load32(data) ^ crc;
    const std::uint32_t high = Load32(data + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^
          t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^ t[3][high & 0xFF] ^
          t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^
          t[0][high >> 24];
  }
  for (; size > 0; ++data, --size) {
    crc = t[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFu;
}
