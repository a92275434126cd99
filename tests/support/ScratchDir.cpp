#include "support/ScratchDir.h"

#include <atomic>
#include <cstdio>
#include <random>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/types.h"

namespace orbtest {
namespace {

std::atomic<unsigned> g_counter{0};

}  // namespace

ScratchDir::ScratchDir() {
  std::string base = platform::TempPath();
  std::random_device rd;
  for (int attempt = 0; attempt < 100 && !ok_; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "orbtest-%08x-%u", static_cast<unsigned>(rd()),
                  g_counter.fetch_add(1));
    std::string candidate = base + name;
    if (platform::CreateDir(candidate) == 0) {
      path_ = candidate;
      ok_ = true;
    }
  }
}

ScratchDir::~ScratchDir() {
  if (ok_) RemoveTree(path_);
}

std::uint32_t WriteWholeFile(const std::string& path, const std::string& bytes) {
  platform::FileHandle h = platform::kNoFile;
  std::uint32_t e = platform::FileOpen(path, platform::kGenericWrite, 0, platform::kCreateAlways,
                                       platform::kFileAttributeNormal, h);
  if (e != 0) return e;
  platform::ScopedFile f(h);
  std::uint32_t done = 0;
  e = platform::FileWrite(h, bytes.data(), static_cast<std::uint32_t>(bytes.size()), done);
  if (e == 0 && done != bytes.size()) e = platform::kErrorDiskFull;
  return e;
}

std::uint32_t ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  platform::FileHandle h = platform::kNoFile;
  std::uint32_t e = platform::FileOpen(path, platform::kGenericRead, platform::kFileShareRead,
                                       platform::kOpenExisting, platform::kFileAttributeNormal, h);
  if (e != 0) return e;
  platform::ScopedFile f(h);
  char buf[65536];
  for (;;) {
    std::uint32_t done = 0;
    e = platform::FileRead(h, buf, sizeof buf, done);
    if (e != 0) return e;
    if (done == 0) return 0;
    bytes.append(buf, done);
  }
}

std::uint32_t RemoveTree(const std::string& path) {
  std::string dir = path;
  if (platform::EndsWithChar(dir, '\\')) dir.pop_back();
  std::uint32_t attrs = 0;
  if (platform::GetAttributes(dir, attrs) != 0) return 0;
  platform::FindHandle find;
  platform::FindData fd;
  for (std::uint32_t e = find.First(dir + "\\*", fd); e == 0; e = find.Next(fd)) {
    if (fd.name == "." || fd.name == "..") continue;
    std::string child = dir + "\\" + fd.name;
    // A link to a folder (FILE_ATTRIBUTE_REPARSE_POINT) is removed, never followed: a test
    // may link to folders it does not own.
    if (fd.attributes & platform::kFileAttributeReparsePoint) {
      if (platform::RemoveFile(child) != 0) platform::RemoveDir(child);
    } else if (fd.attributes & platform::kFileAttributeDirectory) {
      RemoveTree(child);
    } else {
      if (fd.attributes & platform::kFileAttributeReadOnly) {
        platform::SetAttributes(child, platform::kFileAttributeNormal);
      }
      platform::RemoveFile(child);
    }
  }
  find.Close();
  return platform::RemoveDir(dir);
}

}  // namespace orbtest
