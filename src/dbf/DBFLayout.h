// The dBASE-family table file as this library reads and writes it: the 32-byte header,
// the 32-byte field descriptors, the terminator block and the trailer, with the
// little-endian helpers that decode them field by field.
//
// File layout (all integers little-endian, unsigned):
//
//   header (32 bytes) | descriptors (32 bytes each) | 0x0D [263 zero bytes] | records | trailer
//
// The header length stored at bytes 8-9 is the file offset of record 0. Files written here
// follow the 0x0D terminator with 263 zero bytes, so an n-field header is 32 n + 296 bytes;
// other writers put records right behind the terminator (32 n + 33). A reader uses only the
// terminator and the header length.
//
// Classic and wide form. Bytes 8-11 hold header length and record length (deletion flag
// included) while there are fewer than 2,000 fields. From 2,000 fields on they hold the
// marker 296 and the field count; the header is then 32 n + 296 bytes and the record length
// is the sum of the descriptors' lengths plus one. A header length of 296 read from a file
// always means wide form (it is also what an empty definition gets).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/byteorder.h"

namespace orb::dbf {

using platform::GetLe16;
using platform::GetLe32;
using platform::PutLe16;
using platform::PutLe32;

constexpr std::uint8_t kVersionByte = 0x30;
constexpr std::uint16_t kWideMarker = 296;        // bytes 8-9 in wide form
constexpr std::uint32_t kWideFieldCount = 2000;   // from here on the header is wide
constexpr std::uint8_t kTerminator = 0x0D;
constexpr std::size_t kTerminatorBlockSize = 264;  // 0x0D and 263 zero bytes
constexpr std::uint8_t kDeletedFlag = '*';
constexpr std::uint8_t kLiveFlag = ' ';
constexpr std::uint32_t kMaxClassicRecordLength = 0xFFFF;

// Table header: 32 bytes at offset 0.
//  off size
//    0   1  version byte (0x30 written; ignored when read)
//    1   1  year of last update - 1900, modulo 256
//    2   1  month of last update, 1-12
//    3   1  day of last update, 1-31
//    4   4  record count, live and deleted
//    8   2  header length, or 296 in wide form
//   10   2  record length, or the field count in wide form
//   12  16  reserved, zero
//   28   1  table flags (0 written)
//   29   1  code page mark (0 written; not interpreted)
//   30   2  reserved, zero
struct DBFHeader {
  static constexpr std::size_t kSize = 32;

  std::uint8_t version = 0;
  std::uint8_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint32_t record_count = 0;
  std::uint16_t header_length = 0;  // or kWideMarker
  std::uint16_t record_length = 0;  // or the field count in wide form
  std::uint8_t table_flags = 0;
  std::uint8_t code_page = 0;

  static DBFHeader Decode(const std::uint8_t* p) {
    DBFHeader h;
    h.version = p[0];
    h.year = p[1];
    h.month = p[2];
    h.day = p[3];
    h.record_count = GetLe32(p + 4);
    h.header_length = GetLe16(p + 8);
    h.record_length = GetLe16(p + 10);
    h.table_flags = p[28];
    h.code_page = p[29];
    return h;
  }
  // Writes all 32 bytes; the reserved ones are zero.
  void Encode(std::uint8_t* p) const {
    for (std::size_t i = 0; i < kSize; ++i) p[i] = 0;
    p[0] = version;
    p[1] = year;
    p[2] = month;
    p[3] = day;
    PutLe32(p + 4, record_count);
    PutLe16(p + 8, header_length);
    PutLe16(p + 10, record_length);
    p[28] = table_flags;
    p[29] = code_page;
  }
  // A header as this library writes it: version 0x30, today's date, and bytes 8-11 in the
  // classic or the wide form chosen by `wide`.
  static DBFHeader Make(std::uint32_t record_count, bool wide, std::uint32_t header_size,
                        std::uint32_t record_size, std::uint32_t field_count);
};

// Field descriptor: 32 bytes each, from offset 32, in field order.
//  off size
//    0  11  name: at most 10 characters, upper case, NUL-padded
//   11   1  type letter
//   12   4  position inside the record (1 + lengths of the fields before; ignored on read)
//   16   1  length in bytes
//   17   1  decimal count
//   18  14  reserved, zero
struct DBFFieldDescriptor {
  static constexpr std::size_t kSize = 32;
  static constexpr std::size_t kNameBytes = 11;
  static constexpr std::size_t kMaxNameLength = 10;

  std::string name;  // the bytes up to the first NUL (at most 11)
  char type = 0;
  std::uint32_t position = 0;
  std::uint8_t length = 0;
  std::uint8_t decimals = 0;

  static DBFFieldDescriptor Decode(const std::uint8_t* p) {
    DBFFieldDescriptor d;
    std::size_t n = 0;
    while (n < kNameBytes && p[n] != 0) ++n;
    d.name.assign(reinterpret_cast<const char*>(p), n);
    d.type = static_cast<char>(p[11]);
    d.position = GetLe32(p + 12);
    d.length = p[16];
    d.decimals = p[17];
    return d;
  }
  // Writes all 32 bytes; the name is cut to 10 bytes and NUL-padded.
  void Encode(std::uint8_t* p) const {
    for (std::size_t i = 0; i < kSize; ++i) p[i] = 0;
    for (std::size_t i = 0; i < name.size() && i < kMaxNameLength; ++i)
      p[i] = static_cast<std::uint8_t>(name[i]);
    p[11] = static_cast<std::uint8_t>(type);
    PutLe32(p + 12, position);
    p[16] = length;
    p[17] = decimals;
  }
};

// Upper case for the ASCII letters a-z of a GBK byte string. The trail byte of a
// double-byte character is left alone even when it lies in 'a'..'z' (0x61-0x7A are valid
// trail bytes), so a character is never turned into another one.
std::string UpperCaseAscii(const std::string& s);

// Equality under the same folding: a-z and A-Z compare equal, every other byte (both
// bytes of a double-byte character included) must be equal.
bool SameTextAscii(const std::string& a, const std::string& b);

}  // namespace orb::dbf
