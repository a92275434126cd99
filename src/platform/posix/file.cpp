// Handle-based files over POSIX descriptors.
//
// Sharing: Windows refuses an open whose access another handle's share mode does not allow,
// or whose share mode does not allow another handle's access. Each handle states its access
// and its denials as shared OFD locks on four marker bytes far beyond any real data; an
// opener first tests the markers that would conflict (F_OFD_GETLK) and then takes its own.
// OFD locks belong to the open file description, so two handles in one process conflict
// just as two processes do. The test-and-take step is serialised with flock() on the same
// description, which is independent of fcntl locks.
// A new file gets its markers before it gets its name (CreateNamed), as CreateFileA creates
// and shares in one step: otherwise another process could open it in between and make its
// own creator fail with a sharing violation.
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "platform/error.h"
#include "platform/faults.h"
#include "platform/gbk.h"
#include "platform/file.h"
#include "platform/posix/internal.h"
#include "platform/types.h"

namespace platform {
namespace {

using posix::Fail;
using posix::Ok;

// Marker offsets: the top of the off_t range, which no file of ours reaches.
constexpr off_t kMarkerBase = 0x7FFFFFFFFFFFFF00LL;
enum Marker : off_t { kHasRead = 0, kHasWrite = 1, kDeniesRead = 2, kDeniesWrite = 3 };

struct FileObject {
  int fd = -1;
  std::string unix_path;
  bool delete_on_close = false;
  bool can_read = false;
  bool can_write = false;
};

std::mutex g_mutex;
std::unordered_set<FileObject*> g_files;

FileObject* Lookup(FileHandle h) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto* f = reinterpret_cast<FileObject*>(h);
  return g_files.count(f) != 0 ? f : nullptr;
}

bool MarkerHeld(int fd, Marker m) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kMarkerBase + m;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

// Whether another handle holds any of the four markers: one question answers the usual case
// (a file nobody else has open) before the markers are asked about one by one.
bool AnyMarkerHeld(int fd) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kMarkerBase;
  fl.l_len = 4;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return true;
  return fl.l_type != F_UNLCK;
}

// Takes the markers whose bits are set in `wanted` (bit m for marker m), a run of adjacent
// markers in one call (the kernel keeps adjacent read locks of one owner as one range anyway).
void TakeMarkers(int fd, unsigned wanted) {
  for (int m = 0; m < 4;) {
    if (!(wanted & (1u << m))) {
      ++m;
      continue;
    }
    int end = m;
    while (end + 1 < 4 && (wanted & (1u << (end + 1)))) ++end;
    struct flock fl = {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kMarkerBase + m;
    fl.l_len = end - m + 1;
    fcntl(fd, F_OFD_SETLK, &fl);
    m = end + 1;
  }
}

// Tests and takes the sharing markers; false on a sharing violation.
bool ClaimSharing(int fd, bool read, bool write, std::uint32_t share, bool fd_readable) {
  flock(fd, LOCK_EX);
  bool conflict = AnyMarkerHeld(fd) &&
                  ((read && MarkerHeld(fd, kDeniesRead)) ||
                   (write && MarkerHeld(fd, kDeniesWrite)) ||
                   (!(share & kFileShareRead) && MarkerHeld(fd, kHasRead)) ||
                   (!(share & kFileShareWrite) && MarkerHeld(fd, kHasWrite)));
  // Shared locks need a readable descriptor; a write-only handle on a file we may not read
  // cannot state its markers (rare: such a handle is never opened by the system).
  if (!conflict && fd_readable) {
    unsigned wanted = 0;
    if (read) wanted |= 1u << kHasRead;
    if (write) wanted |= 1u << kHasWrite;
    if (!(share & kFileShareRead)) wanted |= 1u << kDeniesRead;
    if (!(share & kFileShareWrite)) wanted |= 1u << kDeniesWrite;
    TakeMarkers(fd, wanted);
  }
  flock(fd, LOCK_UN);
  return !conflict;
}

// Creates the file `path` already holding its sharing markers: made unnamed in its folder,
// claimed, then linked under its name. Returns the descriptor; -1 with errno EEXIST when the
// name was taken meanwhile, or -1 with errno ENOTSUP when this cannot be done here (a file
// system without unnamed files, no /proc), and the caller creates the file the plain way.
int CreateNamed(const std::string& path, mode_t mode, bool read, bool write,
                std::uint32_t share) {
  std::string::size_type slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
  if (fd < 0) {
    errno = ENOTSUP;
    return -1;
  }
  ClaimSharing(fd, read, write, share, true);  // nobody else can see the file yet
  // Linking the descriptor itself needs a privilege on older kernels; through /proc it does not.
  if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return fd;
  int err = errno;
  if (err != EEXIST) {
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
    err = errno;
  }
  close(fd);
  errno = err == EEXIST ? EEXIST : ENOTSUP;
  return -1;
}

}  // namespace

namespace {

// Whether the last whole character of a GBK name is a path separator (a trail byte 0x5C
// of a double-byte character is not).
bool EndsWithSeparator(const std::string& name) {
  return EndsWithChar(name, '\\') || EndsWithChar(name, '/');
}

}  // namespace

