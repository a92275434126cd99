// Traditional decryption against an entry encrypted by another implementation.
//
// Fixture: the 12-byte encryption header and data of the one stored entry of an archive made
// once with Info-ZIP zip 3.0 (Debian), `zip -0 -P secret stored.zip hello.txt`, where
// hello.txt held "Hello, traditional encryption!\n" dated 2024-03-05 10:20:30. That zip sets
// flag bit 3 for encrypted entries (flags 0x0009), so its check byte is the high byte of the
// DOS time 0x528F; CRC-32 0x38C6C034, DOS date-time 0x5865528F.
#include "archive/arxCrypt.h"

#include "archive/Crc32.h"
#include "archive/DecoderFakes.h"

#include <gtest/gtest.h>

namespace orb::arx {
namespace {

using test::Bytes;

const Bytes kEncrypted = test::FromHex(
    "61eb24973e3643cf83e44ca3"  // encryption header
    "5d01a5545cb67b5e26a635562e07e572d7c871196b6824b4c52869ead485ae");
const std::string kPlain = "Hello, traditional encryption!\n";
constexpr std::uint32_t kCrc = 0x38C6C034u;
constexpr std::uint32_t kDateTime = 0x5865528Fu;

std::span<const std::uint8_t, kCryptHeaderSize> Header() {
  return std::span<const std::uint8_t, kCryptHeaderSize>(kEncrypted.data(), kCryptHeaderSize);
}

TEST(CryptTest, HeaderCheckComparesTheRightByte) {
  struct Case {
    const char* name;
    std::string password;
    std::uint16_t flags;
    std::uint32_t crc;
    bool ok;
  };
  const Case cases[] = {
      {"right password, bit 3: DOS time high byte", "secret", 0x0009, kCrc, true},
      {"right password, no bit 3: CRC high byte differs", "secret", 0x0001, kCrc, false},
      {"right password, no bit 3: CRC high byte matches", "secret", 0x0001, 0x52000000u, true},
      {"wrong password", "Secret", 0x0009, kCrc, false},
      {"empty password", "", 0x0009, kCrc, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZipKeys keys;
    EXPECT_EQ(CheckPasswordHeader(keys, Header(), c.flags, c.crc, kDateTime, c.password), c.ok);
  }
}

TEST(CryptTest, DataContinuesFromTheKeysOfTheHeaderCheck) {
  ZipKeys keys;
  ASSERT_TRUE(CheckPasswordHeader(keys, Header(), 0x0009, kCrc, kDateTime, "secret"));
  Bytes data(kEncrypted.begin() + kCryptHeaderSize, kEncrypted.end());
  keys.DecryptBuffer(data.data(), data.size());
  EXPECT_EQ(std::string(data.begin(), data.end()), kPlain);
  EXPECT_EQ(Crc32(data.data(), data.size()), kCrc);
}

TEST(CryptTest, FiltersDecryptInPieces) {
  Bytes cipher(kEncrypted.begin() + kCryptHeaderSize, kEncrypted.end());
  {
    SCOPED_TRACE("source");
    ZipKeys keys;
    ASSERT_TRUE(CheckPasswordHeader(keys, Header(), 0x0009, kCrc, kDateTime, "secret"));
    test::VectorSource inner(cipher, 5);
    DecryptingSource source(inner, keys);
    std::string out;
    std::uint8_t buf[64];
    while (std::size_t n = source.Read(buf, sizeof buf)) out.append(buf, buf + n);
    EXPECT_EQ(out, kPlain);
  }
  {
    SCOPED_TRACE("sink");
    ZipKeys keys;
    ASSERT_TRUE(CheckPasswordHeader(keys, Header(), 0x0009, kCrc, kDateTime, "secret"));
    test::RecordingSink inner;
    DecryptingSink sink(inner, keys);
    sink.Write(cipher.data(), 10);
    sink.Write(cipher.data() + 10, cipher.size() - 10);
    EXPECT_EQ(std::string(inner.bytes.begin(), inner.bytes.end()), kPlain);
  }
}

TEST(CryptTest, EncryptionRoundTripsThroughTheHeaderCheck) {
  // A header written the way a writer does (11 arbitrary bytes, then the check byte) passes
  // the check with the same password and the data decrypts back.
  ZipKeys enc;
  enc.InitKeys("pa\xA1\xA2ss");
  Bytes stream;
  for (int i = 0; i < 11; ++i) stream.push_back(enc.EncryptByte(static_cast<std::uint8_t>(i * 37)));
  stream.push_back(enc.EncryptByte(0xAB));
  for (char c : kPlain) stream.push_back(enc.EncryptByte(static_cast<std::uint8_t>(c)));

  ZipKeys dec;
  std::uint8_t plainHeader[kCryptHeaderSize];
  ASSERT_TRUE(CheckPasswordHeader(dec, std::span<const std::uint8_t, kCryptHeaderSize>(stream.data(), kCryptHeaderSize),
                                  0x0000, 0xAB000000u, 0, "pa\xA1\xA2ss", plainHeader));
  EXPECT_EQ(plainHeader[5], 5 * 37);
  dec.DecryptBuffer(stream.data() + kCryptHeaderSize, kPlain.size());
  EXPECT_EQ(std::string(stream.begin() + kCryptHeaderSize, stream.end()), kPlain);
}

}  // namespace
}  // namespace orb::arx
