// The middle layers of the archive component: the block reader and writers
// (TReadWriteObj), the events, output paths and error and progress reporting (TZipCommon),
// and the extraction frame with the overwrite step and the finishing of output files (TUnBase).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/Crc32.h"
#include "archive/arxCrypt.h"
#include "archive/arxMain.h"

namespace orb {

enum class TOverwriteMode : std::uint8_t { omOverwrite = 0, omSkip = 1 };
enum class TDateAttribute : std::uint8_t { daFileDate = 0, daSysDate = 1, daMaxFileDate = 2 };
enum class TCpuType : std::uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TOnBegin =
    std::function<void(TObject* Sender, const std::string& FN, int RecNum, bool& Extract)>;
using TOnEnd = std::function<void(TObject* Sender, const std::string& FN, bool CRC_PASS)>;
using TOnError = std::function<void(TObject* Sender, const std::string& FN,
                                    const std::string& MsgEx, const std::string& VolumeID,
                                    int ECode)>;
using TOnFileExists = std::function<void(TObject* Sender, const std::string& FN,
                                         TDateTime FileDate, TOverwriteMode& OverwriteMode)>;
using TOnGetPassword = std::function<void(TObject* Sender, const std::string& FN,
                                          std::string& Password, bool& TryAgain)>;
using TOnProgress = std::function<void(TObject* Sender, std::uint8_t ProgressByFile,
                                       std::uint8_t ProgressByArchive)>;
using TOnRenameFile = std::function<void(TObject* Sender, std::string& Filename)>;
using TOnCorruptZipHeader =
    std::function<void(TObject* Sender, std::uint8_t HeadFlag, bool& Cancel)>;
using TOnElapsedTime = std::function<void(TObject* Sender, float ElapsedTime)>;
using TOnGetZipLastDisk = std::function<void(TObject* Sender, bool& Cancel)>;
using TOnGetZipFirstDisk = std::function<void(TObject* Sender, bool& Cancel)>;
using TOnGetZipNextDisk =
    std::function<void(TObject* Sender, const std::string& VolumeName, bool& Cancel)>;

// An output file opened for writing (the runtime's untyped file): OS write failures come back
// as short counts, not exceptions; WriteBlock turns them into message 25136.
class TOutputFile {
 public:
  // Never opens the target of a link standing at `path`: such an open fails.
  bool Create(const std::string& path);
  bool IsOpen() const { return static_cast<bool>(file_); }
  std::uint32_t Write(const void* buf, std::uint32_t count);
  bool SetDosDate(std::uint32_t dos_date_time);
  void Close() { file_.reset(); }
  // Test mode: writes are counted as done and nothing reaches a file.
  void SetDiscard(bool v) { discard_ = v; }
  // The system's error of the last failed Create or Write (0 when none failed).
  std::uint32_t LastError() const { return last_error_; }

 private:
  platform::ScopedFile file_;
  bool discard_ = false;
  std::uint32_t last_error_ = 0;
};

class TReadWriteObj : public TarxMain {
 public:
  explicit TReadWriteObj(TComponent* owner);

  // Reads up to `count` bytes of the archive; decrypts them when asked (zip family only),
  // runs the CRC-32 when crc_selector is 32. OS errors raise EInOutError.
  virtual std::uint32_t ReadBlock(TArchiveFile& f, std::uint32_t count, int crc_selector,
                                  bool decrypt, std::uint8_t* buf);
  // Archive creation only; extraction never encrypts.
  virtual std::uint32_t WriteBlockEncrypted(TOutputFile& f, bool apply, std::uint32_t count,
                                            int crc_selector, bool encrypt, std::uint8_t* buf);
  // Writes `count` bytes; a short write raises E_RAISE 25136 without OnError. The CRC runs
  // over the bytes written.
  virtual std::uint32_t WriteBlock(TOutputFile& f, bool apply, std::uint32_t count,
                                   int crc_selector, bool decrypt, std::uint8_t* buf);

  // The running CRC-32 of the current entry (before the final inversion).
  std::uint32_t RunningCrc() const { return crc_; }

 protected:
  bool DecryptsZip() const;

  std::function<std::uint32_t(TArchiveFile&, std::uint32_t, int, bool, std::uint8_t*)> read_fn_;
  std::function<std::uint32_t(TOutputFile&, bool, std::uint32_t, int, bool, std::uint8_t*)>
      write_fn_, write_encrypted_fn_;

  std::uint32_t crc_ = arx::kCrc32Init;
  arx::ZipKeys keys_;
};

class TZipCommon : public TReadWriteObj {
 public:
  explicit TZipCommon(TComponent* owner);
  ~TZipCommon() override;

