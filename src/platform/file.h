// Handle-based files: CreateFileA, ReadFile, WriteFile, SetFilePointer, GetFileSize,
// SetEndOfFile, SetFileTime, CloseHandle.
//
// Constants carry their Windows values so that callers can state open parameters exactly
// as the Windows API documents them. On POSIX, sharing is enforced between processes with
// advisory locks and FILE_FLAG_DELETE_ON_CLOSE unlinks the file when its handle closes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace platform {

using FileHandle = std::uintptr_t;  // 0 = no file
constexpr FileHandle kNoFile = 0;

enum : std::uint32_t {
  kGenericRead = 0x80000000u,
  kGenericWrite = 0x40000000u,

  kFileShareRead = 0x1,
  kFileShareWrite = 0x2,
  kFileShareDelete = 0x4,

  kCreateNew = 1,
  kCreateAlways = 2,
  kOpenExisting = 3,
  kOpenAlways = 4,
  kTruncateExisting = 5,

  kFileAttributeReadOnly = 0x1,
  kFileAttributeHidden = 0x2,
  kFileAttributeSystem = 0x4,
  kFileAttributeDirectory = 0x10,
  kFileAttributeArchive = 0x20,
  kFileAttributeNormal = 0x80,
  kFileAttributeTemporary = 0x100,
  // A symbolic link or junction (on POSIX: a symbolic link).
  kFileAttributeReparsePoint = 0x400,
  kInvalidFileAttributes = 0xFFFFFFFFu,

  kFileFlagDeleteOnClose = 0x04000000u,
  kFileFlagSequentialScan = 0x08000000u,
  kFileFlagRandomAccess = 0x10000000u,
  // The last component of the name is never followed if it is a reparse point.
  kFileFlagOpenReparsePoint = 0x00200000u,

  kFileBegin = 0,
  kFileCurrent = 1,
  kFileEnd = 2,
};

// CreateFileA. On success `out` receives a handle (never 0); on failure `out` is 0.
// With kFileFlagOpenReparsePoint the last component is never followed. Windows then opens a
// link itself; the POSIX layer cannot make a file of a symbolic link, so a name held by one
// is refused whatever it points to (or to nothing): kErrorFileExists for kCreateNew,
// kErrorAccessDenied for every other disposition. Nothing is read, created, written or
// truncated where the link points. Components before the last are followed either way (see
// FindReparsePoint in fs.h).
std::uint32_t FileOpen(const std::string& name, std::uint32_t desired_access,
                       std::uint32_t share_mode, std::uint32_t creation_disposition,
                       std::uint32_t flags_and_attributes, FileHandle& out);

// ReadFile: `done` may be less than `count` at the end of the file (then still success).
std::uint32_t FileRead(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t& done);

// WriteFile.
std::uint32_t FileWrite(FileHandle h, const void* buffer, std::uint32_t count,
                        std::uint32_t& done);

// SetFilePointerEx: moves to `offset` from `origin` (kFileBegin/Current/End).
std::uint32_t FileSeek(FileHandle h, std::int64_t offset, std::uint32_t origin,
                       std::uint64_t& new_position);

// GetFileSize (both halves).
std::uint32_t FileGetSize(FileHandle h, std::uint64_t& size);

// SetEndOfFile at the current position.
std::uint32_t FileSetEnd(FileHandle h);

// SetFileTime(last write) from a local time, as the runtime's FileSetDate does
// (local time -> system time, second resolution kept as given).
std::uint32_t FileSetLocalWriteTime(FileHandle h, const LocalTime& t);

// FlushFileBuffers: what was written is on the disk when this returns.
std::uint32_t FileFlush(FileHandle h);

// CloseHandle.
std::uint32_t FileClose(FileHandle h);

// Owns a handle and closes it when it goes out of scope.
class ScopedFile {
 public:
  ScopedFile() = default;
  explicit ScopedFile(FileHandle h) : h_(h) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ScopedFile(ScopedFile&& o) noexcept : h_(o.release()) {}
  ScopedFile& operator=(ScopedFile&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~ScopedFile() { reset(); }
  FileHandle get() const { return h_; }
  FileHandle release() {
    FileHandle h = h_;
    h_ = kNoFile;
    return h;
  }
  void reset(FileHandle h = kNoFile) {
    if (h_ != kNoFile) FileClose(h_);
    h_ = h;
  }
  explicit operator bool() const { return h_ != kNoFile; }

 private:
  FileHandle h_ = kNoFile;
};

}  // namespace platform
