// Builds small zip archives byte by byte for the tests of the engine and the installer:
// stored entries, "deflated" entries made of raw stored deflate blocks (so the inflate path
// runs without an encoder), folder entries, traditional encryption, a comment and bytes after
// the end record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/Crc32.h"
#include "archive/arxCrypt.h"

namespace orbtest {

struct ZipItem {
  std::string name;              // stored name, bytes as given ('/' separators)
  std::string data;              // uncompressed content
  std::uint16_t method = 0;      // 0 stored, 8 deflate (stored blocks); others: data as is
  std::string password;          // non-empty: traditional encryption
  bool folder = false;           // a folder entry: no data, attributes 0x10
  std::uint32_t attr = 0x20;     // external attributes of a file entry
  std::uint32_t dos_time = 0x5A8C6B21;  // 2025-04-12 13:25:02
  std::uint16_t extra_flags = 0;  // ORed into the general-purpose flags
  std::int64_t crc_override = -1;  // stores this CRC instead of the real one
  std::string payload;             // non-empty: stored as the compressed bytes as they are
};

// Raw deflate of `data` as stored blocks (at most 65,535 bytes each).
inline std::string DeflateStored(const std::string& data) {
  std::string out;
  std::size_t pos = 0;
  do {
    std::size_t n = std::min<std::size_t>(65535, data.size() - pos);
    bool last = pos + n == data.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(~n & 0xFF);
    out += static_cast<char>((~n >> 8) & 0xFF);
    out.append(data, pos, n);
    pos += n;
  } while (pos < data.size());
  return out;
}

class ZipBuilder {
 public:
  void Add(const ZipItem& item) { items_.push_back(item); }
  std::string comment;
  std::string leading;   // bytes before the archive (offsets are not adjusted)
  std::string trailing;  // bytes after the end record

  // Offsets of each entry's local header in the last Build().
  std::vector<std::uint32_t> offsets;
  std::uint32_t central_offset = 0;

  std::string Build() {
    std::string out = leading;
    std::string central;
    offsets.clear();
    for (const ZipItem& it : items_) {
      std::string payload = it.folder ? std::string() : it.data;
      if (!it.folder && it.method == 8) payload = DeflateStored(it.data);
      if (!it.payload.empty()) payload = it.payload;
      std::uint32_t crc = it.folder ? 0 : orb::arx::Crc32(
          reinterpret_cast<const std::uint8_t*>(it.data.data()), it.data.size());
      if (it.crc_override >= 0) crc = static_cast<std::uint32_t>(it.crc_override);
      std::uint16_t flags = it.extra_flags;
      if (!it.password.empty()) {
        flags |= 1;
        orb::arx::ZipKeys keys;
        keys.InitKeys(it.password);
        std::string enc;
        std::uint8_t check = (flags & 8) ? static_cast<std::uint8_t>(it.dos_time >> 8)
                                         : static_cast<std::uint8_t>(crc >> 24);
        for (int i = 0; i < 12; ++i) {
          std::uint8_t plain = i == 11 ? check : static_cast<std::uint8_t>(0x37 * i + 5);
          enc += static_cast<char>(keys.EncryptByte(plain));
        }
        for (char c : payload) enc += static_cast<char>(keys.EncryptByte(static_cast<std::uint8_t>(c)));
        payload = enc;
      }
      std::uint32_t off = static_cast<std::uint32_t>(out.size());
      offsets.push_back(off);
      std::uint16_t method = it.folder ? 0 : it.method;
      std::string lh;
      Put32(lh, 0x04034B50);
      Put16(lh, 20);
      Put16(lh, flags);
      Put16(lh, method);
      Put32(lh, it.dos_time);
      Put32(lh, crc);
      Put32(lh, static_cast<std::uint32_t>(payload.size()));
      Put32(lh, static_cast<std::uint32_t>(it.folder ? 0 : it.data.size()));
      Put16(lh, static_cast<std::uint16_t>(it.name.size()));
      Put16(lh, 0);
      out += lh + it.name + payload;

      std::string ch;
      Put32(ch, 0x02014B50);
      Put16(ch, 20);
      Put16(ch, 20);
      Put16(ch, flags);
      Put16(ch, method);
      Put32(ch, it.dos_time);
      Put32(ch, crc);
      Put32(ch, static_cast<std::uint32_t>(payload.size()));
      Put32(ch, static_cast<std::uint32_t>(it.folder ? 0 : it.data.size()));
      Put16(ch, static_cast<std::uint16_t>(it.name.size()));
      Put16(ch, 0);
      Put16(ch, 0);
      Put16(ch, 0);
      Put16(ch, 0);
      Put32(ch, it.folder ? 0x10 : it.attr);
      Put32(ch, off);
      central += ch + it.name;
    }
    central_offset = static_cast<std::uint32_t>(out.size());
    out += central;
    std::string er;
    Put32(er, 0x06054B50);
    Put16(er, 0);
    Put16(er, 0);
    Put16(er, static_cast<std::uint16_t>(items_.size()));
    Put16(er, static_cast<std::uint16_t>(items_.size()));
    Put32(er, static_cast<std::uint32_t>(central.size()));
    Put32(er, central_offset);
    Put16(er, static_cast<std::uint16_t>(comment.size()));
    return out + er + comment + trailing;
  }

  static void Put16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
  }
  static void Put32(std::string& s, std::uint32_t v) {
    Put16(s, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(s, static_cast<std::uint16_t>(v >> 16));
  }

 private:
  std::vector<ZipItem> items_;
};

}  // namespace orbtest
