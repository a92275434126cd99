// The Wine-style prefix and the translation of Windows paths into it.
//
// A Windows path is resolved the way Wine resolves it: the drive letter names a symlink
// <prefix>/dosdevices/<x>: (UNC paths go through dosdevices/unc), each component is
// converted from GBK to UTF-8 only here, and a component that does not exist with that exact
// spelling is looked up without regard to ASCII case, because Windows names are
// case-insensitive (the installer registers "x.tsk" for a folder shipped as "X.TSK").
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/posix/internal.h"
#include "platform/types.h"

namespace platform::posix {

std::string Prefix() {
  std::string p;
  if (const char* e = std::getenv("WINEPREFIX"); e != nullptr && *e != '\0') {
    p = e;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      if (passwd* pw = getpwuid(geteuid()); pw != nullptr) home = pw->pw_dir;
    }
    p = std::string(home != nullptr ? home : "") + "/.wine";
  }
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}
namespace {

bool IsSep(unsigned char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Windows drops trailing dots and blanks of a component ("a.txt." is "a.txt").
std::string TrimComponent(std::string c) {
  if (c == "." || c == "..") return c;
  while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.pop_back();
  return c;
}

std::string Dirname(const std::string& p) {
  std::size_t slash = p.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

}  // namespace

std::uint32_t ToUnix(const std::string& win, UnixPath& out) {
  out = UnixPath();
  if (win.empty()) return Fail(kErrorPathNotFound);
  if (win[0] == '/') {
    // A Unix path, possibly joined with Windows separators by a caller ("/tmp/x\\name"
    // when no drive holds the temporary folder).
    std::string joined;
    for (const std::string& c : SplitPath(win)) joined += "/" + c;
    out.path = GbkToUtf8(joined.empty() ? std::string("/") : joined);
    out.root = joined.empty();
    struct stat st;
    std::string dir = Dirname(out.path);
    out.parent_missing = stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
    return Ok();
  }
  std::string base;   // Unix directory the components are relative to
  std::string rest;   // what follows the root, GBK
  std::size_t skip = 0;  // leading components that form the root (UNC server and share)
  if (win.size() >= 2 && IsAsciiLetter(win[0]) && win[1] == ':') {
    char letter = static_cast<char>(AsciiLower(std::string(1, win[0]))[0]);
    rest = win.substr(2);
    if (rest.empty() || !IsSep(static_cast<unsigned char>(rest[0]))) {
      // Drive-relative ("C:name"): relative to the current folder when it is on that drive.
      std::string cwd = CurrentDirectory();
      if (cwd.size() >= 2 && AsciiLower(cwd.substr(0, 1))[0] == letter && cwd[1] == ':') {
        return ToUnix(cwd + "\\" + rest, out);
      }
    }
    base = Prefix() + "/dosdevices/" + letter + ":";
  } else if (win.size() >= 2 && IsSep(static_cast<unsigned char>(win[0])) &&
             IsSep(static_cast<unsigned char>(win[1]))) {
    if (win.size() >= 4 && (win[2] == '?' || win[2] == '.') && IsSep(static_cast<unsigned char>(win[3]))) {
      if (win[2] == '.') return Fail(kErrorPathNotFound);  // devices are not files
      return ToUnix(win.substr(4), out);
    }
    base = Prefix() + "/dosdevices/unc";
    rest = win.substr(2);
    skip = 2;
  } else if (IsSep(static_cast<unsigned char>(win[0]))) {
    std::string cwd = CurrentDirectory();
    if (cwd.size() >= 2 && cwd[1] == ':') return ToUnix(cwd.substr(0, 2) + win, out);
    return ToUnix("C:" + win, out);
  } else {
    std::string cwd = CurrentDirectory();
    if (cwd.empty() || cwd[0] == '/') {
      // The current folder lies outside every drive: stay in Unix terms.
      std::string rel;
      for (const std::string& c : SplitPath(win)) rel += "/" + c;
      return ToUnix(cwd + rel, out);
    }
    return ToUnix(cwd + "\\" + win, out);
  }

  std::vector<std::string> parts;
  for (std::string& c : SplitPath(rest)) {
    if (parts.size() < skip) {
      parts.push_back(c);
      continue;
    }
    c = TrimComponent(c);
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (parts.size() > skip) parts.pop_back();
      continue;
    }
    parts.push_back(c);
  }
  out.root = parts.size() <= skip;
  std::vector<std::string> names;
  bool too_long = false;
  for (const std::string& part : parts) {
    names.push_back(GbkToUtf8(part));
    too_long = too_long || names.back().size() > NAME_MAX;
  }
  struct stat st;
  if (too_long) {
    if (stat(base.c_str(), &st) != 0) return Fail(kErrorPathNotFound);
    return Fail(kErrorFilenameExcedRange);
  }

  // The usual cases first, in two or three calls: the whole path exists as spelled, or all
  // of it but the last component (a name about to be made). Either means that every
  // component before resolves as spelled, which is what the walk below would find one
  // component at a time.
  if (!names.empty()) {
    std::string exact = base;
    for (const std::string& name : names) exact += "/" + name;
    if (lstat(exact.c_str(), &st) == 0) {
      if (exact.size() >= PATH_MAX) return Fail(kErrorFilenameExcedRange);
      out.path = exact;
      if (!S_ISLNK(st.st_mode)) {
        out.have_stat = true;
        out.st = st;
      }
      return Ok();
    }
    const bool absent = errno == ENOENT;
    std::string parent = exact.substr(0, exact.size() - names.back().size() - 1);
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::string actual = FindNameIgnoringCase(parent, names.back(), &st);
      std::string resolved = actual.empty() ? exact : parent + "/" + actual;
      if (resolved.size() >= PATH_MAX) return Fail(kErrorFilenameExcedRange);
      out.path = resolved;
      out.known_missing = absent && actual.empty();
      return Ok();
    }
  }

