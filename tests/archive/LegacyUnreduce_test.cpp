// Unreduce (methods 2..5) on small streams built in the test: follower sets, the 144 run
// marker, matches for each factor, the stop at the unpacked size, and invalid sets.
#include "archive/arxUnreduce.h"
#include "archive/legacy_support/LegacyTestIO.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace orb::arx {
namespace {

using legacy_test::BitWriter;
using legacy_test::MemorySource;
using legacy_test::PieceSink;

// A reduce stream: follower sets (stored for byte values 255 down to 0; the default is
// empty), then bytes. A byte whose predecessor has an empty set is 8 plain bits; with a set,
// it is either 1 + 8 plain bits or 0 + its index in the set.
class ReduceStream {
 public:
  explicit ReduceStream(std::map<int, std::string> sets = {}) : sets_(std::move(sets)) {
    for (int v = 255; v >= 0; --v) {
      const std::string& set = sets_[v];
      w_.Bits(static_cast<unsigned>(set.size()), 6);
      for (char c : set) w_.Bits(static_cast<std::uint8_t>(c), 8);
    }
  }
  ReduceStream& Byte(int b) {
    const std::string& set = sets_[last_];
    const std::size_t i = set.find(static_cast<char>(b));
    if (set.empty()) {
      w_.Bits(static_cast<unsigned>(b), 8);
    } else if (i == std::string::npos) {
      w_.Bits(1, 1).Bits(static_cast<unsigned>(b), 8);
    } else {
      const std::size_t n = set.size();
      const unsigned width = n <= 2 ? 1 : n <= 4 ? 2 : n <= 8 ? 3 : n <= 16 ? 4 : 5;
      w_.Bits(0, 1).Bits(static_cast<unsigned>(i), width);
    }
    last_ = b;
    return *this;
  }
  ReduceStream& Text(const std::string& s) {
    for (char c : s) Byte(static_cast<std::uint8_t>(c));
    return *this;
  }
  BitWriter& Writer() { return w_; }
  std::vector<std::uint8_t> Bytes() const { return w_.Bytes(); }

