// Test-only helpers for the legacy decoder tests: an in-memory source and a sink that keeps
// each piece it is given, a writer for bit streams packed least-significant bit first, and a
// minimal zip walker that finds each entry's data through the central directory.
#pragma once

#include "archive/ByteIO.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orb::arx::legacy_test {

// Hands out a byte vector, at most `chunk` bytes per Read to exercise short reads.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> data, std::size_t chunk = SIZE_MAX)
      : data_(std::move(data)), chunk_(chunk) {}
  std::size_t Read(std::uint8_t* buf, std::size_t max) override;
  std::size_t Consumed() const { return pos_; }
  void SetCancelled(bool c) { cancelled_ = c; }
  bool Cancelled() const override { return cancelled_; }

 private:
  std::vector<std::uint8_t> data_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
  bool cancelled_ = false;
};

// Keeps every piece written, in order.
class PieceSink : public ByteSink {
 public:
  void Write(const std::uint8_t* data, std::size_t n) override;
  std::string Text() const;  // all pieces joined, as bytes
  std::vector<std::uint8_t> Bytes() const;
  const std::vector<std::vector<std::uint8_t>>& Pieces() const { return pieces_; }

 private:
  std::vector<std::vector<std::uint8_t>> pieces_;
};

// Builds a compressed stream bit by bit, least-significant bit of each byte first.
class BitWriter {
 public:
  // The low n bits of value, bit 0 first.
  BitWriter& Bits(unsigned value, unsigned n);
  // The n bits of value from its most significant bit down (how tree codes are read).
  BitWriter& CodeMsbFirst(unsigned value, unsigned n);
  // The stream, the last byte padded with zero bits.
  std::vector<std::uint8_t> Bytes() const { return bytes_; }
  std::size_t BitCount() const { return bitCount_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t bitCount_ = 0;
};

// One entry of a zip archive as its central directory and local header describe it.
struct WalkedEntry {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint32_t packedSize = 0;
  std::uint32_t unpackedSize = 0;
  std::size_t dataOffset = 0;  // first byte after the local header's name and extra field
};

// Reads a whole file; empty with ok = false when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path, bool& ok);

// The entries of a zip image; `error` names the first structural fault (then the list is
// whatever was read before it).
std::vector<WalkedEntry> WalkZip(const std::vector<std::uint8_t>& zip, std::string& error);

}  // namespace orb::arx::legacy_test
