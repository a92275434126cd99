// The root of the archive component: the archive file, its detected type and start offset,
// the zip records found by the end-record search, passwords, and the owned helpers (volume
// manager, attribute mask, clock). Also the untyped archive file. The record layouts are in
// ZipRecords.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "_OrbLib/Classes.h"
#include "archive/arxDiskMan.h"
#include "archive/ZipRecords.h"
#include "archive/arxGbls.h"
#include "platform/file.h"

namespace orb {

enum class TArcType : std::uint8_t {
  atNA, atUnsupported, atFileOpenErr, atUnknown, atACE, atArc, atArcExe, atArj, atArjExe,
  atBh, atBhExe, atCab, atGZip, atHa, atJar, atLha, atLhaExe, atLzh, atLzhExe, atMsGZ,
  atPak, atPakExe, atRar, atRarExe, atTar, atUue, atZip, atZipExe, atZipMV, atZoo
};
bool IsRecognisedArcType(TArcType t);
// Name of a type as the enumeration spells it ("atZip").
const char* ArcTypeName(TArcType t);

// One selected entry: seven 32-bit fields, from a central or a local header.
struct TZipEntry {
  std::uint32_t Flags = 0;
  std::uint32_t Method = 0;
  std::uint32_t HeaderOffset = 0;
  std::uint32_t PackedSize = 0;
  std::uint32_t UnpackedSize = 0;
  std::uint32_t Crc = 0;
  std::uint32_t Attr = 0;
};
static_assert(sizeof(TZipEntry) == 7 * 4);

// The list of selected entries.
class TarxFileList {
 public:
  void Init() { items_.clear(); }
  void Clear() { items_.clear(); }
  bool Add(const TZipEntry& e) {
    items_.push_back(e);
    return true;
  }
  void Done() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  const TZipEntry& operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }

 private:
  std::vector<TZipEntry> items_;
};

// Elapsed engine time: event handlers and the selection pass run between Pause and Resume.
class TarxTimer {
 public:
  void Start();
  void Pause();
  void Resume();
  void Stop();
  float Elapsed() const { return elapsed_; }

 private:
  std::uint32_t start_ = 0, stop_ = 0, pause_ = 0;
  float elapsed_ = 0;
};

// Pauses the engine clock for the life of the guard: time spent in event handlers is not
// engine time.
class TimerPause {
 public:
  explicit TimerPause(TarxTimer& t) : t_(t) { t_.Pause(); }
  ~TimerPause() { t_.Resume(); }
  TimerPause(const TimerPause&) = delete;
  TimerPause& operator=(const TimerPause&) = delete;

 private:
  TarxTimer& t_;
};

// The attribute mask; "any file" is the value 0x93F (every bit of the mask).
class TarxFileAttr : public TObject {
 public:
  TarxFileAttr() { SetftFileAttr(0); }
  std::int32_t ftFileAttr() const { return attr_; }
  void SetftFileAttr(std::int32_t v);
  bool ftArchive() const { return b_[kArchive]; }
  bool ftHidden() const { return b_[kHidden]; }
  bool ftReadOnly() const { return b_[kReadOnly]; }
  bool ftSysFile() const { return b_[kSysFile]; }
  bool ftCompressed() const { return b_[kCompressed]; }
  bool ftVolumeID() const { return b_[kVolumeID]; }
  bool ftDirectory() const { return b_[kDirectory]; }
  bool ftTemporary() const { return b_[kTemporary]; }
  bool ftAnyFile() const { return any_; }
  void SetftArchive(bool b) { SetBit(kArchive, b); }
  void SetftHidden(bool b) { SetBit(kHidden, b); }
  void SetftReadOnly(bool b) { SetBit(kReadOnly, b); }
  void SetftSysFile(bool b) { SetBit(kSysFile, b); }
  void SetftCompressed(bool b) { SetBit(kCompressed, b); }
  void SetftVolumeID(bool b) { SetBit(kVolumeID, b); }
  void SetftDirectory(bool b) { SetBit(kDirectory, b); }
  void SetftTemporary(bool b) { SetBit(kTemporary, b); }
  void SetftAnyFile(bool b) {
    any_ = b;
    Recompute();
  }
  void Assign(const TarxFileAttr& other) {
    for (int i = 0; i < 8; ++i) b_[i] = other.b_[i];
  }

 private:
  enum { kReadOnly, kHidden, kSysFile, kVolumeID, kDirectory, kArchive, kTemporary, kCompressed };
  static constexpr std::int32_t kBits[8] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x100, 0x800};
  static constexpr std::int32_t kAnyFile = 0x93F;
  void SetBit(int i, bool b);
  void Recompute();
  std::int32_t attr_ = 0;
  bool b_[8] = {};
  bool any_ = false;
};

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

