// Names in the file system over the ANSI calls (GBK under code page 936).
#include "platform/fs.h"

#include <vector>

#include "platform/faults.h"
#include "platform/file.h"
#include "platform/gbk.h"
#include "platform/win32/windows_api.h"

namespace platform {

using win32::Failure;
using win32::Outcome;

static_assert(kFileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);

std::uint32_t GetAttributes(const std::string& path, std::uint32_t& attributes) {
  attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Failure();
  return Outcome(0);
}

std::uint32_t SetAttributes(const std::string& path, std::uint32_t attributes) {
  if (std::uint32_t e = InjectedFault(FsCall::kSetAttributes)) return Outcome(e);
  return ::SetFileAttributesA(path.c_str(), attributes) ? Outcome(0) : Failure();
}

struct FindHandle::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

void Fill(const WIN32_FIND_DATAA& fd, FindData& out) {
  out.attributes = fd.dwFileAttributes;
  out.size = (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  out.write_time = (static_cast<std::uint64_t>(fd.ftLastWriteTime.dwHighDateTime) << 32) |
                   fd.ftLastWriteTime.dwLowDateTime;
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

namespace {

// GetFullPathNameA: absolute, "." and ".." resolved, separators made backslashes.
std::uint32_t FullPath(const std::string& name, std::string& full) {
  std::vector<char> buffer(MAX_PATH + 1, '\0');
  DWORD n = ::GetFullPathNameA(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                               nullptr);
  if (n >= buffer.size()) {
    buffer.assign(n + 1, '\0');
    n = ::GetFullPathNameA(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                           nullptr);
  }
  if (n == 0 || n >= buffer.size()) return Failure();
  full.assign(buffer.data(), n);
  return 0;
}

// The components of a full path, on whole GBK characters (a trail byte 0x5C is no separator).
// A UNC path's first component is "\\" so that it never equals a drive's.
std::vector<std::string> Components(const std::string& full) {
  const bool unc = full.size() >= 2 && full[0] == '\\' && full[1] == '\\';
  std::vector<std::string> parts = SplitPath(unc ? full.substr(2) : full);
  if (unc) parts.insert(parts.begin(), "\\\\");
  return parts;
}

// Equal without regard to ASCII case; double-byte characters compare exactly (their trail
// byte may look like a letter).
bool SameComponent(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (CharLength(a, i) == 2) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch; };
    if (lower(x) != lower(y)) return false;
  }
  return true;
}

// `name` as the caller wrote it, without trailing separators; a drive root keeps its own.
std::string WithoutTrailingSeparators(std::string s) {
  while (s.size() > 1 && !(s.size() == 3 && s[1] == ':') &&
         (EndsWithChar(s, '\\') || EndsWithChar(s, '/'))) {
    s.pop_back();
  }
  return s;
}

}  // namespace

std::uint32_t FindReparsePoint(const std::string& folder, const std::string& path,
                               std::string& found) {
  found.clear();
  std::string full_folder, full_path;
  if (std::uint32_t e = FullPath(folder, full_folder)) return e;
  if (std::uint32_t e = FullPath(path, full_path)) return e;
  const std::vector<std::string> top = Components(full_folder);
  const std::vector<std::string> all = Components(full_path);
  if (top.empty() || all.size() < top.size()) return Outcome(ERROR_INVALID_PARAMETER);
  for (std::size_t i = 0; i < top.size(); ++i) {
    if (!SameComponent(top[i], all[i])) return Outcome(ERROR_INVALID_PARAMETER);
  }
  // Each name is asked about whole: the ANSI calls keep paths short (MAX_PATH), so the
  // repeated resolving stays cheap.
  std::string cur = WithoutTrailingSeparators(full_folder);
  // Only a root keeps its separator; after that every name needs one.
  const bool root_separated = EndsWithChar(cur, '\\');
  const std::string shown = WithoutTrailingSeparators(folder);
  const bool shown_separated = EndsWithChar(shown, '\\') || EndsWithChar(shown, '/');
  for (std::size_t i = top.size();; ++i) {
    const DWORD attributes = ::GetFileAttributesA(cur.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      // Missing, or below a file: nothing further down can be a link.
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
          error == ERROR_DIRECTORY) {
        return Outcome(0);
      }
      return Failure();
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      found = shown;
      for (std::size_t k = top.size(); k < i; ++k) {
        if (k > top.size() || !shown_separated) found += '\\';
        found += all[k];
      }
      return Outcome(0);
    }
    if (i == all.size() || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Outcome(0);
    if (i > top.size() || !root_separated) cur += '\\';
    cur += all[i];
  }
}

std::uint32_t CreateDir(const std::string& path) {
  if (std::uint32_t e = InjectedFault(FsCall::kCreateDir)) return Outcome(e);
  return ::CreateDirectoryA(path.c_str(), nullptr) ? Outcome(0) : Failure();
}

std::uint32_t RemoveDir(const std::string& path) {
  if (std::uint32_t e = InjectedFault(FsCall::kRemoveDir)) return Outcome(e);
  return ::RemoveDirectoryA(path.c_str()) ? Outcome(0) : Failure();
}

std::uint32_t RemoveFile(const std::string& path) {
  if (std::uint32_t e = InjectedFault(FsCall::kRemoveFile)) return Outcome(e);
  return ::DeleteFileA(path.c_str()) ? Outcome(0) : Failure();
}

std::uint32_t CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists) {
  if (std::uint32_t e = InjectedFault(FsCall::kCopy)) return Outcome(e);
  return ::CopyFileA(from.c_str(), to.c_str(), fail_if_exists ? TRUE : FALSE) ? Outcome(0)
                                                                             : Failure();
}

std::uint32_t MoveFileTo(const std::string& from, const std::string& to, bool replace) {
  if (std::uint32_t e = InjectedFault(FsCall::kMove)) return Outcome(e);
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return ::MoveFileExA(from.c_str(), to.c_str(), flags) ? Outcome(0) : Failure();
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
  if (std::uint32_t e = InjectedFault(FsCall::kTempName)) return Outcome(e);
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
