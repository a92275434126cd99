// Shared internals of the POSIX backend: the prefix, path translation, error mapping and
// character-set conversion. The prefix is not cached: it is read from WINEPREFIX at each call,
// so a test may point its own process at another prefix at any time.
#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>

namespace platform::posix {

// Sets the thread's last error and returns the code, for `return Fail(x);`.
std::uint32_t Fail(std::uint32_t code);
inline std::uint32_t Ok() { return Fail(0); }

// WINEPREFIX, else ~/.wine; no trailing slash.
std::string Prefix();

// A Windows path (GBK) resolved to a Unix path (UTF-8).
struct UnixPath {
  std::string path;
  // A component before the last one does not exist: ENOENT then means "path not found".
  bool parent_missing = false;
  // The last component was just found absent (no entry in any case): the caller need not
  // stat() the path again to learn that it does not exist.
  bool known_missing = false;
  // What stat() of `path` gives, when resolving it has just learnt that (the path exists and
  // its last component is no symbolic link): callers use it instead of asking again.
  bool have_stat = false;
  struct stat st = {};
  // The path names a drive root, a UNC share or "/": its last Unix component is the prefix's
  // own link in dosdevices (or no name at all), never a symbolic link of the drive's files.
  bool root = false;
};

// Resolves `win` (absolute "C:\...", UNC "\\server\share\...", rooted "\...", relative, or
// a Unix path starting with '/') through the prefix's dosdevices. Components that do not
// exist exactly are matched without regard to ASCII case. Fails with 3 for an unknown drive
// and 123 for an empty name.
std::uint32_t ToUnix(const std::string& win, UnixPath& out);

// The real name of the entry of folder `dir` (Unix, UTF-8) whose name equals `name` without
// regard to ASCII case; empty when there is none. When several names match, the first one
// in readdir order. Answered from watched listings of recently used folders (folder_cache.cpp)
// rather than by reading the folder at each call.
// `dir_st`, when given, is stat() of `dir` made by the caller just before.
std::string FindNameIgnoringCase(const std::string& dir, const std::string& name,
                                 const struct stat* dir_st = nullptr);

// How many times a folder has been read whole for FindNameIgnoringCase in this process.
std::uint64_t FolderReads();

// A Unix path the system gave us, mapped back to a Windows path (GBK) through the longest
// dosdevices target containing it.
std::string ToWindows(const std::string& unix_path);

// errno after an operation on `p`: ENOENT becomes 2 or 3, EEXIST 80 (file) or 183 (folder).
std::uint32_t FromErrno(int err, const UnixPath& p, bool folder = false);

// Whether the process may write the file at `unix_path`: by its mode bits for the superuser
// (who bypasses them, yet a file without write bits is read-only for Windows), by
// faccessat(AT_EACCESS) otherwise.
bool Writable(const std::string& unix_path, const struct stat& st);

// Whether a handle of this process or another one holds the file open (see file.cpp on
// sharing). A symbolic link or a file we may not read is never held.
bool HeldOpen(const std::string& unix_path);

// Makes the entries of the folder holding `unix_path` durable (fsync of the folder).
void SyncParent(const std::string& unix_path);

// iconv between named character sets. Invalid input becomes `replacement` (ignored when
// empty). False only when the conversion is unavailable.
bool Convert(const char* from, const char* to, const std::string& in, std::string& out,
             const std::string& replacement);

std::string Utf16ToUtf8(const std::u16string& s);
std::u16string Utf8ToUtf16(const std::string& s);

// ASCII-only case folding, as used for names in the file system and the registry.
std::string AsciiLower(std::string s);
std::u16string AsciiLower(std::u16string s);

}  // namespace platform::posix
