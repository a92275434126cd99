// Explode (zip method 6). See arxExplode.h.
//
// States:
//   stTrees --literal tree (flag bit 2), length tree, distance tree read--> stItem
//   stItem --bit 1--> stLiteral --one byte (tree or 8 plain bits)--> stItem
//   stItem --bit 0--> stMatch --distance low bits, distance tree, length tree
//                              (symbol 63: + 8 bits), copy--> stItem
//   stItem --unpacked size reached or data ended--> stDone
#include "archive/arxExplode.h"

#include "archive/arxLegacyBits.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

namespace orb::arx {

namespace {

constexpr int kMaxCodeLength = 16;
constexpr int kLongLengthSymbol = 63;  // followed by 8 more bits of length

// Outcomes of reading a tree or decoding a symbol besides a symbol value.
constexpr int kEndOfData = -1;
constexpr int kBadTree = -2;

}  // namespace

// A Shannon-Fano code as a binary tree of 2 * symbols nodes: indexes below `symbols` are the
// leaves (the symbol values), the last index is the root, and internal nodes are handed out
// downward from the one below the root. Child -1 means no code goes that way. A complete
// tree needs symbols - 1 internal nodes, which is exactly what lies between leaves and root;
// a code set needing more is not a valid code and is rejected, so no index leaves the array.
class ShannonFanoTree {
 public:
  explicit ShannonFanoTree(int symbols) : symbols_(symbols), nodes_(2 * symbols) {}

  // Reads the stored description and builds the tree: 0, kEndOfData or kBadTree.
  int Read(LegacyBitReader& bits) {
    struct Pair {
      int length;
      int value;
    };
    // One description byte gives up to 16 lengths, so 256 bytes could list 4,096; a tree
    // has only `symbols` of them and a longer list is invalid data.
    std::vector<Pair> pairs;
    pairs.reserve(symbols_);
    const int count = bits.ReadBits(8);
    if (count < 0) return kEndOfData;
    for (int i = 0; i <= count; ++i) {
      const int b = bits.ReadBits(8);
      if (b < 0) return kEndOfData;
      const int length = (b & 0x0F) + 1;
      const int repeat = (b >> 4) + 1;
      for (int r = 0; r < repeat; ++r) {
        if (static_cast<int>(pairs.size()) >= symbols_) return kBadTree;
        pairs.push_back({length, static_cast<int>(pairs.size())});
      }
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Pair& a, const Pair& b) { return a.length < b.length; });

    for (auto& n : nodes_) n = {-1, -1};
    nextInternal_ = Root() - 1;
    // Codes are handed out from the longest (all zeros) upward in 16-bit arithmetic; an
    // over-full length list wraps around and repeats a code, which insertion rejects.
    std::uint16_t code = 0;
    std::uint16_t increment = 0;
    int lastLength = 0;
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
      code = static_cast<std::uint16_t>(code + increment);
      if (it->length != lastLength) {
        lastLength = it->length;
        increment = static_cast<std::uint16_t>(1u << (kMaxCodeLength - lastLength));
      }
      if (!Insert(code >> (kMaxCodeLength - it->length), it->length, it->value)) return kBadTree;
    }
    return 0;
  }

  // The next symbol: a value, kEndOfData or kBadTree (a path that leads nowhere).
  int Decode(LegacyBitReader& bits) const {
    int node = Root();
    for (;;) {
      const int bit = bits.ReadBits(1);
      if (bit < 0) return kEndOfData;
      const int child = nodes_[node][bit];
      if (child < 0) return kBadTree;
      if (child < symbols_) return child;
      node = child;
    }
  }

 private:
  int Root() const { return 2 * symbols_ - 1; }

  // Adds the code of `length` bits (most significant bit first from the root).
  bool Insert(unsigned code, int length, int value) {
    int node = Root();
    for (int b = length - 1; b > 0; --b) {
      int& child = nodes_[node][(code >> b) & 1];
      if (child < 0) {
        if (nextInternal_ < symbols_) return false;  // more nodes than a valid code needs
        child = nextInternal_--;
      } else if (child < symbols_) {
        return false;  // a shorter code is a prefix of this one
      }
      node = child;
    }
    int& leaf = nodes_[node][code & 1];
    if (leaf >= 0) return false;  // taken by another code or a longer code's path
    leaf = value;
    return true;
  }

  int symbols_;
  std::vector<std::array<std::int32_t, 2>> nodes_;
  int nextInternal_ = 0;
};

