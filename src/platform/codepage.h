// Code-page services: CompareStringA(NORM_IGNORECASE) under the user's locale, OemToCharA,
// and conversions from the ANSI code page (936, GBK) for display.
#pragma once

#include <string>

namespace platform {

// CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, b): < 0, 0 or > 0.
int CompareTextIgnoreCase(const std::string& a, const std::string& b);

// OemToCharA. With both code pages 936 GBK text passes unchanged.
std::string OemToAnsi(const std::string& text);

// MultiByteToWideChar(936) and back; invalid sequences become U+FFFD / '?'.
std::u16string GbkToUtf16(const std::string& gbk);
std::string Utf16ToGbk(const std::u16string& text);
std::string GbkToUtf8(const std::string& gbk);
std::string Utf8ToGbk(const std::string& utf8);

// Converts GBK text to the character set of the terminal the process writes to (the
// locale's on POSIX, the console's code page on Windows).
std::string GbkToTerminal(const std::string& gbk);

}  // namespace platform
