// The registry string read both backends share: it needs only RegKey.
#include "platform/registry.h"

namespace platform {

StringRead ReadString(RootKey root, const std::string& key, const std::string& name,
                      std::string& value) {
  RegKey reg;
  if (reg.Open(root, key, kKeyAllAccess) != 0) return StringRead::kAbsent;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (reg.QueryInfo(name, type, size) != 0) return StringRead::kAbsent;
  if (size == 0) {
    value.clear();
    return StringRead::kRead;
  }
  if (type != kRegSz && type != kRegExpandSz) return StringRead::kNotAString;
  RegValue data;
  if (reg.Query(name, data) != 0) return StringRead::kAbsent;
  value = data.data.substr(0, data.data.find('\0'));
  return StringRead::kRead;
}

}  // namespace platform
