// CRC-32 as zlib, PNG and ZIP compute it (the reflected polynomial
// 0xEDB88320, initial value and final XOR 0xFFFFFFFF): the checksum by which
// the rescue map tells whether a file is still the one it describes.

#ifndef TAMREK_EXTRACT_CRC32_H_
#define TAMREK_EXTRACT_CRC32_H_

#include <cstddef>
#include <cstdint>

// The CRC-32 of the `size` bytes at `data`.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

#endif  // TAMREK_EXTRACT_CRC32_H_
