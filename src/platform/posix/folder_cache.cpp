// Case-insensitive name look-up in a folder without reading the whole folder each time.
//
// Windows names are case-insensitive, Unix names are not: a path component that does not
// exist with its exact spelling is looked for among the folder's names, ignoring ASCII case.
// Reading the folder for every such miss makes the creation of n new files in one folder
// cost O(n^2) (each new name is a miss), so the names of a few recently used folders are kept:
// folded name -> the real names that fold to it.
//
// Invariant: a kept folder's names are exactly what reading it would return now, for every
// change (by this process or any other) whose system call returned before the look-up began.
// It holds because
//   - the folder is watched with inotify before it is read, and the kernel queues a name
//     event (create, delete, rename from/to) inside the system call that makes the change;
//   - every look-up first drains that queue and applies each event to its folder's names; an
//     event that the reading already saw repeats it, and adding or removing a name is
//     idempotent, so the names converge on the folder's contents whatever the interleaving;
//   - folders are keyed by (st_dev, st_ino) of the path being looked in, stat()ed at every
//     look-up, so a path that now names another folder (a parent renamed, a folder deleted
//     and made again) never finds the old names; a watched folder that is deleted or
//     unmounted (IN_DELETE_SELF, IN_UNMOUNT, IN_IGNORED) and a lost queue (IN_Q_OVERFLOW)
//     drop what was kept.
// The folder's modification time is deliberately not the test: timestamps come from a coarse
// clock on many kernels, so another process creating a file in the same clock tick as our
// reading leaves st_mtime unchanged and the new name would go unseen.
// inotify only sees changes made through this machine's kernel, so folders on network and
// user-space file systems are never kept: they are read at each miss, as before.
//
// When more than one real name folds to the name asked for, the folder is read again and the
// first match in readdir order wins, which is the rule the layer always had; the cache never
// chooses among names that differ only by case.
//
// A child after fork() shares the parent's inotify descriptor (and so its queue): it drops
// everything and opens its own (told by a pthread_atfork handler). The layer may be called
// from several threads: one mutex.
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <list>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/posix/internal.h"

namespace platform::posix {
namespace {

// Enough for an extraction (the folder being filled and a few it passes through) while
// bounding the memory and the watches taken.
constexpr std::size_t kKeptFolders = 8;

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_DELETE_SELF | IN_ONLYDIR;

std::atomic<std::uint64_t> g_folder_reads{0};

// Scans the folder: the first name in readdir order that folds to `want` (already folded).
std::string ScanFolder(const std::string& dir, const std::string& want) {
  g_folder_reads.fetch_add(1, std::memory_order_relaxed);
  std::string actual;
  if (DIR* d = opendir(dir.c_str()); d != nullptr) {
    while (dirent* e = readdir(d)) {
      if (AsciiLower(e->d_name) == want) {
        actual = e->d_name;
        break;
      }
    }
    closedir(d);
  }
  return actual;
}

// File systems whose every change goes through this kernel, so that inotify sees it.
bool ChangesAreSeenLocally(const std::string& dir) {
  struct statfs fs;
  if (statfs(dir.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53UL:      // ext2, ext3, ext4
    case 0x01021994UL:  // tmpfs
    case 0x858458F6UL:  // ramfs
    case 0x58465342UL:  // xfs
    case 0x9123683EUL:  // btrfs
    case 0xF2F52010UL:  // f2fs
    case 0x794C7630UL:  // overlayfs
      return true;
    default:
      return false;
  }
}

struct Folder {
  dev_t dev = 0;
  ino_t ino = 0;
  int wd = -1;
  std::unordered_map<std::string, std::vector<std::string>> names;  // folded -> real

  void Add(const std::string& real) {
    std::vector<std::string>& v = names[AsciiLower(real)];
    for (const std::string& n : v) {
      if (n == real) return;
    }
    v.push_back(real);
  }
  void Remove(const std::string& real) {
    auto it = names.find(AsciiLower(real));
    if (it == names.end()) return;
    std::vector<std::string>& v = it->second;
    for (std::size_t i = 0; i < v.size(); ++i) {
      if (v[i] == real) {
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    if (v.empty()) names.erase(it);
  }
};

class FolderCache;
FolderCache& Cache();

class FolderCache {
 public:
  FolderCache() { pthread_atfork(&LockForFork, &UnlockAfterFork, &ResetAfterFork); }

  std::string Find(const std::string& dir, const std::string& name, const struct stat* dir_st) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string want = AsciiLower(name);
    struct stat st;
    if (dir_st != nullptr) {
      st = *dir_st;
    } else if (stat(dir.c_str(), &st) != 0) {
      return std::string();
    }
    if (!S_ISDIR(st.st_mode)) return std::string();
    if (!Ready()) return ScanFolder(dir, want);
    Drain();
    auto it = folders_.begin();
    for (; it != folders_.end(); ++it) {
      if (it->dev == st.st_dev && it->ino == st.st_ino) break;
    }
    if (it != folders_.end()) {
      folders_.splice(folders_.begin(), folders_, it);  // most recently used first
    } else if (!Keep(dir, st)) {
      return ScanFolder(dir, want);
    }
    const Folder& f = folders_.front();
    auto found = f.names.find(want);
    if (found == f.names.end()) return std::string();
    if (found->second.size() == 1) return found->second.front();
    return ScanFolder(dir, want);
  }

 private:
  // The mutex is held across fork(), so that the child never inherits it locked by a
  // thread that the child does not have.
  static void LockForFork() { Cache().mutex_.lock(); }
  static void UnlockAfterFork() { Cache().mutex_.unlock(); }
  static void ResetAfterFork() {
    FolderCache& c = Cache();
    c.forked_ = true;
    c.mutex_.unlock();
  }

  // An inotify queue of this process's own; false when none can be had (then every miss
  // reads the folder).
  bool Ready() {
    if (forked_) {
      // The descriptor and its queue are the parent's too. Closing our copy leaves the
      // parent's watches alone.
      forked_ = false;
      if (fd_ >= 0) close(fd_);
      fd_ = -1;
      failed_ = false;
      folders_.clear();
    }
    if (fd_ >= 0) return true;
    if (failed_) return false;
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    failed_ = fd_ < 0;
    return !failed_;
  }

  Folder* ByWatch(int wd) {
    for (Folder& f : folders_) {
      if (f.wd == wd) return &f;
    }
    return nullptr;
  }

  void Forget(int wd, bool remove_watch) {
    for (auto it = folders_.begin(); it != folders_.end(); ++it) {
      if (it->wd == wd) {
        if (remove_watch) inotify_rm_watch(fd_, wd);
        folders_.erase(it);
        return;
      }
    }
  }

  void ForgetAll() {
    for (const Folder& f : folders_) inotify_rm_watch(fd_, f.wd);
    folders_.clear();
  }

  // Applies every queued event.
  void Drain() {
    alignas(struct inotify_event) char buf[16384];
    for (;;) {
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // EAGAIN: the queue is empty
      // A read returns every queued event that fits; room left for a longest one means
      // that the queue was empty when it was read.
      const bool emptied = static_cast<std::size_t>(n) + sizeof(struct inotify_event) + NAME_MAX + 1 <= sizeof buf;
      for (char* p = buf; p < buf + n;) {
        auto* ev = reinterpret_cast<struct inotify_event*>(p);
        p += sizeof(struct inotify_event) + ev->len;
        if (ev->mask & IN_Q_OVERFLOW) {
          ForgetAll();
          continue;
        }
        if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT)) {
          Forget(ev->wd, false);  // the kernel has removed the watch
          continue;
        }
        Folder* f = ByWatch(ev->wd);
        if (f == nullptr || ev->len == 0) continue;  // a folder already let go
        std::string name(ev->name, strnlen(ev->name, ev->len));
        if (ev->mask & (IN_CREATE | IN_MOVED_TO)) f->Add(name);
        if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) f->Remove(name);
      }
      if (emptied) return;
    }
  }

