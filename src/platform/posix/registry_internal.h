// The hive model shared by the registry and the volume code (which reads the drive types
// from HKLM\Software\Wine\Drives).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace platform::posix {

inline constexpr std::uint32_t kWriteRightsMask =
    0x0002 | 0x0004 | 0x0020 | 0x10000 | 0x40000 | 0x80000;

struct HiveValue {
  std::u16string name;   // empty: the default value
  std::uint32_t type = 0;
  std::string data;      // as stored: string types in UTF-16LE with their terminator
  std::string raw;       // the text read from the file; empty once changed
};

struct HiveKey {
  std::u16string name;
  std::u16string folded;
  std::string header;               // "[name] time" as read or made
  std::vector<std::string> meta;    // "#time=..." and other '#' lines
  std::vector<HiveValue> values;
};

struct Hive {
  std::vector<std::string> header;
  std::vector<HiveKey> keys;
  bool win64 = false;

  void Parse(const std::string& text);
  std::string Serialize() const;
  HiveKey* Find(const std::u16string& path);
  // A key exists when it is written or when a written key lies below it.
  bool Exists(const std::u16string& path);
  HiveKey& Create(const std::u16string& path);
  // The 32-bit program's view: HKLM\Software of a 64-bit prefix is Software\Wow6432Node.
  std::u16string View(RootKey root, const std::u16string& path) const;
};

std::uint32_t LoadHive(RootKey root, Hive& hive, bool& writable);
std::uint32_t ModifyHive(RootKey root, const std::function<void(Hive&)>& change);
std::u16string RegistryPath(const std::string& subkey_gbk);
// The data as RegQueryValueExA returns it: strings converted to GBK.
std::string ValueForQuery(const HiveValue& v);
std::string U16Bytes(const std::u16string& s);

}  // namespace platform::posix
