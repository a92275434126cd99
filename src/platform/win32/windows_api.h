// The one place that includes <windows.h>, and the small helpers every file of the Windows
// backend shares. Only files in this folder include it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <objbase.h>
#include <winver.h>

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform::win32 {

// The layer promises that every call leaves its outcome as the thread's last error, 0 on
// success included; the API itself often leaves a stale code behind on success.
inline std::uint32_t Outcome(DWORD code) {
  ::SetLastError(code);
  return code;
}

// The error of a call that just reported failure. A few API calls fail without setting a
// code; a failure must never read as success.
inline std::uint32_t Failure() {
  DWORD code = ::GetLastError();
  if (code == 0) code = ERROR_GEN_FAILURE;
  return Outcome(code);
}

inline HANDLE ToHandle(std::uintptr_t h) { return reinterpret_cast<HANDLE>(h); }
inline std::uintptr_t FromHandle(HANDLE h) { return reinterpret_cast<std::uintptr_t>(h); }

// Code page 936 to UTF-16 and back, the whole byte string (embedded zeros included).
std::wstring WideFromGbk(const std::string& gbk);
std::string GbkFromWide(const std::wstring& text);

}  // namespace platform::win32
