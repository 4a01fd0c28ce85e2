// Endian-neutral decoding of the little-endian integers of the D88 format.
// Values are assembled byte by byte, lowest byte first, so the result does not
// depend on the host's byte order or on the alignment of the buffer.

#ifndef TAMREK_DISK_IMAGE_CODING_H_
#define TAMREK_DISK_IMAGE_CODING_H_

#include <cstdint>

// REQUIRES: `p` points at 2 readable bytes.
inline std::uint16_t DecodeFixed16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// REQUIRES: `p` points at 4 readable bytes.
inline std::uint32_t DecodeFixed32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

// The 32-bit signed value with the same bits as `v` (two's complement),
// computed without relying on implementation-defined narrowing.
inline std::int32_t BitCastToSigned32(std::uint32_t v) {
  return v <= 0x7FFFFFFFu ? static_cast<std::int32_t>(v)
                          : -static_cast<std::int32_t>(~v) - 1;
}

#endif  // TAMREK_DISK_IMAGE_CODING_H_