 private:
  std::map<int, std::string> sets_;
  BitWriter w_;
  int last_ = 0;
};

std::string Decode(const std::vector<std::uint8_t>& data, int factor, std::uint64_t size,
                int& message) {
  MemorySource src(data);
  PieceSink sink;
  message = Unreduce(src, sink, factor, size).MessageId;
  return sink.Text();
}

// The marker byte that starts a match of `length` (>= 3) bytes `distance` (>= 1) back, for
// factor f: V holds the length's low bits and the distance's high bits.
std::vector<int> Match(int f, int length, int distance) {
  const int mask = 0x7F >> (f - 1);
  const int d = distance - 1;
  int len = length - 3;
  std::vector<int> bytes = {144};
  const int hi = (d >> 8) << (8 - f);
  if (len >= mask) {
    bytes.push_back(hi | mask);
    bytes.push_back(len - mask);
  } else {
    bytes.push_back(hi | len);
  }
  bytes.push_back(d & 0xFF);
  return bytes;
}

TEST(LegacyUnreduce, RunLayerForEachFactor) {
  struct Case {
    const char* name;
    int length, distance;
    std::string expected_tail;  // after the 300-byte prefix
  };
  // 300 bytes of a known pattern, then one match.
  std::string prefix;
  for (int i = 0; i < 300; ++i) prefix.push_back(static_cast<char>('a' + i % 26));
  for (int f = 1; f <= 4; ++f) {
    const int mask = 0x7F >> (f - 1);
    const std::vector<Case> cases = {
        // Length 3 with distance high bits 0 would make V = 0, which is the escaped 144.
        {"distance 1 repeats the last byte", 4, 1, std::string(4, prefix.back())},
        {"shortest match", 3, 257, prefix.substr(300 - 257, 3)},
        {"overlapping match repeats", 7, 2, "mnmnmnm"},
        {"length at the mask takes one more byte", mask + 3 + 200, 26, ""},
        {"distance with high bits", 4, 256 + 30, prefix.substr(300 - 286, 4)},
        {"distance before the start of output gives zeros", 5, f == 1 ? 400 : 1000,
         ""},
    };
    for (const Case& c : cases) {
      if (c.distance - 1 > ((0xFF >> (8 - f)) << 8 | 0xFF)) continue;  // not codable
      SCOPED_TRACE(std::string("factor ") + std::to_string(f) + ": " + c.name);
      ReduceStream s;
      s.Text(prefix);
      for (int b : Match(f, c.length, c.distance)) s.Byte(b);
      s.Text("Z");
      std::string expected = prefix;
      for (int k = 0; k < c.length; ++k) {
        const long from = static_cast<long>(expected.size()) - c.distance;
        expected.push_back(from < 0 ? '\0' : expected[from]);
      }
      if (!c.expected_tail.empty()) {
        EXPECT_EQ(expected.substr(300), c.expected_tail);  // the model above agrees
      }
      expected += "Z";
      int message = -1;
      EXPECT_EQ(Decode(s.Bytes(), f, expected.size(), message), expected);
      EXPECT_EQ(message, 0);
    }
  }
}

TEST(LegacyUnreduce, MarkerFollowedByZeroIsTheByte144) {
  int message = -1;
  std::vector<std::uint8_t> data = ReduceStream().Text("A").Byte(144).Byte(0).Text("B").Bytes();
  EXPECT_EQ(Decode(data, 4, 3, message), "A\x90" "B");
  EXPECT_EQ(message, 0);
}

// Followers of byte 0 (the predecessor of the first byte) and of the bytes that follow:
// one-bit indexes for sets of 2, five-bit for 32, plain bytes outside a set.
TEST(LegacyUnreduce, FollowerSets) {
  std::string all32;
  for (int i = 0; i < 32; ++i) all32.push_back(static_cast<char>('@' + i));
  const std::map<int, std::string> sets = {{0, "xy"}, {'y', all32}, {'_', "x"}};
  const std::string text = "y_x" "yz" "y_";
  std::vector<std::uint8_t> data = ReduceStream(sets).Text(text).Bytes();
  int message = -1;
  EXPECT_EQ(Decode(data, 2, text.size(), message), text);
  EXPECT_EQ(message, 0);
}

// Symbols of two bits each (flag 0, one-bit index): the last byte of the data holds four of
// them, all of which belong to the entry.
TEST(LegacyUnreduce, DecodesEverySymbolUpToTheUnpackedSize) {
  const std::map<int, std::string> sets = {{0, "ab"}, {'a', "ab"}, {'b', "ab"}};
  for (std::size_t n : {1u, 4u, 5u, 12u, 13u}) {
    SCOPED_TRACE(n);
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text.push_back(i % 3 ? 'a' : 'b');
    std::vector<std::uint8_t> data = ReduceStream(sets).Text(text).Bytes();
    int message = -1;
    EXPECT_EQ(Decode(data, 1, text.size(), message), text);
    EXPECT_EQ(message, 0);
  }
}

TEST(LegacyUnreduce, StopsAtTheUnpackedSizeAndAtTheEndOfData) {
  ReduceStream s;
  s.Text("abc");
  for (int b : Match(4, 10, 3)) s.Byte(b);
  const std::vector<std::uint8_t> data = s.Bytes();
  int message = -1;
  EXPECT_EQ(Decode(data, 4, 6, message), "abcabc");  // inside the match
  EXPECT_EQ(message, 0);
  EXPECT_EQ(Decode(data, 4, 1000, message), "abcabcabcabca");  // data ends first
  EXPECT_EQ(message, 0);
  EXPECT_EQ(Decode(data, 4, 0, message), "");
  EXPECT_EQ(message, 0);
}

TEST(LegacyUnreduce, InvalidFollowerSetsEndTheEntry) {
  {
    SCOPED_TRACE("count above 32");
    BitWriter w;
    w.Bits(33, 6);
    for (int i = 0; i < 33; ++i) w.Bits(static_cast<unsigned>(i), 8);
    int message = -1;
    EXPECT_EQ(Decode(w.Bytes(), 4, 10, message), "");
    EXPECT_EQ(message, E_BADBLOCK);
  }
  {
    SCOPED_TRACE("index beyond a set of 3");
    ReduceStream s({{0, "abc"}});
    s.Writer().Bits(0, 1).Bits(3, 2);
    int message = -1;
    EXPECT_EQ(Decode(s.Bytes(), 4, 10, message), "");
    EXPECT_EQ(message, E_BADBLOCK);
  }
  {
    SCOPED_TRACE("data ending inside the sets");
    int message = -1;
    EXPECT_EQ(Decode({0, 0, 0}, 4, 10, message), "");
    EXPECT_EQ(message, 0);
  }
}

}  // namespace
}  // namespace orb::arx
