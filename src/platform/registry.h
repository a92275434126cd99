// Registry reads: RegOpenKeyExA, RegQueryValueExA, RegCloseKey.
//
// Every key opened here is opened in the 32-bit view of HKEY_LOCAL_MACHINE\Software, where
// the host (a 32-bit program) keeps its values: KEY_WOW64_32KEY on Windows, the prefix's
// Wow6432Node redirection on POSIX. On POSIX HKEY_LOCAL_MACHINE is the prefix's system.reg
// and HKEY_CURRENT_USER its user.reg; opening with write access fails with access denied
// when the hive file is not writable by the process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class RootKey : std::uint32_t {
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
};

enum : std::uint32_t {
  kKeyQueryValue = 0x0001,
  kKeyRead = 0x20019,
  kKeyAllAccess = 0xF003F,

  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
  kRegQword = 11,
};

// A value's type and its data exactly as RegQueryValueExA returns them: string data in GBK
// including its terminating zero byte(s), REG_EXPAND_SZ unexpanded.
struct RegValue {
  std::uint32_t type = kRegNone;
  std::string data;
};

class RegKey {
 public:
  RegKey();
  ~RegKey();
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // RegOpenKeyExA(root, subkey, 0, access): never creates the key.
  std::uint32_t Open(RootKey root, const std::string& subkey, std::uint32_t access);
  // RegQueryValueExA without data: type and size only. Empty name = the default value.
  std::uint32_t QueryInfo(const std::string& name, std::uint32_t& type, std::uint32_t& size);
  // RegQueryValueExA with data.
  std::uint32_t Query(const std::string& name, RegValue& out);
  void Close();
  bool IsOpen() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// How the system reads a string value: the key opened with full access (never created), the
// value's type and size asked first, a string type taken up to its first zero byte (an
// expandable string stays unexpanded), an empty value read as "".
enum class StringRead { kRead, kAbsent, kNotAString };
StringRead ReadString(RootKey root, const std::string& key, const std::string& name,
                      std::string& value);

// Writes, for tests and tools that prepare a machine (the installer itself only reads).
// The key is created with its parents when missing; `data` is given as RegQueryValueExA
// would return it (GBK text with its terminating zero for string types). On Windows these go
// through the W functions after converting from code page 936.
std::uint32_t RegWriteValue(RootKey root, const std::string& subkey, const std::string& name,
                            std::uint32_t type, const std::string& data);
// Deletes a key with all its subkeys and values; a missing key is not an error.
std::uint32_t RegDeleteTree(RootKey root, const std::string& subkey);

}  // namespace platform
