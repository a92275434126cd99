// CRC-32 of the zip format: the standard reflected CRC-32, polynomial 0xEDB88320.
//
// The engine's running-CRC convention: an entry's running value starts at kCrc32Init
// (0xFFFFFFFF) and is updated over every piece written with Crc32Update; the value kept is the
// one before the final inversion, and the entry is correct when (running ^ 0xFFFFFFFF) equals
// the stored CRC-32 (Crc32Final). An empty entry therefore keeps 0xFFFFFFFF and matches a
// stored CRC of 0. Other users of the same table (the table trailer's checksum) pass their own
// start value to Crc32Update.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orb::arx {

inline constexpr std::uint32_t kCrc32Init = 0xFFFFFFFFu;
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

// One byte step; also the key schedule of the traditional encryption.
constexpr std::uint32_t Crc32Byte(std::uint32_t crc, std::uint8_t b) {
  return kCrc32Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

// Updates a running (not inverted) CRC over n bytes; n = 0 changes nothing.
std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n);

// The finished CRC-32 of a running value.
constexpr std::uint32_t Crc32Final(std::uint32_t running) { return running ^ 0xFFFFFFFFu; }

// Variants of Crc32Update, all giving the same values; for tests and measurements. Crc32Update
// uses the fastest one the processor supports (chosen once, at the first call).
std::uint32_t Crc32UpdateBytewise(std::uint32_t crc, const std::uint8_t* data, std::size_t n);
std::uint32_t Crc32UpdateSlicing8(std::uint32_t crc, const std::uint8_t* data, std::size_t n);
std::uint32_t Crc32UpdateSlicing16(std::uint32_t crc, const std::uint8_t* data, std::size_t n);
// Carry-less multiplication folding (x86 PCLMULQDQ); the slicing-by-16 variant where the
// processor lacks the instruction (Crc32HasClmul() false).
std::uint32_t Crc32UpdateClmul(std::uint32_t crc, const std::uint8_t* data, std::size_t n);
bool Crc32HasClmul();

// The CRC-32 of one buffer (start, update, final inversion).
inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t n) {
  return Crc32Final(Crc32Update(kCrc32Init, data, n));
}

}  // namespace orb::arx
