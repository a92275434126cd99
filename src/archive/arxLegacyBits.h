// Bit input and history window shared by the legacy zip decoders (unshrink, unreduce,
// explode).
//
// The three older methods read their codes least-significant bit first, one byte at a time,
// and the bit reader fetches the next byte as soon as the current one is used up. So a
// request that ends exactly on the last bit of the entry's data still succeeds, and only a
// request that needs a bit beyond the data fails (-1): a decoder can take every symbol the
// data holds, including symbols packed into the final byte.
#pragma once

#include "archive/ByteIO.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orb::arx {

class LegacyBitReader {
 public:
  explicit LegacyBitReader(InputBuffer& input) : input_(input) {}

  // The next n bits (1..16) as an unsigned value, bit i of the value being the i-th bit
  // read; -1 once the data has ended before all n bits were found.
  int ReadBits(unsigned n) {
    if (!primed_) {
      primed_ = true;
      Fetch();
    }
    unsigned value = 0;
    for (unsigned got = 0; got < n;) {
      if (end_) return -1;
      const unsigned take = left_ < n - got ? left_ : n - got;
      value |= (current_ & ((1u << take) - 1)) << got;
      current_ >>= take;
      left_ -= take;
      got += take;
      if (left_ == 0) Fetch();
    }
    return static_cast<int>(value);
  }

  // True once a fetch found the end of the entry's data.
  bool AtEnd() const { return end_; }
  // True when the end of input was the engine's Cancel rather than truncated data.
  bool Cancelled() const { return end_ && input_.Source().Cancelled(); }

 private:
  void Fetch() {
    current_ = input_.NextByte();
    left_ = 8;
    end_ = input_.AtEnd();
  }

  InputBuffer& input_;
  unsigned current_ = 0;
  unsigned left_ = 0;
  bool primed_ = false;
  bool end_ = false;
};

// The output window plus the circular history that reduce and implode matches copy from.
// The history starts zero-filled, so a match reaching before the first byte of the entry
// yields zero bytes, as the old encoders assumed. Its size is a power of two (4,096 or 8,192)
// and every index is masked with it, so no distance can reach outside it.
class LegacyHistory {
 public:
  LegacyHistory(OutputWindow& out, std::size_t size)
      : out_(out), buf_(new std::uint8_t[size]()), mask_(size - 1) {}

  void Put(std::uint8_t b) {
    out_.Put(b);
    buf_[pos_] = b;
    pos_ = (pos_ + 1) & mask_;
  }
  // The byte `back` positions before the next one to be written (1 = the last written).
  std::size_t PositionBack(std::size_t back) const { return (pos_ - back) & mask_; }
  std::uint8_t At(std::size_t position) const { return buf_[position & mask_]; }
  std::size_t Mask() const { return mask_; }

 private:
  OutputWindow& out_;
  std::unique_ptr<std::uint8_t[]> buf_;
  std::size_t mask_;
  std::size_t pos_ = 0;
};

}  // namespace orb::arx
