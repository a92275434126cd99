// The 16-byte trailer that closing a changed table appends behind the last record.
//
// Trailer (little-endian):
//  off size
//    0   4  magic 0x3171A11A
//    4   4  a pseudo-random number in 0 .. S - 1
//    8   4  sample checksum
//   12   4  zero
//
// S is the file length (header plus records) masked with 0x3FFFFFFF. The checksum covers up
// to 4,096 bytes of the file read at a position derived from the record count and length:
//
//   P = round_half_even((cos(RecordCount) + sin(RecordSize)) * S / 2)
//
// evaluated in 80-bit extended precision (64-bit significand) with each operation rounded
// to nearest-even, as the legacy code's x87 arithmetic did. P is then clamped to S - 4096
// (and to 0 when that is negative); a negative P that survives the clamp is used as the
// low 32 bits of the read position and reads nothing. The checksum is the reflected CRC-32
// update (polynomial 0xEDB88320) started from HeaderSize, without final inversion.
//
// Nothing in this system reads a trailer back; the values are written so that the host,
// which does, accepts the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orb::dbf {

constexpr std::uint32_t kTrailerMagic = 0x3171A11A;
constexpr std::size_t kTrailerSize = 16;
constexpr std::uint32_t kSampleSize = 4096;
constexpr std::uint32_t kSampleLengthMask = 0x3FFFFFFF;

// P before clamping. Computed in software (multi-word fixed point for cos and sin, then the
// extended-precision rounding of each step), so every build produces the same value
// whatever its floating-point unit, libm or precision-control word.
std::int32_t SampleBase(std::uint32_t record_count, std::uint32_t record_size,
                        std::uint32_t s);

// P after the clamp to S - 4096 and 0.
std::int32_t SamplePosition(std::uint32_t record_count, std::uint32_t record_size,
                            std::uint32_t s);

// The reflected CRC-32 table entry for `index` and the checksum update over `data`
// starting from `start` (no pre- or post-inversion).
std::uint32_t Crc32TableEntry(std::uint8_t index);
std::uint32_t SampleChecksum(std::uint32_t start, const std::uint8_t* data, std::size_t n);

// The cos and sin of an integer angle in radians, each correctly rounded to a 64-bit
// significand and returned as a double-double pair (hi + lo), for tests that check the
// software evaluation against the host's long double functions.
struct ExtendedValue {
  double hi = 0.0;
  double lo = 0.0;
};
ExtendedValue ExtendedCos(std::uint32_t n);
ExtendedValue ExtendedSin(std::uint32_t n);

}  // namespace orb::dbf
