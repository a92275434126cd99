// Unshrink (method 1) on small code streams built in the test: literal and defined codes,
// the code not yet defined, width changes, partial clears, and the invalid streams that must
// end the entry with a message and no access outside the tables.
#include "archive/arxUnshrink.h"
#include "archive/legacy_support/LegacyTestIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace orb::arx {
namespace {

using legacy_test::BitWriter;
using legacy_test::MemorySource;
using legacy_test::PieceSink;

// A code stream: each item is a code at the width in force; {256, 1} widens the codes
// that follow by one bit, as the decoder does.
struct Code {
  int value;
  int sub = -1;  // for 256: the sub-code
};

std::vector<std::uint8_t> Codes(const std::vector<Code>& codes) {
  BitWriter w;
  unsigned width = 9;
  for (const Code& c : codes) {
    w.Bits(static_cast<unsigned>(c.value), width);
    if (c.sub >= 0) {
      w.Bits(static_cast<unsigned>(c.sub), width);
      if (c.sub == 1) ++width;
    }
  }
  return w.Bytes();
}

constexpr Code kWiden{256, 1};
constexpr Code kClear{256, 2};

struct Case {
  const char* name;
  std::vector<Code> codes;
  std::string output;  // everything written, also when the entry fails
  int message;
};

TEST(LegacyUnshrink, DecodesCodeStreams) {
  const std::vector<Case> cases = {
      {"literals", {{'H'}, {'i'}, {'!'}}, "Hi!", 0},
      // 257 = "AB", 258 = "BA"; 259 is the code being defined: "AB" + 'A'.
      {"code equal to the next one to be defined", {{'A'}, {'B'}, {257}, {259}}, "ABABABA", 0},
      {"widen to 10 bits", {{'X'}, kWiden, {'Y'}, {257}}, "XYXY", 0},
      {"widen to 13 bits",
       {{'X'}, kWiden, kWiden, kWiden, kWiden, {'Y'}, {257}, {'Z'}},
       "XYXYZ", 0},
      // After the clear the leaves 257 "AB" and 258 "BC" are free again, so the next
      // definition takes 257 = "CD".
      {"partial clear frees leaves", {{'A'}, {'B'}, {'C'}, kClear, {'D'}, {257}}, "ABCDCD", 0},
      // 257 "AB" is the prefix of 259 "ABC", 258 "BA" a leaf. The clear frees 258 and 259;
      // 257 stays, since it was in use when the leaves were collected. 258 becomes "CD".
      {"partial clear keeps prefixes in use",
       {{'A'}, {'B'}, {257}, {'C'}, kClear, {'D'}, {257}, {258}},
       "ABABCDABCD", 0},
      {"first code above the literals writes its low byte", {{0x141}, {'B'}}, "AB", 0},

      {"no first code", {}, "", E_BADBLOCK},
      {"control sub-code 3", {{'A'}, {256, 3}, {'B'}}, "A", E_BADBLOCK},
      {"control sub-code 0", {{'A'}, {256, 0}}, "A", E_BADBLOCK},
      {"widen past 13 bits", {{'A'}, kWiden, kWiden, kWiden, kWiden, kWiden}, "A",
       E_BADBLOCK},
      // 300 is not the next code (257): taken as "A" + 'A' all the same, then 258 = 300 + 'B'
      // chains through 300, which was never defined.
      {"chain through an undefined code", {{'A'}, {300}, {'B'}, {258}}, "AAAB", E_BADBLOCK},
      // The clear frees 257 "AB" although it is the previous code; the next definition
      // then takes 257 with 257 as its own prefix, a loop the stack bound stops.
      {"code defined through itself after a clear",
       {{'A'}, {'B'}, {257}, kClear, {'C'}, {257}},
       "ABABC", E_STACKOVERFLOW},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemorySource src(Codes(c.codes));
    PieceSink sink;
    const DecodeResult r = Unshrink(src, sink);
    EXPECT_EQ(r.MessageId, c.message);
    EXPECT_EQ(sink.Text(), c.output);
  }
}

// A string growing by one byte per code ("a", "aa", "aaa", ...: each code is the one being
// defined) crosses the 512 and 1,024 width steps; output goes out in whole windows.
TEST(LegacyUnshrink, GrowingStringsAcrossWidths) {
  std::vector<Code> codes = {{'a'}};
  unsigned width = 9;
  std::size_t expected = 1;
  for (int code = 257; code <= 1200; ++code) {
    if (code >= (1 << width)) {
      codes.push_back(kWiden);
      ++width;
    }
    codes.push_back({code});
    expected += static_cast<std::size_t>(code - 255);
  }
  MemorySource src(Codes(codes), 1000);
  PieceSink sink;
  EXPECT_EQ(Unshrink(src, sink).MessageId, 0);
  const std::vector<std::uint8_t> out = sink.Bytes();
  EXPECT_EQ(out.size(), expected);
  EXPECT_EQ(std::count(out.begin(), out.end(), 'a'), static_cast<long>(expected));
  ASSERT_GT(sink.Pieces().size(), 2u);
  for (std::size_t i = 0; i + 1 < sink.Pieces().size(); ++i) {
    ASSERT_EQ(sink.Pieces()[i].size(), kWindowSize) << "piece " << i;
  }
}

// 7,936 literals define every code 257..8191 as "aa"; with the free list exhausted further
// codes define nothing, and a partial clear then frees them all for reuse from 257.
TEST(LegacyUnshrink, FullTableThenPartialClear) {
  std::vector<Code> codes(7936, Code{'a'});
  codes.insert(codes.end(), {kWiden, kWiden, kWiden, kWiden, {8191}, {8191}, kClear, {'b'},
                             {'c'}, {258}});
  MemorySource src(Codes(codes));
  PieceSink sink;
  EXPECT_EQ(Unshrink(src, sink).MessageId, 0);
  const std::string out = sink.Text();
  ASSERT_EQ(out.size(), 7936u + 4 + 4);
  EXPECT_EQ(out.find_first_not_of('a'), 7936u + 4);
  EXPECT_EQ(out.substr(7936 + 4), "bcbc");
}

// Stops quietly, with what it has written, when the engine cancelled the input.
TEST(LegacyUnshrink, CancelledBeforeTheFirstCodeIsNoError) {
  MemorySource src({});
  src.SetCancelled(true);
  PieceSink sink;
  EXPECT_EQ(Unshrink(src, sink).MessageId, 0);
  EXPECT_TRUE(sink.Pieces().empty());
}

}  // namespace
}  // namespace orb::arx