  if (stat(base.c_str(), &st) != 0) return Fail(kErrorPathNotFound);
  // Each name is looked up in a descriptor of the folder before it, which costs one step,
  // where lstat() of the whole prefix would walk it again for every component (a deep path
  // would cost its depth squared). Where there is no such folder (a file on the way, a link to
  // nothing) the names are looked up by path as before.
  int dir = open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  std::string cur = base;
  bool missing = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    std::string candidate = cur + "/" + name;
    const char* looked_up = name.c_str();
    if (!missing && (dir >= 0 ? fstatat(dir, looked_up, &st, AT_SYMLINK_NOFOLLOW)
                              : lstat(candidate.c_str(), &st)) != 0) {
      std::string actual = FindNameIgnoringCase(cur, name);
      if (!actual.empty()) {
        candidate = cur + "/" + actual;
        looked_up = candidate.c_str() + cur.size() + 1;
      } else {
        missing = true;
        if (i + 1 < names.size()) out.parent_missing = true;
      }
    } else if (missing) {
      out.parent_missing = true;
    }
    if (dir >= 0) {
      // Links are followed here, as the path walk follows them.
      int next = missing || i + 1 == names.size()
                     ? -1
                     : openat(dir, looked_up, O_PATH | O_DIRECTORY | O_CLOEXEC);
      close(dir);
      dir = next;
    }
    cur = candidate;
  }
  if (dir >= 0) close(dir);
  if (cur.size() >= PATH_MAX) return Fail(kErrorFilenameExcedRange);
  out.path = cur;
  return Ok();
}

std::string ToWindows(const std::string& unix_path) {
  char resolved[PATH_MAX];
  std::string real = realpath(unix_path.c_str(), resolved) != nullptr ? resolved : unix_path;
  std::string best_target;
  char best_letter = 0;
  std::string dev = Prefix() + "/dosdevices";
  if (DIR* d = opendir(dev.c_str()); d != nullptr) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() != 2 || n[1] != ':' || !IsAsciiLetter(n[0])) continue;
      char target[PATH_MAX];
      if (realpath((dev + "/" + n).c_str(), target) == nullptr) continue;
      std::string t = target;
      bool inside = (t == "/") || real == t ||
                    (real.size() > t.size() && real.compare(0, t.size(), t) == 0 &&
                     real[t.size()] == '/');
      if (inside && (best_letter == 0 || t.size() > best_target.size())) {
        best_target = t;
        best_letter = n[0];
      }
    }
    closedir(d);
  }
  if (best_letter == 0) return Utf8ToGbk(real);
  std::string tail = best_target == "/" ? real : real.substr(best_target.size());
  std::string win(1, static_cast<char>(best_letter >= 'a' ? best_letter - 'a' + 'A' : best_letter));
  win += ':';
  for (char c : tail) win += (c == '/') ? '\\' : c;
  if (win.size() == 2) win += '\\';
  std::string gbk_tail = Utf8ToGbk(win.substr(2));
  return win.substr(0, 2) + gbk_tail;
}

bool Writable(const std::string& unix_path, const struct stat& st) {
  if (geteuid() == 0) return (st.st_mode & 0222) != 0;
  return faccessat(AT_FDCWD, unix_path.c_str(), W_OK, AT_EACCESS) == 0;
}

}  // namespace platform::posix
