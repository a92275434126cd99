// Windows path rules over GBK byte strings: plain code, the same on every build.
// A GBK lead byte is 0x81..0xFE; the byte after it is part of the same character even when
// it is 0x5C ('\'), so such a trail byte is never a separator (乗 = 81 5C).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Offset of the start of the last whole character of `s` (s.size() when empty).
std::size_t LastCharStart(const std::string& s);

// True when the last whole character of `s` is `c` (a single-byte character).
bool EndsWithChar(const std::string& s, char c);

// Offset of the last separator ('\\', or any of `seps`) that is a whole character, or npos.
std::size_t LastDelimiter(const std::string& s, const char* seps = "\\");

}  // namespace platform
