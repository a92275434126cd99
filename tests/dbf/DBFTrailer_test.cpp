// The trailer's arithmetic: the reflected CRC-32 update and the sample position evaluated
// in software extended precision.
#include "dbf/DBFTrailer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace {

using namespace orb::dbf;

TEST(DBFTrailerTest, ChecksumIsTheReflectedCrc32Update) {
  const char* text = "123456789";
  const auto* p = reinterpret_cast<const std::uint8_t*>(text);
  // With the usual start and final inversion it is the standard CRC-32.
  EXPECT_EQ(SampleChecksum(0xFFFFFFFFu, p, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
  // The trailer starts from the header length and inverts nothing; no bytes, no change.
  EXPECT_EQ(SampleChecksum(680, p, 0), 680u);
  EXPECT_EQ(SampleChecksum(680, p, 1), (680u >> 8) ^ Crc32TableEntry((680u ^ '1') & 0xFF));
}

// cos and sin of integer angles, correctly rounded to a 64-bit significand: M x 2^E,
// computed with 100-digit decimal arithmetic and Machin's pi.
TEST(DBFTrailerTest, ExtendedCosAndSinAreCorrectlyRounded) {
  struct Case {
    bool cosine;
    std::uint32_t n;
    bool negative;
    std::uint64_t m;
    int e;
  } cases[] = {
      {true, 0, false, 9223372036854775808u, -63},
      {true, 11, false, 10449883921037327102u, -71},
      {true, 4294967295u, true, 16010581225224512435u, -64},
      {false, 1, false, 15522399902203605025u, -64},
      {false, 113, true, 14341517972858821829u, -67},
      {false, 65535, false, 18102298337614895229u, -64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.cosine ? "cos " : "sin ") + std::to_string(c.n));
    ExtendedValue v = c.cosine ? ExtendedCos(c.n) : ExtendedSin(c.n);
    double hi = std::ldexp(static_cast<double>(c.m & ~std::uint64_t{0x7FF}), c.e);
    double lo = std::ldexp(static_cast<double>(c.m & 0x7FF), c.e);
    EXPECT_EQ(v.hi, c.negative ? -hi : hi);
    EXPECT_EQ(v.lo, c.negative ? -lo : lo);
  }
}

// The position agrees with the same formula in the host's long double arithmetic, which
// differs from correct rounding only in the last bits of cos and sin: far below what
// could move the rounded position except at an exact tie, which random cases do not hit.
TEST(DBFTrailerTest, SampleBaseMatchesLongDoubleEvaluation) {
  std::mt19937 random(20040602);
  for (int i = 0; i < 2000; ++i) {
    const std::uint32_t count = i < 1000 ? static_cast<std::uint32_t>(i) : random();
    const std::uint32_t size = random() & 0xFFFF;
    const std::uint32_t s = random() & 0x3FFFFFFF;
    long double v = (std::cos(static_cast<long double>(count)) +
                     std::sin(static_cast<long double>(size))) * s / 2;
    ASSERT_EQ(SampleBase(count, size, s), static_cast<std::int32_t>(std::llrint(v)))
        << count << " " << size << " " << s;
  }
}

TEST(DBFTrailerTest, SamplePositionIsClampedBelowTheLastBlock) {
  struct Case {
    std::uint32_t count, size, s;
    std::int32_t expected;
  } cases[] = {
      // cos 0 + sin 0 = 1: P = S / 2, inside when S >= 8192.
      {0, 0, 10000, 5000},
      // P = 3000 > 6000 - 4096: clamped to 1904.
      {0, 0, 6000, 1904},
      // S below 4096: clamped to 0.
      {0, 0, 1455, 0},
      // cos 3 + sin 4 < 0: a negative P is kept (it samples nothing).
      {3, 4, 100000, static_cast<std::int32_t>(std::llrint(
                         (std::cos(3.0L) + std::sin(4.0L)) * 100000 / 2))},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SamplePosition(c.count, c.size, c.s), c.expected)
        << c.count << " " << c.size << " " << c.s;
  }
  EXPECT_LT(SamplePosition(3, 4, 100000), 0);
}

}  // namespace
