// Test doubles for the decoders' byte source and sink, and a bit writer for building deflate
// streams by hand.
#pragma once

#include "archive/ByteIO.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orb::arx::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline Bytes FromText(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Hands out a buffer in reads of at most `chunk` bytes; after `cancelAfter` bytes it behaves
// as the engine's source does once Cancel is set.
class VectorSource : public ByteSource {
 public:
  explicit VectorSource(Bytes data, std::size_t chunk = SIZE_MAX,
                        std::size_t cancelAfter = SIZE_MAX)
      : data_(std::move(data)), chunk_(chunk), cancelAfter_(cancelAfter) {}
  std::size_t Read(std::uint8_t* buf, std::size_t max) override {
    std::size_t limit = std::min(data_.size(), cancelAfter_);
    if (pos_ >= limit) {
      cancelled_ = pos_ == cancelAfter_;
      return 0;
    }
    std::size_t n = std::min({max, chunk_, limit - pos_});
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(pos_), n, buf);
    pos_ += n;
    return n;
  }
  bool Cancelled() const override { return cancelled_; }

 private:
  Bytes data_;
  std::size_t chunk_;
  std::size_t cancelAfter_;
  std::size_t pos_ = 0;
  bool cancelled_ = false;
};

// Keeps every piece written, in order.
class RecordingSink : public ByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t n) override {
    if (n == 0) throw std::logic_error("empty piece written");
    pieces.push_back(n);
    bytes.insert(bytes.end(), data, data + n);
  }
  // True when every piece but the last is exactly one window long and the last is not longer.
  bool PiecedByWindow() const {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i + 1 < pieces.size() ? pieces[i] != kWindowSize : pieces[i] > kWindowSize)
        return false;
    }
    return true;
  }
  std::vector<std::size_t> pieces;
  Bytes bytes;
};

// Deflate bit order: fields least significant bit first, Huffman codes most significant first.
class BitWriter {
 public:
  BitWriter& Bits(std::uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1);
    return *this;
  }
  BitWriter& Code(std::uint32_t code, unsigned len) {
    for (unsigned i = len; i-- > 0;) Bit((code >> i) & 1);
    return *this;
  }
  BitWriter& AlignToByte() {
    while (nbits_ % 8) Bit(0);
    return *this;
  }
  BitWriter& Byte(std::uint8_t b) { return Bits(b, 8); }
  Bytes Finish() const { return out_; }
  std::size_t BitCount() const { return nbits_; }

 private:
  void Bit(unsigned b) {
    if (nbits_ % 8 == 0) out_.push_back(0);
    out_.back() |= static_cast<std::uint8_t>(b << (nbits_ % 8));
    ++nbits_;
  }
  Bytes out_;
  std::size_t nbits_ = 0;
};

}  // namespace orb::arx::test