std::uint32_t FileOpen(const std::string& name, std::uint32_t desired_access,
                       std::uint32_t share_mode, std::uint32_t creation_disposition,
                       std::uint32_t flags_and_attributes, FileHandle& out) {
  if (std::uint32_t e = InjectedFault(FsCall::kOpen)) return Fail(e);
  out = kNoFile;
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(name, p)) return e;
  if (creation_disposition < kCreateNew || creation_disposition > kTruncateExisting) {
    return Fail(kErrorInvalidParameter);
  }
  bool read = (desired_access & kGenericRead) != 0;
  bool write = (desired_access & kGenericWrite) != 0;
  if (creation_disposition == kTruncateExisting && !write) return Fail(kErrorInvalidParameter);

  // With kFileFlagOpenReparsePoint a name held by a symbolic link is refused outright: a
  // link is no file we could open instead of its target.
  const bool no_follow = (flags_and_attributes & kFileFlagOpenReparsePoint) != 0;
  struct stat st = p.st;
  bool exists = p.have_stat;
  if (!exists && !p.known_missing) {
    if (no_follow && !p.root && lstat(p.path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      return Fail(creation_disposition == kCreateNew ? kErrorFileExists : kErrorAccessDenied);
    }
    exists = stat(p.path.c_str(), &st) == 0;
  }
  if (exists && S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
  if (exists && creation_disposition == kCreateNew) return Fail(kErrorFileExists);
  if (!exists && (creation_disposition == kOpenExisting ||
                  creation_disposition == kTruncateExisting)) {
    return Fail(p.parent_missing ? kErrorPathNotFound : kErrorFileNotFound);
  }
  // "name\" names a folder, never a file: past the two answers above, Windows refuses it as
  // a file name. Resolving it to the file "name" would let a folder entry of an archive
  // empty a file of that name.
  if (EndsWithSeparator(name)) return Fail(kErrorInvalidName);
  // A read-only file refuses write access and replacement even to the superuser.
  bool replaces = creation_disposition == kCreateAlways || creation_disposition == kTruncateExisting;
  if (exists && (write || replaces) && !posix::Writable(p.path, st)) {
    return Fail(kErrorAccessDenied);
  }

  // O_NOFOLLOW and O_EXCL keep to that when a link takes the name after the look above; a new
  // file is linked in by linkat(), which never follows the name it makes either.
  int flags = O_CLOEXEC | (no_follow ? O_NOFOLLOW : 0);
  bool fd_readable = true;
  if (write) {
    flags |= O_RDWR;  // readable too, so that the sharing markers can be taken
  } else {
    flags |= O_RDONLY;
  }
  // A new file is created exclusively, so that a file another process made meanwhile is
  // never taken for ours (and never unlinked by us after a sharing violation).
  if (!exists) flags |= O_CREAT | O_EXCL;
  mode_t mode = (flags_and_attributes & kFileAttributeReadOnly) ? 0444 : 0666;
  int fd = -1;
  bool claimed = false;
  if (!exists) {
    fd = CreateNamed(p.path, mode, read, write, share_mode);
    claimed = fd >= 0;
  }
  if (fd < 0 && (exists || errno != EEXIST)) fd = open(p.path.c_str(), flags, mode);
  if (fd < 0 && write && errno == EACCES && !read) {
    fd = open(p.path.c_str(), (flags & ~O_RDWR) | O_WRONLY, mode);
    fd_readable = false;
  }
  if (fd < 0 && errno == EEXIST && creation_disposition != kCreateNew) {
    // A symbolic link to nothing holds the name but is no file: following it would create
    // one wherever it points, and looking again would find it missing again, for ever.
    struct stat link_st;
    if (lstat(p.path.c_str(), &link_st) == 0 && S_ISLNK(link_st.st_mode) &&
        stat(p.path.c_str(), &link_st) != 0) {
      return Fail(kErrorAccessDenied);
    }
    // Created by someone else since we looked: open it as the existing file it now is.
    return FileOpen(name, desired_access, share_mode, creation_disposition,
                    flags_and_attributes, out);
  }
  if (fd < 0 && no_follow && errno == ELOOP) return Fail(kErrorAccessDenied);  // a link now
  if (fd < 0) return Fail(posix::FromErrno(errno, p));
  bool created = !exists;

  if (!claimed && !ClaimSharing(fd, read, write, share_mode, fd_readable)) {
    close(fd);
    if (created) unlink(p.path.c_str());
    return Fail(kErrorSharingViolation);
  }
  if (exists && replaces && ftruncate(fd, 0) != 0) {
    int err = errno;
    close(fd);
    return Fail(posix::FromErrno(err, p));
  }

  auto* f = new FileObject;
  f->fd = fd;
  f->unix_path = p.path;
  f->delete_on_close = (flags_and_attributes & kFileFlagDeleteOnClose) != 0;
  f->can_read = read;
  f->can_write = write;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_files.insert(f);
  }
  out = reinterpret_cast<FileHandle>(f);
  // The layer's rule (0 after success) wins over CreateFileA's ERROR_ALREADY_EXISTS for
  // OPEN_ALWAYS and CREATE_ALWAYS on an existing file; no caller asks which it was.
  return Ok();
}

