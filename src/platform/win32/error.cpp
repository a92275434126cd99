// The thread's last error and the system's message texts, straight from Windows.
#include "platform/error.h"

#include "platform/win32/windows_api.h"

namespace platform {

std::uint32_t LastError() { return ::GetLastError(); }

void SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::string SystemErrorText(std::uint32_t code) {
  DWORD saved = ::GetLastError();
  char buffer[1024];
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, sizeof buffer, nullptr);
  // Asking for the text of an error must not replace the error being described.
  ::SetLastError(saved);
  return std::string(buffer, n);
}

}  // namespace platform
