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
    i += CharLength(s, i);
  }
  return last;
}

bool EndsWithChar(const std::string& s, char c) {
  std::size_t at = LastCharStart(s);
  return at < s.size() && at + 1 == s.size() && s[at] == c;
}

std::size_t LastDelimiter(const std::string& s, const char* seps) {
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
    if (CharLength(s, i) == 1 && s[i] != 0 && std::strchr(seps, s[i]) != nullptr) found = i;
  }
  return found;
}

std::vector<std::string> SplitPath(const std::string& s, const char* seps, EmptyParts empty) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  auto end_part = [&](std::size_t end) {
    if (end > start || empty == EmptyParts::kKeep) parts.push_back(s.substr(start, end - start));
  };
  for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
    if (CharLength(s, i) == 1 && s[i] != 0 && std::strchr(seps, s[i]) != nullptr) {
      end_part(i);
      start = i + 1;
    }
  }
  end_part(s.size());
  return parts;
}

}  // namespace platform
