// Inflate: valid streams decode exactly and reach the sink in 32 KiB pieces; invalid streams
// end with the message of their block kind and never read or write outside a table or buffer
// (the suite runs under the address sanitizer). Streams are built bit by bit here or were
// made once with the system's zlib (raw deflate, window bits 15; hex below).
#include "archive/arxInflate.h"

#include "archive/DecoderFakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>

namespace orb::arx {
namespace {

using test::BitWriter;
using test::Bytes;
using test::FromHex;
using test::FromText;
using test::RecordingSink;
using test::VectorSource;

// RFC 1951 3.2.2: canonical codes from code lengths.
std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
  std::vector<unsigned> count(16, 0);
  for (auto l : lengths) ++count[l];
  count[0] = 0;
  std::vector<std::uint32_t> next(16, 0);
  std::uint32_t code = 0;
  for (unsigned bits = 1; bits < 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<std::uint32_t> codes(lengths.size(), 0);
  for (std::size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return codes;
}

struct LengthCode {
  unsigned symbol, extraBits, extra;
};

LengthCode ForLength(unsigned len) {
  static const unsigned base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const unsigned extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  for (unsigned i = 29; i-- > 0;)
    if (len >= base[i]) return {257 + i, extra[i], len - base[i]};
  throw std::logic_error("length below 3");
}

LengthCode ForDistance(unsigned dist) {
  for (unsigned code = 30; code-- > 0;) {
    unsigned extraBits = code < 4 ? 0 : code / 2 - 1;
    unsigned base = code < 4 ? code + 1 : (1u << (code / 2)) + 1 + (code % 2) * (1u << extraBits);
    if (dist >= base) return {code, extraBits, dist - base};
  }
  throw std::logic_error("distance below 1");
}

// Writes deflate blocks and keeps, beside them, the output a correct decoder must produce.
class StreamBuilder {
 public:
  // Block header: last-block flag, then the 2-bit type.
  StreamBuilder& Header(bool last, unsigned type) {
    bits_.Bits(last ? 1 : 0, 1).Bits(type, 2);
    return *this;
  }
  StreamBuilder& Fixed(bool last) {
    Header(last, 1);
    std::vector<std::uint8_t> lit(288), dist(32, 5);
    for (unsigned s = 0; s < 288; ++s) lit[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    UseCodes(lit, dist);
    return *this;
  }
  StreamBuilder& Stored(bool last, const Bytes& data, std::uint16_t nlenXor = 0xFFFF) {
    Header(last, 0);
    bits_.AlignToByte();
    std::uint16_t len = static_cast<std::uint16_t>(data.size());
    bits_.Bits(len, 16).Bits(len ^ nlenXor, 16);
    for (auto b : data) bits_.Byte(b);
    expected_.insert(expected_.end(), data.begin(), data.end());
    return *this;
  }
  // A dynamic block header sending `lit` and `dist` lengths one by one with a complete
  // code-length code (13 lengths of 4 bits, 6 of 5 bits); `lengthSymbols`, when given, is
  // sent instead of the lengths (symbol, extra value) to write malformed length lists.
  StreamBuilder& Dynamic(bool last, const std::vector<std::uint8_t>& lit,
                         const std::vector<std::uint8_t>& dist,
                         const std::vector<std::pair<unsigned, unsigned>>* lengthSymbols = nullptr) {
    Header(last, 2);
    bits_.Bits(static_cast<unsigned>(lit.size() - 257), 5)
        .Bits(static_cast<unsigned>(dist.size() - 1), 5)
        .Bits(19 - 4, 4);
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::vector<std::uint8_t> clen(19);
    for (unsigned s = 0; s < 19; ++s) clen[s] = (s >= 10 && s <= 15) ? 5 : 4;
    for (unsigned i = 0; i < 19; ++i) bits_.Bits(clen[order[i]], 3);
    auto ccodes = CanonicalCodes(clen);
    auto sendSymbol = [&](unsigned sym, unsigned extra) {
      bits_.Code(ccodes[sym], clen[sym]);
      if (sym == 16) bits_.Bits(extra, 2);
      if (sym == 17) bits_.Bits(extra, 3);
      if (sym == 18) bits_.Bits(extra, 7);
    };
    if (lengthSymbols) {
      for (auto [sym, extra] : *lengthSymbols) sendSymbol(sym, extra);
    } else {
      for (auto l : lit) sendSymbol(l, 0);
      for (auto l : dist) sendSymbol(l, 0);
    }
    UseCodes(lit, dist);
    return *this;
  }
  StreamBuilder& Literal(std::uint8_t b) {
    Symbol(b);
    expected_.push_back(b);
    return *this;
  }
  StreamBuilder& Literals(const std::string& s) {
    for (char c : s) Literal(static_cast<std::uint8_t>(c));
    return *this;
  }
  StreamBuilder& Match(unsigned len, unsigned dist) {
    auto l = ForLength(len);
    Symbol(l.symbol);
    bits_.Bits(l.extra, l.extraBits);
    auto d = ForDistance(dist);
    DistanceCode(d.symbol);
    bits_.Bits(d.extra, d.extraBits);
    for (unsigned i = 0; i < len; ++i) {
      std::uint8_t b = expected_[expected_.size() - dist];
      expected_.push_back(b);
    }
    return *this;
  }
  StreamBuilder& End() { return Symbol(256); }
  // Raw codes, for invalid streams: no expected output.
  StreamBuilder& Symbol(unsigned sym) {
    bits_.Code(litCodes_.at(sym), litLens_.at(sym));
    return *this;
  }
  StreamBuilder& DistanceCode(unsigned code) {
    bits_.Code(distCodes_.at(code), distLens_.at(code));
    return *this;
  }
  StreamBuilder& RawBits(std::uint32_t v, unsigned n) {
    bits_.Bits(v, n);
    return *this;
  }
  // Writes fewer bytes than the block declares: drop the last `n` bytes of the stream.
  Bytes Stream(std::size_t dropBytes = 0) const {
    Bytes s = bits_.Finish();
    s.resize(s.size() - dropBytes);
    return s;
  }
  const Bytes& Expected() const { return expected_; }
  std::size_t BitCount() const { return bits_.BitCount(); }

 private:
  void UseCodes(const std::vector<std::uint8_t>& lit, const std::vector<std::uint8_t>& dist) {
    litLens_ = lit;
    distLens_ = dist;
    litCodes_ = CanonicalCodes(lit);
    distCodes_ = CanonicalCodes(dist);
  }
  BitWriter bits_;
  Bytes expected_;
  std::vector<std::uint8_t> litLens_, distLens_;
  std::vector<std::uint32_t> litCodes_, distCodes_;
};

// Complete codes in which every symbol is sent. Literal/length: a codes of 8 bits and b of 9
// with a + b = symbols and 2a + b = 512 (286 symbols: 226 and 60). Distance: a codes of 4 bits
// and b of 5 with a + b = codes and 2a + b = 32 (30 codes: 2 and 28).
std::vector<std::uint8_t> FullLitLen(unsigned symbols = 286) {
  std::vector<std::uint8_t> lit(symbols, 8);
  unsigned nine = 2 * symbols - 512;
  for (unsigned s = 0; s < nine; ++s) lit[symbols - 1 - s] = 9;
  return lit;
}

std::vector<std::uint8_t> FullDistance(unsigned codes = 30) {
  std::vector<std::uint8_t> d(codes, 5);
  for (unsigned i = 0; i < 32 - codes; ++i) d[i] = 4;
  return d;
}

struct Outcome {
  DecodeResult result;
  RecordingSink sink;
};

Outcome Decode(const Bytes& stream, std::size_t chunk = SIZE_MAX, std::size_t cancelAfter = SIZE_MAX) {
  VectorSource source(stream, chunk, cancelAfter);
  Outcome o;
  o.result = Inflate(source, o.sink);
  return o;
}

// Runs `body` once with each build of the fast loop (the one this processor gets by default,
// and the portable one), so that both are checked whichever this machine would choose.
void ForEachLoop(const std::function<void()>& body) {
  for (InflateLoop loop : {InflateLoop::kFastest, InflateLoop::kPortable}) {
    SCOPED_TRACE(loop == InflateLoop::kPortable ? "portable loop" : "fastest loop");
    SetInflateLoop(loop);
    body();
  }
  SetInflateLoop(InflateLoop::kFastest);
}

const std::string kText =
    "It was the best of times, it was the worst of times, it was the age of wisdom, it was the "
    "age of foolishness, it was the epoch of belief, it was the epoch of incredulity.";

struct ValidCase {
  const char* name;
  std::function<std::pair<Bytes, Bytes>()> make;  // stream, expected output
};

std::pair<Bytes, Bytes> Built(const StreamBuilder& b) { return {b.Stream(), b.Expected()}; }

const std::vector<ValidCase>& ValidCases() {
  static const std::vector<ValidCase> cases = {
      {"final empty stored block", [] { return Built(StreamBuilder().Stored(true, {})); }},
      {"zlib dynamic block",
       [] {
         return std::pair{
             FromHex("75cbdb0980300c46e1553280b88763f4f2d7066a234da4b8bdf44984fafc9db31975a764"
                     "19e4a14692c8f8802ec4af74697fe4760ce8ac518e992491c29a2bf43be2949047e05118"
                     "696e5c4343bc0adbbd3e"),
             FromText(kText)};
       }},
      {"zlib fixed block",
       [] {
         return std::pair{
             FromHex("f32c51284f2c5628c94855484a2d2e51c84f5328c9cc4d2dd651c844c894e717e1924a4c"
                     "4f0549946716a7e4e7629349cbcfcfc92ccec84b2d46d5985a909f9c015290949a93999a"
                     "865d2e332fb92835a53427b3a4520f00"),
             FromText(kText)};
       }},
      {"zlib 40000 zeros across the window end",
       [] {
         return std::pair{FromHex("edc13101000000c2a0f54fed650ba0000000000000000000000000000000"
                                  "0000000000000000000000000000000000000000000000801b"),
                          Bytes(40000, 0)};
       }},
      {"stored blocks over two windows",
       [] {
         Bytes a(40000), b(30000);
         for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>(i * 7);
         for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 13);
         return Built(StreamBuilder().Stored(false, a).Fixed(false).Literals("mid").End().Stored(true, b));
       }},
      {"fixed, dynamic, fixed blocks",
       [] {
         StreamBuilder b;
         b.Fixed(false).Literals("abc").Match(5, 3).End();
         b.Dynamic(false, FullLitLen(), FullDistance()).Literals("xyz").Match(10, 8).End();
         b.Fixed(true).Literals("!").Match(4, 20).End();
         return Built(b);
       }},
      {"distance 1, length 258",
       [] { return Built(StreamBuilder().Fixed(true).Literal('x').Match(258, 1).End()); }},
      {"end-of-block code in the last bits of the data",
       [] {
         // 3 header bits, six 9-bit literals, a 7-bit end code: 64 bits, no bit to spare,
         // while a 9-bit lookup at the end code would ask for 2 bits beyond the data.
         StreamBuilder b;
         b.Fixed(true);
         for (int i = 0; i < 6; ++i) b.Literal(static_cast<std::uint8_t>(0xF0 + i));
         b.End();
         EXPECT_EQ(b.BitCount(), 64u);
         return Built(b);
       }},
      {"288 literal/length and 32 distance lengths",
       [] {
         StreamBuilder b;
         b.Dynamic(true, FullLitLen(288), FullDistance(32)).Literals("ab").Match(3, 2).Match(258, 5).End();
         return Built(b);
       }},
      {"single distance code of length 1",
       [] {
         std::vector<std::uint8_t> dist(1, 1);
         StreamBuilder b;
         b.Dynamic(true, FullLitLen(), dist).Literal('q').Match(40, 1).End();
         return Built(b);
       }},
      {"matches crossing the window end with far distances",
       [] {
         StreamBuilder b;
         b.Fixed(true);
         for (int i = 0; i < 200; ++i) b.Literal(static_cast<std::uint8_t>(i * 31 + 7));
         while (b.Expected().size() < 32800) b.Match(258, 199);
         b.Match(258, 32768).Match(100, 32768).Match(258, 1000).Literals("end").End();
         return Built(b);
       }},
      {"matches at every distance up to 40, lengths around the copy widths",
       [] {
         // Overlapping and near matches copied a word or a block at a time; a literal after
         // each one changes the pattern the next one repeats.
         StreamBuilder b;
         b.Fixed(true);
         for (int i = 0; i < 40; ++i) b.Literal(static_cast<std::uint8_t>('A' + i * 7 % 53));
         for (unsigned dist = 1; dist <= 40; ++dist)
           for (unsigned len : {3u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 48u, 258u})
             b.Match(len, dist).Literal(static_cast<std::uint8_t>(dist * 11 + len));
         return Built(b.End());
       }},
      {"stream followed by other data",
       [] {
         StreamBuilder b;
         b.Fixed(true).Literals("tail").End().RawBits(0xFFFFFF, 24);
         return Built(b);
       }},
  };
  return cases;
}

TEST(InflateTest, DecodesValidStreamsInWindowPieces) {
  ForEachLoop([] {
  for (const auto& c : ValidCases()) {
    auto [stream, expected] = c.make();
    for (std::size_t chunk : {SIZE_MAX, std::size_t{1}, std::size_t{7}}) {
      SCOPED_TRACE(std::string(c.name) + ", reads of " +
                   (chunk == SIZE_MAX ? std::string("any size") : std::to_string(chunk)));
      Outcome o = Decode(stream, chunk);
      EXPECT_EQ(o.result.MessageId, 0);
      EXPECT_EQ(o.sink.bytes, expected);
      EXPECT_TRUE(o.sink.PiecedByWindow());
    }
  }
  });
}

TEST(InflateTest, WritesWholeWindowsAndNoEmptyRemainder) {
  struct Case {
    std::size_t size;
    std::vector<std::size_t> pieces;
  };
  for (const Case& c : {Case{0, {}}, Case{32767, {32767}}, Case{32768, {32768}},
                        Case{32769, {32768, 1}}, Case{65536, {32768, 32768}}}) {
    SCOPED_TRACE(c.size);
    StreamBuilder b;
    b.Fixed(true);
    if (c.size) b.Literal('r');
    while (c.size - b.Expected().size() >= 3)
      b.Match(static_cast<unsigned>(std::min<std::size_t>(258, c.size - b.Expected().size())), 1);
    while (b.Expected().size() < c.size) b.Literal('r');
    Outcome o = Decode(b.End().Stream());
    ASSERT_EQ(o.result.MessageId, 0);
    EXPECT_EQ(o.sink.pieces, c.pieces);
    EXPECT_EQ(o.sink.bytes, b.Expected());
  }
}

struct InvalidCase {
  const char* name;
  std::function<StreamBuilder()> make;
  int message;
  std::size_t dropBytes = 0;  // cut the stream short
  Bytes written;              // the output that must reach the sink before the failure
  // The fault is the end of the data itself, so no data may follow it. For the other cases
  // data after the fault must not change the outcome; with enough of it, the fault is met by
  // the fast loop instead of the careful one.
  bool ends_early = false;
};

const std::vector<std::uint8_t> kNoDistances(1, 0);

const std::vector<InvalidCase>& InvalidCases() {
  static const std::vector<InvalidCase> cases = {
      {"empty input", [] { return StreamBuilder(); }, E_BADBLOCK, 0, {}, true},
      {"block type 3", [] { return StreamBuilder().Header(true, 3).RawBits(0, 13); }, E_BADBLOCK, 0, {}},
      {"stored NLEN not the complement of LEN discards the unwritten window",
       [] { return StreamBuilder().Fixed(false).Literals("abc").End().Stored(true, FromText("xy"), 0xFFFE); },
       E_BADBLOCK, 0, {}},
      {"data ends inside a stored block",
       [] { return StreamBuilder().Stored(true, FromText("0123456789")); }, E_BADBLOCK, 6,
       FromText("0123"), true},
      {"data ends inside a fixed block",
       [] { return StreamBuilder().Fixed(true).Literals("hello"); }, E_BADBLOCK, 0,
       FromText("hello"), true},
      {"data ends after a block that is not the last",
       [] { return StreamBuilder().Fixed(false).Literals("hi").End(); }, E_BADBLOCK, 0,
       FromText("hi"), true},
      {"fixed block: literal/length symbol 286",
       [] { return StreamBuilder().Fixed(true).Literals("ab").Symbol(286).RawBits(0, 16); },
       E_BADBLOCK, 0, FromText("ab")},
      {"fixed block: literal/length symbol 287",
       [] { return StreamBuilder().Fixed(true).Literals("ab").Symbol(287).RawBits(0, 16); },
       E_BADBLOCK, 0, FromText("ab")},
      {"fixed block: distance code 30",
       [] { return StreamBuilder().Fixed(true).Literals("ab").Symbol(257).DistanceCode(30).RawBits(0, 24); },
       E_BADBLOCK, 0, FromText("ab")},
      {"fixed block: distance code 31",
       [] { return StreamBuilder().Fixed(true).Literals("ab").Symbol(257).DistanceCode(31).RawBits(0, 24); },
       E_BADBLOCK, 0, FromText("ab")},
      {"fixed block: match before any output",
       [] { return StreamBuilder().Fixed(true).Symbol(257).DistanceCode(0).End(); }, E_BADBLOCK, 0, {}},
      {"fixed block: distance beyond the output so far",
       [] { return StreamBuilder().Fixed(true).Literals("abc").Symbol(257).DistanceCode(3).End(); },
       E_BADBLOCK, 0, FromText("abc")},
      {"dynamic block: literal/length symbol 286",
       [] { return StreamBuilder().Dynamic(true, FullLitLen(288), FullDistance()).Literals("ab").Symbol(286).End(); },
       E_CODESET, 0, FromText("ab")},
      {"dynamic block: distance code 31",
       [] {
         return StreamBuilder().Dynamic(true, FullLitLen(), FullDistance(32)).Literals("ab")
             .Symbol(257).DistanceCode(31).RawBits(0, 16).End();
       },
       E_CODESET, 0, FromText("ab")},
      {"dynamic block: length code without distance codes",
       [] { return StreamBuilder().Dynamic(true, FullLitLen(), kNoDistances).Literals("ab").Symbol(257).End(); },
       E_CODESET, 0, FromText("ab")},
      {"dynamic block: match before any output",
       [] { return StreamBuilder().Dynamic(true, FullLitLen(), FullDistance()).Symbol(258).DistanceCode(1).End(); },
       E_CODESET, 0, {}},
      {"dynamic block: repeat with no previous length",
       [] {
         std::vector<std::pair<unsigned, unsigned>> syms = {{16, 0}};
         return StreamBuilder().Dynamic(true, FullLitLen(), FullDistance(), &syms).RawBits(0, 32);
       },
       E_CODESET, 0, {}},
      {"dynamic block: repeat past the declared lengths",
       [] {
         // 286 + 30 lengths: 8 x 18 (138 zeros each) = 1104 > 316.
         std::vector<std::pair<unsigned, unsigned>> syms(8, {18, 127});
         return StreamBuilder().Dynamic(true, FullLitLen(), FullDistance(), &syms).RawBits(0, 32);
       },
       E_CODESET, 0, {}},
      {"dynamic block: two distance codes of length 2",
       [] {
         return StreamBuilder().Dynamic(true, FullLitLen(), std::vector<std::uint8_t>{2, 2})
             .Literals("ab").End();
       },
       E_CODESET, 0, {}},
      {"dynamic block: incomplete literal/length code",
       [] {
         auto lit = FullLitLen();
         lit[0] = 0;
         return StreamBuilder().Dynamic(true, lit, FullDistance()).Literals("ab").End();
       },
       E_CODESET, 0, {}},
      {"dynamic block: over-subscribed literal/length code",
       [] {
         auto lit = FullLitLen();
         lit[300 - 290] = 1;
         return StreamBuilder().Dynamic(true, lit, FullDistance()).RawBits(0, 32);
       },
       E_CODESET, 0, {}},
  };
  return cases;
}

TEST(InflateTest, EndsInvalidStreamsWithTheBlockKindsMessage) {
  ForEachLoop([] {
  for (const auto& c : InvalidCases()) {
    Bytes stream = c.make().Stream(c.dropBytes);
    Bytes padded = stream;
    padded.resize(stream.size() + 100, 0x5A);
    for (bool withTail : {false, true}) {
      if (withTail && c.ends_early) continue;
      for (std::size_t chunk : {SIZE_MAX, std::size_t{1}}) {
        SCOPED_TRACE(std::string(c.name) + (chunk == 1 ? ", byte by byte" : "") +
                     (withTail ? ", more data after it" : ""));
        Outcome o = Decode(withTail ? padded : stream, chunk);
        EXPECT_EQ(o.result.MessageId, c.message);
        EXPECT_EQ(o.sink.bytes, c.written);
      }
    }
  }
  });
}

TEST(InflateTest, CorruptedStreamsEndCleanly) {
  // Flipped bits and cut tails of valid streams: every run ends with success or one of the two
  // inflate messages, output still in window pieces (the address sanitizer watches the rest).
  std::vector<Bytes> seeds;
  for (const auto& c : ValidCases()) seeds.push_back(c.make().first);
  ForEachLoop([&] {
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    Bytes stream = seeds[round % seeds.size()];
    if (stream.empty()) continue;
    for (int flips = 1 + round % 4; flips > 0; --flips)
      stream[rng() % stream.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    if (round % 5 == 0) stream.resize(rng() % stream.size());
    SCOPED_TRACE("round " + std::to_string(round));
    Outcome o = Decode(stream, round % 2 ? 1 : SIZE_MAX);
    ASSERT_TRUE(o.result.MessageId == 0 || o.result.MessageId == E_BADBLOCK ||
                o.result.MessageId == E_CODESET)
        << o.result.MessageId;
    ASSERT_TRUE(o.sink.PiecedByWindow());
  }
  });
}

TEST(InflateTest, CancelledInputStopsQuietlyAfterWritingTheOutput) {
  StreamBuilder b;
  b.Fixed(true).Literals("abcdefgh");
  for (int i = 0; i < 400; ++i) b.Match(258, 8);
  Bytes stream = b.End().Stream();
  Outcome o = Decode(stream, SIZE_MAX, stream.size() / 2);
  EXPECT_EQ(o.result.MessageId, 0);
  ASSERT_FALSE(o.sink.bytes.empty());
  ASSERT_LT(o.sink.bytes.size(), b.Expected().size());
  EXPECT_TRUE(std::equal(o.sink.bytes.begin(), o.sink.bytes.end(), b.Expected().begin()));
  EXPECT_TRUE(o.sink.PiecedByWindow());
}

TEST(InflateTest, SinkFailurePassesThrough) {
  struct FailingSink : ByteSink {
    void Write(const std::uint8_t*, std::size_t) override { throw std::runtime_error("disk full"); }
  } sink;
  StreamBuilder b;
  VectorSource source(b.Fixed(true).Literals("x").End().Stream());
  EXPECT_THROW(Inflate(source, sink), std::runtime_error);
}

}  // namespace
}  // namespace orb::arx
