// Names in the file system: attributes, directory enumeration, folders, copy, delete,
// temporary folder and names, the program's own file name and the current folder.
// GetFileAttributesA, SetFileAttributesA, FindFirstFileA/FindNextFileA/FindClose,
// CreateDirectoryA, RemoveDirectoryA, CopyFileA, DeleteFileA, GetTempPathA,
// GetTempFileNameA, GetModuleFileNameA, GetCurrentDirectoryA.
//
// All paths are Windows paths in GBK. On POSIX they resolve through the prefix's
// dosdevices, case-insensitively, as Wine does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// GetFileAttributesA: on failure `attributes` is kInvalidFileAttributes.
std::uint32_t GetAttributes(const std::string& path, std::uint32_t& attributes);
std::uint32_t SetAttributes(const std::string& path, std::uint32_t attributes);

// WIN32_FIND_DATAA, the parts the system uses.
struct FindData {
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  std::string name;  // cFileName: the entry's name without path
};

// FindFirstFileA/FindNextFileA/FindClose. The pattern's last component may hold '*' and
// '?' with Windows' rules ("*.*" matches names without a dot). "." and ".." are
// reported for folders other than a drive root, as Windows does.
class FindHandle {
 public:
  FindHandle();
  ~FindHandle();
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  // Starts an enumeration; kErrorFileNotFound (or kErrorPathNotFound) when nothing matches.
  std::uint32_t First(const std::string& pattern, FindData& out);
  // kErrorNoMoreFiles at the end.
  std::uint32_t Next(FindData& out);
  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::uint32_t CreateDir(const std::string& path);
std::uint32_t RemoveDir(const std::string& path);
std::uint32_t RemoveFile(const std::string& path);
// CopyFileA: with fail_if_exists false an existing target is replaced.
std::uint32_t CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists);

// GetTempPathA: the user's private temporary folder, with a trailing backslash.
std::string TempPath();

// GetTempFileNameA(dir, prefix, 0): creates a new empty file dir\<pre><hex>.TMP with a
// unique name (the first three bytes of the prefix are used) and returns its name.
std::uint32_t TempFileName(const std::string& dir, const std::string& prefix,
                           std::string& out);

// GetModuleFileNameA(NULL): the running program's full Windows path.
std::string ModuleFileName();

// GetCurrentDirectoryA: the current folder as a Windows path, without trailing backslash
// unless it is a drive root.
std::string CurrentDirectory();

}  // namespace platform
