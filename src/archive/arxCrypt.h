// Traditional zip encryption (the zip application note's stream cipher): key schedule,
// the 12-byte encryption header check, and decryption as a filter between the archive file
// and a decoder (DecryptingSource) or between a stored entry and its output (DecryptingSink).
//
// One ZipKeys object is shared by the header check and the data, so the data continues from
// the key state the header check left.
#pragma once

#include "archive/ByteIO.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orb::arx {

inline constexpr std::size_t kCryptHeaderSize = 12;

class ZipKeys {
 public:
  // key0 := 0x12345678, key1 := 0x23456789, key2 := 0x34567890, then UpdateKeys with each
  // byte of the password in order.
  void InitKeys(const std::string& password);
  void UpdateKeys(std::uint8_t plain);
  // The next keystream byte (does not advance the keys).
  std::uint8_t DecryptByte() const;
  // plain := cipher XOR DecryptByte(), then UpdateKeys(plain).
  std::uint8_t Decrypt(std::uint8_t cipher);
  void DecryptBuffer(std::uint8_t* data, std::size_t n);
  // cipher := plain XOR DecryptByte(), then UpdateKeys(plain).
  std::uint8_t EncryptByte(std::uint8_t plain);

  std::uint32_t Key0() const { return key0_; }
  std::uint32_t Key1() const { return key1_; }
  std::uint32_t Key2() const { return key2_; }

 private:
  std::uint32_t key0_ = 0x12345678u;
  std::uint32_t key1_ = 0x23456789u;
  std::uint32_t key2_ = 0x34567890u;
};

// The header check of one attempt. `header` is the 12-byte encryption header as read from the
// archive (kept by the caller so that each attempt starts from it). An empty password fails at
// once. Otherwise the keys are initialised from the password and the header decrypted through
// them (the plaintext goes to `plainOut` when given); the last plaintext byte must equal the
// high byte of the DOS time (bits 8..15 of dosDateTime) when flag bit 3 is set, else the high
// byte of the CRC-32 (bits 24..31). Only that one byte is compared, so a wrong password passes
// about once in 256 attempts; the CRC verdict catches it.
bool CheckPasswordHeader(ZipKeys& keys, std::span<const std::uint8_t, kCryptHeaderSize> header,
                         std::uint16_t flags, std::uint32_t crc, std::uint32_t dosDateTime,
                         const std::string& password,
                         std::uint8_t* plainOut = nullptr);

// Decrypts the bytes of another source as they pass.
class DecryptingSource : public ByteSource {
 public:
  DecryptingSource(ByteSource& inner, ZipKeys& keys) : inner_(inner), keys_(keys) {}
  std::size_t Read(std::uint8_t* buf, std::size_t max) override;
  bool Cancelled() const override { return inner_.Cancelled(); }

 private:
  ByteSource& inner_;
  ZipKeys& keys_;
};

// Decrypts each piece before passing it on (stored entries decrypt on the write side).
class DecryptingSink : public ByteSink {
 public:
  DecryptingSink(ByteSink& inner, ZipKeys& keys) : inner_(inner), keys_(keys) {}
  void Write(const std::uint8_t* data, std::size_t n) override;

 private:
  ByteSink& inner_;
  ZipKeys& keys_;
};

}  // namespace orb::arx
