// Names in the file system over the ANSI calls (GBK under code page 936).
#include "platform/fs.h"

#include <vector>

#include "platform/file.h"
#include "platform/win32/windows_api.h"

namespace platform {

using win32::Failure;
using win32::Outcome;

std::uint32_t GetAttributes(const std::string& path, std::uint32_t& attributes) {
  attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Failure();
  return Outcome(0);
}

std::uint32_t SetAttributes(const std::string& path, std::uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) ? Outcome(0) : Failure();
}

struct FindHandle::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

void Fill(const WIN32_FIND_DATAA& fd, FindData& out) {
  out.attributes = fd.dwFileAttributes;
  out.size = (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  out.name = fd.cFileName;
}

}  // namespace

FindHandle::FindHandle() : state_(std::make_unique<State>()) {}

FindHandle::~FindHandle() {
  DWORD saved = ::GetLastError();
  Close();
  ::SetLastError(saved);
}

std::uint32_t FindHandle::First(const std::string& pattern, FindData& out) {
  Close();
  WIN32_FIND_DATAA fd{};
  state_->handle = ::FindFirstFileA(pattern.c_str(), &fd);
  if (state_->handle == INVALID_HANDLE_VALUE) return Failure();
  Fill(fd, out);
  return Outcome(0);
}

std::uint32_t FindHandle::Next(FindData& out) {
  if (state_->handle == INVALID_HANDLE_VALUE) return Outcome(ERROR_INVALID_HANDLE);
  WIN32_FIND_DATAA fd{};
  if (!::FindNextFileA(state_->handle, &fd)) return Failure();
  Fill(fd, out);
  return Outcome(0);
}

void FindHandle::Close() {
  if (state_->handle != INVALID_HANDLE_VALUE) {
    ::FindClose(state_->handle);
    state_->handle = INVALID_HANDLE_VALUE;
  }
}

std::uint32_t CreateDir(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) ? Outcome(0) : Failure();
}

std::uint32_t RemoveDir(const std::string& path) {
  return ::RemoveDirectoryA(path.c_str()) ? Outcome(0) : Failure();
}

std::uint32_t RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) ? Outcome(0) : Failure();
}

std::uint32_t CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists) {
  return ::CopyFileA(from.c_str(), to.c_str(), fail_if_exists ? TRUE : FALSE) ? Outcome(0)
                                                                             : Failure();
}

std::string TempPath() {
  std::vector<char> buffer(MAX_PATH + 1, '\0');
  DWORD n = ::GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n >= buffer.size()) {
    buffer.assign(n + 1, '\0');
    n = ::GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (n == 0 || n >= buffer.size()) {
    Failure();
    return {};
  }
  Outcome(0);
  return std::string(buffer.data(), n);
}

std::uint32_t TempFileName(const std::string& dir, const std::string& prefix,
                           std::string& out) {
  char buffer[MAX_PATH + 1] = {};
  if (::GetTempFileNameA(dir.c_str(), prefix.c_str(), 0, buffer) == 0) return Failure();
  out = buffer;
  return Outcome(0);
}

std::string ModuleFileName() {
  std::vector<char> buffer(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      Failure();
      return {};
    }
    // A full buffer means the name may have been cut.
    if (n < buffer.size() - 1) {
      Outcome(0);
      return std::string(buffer.data(), n);
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
}

std::string CurrentDirectory() {
  DWORD n = ::GetCurrentDirectoryA(0, nullptr);
  if (n == 0) {
    Failure();
    return {};
  }
  std::vector<char> buffer(n + 1, '\0');
  n = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n == 0 || n >= buffer.size()) {
    Failure();
    return {};
  }
  Outcome(0);
  return std::string(buffer.data(), n);
}

}  // namespace platform
