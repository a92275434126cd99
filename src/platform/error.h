// The calling thread's last error and the system's text for an error code.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// GetLastError / SetLastError. Every layer call sets it (0 on success).
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// The system's message text for `code` as FormatMessageA gives it (system message table,
// language 0), in GBK, unaltered (Windows ends most texts with "\r\n"). On the POSIX
// backend the texts are those of a Chinese Windows, for example 2 -> "系统找不到指定的文件。".
// Unknown codes give an empty string.
std::string SystemErrorText(std::uint32_t code);

}  // namespace platform
