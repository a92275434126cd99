// Unreduce (zip methods 2..5). See arxUnreduce.h.
//
// Run layer, fed one byte at a time (144 = 0x90 is the marker):
//   stLiteral  --144--> stMarker; other byte: output it
//   stMarker   --0--> output 144, stLiteral
//   stMarker   --V--> length := V & mask; stLongLength if length == mask, else stDistance
//   stLongLength --L--> length += L; stDistance
//   stDistance --D--> copy length + 3 bytes from distance (V >> (8 - factor)) * 256 + D + 1
//                     back; stLiteral
//
// Follower sets hold at most 32 bytes: a larger count is rejected while the sets are read,
// and an index is at most 5 bits wide for such sets, so no index leaves a set.
#include "archive/arxUnreduce.h"

#include "archive/arxLegacyBits.h"
#include "_OrbLib/OrbExcept.h"

#include <array>
#include <new>

namespace orb::arx {

namespace {

constexpr std::size_t kHistorySize = 4096;
constexpr int kMaxFollowers = 32;
constexpr std::uint8_t kRunMarker = 144;

// Bits of a follower index for a set of n (1..32) bytes.
constexpr unsigned IndexBits(int n) {
  return n <= 2 ? 1 : n <= 4 ? 2 : n <= 8 ? 3 : n <= 16 ? 4 : 5;
}

}  // namespace

struct UnreduceTables {
  std::array<std::uint8_t, 256> count{};
  std::array<std::array<std::uint8_t, kMaxFollowers>, 256> followers{};
};

Unreducer::Unreducer(ByteSource& source, ByteSink& sink, int factor, std::uint64_t unpackedSize)
    : input_(source),
      out_(sink),
      t_(std::make_unique<UnreduceTables>()),
      factor_(factor),
      unpackedSize_(unpackedSize) {
  ORB_ASSERT(factor >= 1 && factor <= 4, "archive/arxUnreduce");
}

Unreducer::~Unreducer() = default;

DecodeResult Unreducer::Run() {
  DecodeResult r = Decode();
  out_.Flush();
  return r;
}

DecodeResult Unreducer::Decode() {
  LegacyBitReader bits(input_);
  LegacyHistory history(out_, kHistorySize);
  UnreduceTables& t = *t_;

  // Sets are stored for byte values 255 down to 0. Data ending inside them ends the entry
  // quietly, like data ending anywhere else; the CRC tells.
  for (int v = 255; v >= 0; --v) {
    const int n = bits.ReadBits(6);
    if (n < 0) return {};
    if (n > kMaxFollowers) return {E_BADBLOCK};
    t.count[v] = static_cast<std::uint8_t>(n);
    for (int i = 0; i < n; ++i) {
      const int b = bits.ReadBits(8);
      if (b < 0) return {};
      t.followers[v][i] = static_cast<std::uint8_t>(b);
    }
  }

  const unsigned lengthMask = 0x7Fu >> (factor_ - 1);  // 127, 63, 31, 15
  State state = State::stLiteral;
  std::uint8_t last = 0;
  unsigned v = 0;
  unsigned length = 0;
  while (out_.Produced() < unpackedSize_) {
    int b;
    const int n = t.count[last];
    if (n == 0 || bits.ReadBits(1) == 1) {
      b = bits.ReadBits(8);
    } else {
      const int index = bits.ReadBits(IndexBits(n));
      if (index >= n) return {E_BADBLOCK};
      b = index < 0 ? -1 : t.followers[last][index];
    }
    if (b < 0) break;  // the data has ended (the 1-bit read above also failed then)
    last = static_cast<std::uint8_t>(b);

    switch (state) {
      case State::stLiteral:
        if (last == kRunMarker) {
          state = State::stMarker;
        } else {
          history.Put(last);
        }
        break;
      case State::stMarker:
        if (last == 0) {
          history.Put(kRunMarker);
          state = State::stLiteral;
        } else {
          v = last;
          length = v & lengthMask;
          state = length == lengthMask ? State::stLongLength : State::stDistance;
        }
        break;
      case State::stLongLength:
        length += last;
        state = State::stDistance;
        break;
      case State::stDistance: {
        const std::size_t distance = ((v >> (8 - factor_)) << 8) + last + 1;
        std::size_t src = history.PositionBack(distance);
        for (unsigned k = 0; k < length + 3 && out_.Produced() < unpackedSize_; ++k) {
          history.Put(history.At(src));
          src = (src + 1) & history.Mask();
        }
        state = State::stLiteral;
        break;
      }
    }
  }
  return {};
}

DecodeResult Unreduce(ByteSource& source, ByteSink& sink, int factor, std::uint64_t unpackedSize) {
  try {
    Unreducer u(source, sink, factor, unpackedSize);
    return u.Run();
  } catch (const std::bad_alloc&) {
    return {E_MEMERR};
  }
}

}  // namespace orb::arx