// Bits of the header flag: how far the chain end record -> first central header -> its
// local header was verified.
enum : std::uint8_t {
  kHeadEndRecord = 0x01,
  kHeadCentral = 0x08,
  kHeadLocal = 0x10,
  kHeadChain = kHeadEndRecord | kHeadCentral | kHeadLocal,
};

class TarxMain : public TComponent {
 public:
  explicit TarxMain(TComponent* owner);
  ~TarxMain() override;

  const std::string& ArchiveFile() const { return archive_file_; }
  virtual void SetArchiveFile(const std::string& value);
  TArcType ArcType() const { return arc_type_; }
  // Ignores the value and detects the type again.
  virtual void SetArcType(TArcType value);

  std::int32_t ZipCmntBufSize() const { return zip_cmnt_buf_size_; }
  void SetZipCmntBufSize(std::int32_t value);
  bool UseStoredDirs() const { return use_stored_dirs_; }
  void SetUseStoredDirs(bool v) { use_stored_dirs_ = v; }
  std::int32_t PasswordAttempts() const { return password_attempts_; }
  void SetPasswordAttempts(std::int32_t v) { password_attempts_ = v; }
  const std::vector<std::string>& Passwords() const { return passwords_; }
  std::vector<std::string>& Passwords() { return passwords_; }
  void SetPasswords(const std::vector<std::string>& v) { passwords_ = v; }

  TarxFileAttr& FileAttr() { return *file_attr_; }
  TDiskManager& DiskManager() { return *disk_manager_; }
  TarxTimer& Timer() { return *timer_; }

  // Detection results.
  std::int32_t StartOffset() const { return start_offset_; }
  std::uint8_t HeaderFlag() const { return head_flag_; }
  std::int64_t ArchiveSize() const { return archive_size_; }
  TDateTime ArchiveDate() const { return archive_date_; }
  const TEndRecord& EndRecord() const { return end_record_; }
  const TCentralHeader& CentralHeader() const { return central_header_; }
  const TLocalHeader& LocalHeader() const { return local_header_; }

  // The backward search for the end record and the check of its chain; leaves the record
  // copies and the header flag, returns the central directory offset or 0.
  std::int32_t FindEndOfCentralDir(TArchiveFile& f);

 protected:
  void DetectArcType();
  // `f` is the archive being detected: a split set's central directory is looked up in it.
  TArcType ClassifySignature(TArchiveFile& f, std::uint32_t sig, bool in_exe,
                             std::int32_t& start);
  bool ProbeZip(TArchiveFile& f);
  std::int32_t LocateCentralDir(TArchiveFile& f);
  std::int32_t ScanSfx(TArchiveFile& f, TArcType& type, std::int32_t start);
  bool ProbeUue(TArchiveFile& f);
  bool ProbeTar(TArchiveFile& f);
  void RefreshArchiveDrive();
  bool DriveIsRemovable() { return disk_manager_->DriveType() == 2; }
  bool LabelIsSpanned() {
    return disk_manager_->VolumeLabel().find(kSpanLabelMarker) != std::string::npos;
  }

  bool use_stored_dirs_ = true;
  std::int32_t password_attempts_ = 3;
  std::int32_t zip_cmnt_buf_size_ = 0;
  std::vector<std::string> passwords_;
  std::string password_;

  std::unique_ptr<TarxFileAttr> file_attr_;
  std::unique_ptr<TarxTimer> timer_;
  std::unique_ptr<TDiskManager> disk_manager_;

  std::string archive_file_;
  TArcType arc_type_ = TArcType::atNA;
  std::int32_t start_offset_ = 0;
  std::string volume_name_;
  std::uint8_t volume_letter_ = 0;
  std::int32_t volume_number_ = 0;
  std::int64_t archive_size_ = 0;
  TDateTime archive_date_ = kDosEpoch;

  std::uint8_t head_flag_ = 0;
  TLocalHeader local_header_;
  TCentralHeader central_header_;
  TEndRecord end_record_;

  std::int32_t begun_count_ = 0;
  std::int64_t bytes_to_write_ = 0;  // archive-wide unpacked bytes still to write
  std::int64_t start_pos_ = 0, cur_pos_ = 0, end_pos_ = 0;
  bool encrypted_ = false;
  std::int64_t packed_total_ = 0, unpacked_total_ = 0;
};

}  // namespace orb
