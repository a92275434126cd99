// Explode (method 6) on small streams built in the test: the window and tree flags with the
// minimum match length they imply, long lengths, matches before the output, the stop rules,
// and tree descriptions that must be rejected.
#include "archive/arxExplode.h"
#include "archive/legacy_support/LegacyTestIO.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orb::arx {
namespace {

using legacy_test::BitWriter;
using legacy_test::MemorySource;
using legacy_test::PieceSink;

// An implode stream with uniform trees: every literal 8 bits long, every length and distance
// symbol 6 bits. Codes are handed out from the longest and highest symbol upward, so with
// equal lengths symbol s gets the code (symbols - 1 - s).
class ImplodeStream {
 public:
  explicit ImplodeStream(std::uint16_t flags) : flags_(flags) {
    if (LiteralTree()) {
      w_.Bits(15, 8);
      for (int i = 0; i < 16; ++i) w_.Bits(0xF7, 8);  // 16 x (16 lengths of 8)
    }
    for (int tree = 0; tree < 2; ++tree) {
      w_.Bits(3, 8);
      for (int i = 0; i < 4; ++i) w_.Bits(0xF5, 8);  // 4 x (16 lengths of 6)
    }
  }
  ImplodeStream& Literal(int b) {
    w_.Bits(1, 1);
    if (LiteralTree()) {
      w_.CodeMsbFirst(255 - static_cast<unsigned>(b), 8);
    } else {
      w_.Bits(static_cast<unsigned>(b), 8);
    }
    return *this;
  }
  ImplodeStream& Literals(const std::string& s) {
    for (char c : s) Literal(static_cast<std::uint8_t>(c));
    return *this;
  }
  // A match whose distance field is `back` (the copy starts back + 1 bytes behind) and
  // whose length symbol is `symbol` (63 takes `extra`).
  ImplodeStream& Match(unsigned back, unsigned symbol, unsigned extra = 0) {
    const unsigned lowBits = (flags_ & 2) ? 7 : 6;
    w_.Bits(0, 1).Bits(back & ((1u << lowBits) - 1), lowBits);
    w_.CodeMsbFirst(63 - (back >> lowBits), 6);
    w_.CodeMsbFirst(63 - symbol, 6);
    if (symbol == 63) w_.Bits(extra, 8);
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const { return w_.Bytes(); }
  BitWriter& Writer() { return w_; }

 private:
  bool LiteralTree() const { return (flags_ & 4) != 0; }
  std::uint16_t flags_;
  BitWriter w_;
};

std::string Decode(const std::vector<std::uint8_t>& data, std::uint16_t flags,
                   std::uint64_t size, int& message) {
  MemorySource src(data, 7);
  PieceSink sink;
  message = Explode(src, sink, flags, size).MessageId;
  return sink.Text();
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

// 130 literals 0..129, then one match with distance field 1 + 1 * 2^lowbits and the
// shortest length: the window flag picks both the split of the distance and its reach, the
// tree flag the minimum length. Bits other than 1 and 2 change nothing.
TEST(LegacyExplode, FlagsSelectWindowTreesAndMinimumMatch) {
  struct Case {
    std::uint16_t flags;
    std::string copied;
  };
  const std::vector<Case> cases = {
      {0x0000, Bytes({64, 65})},      // 4 KB: distance 65 + 1, two trees: minimum 2
      {0x0002, Bytes({0, 1})},        // 8 KB: distance 129 + 1, two trees: minimum 2
      {0x0004, Bytes({64, 65, 66})},  // 4 KB, literal tree: minimum 3
      {0x0006, Bytes({0, 1, 2})},     // 8 KB, literal tree: minimum 3
      {0x2000, Bytes({64, 65})},
      {0x2006, Bytes({0, 1, 2})},
      {0x0001, Bytes({64, 65})},      // encryption is undone before the decoder
  };
  std::string prefix;
  for (int i = 0; i < 130; ++i) prefix.push_back(static_cast<char>(i));
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags 0x" << std::hex << c.flags);
    ImplodeStream s(c.flags);
    s.Literals(prefix);
    const unsigned lowBits = (c.flags & 2) ? 7 : 6;
    s.Match((1u << lowBits) + 1, 0).Literal('!');
    const std::string expected = prefix + c.copied + "!";
    int message = -1;
    EXPECT_EQ(Decode(s.Bytes(), c.flags, expected.size(), message), expected);
    EXPECT_EQ(message, 0);
  }
}

TEST(LegacyExplode, LengthSymbol63TakesEightMoreBits) {
  for (std::uint16_t flags : {0x0000, 0x0006}) {
    SCOPED_TRACE(flags);
    const std::size_t minimum = flags ? 3 : 2;
    ImplodeStream s(flags);
    s.Literal('Z').Match(0, 63, 255).Literal('.');
    const std::string expected = "Z" + std::string(63 + 255 + minimum, 'Z') + ".";
    int message = -1;
    EXPECT_EQ(Decode(s.Bytes(), flags, expected.size(), message), expected);
    EXPECT_EQ(message, 0);
  }
}

TEST(LegacyExplode, MatchBeforeTheStartOfOutputGivesZeros) {
  ImplodeStream s(0x0002);
  s.Match(4, 1).Literal('x').Match(8000, 2);
  const std::string expected = std::string(3, '\0') + "x" + std::string(4, '\0');
  int message = -1;
  EXPECT_EQ(Decode(s.Bytes(), 0x0002, expected.size(), message), expected);
  EXPECT_EQ(message, 0);
}

TEST(LegacyExplode, StopsAtTheUnpackedSizeOrTheEndOfData) {
  ImplodeStream s(0x0000);
  s.Literals("ab").Match(1, 10);  // "ab" + 12 bytes of "abab..."
  const std::vector<std::uint8_t> data = s.Bytes();
  struct Case {
    const char* name;
    std::uint64_t size;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"inside the match", 5, "ababa"},
      {"exactly at the end", 14, "ababababababab"},
      {"data ends first", 100, "ababababababab"},
      {"empty entry", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int message = -1;
    EXPECT_EQ(Decode(data, 0, c.size, message), c.expected);
    EXPECT_EQ(message, 0);
  }
  // Data ending inside the trees writes nothing and is no decoder error: the CRC decides.
  int message = -1;
  EXPECT_EQ(Decode({0x03, 0xF5, 0xF5}, 0, 10, message), "");
  EXPECT_EQ(message, 0);
}

// Tree descriptions, each replacing the length tree of a two-tree stream.
TEST(LegacyExplode, InvalidTreesEndTheEntry) {
  struct Case {
    const char* name;
    std::vector<unsigned> description;  // count - 1, then the bytes
  };
  const std::vector<Case> cases = {
      {"more lengths than symbols", {4, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5}},
      // 63 codes of 6 bits and 2 of 7 would be a complete code, but for 65 symbols.
      {"65 lengths forming a complete code", {4, 0xF5, 0xF5, 0xF5, 0xE5, 0x16}},
      {"4,096 lengths", std::vector<unsigned>(257, 0xFF)},
      {"over-subscribed", {3, 0xF4, 0xF4, 0xF4, 0xF4}},         // 64 codes of 5 bits
      {"incomplete beyond the node budget", {3, 0xFF, 0xFF, 0xFF, 0xFF}},  // 64 of 16 bits
      {"a code is the prefix of another", {1, 0x10, 0x01}},      // 1, 1, then 2 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BitWriter w;
    std::vector<unsigned> d = c.description;
    if (d.size() == 257) d[0] = 255;
    for (unsigned b : d) w.Bits(b, 8);
    w.Bits(3, 8);
    for (int i = 0; i < 4; ++i) w.Bits(0xF5, 8);
    w.Bits(0xFFFF, 16);
    int message = -1;
    EXPECT_EQ(Decode(w.Bytes(), 0, 10, message), "");
    EXPECT_EQ(message, E_AMBIGUOUSTREE);
  }
  {
    SCOPED_TRACE("literal tree listing 272 lengths");
    BitWriter w;
    w.Bits(16, 8);
    for (int i = 0; i < 17; ++i) w.Bits(0xF7, 8);
    int message = -1;
    EXPECT_EQ(Decode(w.Bytes(), 4, 10, message), "");
    EXPECT_EQ(message, E_AMBIGUOUSTREE);
  }
}

// A distance tree of 64 seven-bit codes fills only the half of the code space below a 0
// first bit; a code starting with 1 leads nowhere. What came before it is written.
TEST(LegacyExplode, PathThatLeadsNowhereEndsTheEntry) {
  BitWriter w;
  w.Bits(3, 8);
  for (int i = 0; i < 4; ++i) w.Bits(0xF5, 8);  // lengths: 64 x 6 bits
  w.Bits(3, 8);
  for (int i = 0; i < 4; ++i) w.Bits(0xF6, 8);  // distances: 64 x 7 bits, codes 0..63
  w.Bits(1, 1).Bits('q', 8);                     // literal
  w.Bits(0, 1).Bits(0, 6).Bits(1, 1);            // match: distance code starts with 1
  w.Bits(0, 16);
  int message = -1;
  EXPECT_EQ(Decode(w.Bytes(), 0, 10, message), "q");
  EXPECT_EQ(message, E_AMBIGUOUSTREE);
}

}  // namespace
}  // namespace orb::arx
