// Byte source and sink over memory for the decoder targets. The source hands out the input
// in small uneven pieces (the decoders must not depend on how reads are cut); the sink
// checks the piecing contract: whole 32 KiB pieces, then at most one shorter final piece.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "archive/ByteIO.h"

namespace orbfuzz {

class MemorySource : public orb::arx::ByteSource {
 public:
  MemorySource(const std::uint8_t* data, std::size_t size, std::size_t step)
      : data_(data), size_(size), step_(step == 0 ? 1 : step) {}
  std::size_t Read(std::uint8_t* buf, std::size_t max) override {
    std::size_t n = size_ - pos_;
    if (n > max) n = max;
    if (n > step_) n = step_;
    for (std::size_t i = 0; i < n; ++i) buf[i] = data_[pos_ + i];
    pos_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t step_;
  std::size_t pos_ = 0;
};

class MemorySink : public orb::arx::ByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t n) override {
    if (n == 0 || n > orb::arx::kWindowSize || short_seen_) {
      std::fprintf(stderr, "piecing contract broken: piece of %zu after %s\n", n,
                   short_seen_ ? "a short piece" : "whole pieces");
      std::abort();
    }
    if (n < orb::arx::kWindowSize) short_seen_ = true;
    bytes.insert(bytes.end(), data, data + n);
  }
  std::vector<std::uint8_t> bytes;

 private:
  bool short_seen_ = false;
};

}  // namespace orbfuzz
