// Names in the file system: attributes, enumeration, folders, copy, delete, temporary
// names, the program's file and the current folder, over the prefix's drives.
//
// Attributes follow what Wine reports: folders 0x10, files 0x20 (archive), read-only when
// no write permission bit is set, hidden for names starting with a dot.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/faults.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/posix/internal.h"
#include "platform/types.h"

namespace platform {

using posix::Fail;
using posix::Ok;

namespace {

constexpr std::uint32_t kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder name

bool HiddenName(const std::string& name_utf8) {
  return name_utf8.size() > 1 && name_utf8[0] == '.' && name_utf8 != "..";
}

std::uint32_t AttributesOf(const std::string& name_utf8, const struct stat& st,
                           const std::string& unix_path) {
  std::uint32_t a = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeArchive;
  if (!S_ISDIR(st.st_mode) && !posix::Writable(unix_path, st)) a |= kFileAttributeReadOnly;
  if (HiddenName(name_utf8)) a |= kFileAttributeHidden;
  return a;
}

// What Windows reports for a symbolic link itself: a reparse point that is a folder when it
// points to one and a file otherwise, also when it points to nothing (the name is taken all
// the same). The link's own attributes have no read-only bit; the target's are not the link's,
// and a caller that cleared a read-only bit it saw here would change the target.
std::uint32_t LinkAttributes(const std::string& name_utf8, const std::string& unix_path) {
  struct stat target;
  bool folder = stat(unix_path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  std::uint32_t a = kFileAttributeReparsePoint |
                    (folder ? kFileAttributeDirectory : kFileAttributeArchive);
  if (HiddenName(name_utf8)) a |= kFileAttributeHidden;
  return a;
}

std::string BaseName(const std::string& unix_path) {
  std::size_t slash = unix_path.rfind('/');
  return slash == std::string::npos ? unix_path : unix_path.substr(slash + 1);
}

bool SameChar(const std::string& p, std::size_t pi, std::size_t pl, const std::string& n,
              std::size_t ni, std::size_t nl) {
  if (pl != nl) return false;
  if (pl == 1) {
    char a = p[pi], b = n[ni];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    return a == b;
  }
  return p.compare(pi, pl, n, ni, nl) == 0;
}

// Windows wildcard match on whole GBK characters, ignoring ASCII case. A trailing ".*" may
// also match the end of a name without a dot, so "*.*" matches every name.
bool WildMatch(const std::string& p, std::size_t pi, const std::string& n, std::size_t ni) {
  while (pi < p.size()) {
    if (p[pi] == '*') {
      while (pi < p.size() && p[pi] == '*') ++pi;
      if (pi == p.size()) return true;
      for (std::size_t k = ni; k <= n.size(); k += (k < n.size() ? CharLength(n, k) : 1)) {
        if (WildMatch(p, pi, n, k)) return true;
      }
      return false;
    }
    if (ni == n.size()) {
      return p.compare(pi, std::string::npos, ".*") == 0 || p.compare(pi, std::string::npos, ".") == 0;
    }
    std::size_t pl = CharLength(p, pi), nl = CharLength(n, ni);
    if (p[pi] == '?') {
      pi += 1;
      ni += nl;
      continue;
    }
    if (!SameChar(p, pi, pl, n, ni, nl)) return false;
    pi += pl;
    ni += nl;
  }
  return ni == n.size();
}

bool IsDriveRoot(const std::string& unix_dir) {
  std::string w = posix::ToWindows(unix_dir);
  return w.size() == 3 && w[1] == ':' && w[2] == '\\';
}

// Makes `dir` private when it is shared: a folder others may write into gets a subfolder of
// ours, created 0700 and verified to be a real folder owned by us.
std::string PrivateFolder(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
  if ((st.st_mode & (S_IWOTH | S_IWGRP)) == 0 && st.st_uid == geteuid()) return dir;
  std::string sub = dir + "/orb-" + std::to_string(geteuid());
  mkdir(sub.c_str(), 0700);
  if (lstat(sub.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      (st.st_mode & 0077) != 0) {
    return std::string();
  }
  return sub;
}

std::string UserName() {
  if (passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr) {
    return pw->pw_name;
  }
  const char* u = std::getenv("USER");
  return u != nullptr ? u : "user";
}

}  // namespace

std::uint32_t GetAttributes(const std::string& path, std::uint32_t& attributes) {
  attributes = kInvalidFileAttributes;
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(path, p)) return e;
  if (p.known_missing) return Fail(posix::FromErrno(ENOENT, p));
  struct stat st = p.st;
  if (!p.have_stat) {
    if (lstat(p.path.c_str(), &st) != 0) return Fail(posix::FromErrno(errno, p));
    if (S_ISLNK(st.st_mode)) {
      if (!p.root) {
        attributes = LinkAttributes(BaseName(p.path), p.path);
        return Ok();
      }
      // A drive root: its dosdevices entry is how the prefix names the drive.
      if (stat(p.path.c_str(), &st) != 0) return Fail(posix::FromErrno(errno, p));
    }
  }
  attributes = AttributesOf(BaseName(p.path), st, p.path);
  return Ok();
}

std::uint32_t SetAttributes(const std::string& path, std::uint32_t attributes) {
  if (std::uint32_t e = InjectedFault(FsCall::kSetAttributes)) return Fail(e);
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(path, p)) return e;
  struct stat st = p.st;
  if (!p.have_stat && stat(p.path.c_str(), &st) != 0) return Fail(posix::FromErrno(errno, p));
  if (S_ISDIR(st.st_mode)) return Ok();  // a folder's read-only bit means nothing here
  mode_t mode = st.st_mode & 07777;
  if (attributes & kFileAttributeReadOnly) {
    mode &= ~static_cast<mode_t>(0222);
  } else if ((mode & 0222) == 0) {
    mode |= S_IWUSR;
  }
  if (chmod(p.path.c_str(), mode) != 0) return Fail(posix::FromErrno(errno, p));
  return Ok();
}

struct FindHandle::State {
  std::vector<FindData> entries;
  std::size_t next = 0;
};

FindHandle::FindHandle() = default;
FindHandle::~FindHandle() = default;

void FindHandle::Close() {
  state_.reset();
  SetLastError(0);
}

std::uint32_t FindHandle::First(const std::string& pattern, FindData& out) {
  state_.reset();
  std::size_t sep = LastDelimiter(pattern, "\\/");
  std::string dir = sep == std::string::npos ? std::string() : pattern.substr(0, sep + 1);
  std::string mask = sep == std::string::npos ? pattern : pattern.substr(sep + 1);
  if (sep == std::string::npos && pattern.size() >= 2 && pattern[1] == ':') {
    dir = pattern.substr(0, 2);
    mask = pattern.substr(2);
  }
  if (mask.empty()) return Fail(kErrorFileNotFound);
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(dir.empty() ? std::string(".") : dir + ".", p)) return e;
  DIR* d = opendir(p.path.c_str());
  if (d == nullptr) {
    return Fail(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound
                                                    : posix::FromErrno(errno, p));
  }
  // A mask ending in a dot ("*.", "name.") names files without an extension.
  bool no_extension = mask.size() > 1 && mask.back() == '.' && mask != "..";
  if (no_extension) mask.pop_back();
  bool root = IsDriveRoot(p.path);
  auto state = std::make_unique<State>();
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (root && (name == "." || name == "..")) continue;
    std::string gbk = Utf8ToGbk(name);
    if (!WildMatch(mask, 0, gbk, 0)) continue;
    if (no_extension && gbk.find('.') != std::string::npos) continue;
    std::string full = p.path + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0) continue;  // a dangling link is not listed
    FindData fd;
    fd.name = gbk;
    fd.attributes = AttributesOf(name, st, full);
    struct stat lst;
    // Symbolic links are listed as reparse points, so that a tree walk can unlink them
    // instead of descending into what they point to.
    if (lstat(full.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
      fd.attributes |= kFileAttributeReparsePoint;
    }
    fd.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    // Seconds between 1601-01-01 and 1970-01-01, then 100 ns steps.
    fd.write_time = (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                    static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
    state->entries.push_back(fd);
  }
  closedir(d);
  std::sort(state->entries.begin(), state->entries.end(), [](const FindData& a, const FindData& b) {
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
    return posix::AsciiLower(a.name) < posix::AsciiLower(b.name);
  });
  if (state->entries.empty()) return Fail(kErrorFileNotFound);
  state_ = std::move(state);
  return Next(out);
}

