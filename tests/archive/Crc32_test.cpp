// CRC-32: known vectors and the engine's running-value convention.
#include "archive/Crc32.h"

#include "archive/DecoderFakes.h"

#include <gtest/gtest.h>

#include <random>

namespace orb::arx {
namespace {

TEST(Crc32Test, KnownVectors) {
  struct Case {
    const char* text;
    std::uint32_t crc;
  };
  for (const Case& c : {Case{"", 0x00000000u}, Case{"a", 0xE8B7BE43u},
                        Case{"123456789", 0xCBF43926u},
                        Case{"The quick brown fox jumps over the lazy dog", 0x414FA339u}}) {
    SCOPED_TRACE(c.text);
    auto bytes = test::FromText(c.text);
    EXPECT_EQ(Crc32(bytes.data(), bytes.size()), c.crc);
  }
}

TEST(Crc32Test, RunningValueSpansPiecesAndStartsInverted) {
  // An empty entry keeps the start value, which finishes as a stored CRC of 0.
  EXPECT_EQ(Crc32Update(kCrc32Init, nullptr, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Crc32Final(kCrc32Init), 0u);

  std::mt19937 rng(42);
  test::Bytes data(100000);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  std::uint32_t whole = Crc32(data.data(), data.size());
  std::uint32_t bytewise = kCrc32Init;
  for (auto b : data) bytewise = Crc32Byte(bytewise, b);
  EXPECT_EQ(Crc32Final(bytewise), whole);
  // Pieces of every length and alignment give the same value as one pass.
  for (std::size_t piece : {1u, 3u, 7u, 8u, 15u, 16u, 63u, 64u, 255u, 32768u}) {
    SCOPED_TRACE(piece);
    std::uint32_t running = kCrc32Init;
    for (std::size_t at = 0; at < data.size(); at += piece)
      running = Crc32Update(running, data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(Crc32Final(running), whole);
  }
}

}  // namespace
}  // namespace orb::arx
