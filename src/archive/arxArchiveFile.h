// The archive file as the engine reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

namespace orb {

// The archive as the runtime's untyped file of 1-byte records: OS failures of read and seek
// raise EInOutError, as the runtime's input/output checks do.
//
// Small reads come from a read-ahead buffer: an extraction reads each entry's local header,
// then its name, then its data, seeking before each, and for an archive of many small files
// that would be several system calls per entry. Seeks only move the logical position; the
// handle's own position follows when the file is next read.
class TArchiveFile {
 public:
  bool Open(const std::string& name);  // read-only; false on failure
  bool Close();
  bool IsOpen() const { return static_cast<bool>(file_); }
  std::uint32_t Read(void* buf, std::uint32_t count);
  void Seek(std::int64_t pos);
  // Seek without raising: false on failure.
  bool TrySeek(std::int64_t pos);
  std::int64_t Size();
  std::int64_t Position() const { return pos_; }
  // The handle's position is not Position() (see above).
  platform::FileHandle Handle() const { return file_.get(); }

 private:
  static constexpr std::uint32_t kReadAhead = 65536;
  // Reads at the logical position straight from the file, seeking the handle first if needed.
  std::uint32_t ReadFile(void* buf, std::uint32_t count);

  platform::ScopedFile file_;
  std::int64_t pos_ = 0;       // logical position
  std::int64_t os_pos_ = 0;    // the handle's position
  std::vector<std::uint8_t> ahead_;
  std::int64_t ahead_pos_ = 0;  // file offset of ahead_[0]
  std::uint32_t ahead_len_ = 0;
};

}  // namespace orb
