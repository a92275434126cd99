// Test-only helpers for the legacy decoder tests. See LegacyTestIO.h.
#include "archive/legacy_support/LegacyTestIO.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orb::arx::legacy_test {

std::size_t MemorySource::Read(std::uint8_t* buf, std::size_t max) {
  const std::size_t n = std::min({max, chunk_, data_.size() - pos_});
  if (n > 0) std::memcpy(buf, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

void PieceSink::Write(const std::uint8_t* data, std::size_t n) {
  pieces_.emplace_back(data, data + n);
}

std::vector<std::uint8_t> PieceSink::Bytes() const {
  std::vector<std::uint8_t> all;
  for (const auto& p : pieces_) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string PieceSink::Text() const {
  std::vector<std::uint8_t> all = Bytes();
  return std::string(all.begin(), all.end());
}

BitWriter& BitWriter::Bits(unsigned value, unsigned n) {
  for (unsigned i = 0; i < n; ++i) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    if ((value >> i) & 1) bytes_.back() |= static_cast<std::uint8_t>(1u << (bitCount_ % 8));
    ++bitCount_;
  }
  return *this;
}

BitWriter& BitWriter::CodeMsbFirst(unsigned value, unsigned n) {
  for (unsigned i = n; i-- > 0;) Bits((value >> i) & 1, 1);
  return *this;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, bool& ok) {
  std::ifstream f(path, std::ios::binary);
  ok = static_cast<bool>(f);
  if (!ok) return {};
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f),
                                   std::istreambuf_iterator<char>());
}

namespace {

std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t off, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | b[off + i];
  return v;
}

// End of central directory record: 22 bytes, then the archive comment.
//  off size
//    0   4  signature 0x06054B50
//   10   2  entries in the directory
//   12   4  directory size
//   16   4  directory offset
constexpr std::size_t kEndRecordSize = 22;
constexpr std::uint32_t kEndSignature = 0x06054B50;
// Central directory header: 46 bytes, then name, extra, comment.
//  off size
//    0   4  signature 0x02014B50
//    8   2  flags
//   10   2  method
//   16   4  CRC-32
//   20   4  packed size
//   24   4  unpacked size
//   28   2  name length
//   30   2  extra length
//   32   2  comment length
//   42   4  offset of the local header
constexpr std::size_t kCentralSize = 46;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
// Local file header: 30 bytes, then name, extra, data.
//  off size
//    0   4  signature 0x04034B50
//   26   2  name length
//   28   2  extra length
constexpr std::size_t kLocalSize = 30;
constexpr std::uint32_t kLocalSignature = 0x04034B50;

}  // namespace

std::vector<WalkedEntry> WalkZip(const std::vector<std::uint8_t>& zip, std::string& error) {
  std::vector<WalkedEntry> entries;
  error.clear();
  if (zip.size() < kEndRecordSize) {
    error = "too short for an end record";
    return entries;
  }
  std::size_t end = zip.size() - kEndRecordSize + 1;
  bool found = false;
  while (end-- > 0 && zip.size() - end <= kEndRecordSize + 0xFFFF) {
    if (Le(zip, end, 4) == kEndSignature) {
      found = true;
      break;
    }
  }
  if (!found) {
    error = "no end record";
    return entries;
  }
  const std::uint32_t count = Le(zip, end + 10, 2);
  std::size_t pos = Le(zip, end + 16, 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (pos + kCentralSize > zip.size() || Le(zip, pos, 4) != kCentralSignature) {
      error = "bad central header " + std::to_string(i);
      return entries;
    }
    WalkedEntry e;
    e.flags = static_cast<std::uint16_t>(Le(zip, pos + 8, 2));
    e.method = static_cast<std::uint16_t>(Le(zip, pos + 10, 2));
    e.crc = Le(zip, pos + 16, 4);
    e.packedSize = Le(zip, pos + 20, 4);
    e.unpackedSize = Le(zip, pos + 24, 4);
    const std::size_t nameLen = Le(zip, pos + 28, 2);
    const std::size_t extraLen = Le(zip, pos + 30, 2);
    const std::size_t commentLen = Le(zip, pos + 32, 2);
    const std::size_t local = Le(zip, pos + 42, 4);
    if (pos + kCentralSize + nameLen > zip.size()) {
      error = "central name past the end";
      return entries;
    }
    e.name.assign(zip.begin() + pos + kCentralSize, zip.begin() + pos + kCentralSize + nameLen);
    if (local + kLocalSize > zip.size() || Le(zip, local, 4) != kLocalSignature) {
      error = "bad local header for " + e.name;
      return entries;
    }
    e.dataOffset = local + kLocalSize + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
    if (e.dataOffset + e.packedSize > zip.size()) {
      error = "data past the end for " + e.name;
      return entries;
    }
    entries.push_back(e);
    pos += kCentralSize + nameLen + extraLen + commentLen;
  }
  return entries;
}

}  // namespace orb::arx::legacy_test
