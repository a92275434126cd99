// Windows path rules over GBK byte strings: plain code, the same on every build.
// A GBK lead byte is 0x81..0xFE; the byte after it is part of the same character even when
// it is 0x5C ('\'), so such a trail byte is never a separator (乗 = 81 5C).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length in bytes of the character that starts at s[i]: 2 for a lead byte with a byte after
// it, 1 otherwise (a lead byte at the very end stands alone).
inline std::size_t CharLength(const std::string& s, std::size_t i) {
  return IsGbkLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

enum class EmptyParts { kDrop, kKeep };

// The parts of `s` between separators (any of `seps`) that are whole characters. With
// kDrop, separators in a row and at either end make no empty part ("\\a\\b\\" is a, b);
// with kKeep every separator ends a part ("a\\" is a and an empty name).
std::vector<std::string> SplitPath(const std::string& s, const char* seps = "\\/",
                                   EmptyParts empty = EmptyParts::kDrop);

// Offset of the start of the last whole character of `s` (s.size() when empty).
std::size_t LastCharStart(const std::string& s);

// True when the last whole character of `s` is `c` (a single-byte character).
bool EndsWithChar(const std::string& s, char c);

// Offset of the last separator ('\\', or any of `seps`) that is a whole character, or npos.
std::size_t LastDelimiter(const std::string& s, const char* seps = "\\");

}  // namespace platform
