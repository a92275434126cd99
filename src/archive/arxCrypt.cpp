// Traditional zip encryption: the key schedule and the 12-byte header check.
#include "archive/arxCrypt.h"

#include "archive/Crc32.h"
#include "archive/ZipRecords.h"

#include <vector>

namespace orb::arx {

void ZipKeys::InitKeys(const std::string& password) {
  key0_ = 0x12345678u;
  key1_ = 0x23456789u;
  key2_ = 0x34567890u;
  for (char c : password) UpdateKeys(static_cast<std::uint8_t>(c));
}

void ZipKeys::UpdateKeys(std::uint8_t plain) {
  key0_ = Crc32Byte(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = Crc32Byte(key2_, static_cast<std::uint8_t>(key1_ >> 24));
}

std::uint8_t ZipKeys::DecryptByte() const {
  // The note computes this in 16 bits: temp := key2 | 2, (temp * (temp ^ 1)) >> 8.
  std::uint16_t temp = static_cast<std::uint16_t>(key2_ | 2);
  return static_cast<std::uint8_t>((static_cast<std::uint32_t>(temp) * (temp ^ 1u)) >> 8);
}

std::uint8_t ZipKeys::Decrypt(std::uint8_t cipher) {
  std::uint8_t plain = cipher ^ DecryptByte();
  UpdateKeys(plain);
  return plain;
}

void ZipKeys::DecryptBuffer(std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) data[i] = Decrypt(data[i]);
}

std::uint8_t ZipKeys::EncryptByte(std::uint8_t plain) {
  std::uint8_t cipher = plain ^ DecryptByte();
  UpdateKeys(plain);
  return cipher;
}

bool CheckPasswordHeader(ZipKeys& keys, std::span<const std::uint8_t, kCryptHeaderSize> header,
                         std::uint16_t flags, std::uint32_t crc, std::uint32_t dosDateTime,
                         const std::string& password, std::uint8_t* plainOut) {
  if (password.empty()) return false;
  keys.InitKeys(password);
  std::uint8_t last = 0;
  for (std::size_t i = 0; i < kCryptHeaderSize; ++i) {
    last = keys.Decrypt(header[i]);
    if (plainOut) plainOut[i] = last;
  }
  // Writers that stream (flag bit 3) do not know the CRC when they write the header and put
  // the high byte of the file time there instead.
  std::uint8_t check = (flags & kFlagDescriptor) ? static_cast<std::uint8_t>(dosDateTime >> 8)
                                        : static_cast<std::uint8_t>(crc >> 24);
  return last == check;
}

std::size_t DecryptingSource::Read(std::uint8_t* buf, std::size_t max) {
  std::size_t n = inner_.Read(buf, max);
  keys_.DecryptBuffer(buf, n);
  return n;
}

void DecryptingSink::Write(const std::uint8_t* data, std::size_t n) {
  std::vector<std::uint8_t> plain(data, data + n);
  keys_.DecryptBuffer(plain.data(), n);
  inner_.Write(plain.data(), n);
}

}  // namespace orb::arx
