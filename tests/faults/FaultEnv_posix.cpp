// The fault scenarios' machine on the native build.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include "faults/FaultEnv.h"
#include "platform/posix/internal.h"

namespace orb::test {

ScopedTempFolder::ScopedTempFolder(const std::string& dir) {
  // The layer's temporary folder is the prefix's user folder when it has one, else TMPDIR;
  // the test prefixes have no user folder.
  if (const char* old = std::getenv("TMPDIR")) {
    had_ = true;
    saved_ = old;
  }
  platform::posix::UnixPath p;
  if (platform::posix::ToUnix(dir, p) == 0) setenv("TMPDIR", p.path.c_str(), 1);
}

ScopedTempFolder::~ScopedTempFolder() {
  if (had_) {
    setenv("TMPDIR", saved_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

ScopedFileSizeLimit::ScopedFileSizeLimit(std::uint64_t bytes) {
  rlimit old{};
  if (getrlimit(RLIMIT_FSIZE, &old) != 0) {
    unavailable_ = std::strerror(errno);
    return;
  }
  saved_ = old.rlim_cur;
  rlimit small = old;
  small.rlim_cur = bytes;
  // Without this the first write past the limit kills the process (SIGXFSZ) instead of
  // failing with EFBIG.
  saved_handler_ = reinterpret_cast<void*>(std::signal(SIGXFSZ, SIG_IGN));
  if (setrlimit(RLIMIT_FSIZE, &small) != 0) {
    unavailable_ = std::strerror(errno);
    std::signal(SIGXFSZ, reinterpret_cast<void (*)(int)>(saved_handler_));
  }
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
  if (!unavailable_.empty()) return;
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  old.rlim_cur = saved_;
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, reinterpret_cast<void (*)(int)>(saved_handler_));
}

// The superuser writes into any folder whatever its mode, so the folder is bind-mounted
// read-only on itself, in a mount namespace of this process's own: nothing outside the
// test process sees the mount, and it goes when the process ends.
ScopedReadOnlyFolder::ScopedReadOnlyFolder(const std::string& path) {
  static bool private_namespace = false;
  if (!private_namespace) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      unavailable_ = std::string("no mount namespace of our own: ") + std::strerror(errno);
      return;
    }
    private_namespace = true;
  }
  platform::posix::UnixPath p;
  if (platform::posix::ToUnix(path, p) != 0) {
    unavailable_ = "no Unix path for " + path;
    return;
  }
  if (mount(p.path.c_str(), p.path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    unavailable_ = std::string("bind mount: ") + std::strerror(errno);
    return;
  }
  mounted_ = p.path;
  if (mount(nullptr, p.path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    unavailable_ = std::string("read-only remount: ") + std::strerror(errno);
  }
}

ScopedReadOnlyFolder::~ScopedReadOnlyFolder() {
  if (!mounted_.empty()) umount2(mounted_.c_str(), MNT_DETACH);
}

std::string WorldRoot(const std::string&) { return "C:\\"; }

std::string MakeSymbolicLink(const std::string& link, const std::string& target) {
  platform::posix::UnixPath l, t;
  if (platform::posix::ToUnix(link, l) != 0 || platform::posix::ToUnix(target, t) != 0)
    return "no Unix path for " + link + " or " + target;
  if (symlink(t.path.c_str(), l.path.c_str()) != 0) return std::strerror(errno);
  return std::string();
}

}  // namespace orb::test