std::uint32_t FileRead(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t& done) {
  if (std::uint32_t e = InjectedFault(FsCall::kRead)) return Fail(e);
  done = 0;
  FileObject* f = Lookup(h);
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  if (!f->can_read) return Fail(kErrorAccessDenied);
  auto* p = static_cast<char*>(buffer);
  while (done < count) {
    ssize_t n = read(f->fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(posix::FromErrno(errno, posix::UnixPath{f->unix_path, false}));
    }
    if (n == 0) break;
    done += static_cast<std::uint32_t>(n);
  }
  return Ok();
}

std::uint32_t FileWrite(FileHandle h, const void* buffer, std::uint32_t count,
                        std::uint32_t& done) {
  if (std::uint32_t e = InjectedFault(FsCall::kWrite)) return Fail(e);
  done = 0;
  FileObject* f = Lookup(h);
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  if (!f->can_write) return Fail(kErrorAccessDenied);
  const auto* p = static_cast<const char*>(buffer);
  while (done < count) {
    ssize_t n = write(f->fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(posix::FromErrno(errno, posix::UnixPath{f->unix_path, false}));
    }
    done += static_cast<std::uint32_t>(n);
  }
  return Ok();
}

std::uint32_t FileSeek(FileHandle h, std::int64_t offset, std::uint32_t origin,
                       std::uint64_t& new_position) {
  FileObject* f = Lookup(h);
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  int whence = origin == kFileBegin ? SEEK_SET : origin == kFileCurrent ? SEEK_CUR
             : origin == kFileEnd ? SEEK_END : -1;
  if (whence < 0) return Fail(kErrorInvalidParameter);
  // Windows refuses a negative resulting position with ERROR_NEGATIVE_SEEK (131).
  off_t r = lseek(f->fd, static_cast<off_t>(offset), whence);
  if (r < 0) return Fail(errno == EINVAL ? 131u : posix::FromErrno(errno, posix::UnixPath{}));
  new_position = static_cast<std::uint64_t>(r);
  return Ok();
}

std::uint32_t FileGetSize(FileHandle h, std::uint64_t& size) {
  size = 0;
  FileObject* f = Lookup(h);
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  struct stat st;
  if (fstat(f->fd, &st) != 0) return Fail(posix::FromErrno(errno, posix::UnixPath{}));
  size = static_cast<std::uint64_t>(st.st_size);
  return Ok();
}

std::uint32_t FileSetEnd(FileHandle h) {
  if (std::uint32_t e = InjectedFault(FsCall::kSetEnd)) return Fail(e);
  FileObject* f = Lookup(h);
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  if (!f->can_write) return Fail(kErrorAccessDenied);
  off_t pos = lseek(f->fd, 0, SEEK_CUR);
  if (pos < 0 || ftruncate(f->fd, pos) != 0) {
    return Fail(posix::FromErrno(errno, posix::UnixPath{f->unix_path, false}));
  }
  return Ok();
}

std::uint32_t FileSetLocalWriteTime(FileHandle h, const LocalTime& t) {
  if (std::uint32_t e = InjectedFault(FsCall::kSetTime)) return Fail(e);
  FileObject* f = Lookup(h);
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  if (!f->can_write) return Fail(kErrorAccessDenied);
  struct tm tm = {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  time_t secs = mktime(&tm);
  if (secs == static_cast<time_t>(-1) || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > 31) {
    return Fail(kErrorInvalidParameter);
  }
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = secs;
  times[1].tv_nsec = static_cast<long>(t.milliseconds) * 1000000L;
  if (futimens(f->fd, times) != 0) return Fail(posix::FromErrno(errno, posix::UnixPath{}));
  return Ok();
}

std::uint32_t FileClose(FileHandle h) {
  FileObject* f = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto* candidate = reinterpret_cast<FileObject*>(h);
    if (g_files.erase(candidate) != 0) f = candidate;
  }
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  const std::uint32_t injected = InjectedFault(FsCall::kClose);
  if (f->delete_on_close) unlink(f->unix_path.c_str());
  close(f->fd);
  delete f;
  return Fail(injected);
}

namespace posix {

bool HeldOpen(const std::string& unix_path) {
  int fd = open(unix_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = AnyMarkerHeld(fd);
  close(fd);
  return held;
}

}  // namespace posix

std::uint32_t FileFlush(FileHandle h) {
  if (std::uint32_t e = InjectedFault(FsCall::kFlush)) return Fail(e);
  FileObject* f = Lookup(h);
  if (f == nullptr) return Fail(kErrorInvalidHandle);
  if (!f->can_write) return Fail(kErrorAccessDenied);  // as FlushFileBuffers without write access
  if (fsync(f->fd) != 0) return Fail(posix::FromErrno(errno, posix::UnixPath{}));
  return Ok();
}

}  // namespace platform
