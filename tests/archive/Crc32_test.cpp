// CRC-32: known vectors and the engine's running-value convention.
#include "archive/Crc32.h"

#include "archive/DecoderFakes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

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

TEST(Crc32Test, EveryVariantAgreesWithTheTable) {
  struct Variant {
    const char* name;
    std::uint32_t (*update)(std::uint32_t, const std::uint8_t*, std::size_t);
  };
  const Variant variants[] = {{"slicing-by-8", Crc32UpdateSlicing8},
                              {"slicing-by-16", Crc32UpdateSlicing16},
                              {"carry-less multiply", Crc32UpdateClmul},
                              {"dispatched", Crc32Update}};
  if (!Crc32HasClmul()) std::puts("note: no carry-less multiply here; that variant is slicing-by-16");
  std::mt19937 rng(7);
  test::Bytes data(4096 + 64);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  // Lengths around the 8-, 16- and 64-byte strides, at every misalignment of the start, from
  // several register values.
  for (const Variant& v : variants) {
    for (std::size_t len : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 79u, 80u, 127u, 128u,
                            129u, 191u, 200u, 1000u, 4096u}) {
      for (std::size_t offset = 0; offset < 16; offset += 3) {
        for (std::uint32_t start : {kCrc32Init, 0u, 0x12345678u}) {
          SCOPED_TRACE(std::string(v.name) + ", length " + std::to_string(len) + ", offset " +
                       std::to_string(offset) + ", start " + std::to_string(start));
          ASSERT_EQ(v.update(start, data.data() + offset, len),
                    Crc32UpdateBytewise(start, data.data() + offset, len));
        }
      }
    }
    auto check = test::FromText("123456789");
    EXPECT_EQ(Crc32Final(v.update(kCrc32Init, check.data(), check.size())), 0xCBF43926u) << v.name;
  }
}

}  // namespace
}  // namespace orb::arx
