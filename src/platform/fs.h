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

#include "platform/file.h"

namespace platform {

// GetFileAttributesA: on failure `attributes` is kInvalidFileAttributes.
// A name held by a reparse point gives the link's own attributes, as on Windows: on POSIX a
// symbolic link (other than a drive's own entry in dosdevices) is kFileAttributeReparsePoint
// with kFileAttributeDirectory when it points to a folder, else with kFileAttributeArchive
// (a link to a file, or to nothing: it exists all the same). A link has no read-only bit.
std::uint32_t GetAttributes(const std::string& path, std::uint32_t& attributes);
std::uint32_t SetAttributes(const std::string& path, std::uint32_t attributes);

// Whether a folder (or a link to one) stands at `path`.
inline bool FolderExists(const std::string& path) {
  std::uint32_t attributes = kInvalidFileAttributes;
  return GetAttributes(path, attributes) == 0 && attributes != kInvalidFileAttributes &&
         (attributes & kFileAttributeDirectory) != 0;
}
// Whether something other than a folder (a file, or a link to one or to nothing) stands at
// `path`.
inline bool FileExists(const std::string& path) {
  std::uint32_t attributes = kInvalidFileAttributes;
  return GetAttributes(path, attributes) == 0 && attributes != kInvalidFileAttributes &&
         (attributes & kFileAttributeDirectory) == 0;
}

// WIN32_FIND_DATAA, the parts the system uses.
struct FindData {
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  std::uint64_t write_time = 0;  // ftLastWriteTime: 100 ns steps since 1601-01-01 UTC
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

// Whether anything at or below `folder` on the way to `path` is a reparse point (a symbolic
// link or junction; on POSIX a symbolic link), so that a caller can refuse to write through
// one. `path` is a Windows path at or below `folder`. `folder` itself and then each existing
// component of `path` below it are checked, top down; the first component that does not
// exist ends the check, since nothing below it can be a link. Returns 0 with `found` empty
// when none is a reparse point, or 0 with `found` naming the first that is: `folder` as given
// (without a trailing separator) followed by the names below it, spelled as in `path` on
// Windows and as on disk on POSIX (compare without regard to case). A `path` that is not
// `folder` or below it (compared without regard to ASCII case, on whole components, after
// "." and ".." are resolved) is kErrorInvalidParameter; a name that cannot be resolved gives
// its error (kErrorPathNotFound for an unknown drive, kErrorFilenameExcedRange, ...).
// The check costs one step per component. Under Wine the Windows build sees only what Wine
// reports: a Unix link to a folder is a reparse point, a link to a file or to nothing is not,
// and drive Z:\ (the Unix root) itself is one.
std::uint32_t FindReparsePoint(const std::string& folder, const std::string& path,
                               std::string& found);

// CreateDirectoryA. On POSIX a name held by a symbolic link (to anything or to nothing) is
// kErrorAlreadyExists, and nothing is made where it points.
std::uint32_t CreateDir(const std::string& path);
std::uint32_t RemoveDir(const std::string& path);
// DeleteFileA. On POSIX a symbolic link, to a folder too, is removed itself, never what it
// points to. (Windows removes a link to a folder with RemoveDirectoryA only; Wine, given a
// Unix link to a file, deletes the file and keeps the link.)
std::uint32_t RemoveFile(const std::string& path);
// CopyFileA: with fail_if_exists false an existing target is replaced.
std::uint32_t CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists);

// MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0))
// within one volume: the file (or a link itself) takes its new name in one step, with its
// content, attributes and times, and the new name is on the disk when this returns. A file
// that another handle holds open cannot be moved (kErrorSharingViolation), nor replace one
// that is held; a read-only target is not replaced (kErrorAccessDenied).
std::uint32_t MoveFileTo(const std::string& from, const std::string& to, bool replace);

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
