// The root of the archive component: the archive file, its detected type and start offset,
// the zip records found by the end-record search, passwords, and the owned helpers (volume
// manager, attribute mask, clock). The record layouts are in ZipRecords.h; the helpers each
// have a header of their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "_OrbLib/Classes.h"
#include "archive/arxArchiveFile.h"
#include "archive/arxDiskMan.h"
#include "archive/arxDosDate.h"
#include "archive/arxEntries.h"
#include "archive/arxFileAttr.h"
#include "archive/arxGbls.h"
#include "archive/arxTimer.h"
#include "archive/arxVolume.h"
#include "archive/ZipRecords.h"
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

// Bits of the header flag: how far the chain end record -> first central header -> its
// local header was verified.
enum : std::uint8_t {
  kHeadEndRecord = 0x01,
  kHeadCentral = 0x08,
  kHeadLocal = 0x10,
  kHeadChain = kHeadEndRecord | kHeadCentral | kHeadLocal,
};

class TarxMain;

// The extractor whose operation runs now, or null: what a decoder's cancel check asks when it
// has no extractor in hand. Process-wide, as the engine has always had it. Set by an
// extraction when it starts; cleared when that extractor's archive name is cleared or the
// extractor is destroyed. Nothing else sets it.
TarxMain* CurrentExtractor();
void SetCurrentExtractor(TarxMain* extractor);

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
