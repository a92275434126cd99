// The archive file as the engine reads it.
#include "archive/arxArchiveFile.h"

#include <algorithm>
#include <cstring>

#include "archive/arxGbls.h"
#include "platform/types.h"

namespace orb {

bool TArchiveFile::Open(const std::string& name) {
  file_.reset();
  pos_ = os_pos_ = 0;
  ahead_len_ = 0;
  platform::FileHandle h = platform::kNoFile;
  if (platform::FileOpen(name, platform::kGenericRead,
                         platform::kFileShareRead | platform::kFileShareWrite,
                         platform::kOpenExisting, platform::kFileAttributeNormal, h) != 0)
    return false;
  file_.reset(h);
  return true;
}

bool TArchiveFile::Close() {
  ahead_len_ = 0;
  if (!file_) return false;
  return platform::FileClose(file_.release()) == 0;
}

std::uint32_t TArchiveFile::ReadFile(void* buf, std::uint32_t count) {
  if (os_pos_ != pos_) {
    std::uint64_t np = 0;
    std::uint32_t rc = platform::FileSeek(file_.get(), pos_, platform::kFileBegin, np);
    if (rc != 0) throw EInOutError("Read error", rc);
    os_pos_ = static_cast<std::int64_t>(np);
  }
  std::uint32_t done = 0;
  std::uint32_t rc = platform::FileRead(file_.get(), buf, count, done);
  if (rc != 0) throw EInOutError("Read error", rc);
  os_pos_ += done;
  return done;
}

std::uint32_t TArchiveFile::Read(void* buf, std::uint32_t count) {
  if (count == 0) return 0;
  auto* out = static_cast<std::uint8_t*>(buf);
  std::uint32_t done = 0;
  while (done < count) {
    if (pos_ >= ahead_pos_ && pos_ < ahead_pos_ + ahead_len_) {
      std::uint32_t at = static_cast<std::uint32_t>(pos_ - ahead_pos_);
      std::uint32_t n = std::min(count - done, ahead_len_ - at);
      std::memcpy(out + done, ahead_.data() + at, n);
      done += n;
      pos_ += n;
      continue;
    }
    std::uint32_t want = count - done;
    if (want >= kReadAhead) {
      // A large piece goes straight to the caller.
      std::uint32_t n = ReadFile(out + done, want);
      done += n;
      pos_ += n;
      break;
    }
    ahead_.resize(kReadAhead);
    ahead_pos_ = pos_;
    ahead_len_ = 0;
    ahead_len_ = ReadFile(ahead_.data(), kReadAhead);
    if (ahead_len_ == 0) break;  // end of file
  }
  return done;
}

bool TArchiveFile::TrySeek(std::int64_t pos) {
  if (pos < 0 || !file_) return false;
  pos_ = pos;
  return true;
}

void TArchiveFile::Seek(std::int64_t pos) {
  if (!TrySeek(pos)) throw EInOutError("Seek error", platform::kErrorInvalidParameter);
}

std::int64_t TArchiveFile::Size() {
  std::uint64_t size = 0;
  std::uint32_t rc = platform::FileGetSize(file_.get(), size);
  if (rc != 0) throw EInOutError("Read error", rc);
  return static_cast<std::int64_t>(size);
}

}  // namespace orb