Exploder::Exploder(ByteSource& source, ByteSink& sink, std::uint16_t flags,
                   std::uint64_t unpackedSize)
    : input_(source),
      out_(sink),
      largeWindow_((flags & 0x0002) != 0),
      literalTree_((flags & 0x0004) != 0),
      unpackedSize_(unpackedSize),
      literals_(literalTree_ ? std::make_unique<ShannonFanoTree>(256) : nullptr),
      lengths_(std::make_unique<ShannonFanoTree>(64)),
      distances_(std::make_unique<ShannonFanoTree>(64)) {}

Exploder::~Exploder() = default;

DecodeResult Exploder::Run() {
  DecodeResult r = Decode();
  out_.Flush();
  return r;
}

DecodeResult Exploder::Decode() {
  LegacyBitReader bits(input_);
  LegacyHistory history(out_, largeWindow_ ? 8192 : 4096);
  const unsigned lowDistanceBits = largeWindow_ ? 7 : 6;
  const unsigned minMatch = literalTree_ ? 3 : 2;

  State state = State::stTrees;
  while (state != State::stDone) {
    switch (state) {
      case State::stTrees: {
        for (ShannonFanoTree* tree : {literals_.get(), lengths_.get(), distances_.get()}) {
          if (!tree) continue;
          const int r = tree->Read(bits);
          if (r == kBadTree) return {E_AMBIGUOUSTREE};
          if (r == kEndOfData) return {};
        }
        state = State::stItem;
        break;
      }
      case State::stItem: {
        if (out_.Produced() >= unpackedSize_) {
          state = State::stDone;
          break;
        }
        const int bit = bits.ReadBits(1);
        state = bit < 0 ? State::stDone : bit == 1 ? State::stLiteral : State::stMatch;
        break;
      }
      case State::stLiteral: {
        const int b = literals_ ? literals_->Decode(bits) : bits.ReadBits(8);
        if (b == kBadTree) return {E_AMBIGUOUSTREE};
        if (b < 0) return {};
        history.Put(static_cast<std::uint8_t>(b));
        state = State::stItem;
        break;
      }
      case State::stMatch: {
        // Data ending inside a match ends the entry without copying a guessed match.
        const int low = bits.ReadBits(lowDistanceBits);
        if (low < 0) return {};
        const int high = distances_->Decode(bits);
        if (high == kBadTree) return {E_AMBIGUOUSTREE};
        if (high < 0) return {};
        int length = lengths_->Decode(bits);
        if (length == kBadTree) return {E_AMBIGUOUSTREE};
        if (length < 0) return {};
        if (length == kLongLengthSymbol) {
          const int extra = bits.ReadBits(8);
          if (extra < 0) return {};
          length += extra;
        }
        length += static_cast<int>(minMatch);
        const std::size_t distance = static_cast<std::size_t>(low) +
                                     (static_cast<std::size_t>(high) << lowDistanceBits);
        std::size_t src = history.PositionBack(distance + 1);
        for (int k = 0; k < length && out_.Produced() < unpackedSize_; ++k) {
          history.Put(history.At(src));
          src = (src + 1) & history.Mask();
        }
        state = State::stItem;
        break;
      }
      case State::stDone:
        break;
    }
  }
  return {};
}

DecodeResult Explode(ByteSource& source, ByteSink& sink, std::uint16_t flags,
                     std::uint64_t unpackedSize) {
  try {
    Exploder e(source, sink, flags, unpackedSize);
    return e.Run();
  } catch (const std::bad_alloc&) {
    return {E_MEMERR};
  }
}

}  // namespace orb::arx
