// Handle-based files over CreateFileA and friends.
#include "platform/file.h"

#include "platform/faults.h"

#include "platform/win32/windows_api.h"

namespace platform {

using win32::Failure;
using win32::Outcome;
using win32::ToHandle;

// The flags are handed to CreateFileA as they are.
static_assert(kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT);
static_assert(kFileFlagDeleteOnClose == FILE_FLAG_DELETE_ON_CLOSE);

std::uint32_t FileOpen(const std::string& name, std::uint32_t desired_access,
                       std::uint32_t share_mode, std::uint32_t creation_disposition,
                       std::uint32_t flags_and_attributes, FileHandle& out) {
  if (std::uint32_t e = InjectedFault(FsCall::kOpen)) return Outcome(e);
  out = kNoFile;
  HANDLE h = ::CreateFileA(name.c_str(), desired_access, share_mode, nullptr,
                           creation_disposition, flags_and_attributes, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return Failure();
  out = win32::FromHandle(h);
  return Outcome(0);
}

std::uint32_t FileRead(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t& done) {
  if (std::uint32_t e = InjectedFault(FsCall::kRead)) return Outcome(e);
  DWORD n = 0;
  BOOL ok = ::ReadFile(ToHandle(h), buffer, count, &n, nullptr);
  done = n;
  if (!ok) {
    // A pipe whose writer has gone reads as the end of the data, as for a file.
    if (::GetLastError() == ERROR_BROKEN_PIPE) return Outcome(0);
    return Failure();
  }
  return Outcome(0);
}

std::uint32_t FileWrite(FileHandle h, const void* buffer, std::uint32_t count,
                        std::uint32_t& done) {
  if (std::uint32_t e = InjectedFault(FsCall::kWrite)) return Outcome(e);
  DWORD n = 0;
  BOOL ok = ::WriteFile(ToHandle(h), buffer, count, &n, nullptr);
  done = n;
  return ok ? Outcome(0) : Failure();
}

std::uint32_t FileSeek(FileHandle h, std::int64_t offset, std::uint32_t origin,
                       std::uint64_t& new_position) {
  if (origin > kFileEnd) return Outcome(ERROR_INVALID_PARAMETER);
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  if (!::SetFilePointerEx(ToHandle(h), distance, &position, origin)) return Failure();
  new_position = static_cast<std::uint64_t>(position.QuadPart);
  return Outcome(0);
}

std::uint32_t FileGetSize(FileHandle h, std::uint64_t& size) {
  DWORD high = 0;
  ::SetLastError(0);
  DWORD low = ::GetFileSize(ToHandle(h), &high);
  // 0xFFFFFFFF is a valid low half; only the last error tells a failure.
  if (low == INVALID_FILE_SIZE && ::GetLastError() != 0) return Failure();
  size = (static_cast<std::uint64_t>(high) << 32) | low;
  return Outcome(0);
}

std::uint32_t FileSetEnd(FileHandle h) {
  if (std::uint32_t e = InjectedFault(FsCall::kSetEnd)) return Outcome(e);
  return ::SetEndOfFile(ToHandle(h)) ? Outcome(0) : Failure();
}

std::uint32_t FileSetLocalWriteTime(FileHandle h, const LocalTime& t) {
  if (std::uint32_t e = InjectedFault(FsCall::kSetTime)) return Outcome(e);
  SYSTEMTIME st{};
  st.wYear = t.year;
  st.wMonth = t.month;
  st.wDayOfWeek = t.day_of_week;
  st.wDay = t.day;
  st.wHour = t.hour;
  st.wMinute = t.minute;
  st.wSecond = t.second;
  st.wMilliseconds = t.milliseconds;
  FILETIME local;
  FILETIME utc;
  if (!::SystemTimeToFileTime(&st, &local)) return Failure();
  if (!::LocalFileTimeToFileTime(&local, &utc)) return Failure();
  return ::SetFileTime(ToHandle(h), nullptr, nullptr, &utc) ? Outcome(0) : Failure();
}

std::uint32_t FileFlush(FileHandle h) {
  if (std::uint32_t e = InjectedFault(FsCall::kFlush)) return Outcome(e);
  return ::FlushFileBuffers(ToHandle(h)) ? Outcome(0) : Failure();
}

std::uint32_t FileClose(FileHandle h) {
  if (h == kNoFile) return Outcome(ERROR_INVALID_HANDLE);
  const std::uint32_t injected = InjectedFault(FsCall::kClose);
  if (!::CloseHandle(ToHandle(h))) return Failure();
  return Outcome(injected);
}

}  // namespace platform
