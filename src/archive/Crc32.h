// CRC-32 of the zip format: the standard reflected CRC-32, polynomial 0xEDB88320.
//
// The engine's running-CRC convention: an entry's running value starts at kCrc32Init
// (0xFFFFFFFF) and is updated over every piece written with Crc32Update; the value kept is the
// one before the final inversion, and the entry is correct when (running ^ 0xFFFFFFFF) equals
// the stored CRC-32 (Crc32Final). An empty entry therefore keeps 0xFFFFFFFF and matches a
// stored CRC of 0. The table itself is the library's (_OrbLib/Crc32Table.h), which the table
// trailer's checksum also steps through from its own start value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "_OrbLib/Crc32Table.h"

namespace orb::arx {

inline constexpr std::uint32_t kCrc32Init = 0xFFFFFFFFu;

using orb::Crc32Byte;  // one byte step; also the key schedule of the traditional encryption
using orb::kCrc32Polynomial;
using orb::kCrc32Table;

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