std::uint32_t FindHandle::Next(FindData& out) {
  if (!state_) return Fail(kErrorInvalidHandle);
  if (state_->next >= state_->entries.size()) return Fail(kErrorNoMoreFiles);
  out = state_->entries[state_->next++];
  return Ok();
}

namespace {

std::vector<std::string> UnixComponents(const std::string& unix_path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : unix_path) {
    if (c != '/') {
      cur += c;
    } else if (!cur.empty()) {
      parts.push_back(cur);
      cur.clear();
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// A Windows name as the caller wrote it, without trailing separators (whole GBK characters:
// a trail byte 0x5C stays); a drive root ("C:\") keeps its own.
std::string WithoutTrailingSeparators(std::string s) {
  while (s.size() > 1 && !(s.size() == 3 && s[1] == ':') &&
         (EndsWithChar(s, '\\') || EndsWithChar(s, '/'))) {
    s.pop_back();
  }
  return s;
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

bool IsLinkAt(int dir, const char* name) {
  struct stat st;
  return fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

std::uint32_t FindReparsePoint(const std::string& folder, const std::string& path,
                               std::string& found) {
  found.clear();
  posix::UnixPath top_path, full_path;
  if (std::uint32_t e = posix::ToUnix(folder, top_path)) return e;
  if (std::uint32_t e = posix::ToUnix(path, full_path)) return e;
  // Both are resolved the same way (GBK split on whole characters, "." and ".." dropped,
  // existing names matched without regard to case), so comparing the Unix names compares the
  // Windows components; names not on disk keep the caller's spelling, hence ASCII folding.
  const std::vector<std::string> top = UnixComponents(top_path.path);
  const std::vector<std::string> all = UnixComponents(full_path.path);
  const bool absolute = !full_path.path.empty() && full_path.path[0] == '/';
  if (absolute != (!top_path.path.empty() && top_path.path[0] == '/') || all.size() < top.size()) {
    return Fail(kErrorInvalidParameter);
  }
  for (std::size_t i = 0; i < top.size(); ++i) {
    if (top[i].size() != all[i].size() || posix::AsciiLower(top[i]) != posix::AsciiLower(all[i])) {
      return Fail(kErrorInvalidParameter);
    }
  }
  // The folder as `path` resolves it, then one component at a time through descriptors that
  // never follow a link: each step looks up one name, so the cost stays linear in the depth,
  // and nothing checked can be swapped for a link above the name being looked at.
  std::string start = absolute ? "/" : "";
  for (std::size_t i = 0; i < top.size(); ++i) start += (i == 0 ? "" : "/") + all[i];
  if (start.empty()) start = ".";
  const int nofollow = top_path.root ? 0 : O_NOFOLLOW;
  auto report = [&](std::size_t last) {  // all[top.size() .. last) lie below the folder
    found = WithoutTrailingSeparators(folder);
    // Only a root keeps its separator; after that every name needs one.
    bool separated = EndsWithChar(found, '\\') || EndsWithChar(found, '/');
    for (std::size_t i = top.size(); i < last; ++i) {
      if (!separated) found += '\\';
      separated = false;
      found += Utf8ToGbk(all[i]);
    }
    return Ok();
  };
  Descriptor dir(open(start.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | nofollow));
  if (dir.get() < 0) {
    const int err = errno;
    struct stat st;
    if (nofollow && lstat(start.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      return report(top.size());
    }
    // Missing, or a file: nothing can lie below it.
    if (err == ENOENT || err == ENOTDIR) return Ok();
    return Fail(posix::FromErrno(err, full_path));
  }
  for (std::size_t i = top.size(); i < all.size(); ++i) {
    const char* name = all[i].c_str();
    struct stat st;
    if (fstatat(dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return Ok();
      return Fail(posix::FromErrno(errno, full_path));
    }
    if (S_ISLNK(st.st_mode)) return report(i + 1);
    if (i + 1 == all.size() || !S_ISDIR(st.st_mode)) break;
    int next = openat(dir.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      const int err = errno;
      if (IsLinkAt(dir.get(), name)) return report(i + 1);  // made a link since we looked
      if (err == ENOENT || err == ENOTDIR) return Ok();
      return Fail(posix::FromErrno(err, full_path));
    }
    dir.reset(next);
  }
  return Ok();
}

std::uint32_t CreateDir(const std::string& path) {
  if (std::uint32_t e = InjectedFault(FsCall::kCreateDir)) return Fail(e);
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(path, p)) return e;
  if (mkdir(p.path.c_str(), 0777) != 0) {
    if (errno == ENOENT) return Fail(kErrorPathNotFound);
    return Fail(posix::FromErrno(errno, p, true));
  }
  return Ok();
}

std::uint32_t RemoveDir(const std::string& path) {
  if (std::uint32_t e = InjectedFault(FsCall::kRemoveDir)) return Fail(e);
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(path, p)) return e;
  struct stat st;
  if (lstat(p.path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  if (rmdir(p.path.c_str()) != 0) {
    if (errno == ENOTDIR) return Fail(kErrorDirectory);
    return Fail(posix::FromErrno(errno, p, true));
  }
  return Ok();
}

std::uint32_t RemoveFile(const std::string& path) {
  if (std::uint32_t e = InjectedFault(FsCall::kRemoveFile)) return Fail(e);
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(path, p)) return e;
  struct stat st;
  if (lstat(p.path.c_str(), &st) != 0) return Fail(posix::FromErrno(errno, p));
  if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  if (!S_ISLNK(st.st_mode) && !posix::Writable(p.path, st)) return Fail(kErrorAccessDenied);
  if (unlink(p.path.c_str()) != 0) return Fail(posix::FromErrno(errno, p));
  return Ok();
}

std::uint32_t CopyFileTo(const std::string& from, const std::string& to, bool fail_if_exists) {
  if (std::uint32_t e = InjectedFault(FsCall::kCopy)) return Fail(e);
  posix::UnixPath src, dst;
  if (std::uint32_t e = posix::ToUnix(from, src)) return e;
  if (std::uint32_t e = posix::ToUnix(to, dst)) return e;
  struct stat sst, dst_st;
  if (stat(src.path.c_str(), &sst) != 0) return Fail(posix::FromErrno(errno, src));
  if (S_ISDIR(sst.st_mode)) return Fail(kErrorAccessDenied);
  if (stat(dst.path.c_str(), &dst_st) == 0) {
    if (fail_if_exists) return Fail(kErrorFileExists);
    if (S_ISDIR(dst_st.st_mode) || !posix::Writable(dst.path, dst_st)) {
      return Fail(kErrorAccessDenied);
    }
    if (dst_st.st_dev == sst.st_dev && dst_st.st_ino == sst.st_ino) {
      return Fail(kErrorSharingViolation);  // copying a file onto itself
    }
  }
  int in = open(src.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(posix::FromErrno(errno, src));
  int out = open(dst.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    int err = errno;
    close(in);
    return Fail(posix::FromErrno(err, dst));
  }
  std::uint32_t result = 0;
  char buf[65536];
  for (;;) {
    ssize_t n = read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = posix::FromErrno(errno, src);
      break;
    }
    if (n == 0) break;
    for (ssize_t off = 0; off < n;) {
      ssize_t w = write(out, buf + off, static_cast<std::size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        result = posix::FromErrno(errno, dst);
        break;
      }
      off += w;
    }
    if (result != 0) break;
  }
  // CopyFileA keeps the source's attributes and last-write time.
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = sst.st_mtim;
  if (result == 0) futimens(out, times);
  if (result == 0) fchmod(out, sst.st_mode & 07777);
  close(in);
  close(out);
  if (result != 0) {
    unlink(dst.path.c_str());
    return Fail(result);
  }
  return Ok();
}

namespace posix {

void SyncParent(const std::string& unix_path) {
  const std::size_t slash = unix_path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : unix_path.substr(0, slash);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace posix

std::uint32_t MoveFileTo(const std::string& from, const std::string& to, bool replace) {
  if (std::uint32_t e = InjectedFault(FsCall::kMove)) return Fail(e);
  posix::UnixPath src, dst;
  if (std::uint32_t e = posix::ToUnix(from, src)) return e;
  if (std::uint32_t e = posix::ToUnix(to, dst)) return e;
  struct stat sst, dst_st;
  if (lstat(src.path.c_str(), &sst) != 0) return Fail(posix::FromErrno(errno, src));
  if (!S_ISLNK(sst.st_mode) && posix::HeldOpen(src.path)) return Fail(kErrorSharingViolation);
  if (lstat(dst.path.c_str(), &dst_st) == 0) {
    if (dst_st.st_dev == sst.st_dev && dst_st.st_ino == sst.st_ino) {
      // The same file under another spelling of its name: a change of case only.
    } else if (!replace) {
      return Fail(kErrorAlreadyExists);
    } else if (S_ISDIR(dst_st.st_mode) || S_ISDIR(sst.st_mode)) {
      return Fail(kErrorAccessDenied);
    } else if (!S_ISLNK(dst_st.st_mode)) {
      if (!posix::Writable(dst.path, dst_st)) return Fail(kErrorAccessDenied);
      if (posix::HeldOpen(dst.path)) return Fail(kErrorSharingViolation);
    }
  } else if (dst.parent_missing) {
    return Fail(kErrorPathNotFound);
  }
  if (rename(src.path.c_str(), dst.path.c_str()) != 0) {
    if (errno == EXDEV) return Fail(kErrorNotSameDevice);
    return Fail(posix::FromErrno(errno, dst));
  }
  posix::SyncParent(dst.path);
  if (src.path.substr(0, src.path.rfind('/')) != dst.path.substr(0, dst.path.rfind('/'))) {
    posix::SyncParent(src.path);
  }
  return Ok();
}

std::string TempPath() {
  std::string prefix = posix::Prefix();
  std::string user_dir = prefix + "/drive_c/users/" + UserName();
  std::string dir;
  for (const char* rel : {"/Temp", "/AppData/Local/Temp"}) {
    struct stat st;
    std::string candidate = user_dir + rel;
    if (stat(candidate.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      dir = PrivateFolder(candidate);
      if (!dir.empty()) break;
    }
  }
  if (dir.empty()) {
    const char* t = std::getenv("TMPDIR");
    dir = PrivateFolder(t != nullptr && *t != '\0' ? t : "/tmp");
  }
  if (dir.empty()) dir = PrivateFolder("/tmp");
  std::string win = posix::ToWindows(dir);
  if (!EndsWithChar(win, '\\')) win += '\\';
  SetLastError(0);
  return win;
}

std::uint32_t TempFileName(const std::string& dir, const std::string& prefix, std::string& out) {
  if (std::uint32_t e = InjectedFault(FsCall::kTempName)) return Fail(e);
  out.clear();
  std::uint32_t attrs = 0;
  if (GetAttributes(dir, attrs) != 0) return Fail(kErrorPathNotFound);
  if (!(attrs & kFileAttributeDirectory)) return Fail(kErrorDirectory);
  std::string base = dir;
  if (!EndsWithChar(base, '\\') && !EndsWithChar(base, '/')) base += '\\';
  base += prefix.substr(0, 3);
  // GetTempFileNameA starts from the tick count; the pid spreads parallel processes apart.
  std::uint32_t start = (GetTickCount() ^ (static_cast<std::uint32_t>(getpid()) * 2654435761u)) & 0xFFFF;
  if (start == 0) start = 1;
  std::uint32_t unique = start;
  char hex[8];
  do {
    snprintf(hex, sizeof hex, "%X", unique);
    std::string name = base + hex + ".TMP";
    FileHandle h = kNoFile;
    std::uint32_t e = FileOpen(name, kGenericWrite, 0, kCreateNew, kFileAttributeNormal, h);
    if (e == 0) {
      FileClose(h);
      out = name;
      return Ok();
    }
    if (e != kErrorFileExists && e != kErrorAlreadyExists && e != kErrorSharingViolation) {
      return Fail(e);
    }
    unique = unique == 0xFFFF ? 1 : unique + 1;
  } while (unique != start);
  return Fail(kErrorFileExists);
}

std::string ModuleFileName() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) {
    SetLastError(kErrorFileNotFound);
    return std::string();
  }
  std::string win = posix::ToWindows(std::string(buf, static_cast<std::size_t>(n)));
  SetLastError(0);
  return win;
}

std::string CurrentDirectory() {
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof buf) == nullptr) {
    SetLastError(kErrorPathNotFound);
    return std::string();
  }
  std::string win = posix::ToWindows(buf);
  if (win.size() > 3 && EndsWithChar(win, '\\')) win.pop_back();
  SetLastError(0);
  return win;
}

}  // namespace platform