  bool ConfirmOverwrites() const { return confirm_overwrites_; }
  void SetConfirmOverwrites(bool v) { confirm_overwrites_ = v; }
  TOverwriteMode OverwriteMode() const { return overwrite_mode_; }
  void SetOverwriteMode(TOverwriteMode v) { overwrite_mode_ = v; }
  TDateAttribute DateAttribute() const { return date_attribute_; }
  void SetDateAttribute(TDateAttribute v) { date_attribute_ = v; }
  const std::string& ExtractDir() const { return extract_dir_; }
  // '/' -> '\', trailing '\' added; empty -> the archive's folder (or empty without archive).
  void SetExtractDir(const std::string& value);
  const std::vector<std::string>& FileSpec() const { return file_spec_; }
  // Keeps only the file-name part of each pattern and drops empty ones.
  void SetFileSpec(const std::vector<std::string>& value);

  bool Cancel() const { return cancel_; }
  // Stores the flag, then processes pending window messages.
  void SetCancel(bool value);

  std::uint8_t ProgressByFile() const { return progress_by_file_; }
  std::uint8_t ProgressByArchive() const { return progress_by_archive_; }
  const std::string& OutputPath() const { return output_path_; }
  // Decode and check every selected entry without creating folders or files.
  bool TestOnly() const { return test_only_; }
  void SetTestOnly(bool v) { test_only_ = v; }

  // Events (may be empty).
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TOnBegin OnBegin;
  TOnEnd OnEnd;
  TOnError OnError;
  TOnFileExists OnFileExists;
  TOnGetPassword OnGetPassword;
  TOnProgress OnProgress;
  TOnRenameFile OnRenameCompressedFile;
  TOnCorruptZipHeader OnCorruptZipHeader;
  TOnElapsedTime OnElapsedTime;
  TOnGetZipLastDisk OnGetZipLastDisk;
  TOnGetZipFirstDisk OnGetZipFirstDisk;
  TOnGetZipNextDisk OnGetZipNextDisk;

  // OnError (unless the running extraction was cancelled), then E_RAISE with message ECode.
  [[noreturn]] virtual void RaiseError(const std::string& FN, const std::string& MsgEx,
                                       const std::string& VolumeID, int ECode);
  // OnError with the file-name part of FN; no exception.
  virtual void NotifyError(const std::string& FN, const std::string& MsgEx,
                           const std::string& VolumeID, int ECode);
  void ReportProgress(std::int64_t done, std::int64_t size, std::int64_t total);

  virtual void BuildOutputPath(const std::string& stored_name);
  virtual void BuildVolumeName(const std::string& name, int number, std::string& result);
  virtual TDateTime DosDateToDateTime(std::uint32_t dos_date_time);
  virtual bool CreateOutput(TOutputFile& out, const std::string& path,
                            const std::string& stored_name);

 protected:
  void DoProgress(std::uint8_t by_file, std::uint8_t by_archive);
  // The system's text for an error code, for MsgEx: what went wrong, not only where.
  static std::string SystemErrorText(std::uint32_t code);

  bool confirm_overwrites_ = true;
  TOverwriteMode overwrite_mode_ = TOverwriteMode::omOverwrite;
  TDateAttribute date_attribute_ = TDateAttribute::daFileDate;
  std::string extract_dir_;
  std::vector<std::string> file_spec_;
  bool cancel_ = false;
  std::string output_path_;
  std::uint8_t progress_by_file_ = 0, progress_by_archive_ = 0;
  std::function<void(std::uint8_t, std::uint8_t)> progress_fn_;
  TZipEntry entry_;
  std::uint32_t max_dos_date_ = 0;
  // Set when the output path would leave ExtractDir ('..' or a name still absolute after the
  // stripping); such an entry is never written.
  bool unsafe_path_ = false;
  bool test_only_ = false;
  // Errors reported in this run (OnError assigned or not): an entry that raised one is not
  // reported as a success by its end step.
  int error_count_ = 0;
  // The stored name given to BuildOutputPath is in the ANSI code page already.
  bool name_is_ansi_ = false;
};

class TUnBase : public TZipCommon {
 public:
  explicit TUnBase(TComponent* owner);
  ~TUnBase() override;

  bool RestoreFileAttr() const { return restore_file_attr_; }
  void SetRestoreFileAttr(bool v) { restore_file_attr_ = v; }
  TCpuType CpuType() const { return cpu_type_; }
  void SetCpuType(TCpuType v) { cpu_type_ = v; }

  // Extracts the selected entries; returns the number of entries that passed the begin step.
  int Extract();

 protected:
  virtual void ExtractArchive(TArchiveFile& archive, TOutputFile& out);
  // The archive types whose routine this component has; Extract refuses the others (25242)
  // before the routine starts.
  virtual bool ReadsArcType(TArcType t) const;
  // False: the run is to end. `existed` tells whether the target was there.
  bool BeginEntry(bool& existed);
  void FinishOutput(TOutputFile& out, std::uint32_t attr, std::uint32_t dos_date_time,
                    const std::string& path);

  std::unique_ptr<TarxFileList> file_list_;
  TDateTime entry_date_ = 0;  // the current entry's date, for OnFileExists
  bool restore_file_attr_ = true;
  TCpuType cpu_type_ = TCpuType::cptAuto;
};

}  // namespace orb
