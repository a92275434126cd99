// The standard reflected CRC-32 table (polynomial 0xEDB88320), shared by the zip engine's
// CRC-32 and the table trailer's sample checksum, which only start from other values.
#pragma once

#include <array>
#include <cstdint>

namespace orb {

inline constexpr std::uint32_t kCrc32Polynomial = 0xEDB88320u;  // reflected 0x04C11DB7

// table[i] is the CRC register after shifting the byte i through eight reflected steps
// (shift right, XOR the polynomial when the bit shifted out was 1); entry 1 is 0x77073096.
inline constexpr std::array<std::uint32_t, 256> kCrc32Table = [] {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kCrc32Polynomial : c >> 1;
    t[i] = c;
  }
  return t;
}();
static_assert(kCrc32Table[1] == 0x77073096u);
static_assert(kCrc32Table[255] == 0x2D02EF8Du);

// One byte step of a register that is not inverted.
constexpr std::uint32_t Crc32Byte(std::uint32_t crc, std::uint8_t b) {
  return kCrc32Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace orb
