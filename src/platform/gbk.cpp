// Windows path rules over GBK byte strings. A GBK character is one byte below 0x81 or a lead
// byte (0x81..0xFE) with the byte after it, whatever that byte is; so scanning must start at
// the beginning of the string; looking backwards for 0x5C would split 乗 (81 5C).
#include "platform/gbk.h"

#include <cstring>

namespace platform {

std::size_t LastCharStart(const std::string& s) {
  std::size_t last = s.size();
  for (std::size_t i = 0; i < s.size();) {
    last = i;
    // A lead byte at the very end has no trail: it stands alone.
    i += (IsGbkLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  }
  return last;
}

bool EndsWithChar(const std::string& s, char c) {
  std::size_t at = LastCharStart(s);
  return at < s.size() && at + 1 == s.size() && s[at] == c;
}

std::size_t LastDelimiter(const std::string& s, const char* seps) {
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (IsGbkLeadByte(c) && i + 1 < s.size()) {
      i += 2;
      continue;
    }
    if (c != 0 && std::strchr(seps, c) != nullptr) found = i;
    ++i;
  }
  return found;
}

}  // namespace platform