  // Watches and reads the folder `dir` (stat()ed as `st`) and keeps it first in the list;
  // false when it cannot or must not be kept.
  bool Keep(const std::string& dir, const struct stat& st) {
    if (!ChangesAreSeenLocally(dir)) return false;
    // The watch first, the reading second: a change made in between is both read and queued.
    int wd = inotify_add_watch(fd_, dir.c_str(), kWatchMask);
    if (wd < 0) return false;
    // The same watch for another key: that folder's inode is gone and its number reused.
    Forget(wd, false);
    DIR* d = opendir(dir.c_str());
    struct stat dst;
    if (d == nullptr || fstat(dirfd(d), &dst) != 0 || dst.st_dev != st.st_dev ||
        dst.st_ino != st.st_ino) {
      // The path was changed under us: the watch may be on another folder than the one read.
      if (d != nullptr) closedir(d);
      inotify_rm_watch(fd_, wd);
      return false;
    }
    g_folder_reads.fetch_add(1, std::memory_order_relaxed);
    Folder f;
    f.dev = st.st_dev;
    f.ino = st.st_ino;
    f.wd = wd;
    while (dirent* e = readdir(d)) f.Add(e->d_name);
    closedir(d);
    folders_.push_front(std::move(f));
    while (folders_.size() > kKeptFolders) {
      inotify_rm_watch(fd_, folders_.back().wd);
      folders_.pop_back();
    }
    return true;
  }

  std::mutex mutex_;
  int fd_ = -1;
  bool failed_ = false;  // no inotify descriptor could be had in this process
  bool forked_ = false;
  std::list<Folder> folders_;  // most recently used first, at most kKeptFolders
};

FolderCache& Cache() {
  // Never destroyed: the layer may be called from static destructors of other units.
  static FolderCache* cache = new FolderCache;
  return *cache;
}

}  // namespace

std::string FindNameIgnoringCase(const std::string& dir, const std::string& name,
                                 const struct stat* dir_st) {
  return Cache().Find(dir, name, dir_st);
}

std::uint64_t FolderReads() { return g_folder_reads.load(std::memory_order_relaxed); }

}  // namespace platform::posix
