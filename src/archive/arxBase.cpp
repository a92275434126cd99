// The block reader and writers, error and progress reporting, output paths and output files,
// and the extraction frame.
#include "archive/arxBase.h"

#include "_OrbLib/ScopeGuard.h"
#include "archive/arxPaths.h"
#include "archive/arxWildcard.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/gbk.h"
#include "platform/types.h"
#include "platform/ui.h"

namespace orb {

namespace {

// MAX_PATH.
constexpr std::size_t kMaxPath = 260;

// Folder part up to and including the last backslash (a whole character), or empty.
std::string FolderPart(const std::string& s) {
  std::size_t p = platform::LastDelimiter(s, "\\");
  return p == std::string::npos ? std::string() : s.substr(0, p + 1);
}

}  // namespace

// --- output file ------------------------------------------------------------------------------

bool TOutputFile::Create(const std::string& path) {
  file_.reset();
  platform::FileHandle h = platform::kNoFile;
  last_error_ = platform::FileOpen(path, platform::kGenericWrite, 0, platform::kCreateAlways,
                                   platform::kFileAttributeNormal |
                                       platform::kFileFlagOpenReparsePoint,
                                   h);
  if (last_error_ != 0) return false;
  file_.reset(h);
  return true;
}

std::uint32_t TOutputFile::Write(const void* buf, std::uint32_t count) {
  if (discard_) return count;
  if (!file_) {
    if (last_error_ == 0) last_error_ = platform::kErrorInvalidHandle;
    return 0;
  }
  std::uint32_t done = 0;
  if (std::uint32_t rc = platform::FileWrite(file_.get(), buf, count, done); rc != 0) {
    last_error_ = rc;
  } else if (done < count) {
    last_error_ = platform::kErrorDiskFull;  // a short write without an error is a full disk
  }
  return done;
}

bool TOutputFile::SetDosDate(std::uint32_t v) {
  if (!file_) return false;
  platform::LocalTime t;
  t.year = static_cast<std::uint16_t>(1980 + (v >> 25));
  t.month = static_cast<std::uint16_t>(v >> 21 & 15);
  t.day = static_cast<std::uint16_t>(v >> 16 & 31);
  t.hour = static_cast<std::uint16_t>(v >> 11 & 31);
  t.minute = static_cast<std::uint16_t>(v >> 5 & 63);
  t.second = static_cast<std::uint16_t>((v & 31) * 2);
  return platform::FileSetLocalWriteTime(file_.get(), t) == 0;
}

// --- block reader and writers -----------------------------------------------------------------

TReadWriteObj::TReadWriteObj(TComponent* owner) : TarxMain(owner) {
  read_fn_ = [this](TArchiveFile& f, std::uint32_t n, int crc, bool dec, std::uint8_t* buf) {
    return ReadBlock(f, n, crc, dec, buf);
  };
  write_fn_ = [this](TOutputFile& f, bool apply, std::uint32_t n, int crc, bool dec,
                     std::uint8_t* buf) { return WriteBlock(f, apply, n, crc, dec, buf); };
  write_encrypted_fn_ = [this](TOutputFile& f, bool apply, std::uint32_t n, int crc, bool enc,
                               std::uint8_t* buf) {
    return WriteBlockEncrypted(f, apply, n, crc, enc, buf);
  };
}

bool TReadWriteObj::DecryptsZip() const {
  switch (arc_type_) {
    case TArcType::atBh:
    case TArcType::atBhExe:
    case TArcType::atJar:
    case TArcType::atZip:
    case TArcType::atZipExe:
    case TArcType::atZipMV:
      return true;
    default:
      return false;
  }
}

std::uint32_t TReadWriteObj::ReadBlock(TArchiveFile& f, std::uint32_t count, int crc_selector,
                                       bool decrypt, std::uint8_t* buf) {
  if (count == 0) return 0;
  std::uint32_t got = f.Read(buf, count);
  if (decrypt && DecryptsZip()) keys_.DecryptBuffer(buf, got);
  if (crc_selector == 32) crc_ = arx::Crc32Update(crc_, buf, got);
  return got;
}

std::uint32_t TReadWriteObj::WriteBlock(TOutputFile& f, bool apply, std::uint32_t count,
                                        int crc_selector, bool decrypt, std::uint8_t* buf) {
  if (decrypt && apply && DecryptsZip()) keys_.DecryptBuffer(buf, count);
  std::uint32_t done = f.Write(buf, count);
  if (done < count) throw E_RAISE(LoadMessage(E_FWRITE), E_FWRITE);
  if (apply && crc_selector == 32) crc_ = arx::Crc32Update(crc_, buf, done);
  return done;
}

std::uint32_t TReadWriteObj::WriteBlockEncrypted(TOutputFile& f, bool apply, std::uint32_t count,
                                                 int crc_selector, bool encrypt,
                                                 std::uint8_t* buf) {
  if (apply && crc_selector == 32) crc_ = arx::Crc32Update(crc_, buf, count);
  if (encrypt && DecryptsZip())
    for (std::uint32_t i = 0; i < count; ++i) buf[i] = keys_.EncryptByte(buf[i]);
  std::uint32_t done = f.Write(buf, count);
  if (done < count) throw E_RAISE(LoadMessage(E_FWRITE), E_FWRITE);
  return done;
}

// --- events, paths, errors, progress ----------------------------------------------------------

TZipCommon::TZipCommon(TComponent* owner) : TReadWriteObj(owner) {
  progress_fn_ = [this](std::uint8_t f, std::uint8_t a) { DoProgress(f, a); };
}

TZipCommon::~TZipCommon() = default;

namespace {

// A drive ("C:..."), a root or UNC name ("\\..."), or a Unix path the layer takes as is.
bool IsAbsolutePath(const std::string& p) {
  return (p.size() >= 2 && p[1] == ':') || (!p.empty() && (p[0] == '\\' || p[0] == '/'));
}

}  // namespace

void TZipCommon::SetExtractDir(const std::string& value) {
  std::string v = value;
  if (v.empty()) v = FolderPart(archive_file_);
  // A folder without a drive or root is where the caller stands now, not the drive's root.
  if (!v.empty() && !IsAbsolutePath(v)) {
    std::string cwd = platform::CurrentDirectory();
    if (!cwd.empty()) v = WithBackslash(cwd) + v;
  }
  if (v.empty() || v[0] != '/') v = SlashToBackslash(v);
  extract_dir_ = WithBackslash(v);
}

void TZipCommon::SetFileSpec(const std::vector<std::string>& value) {
  std::vector<std::string> v = value;
  NormalizeFileSpec(v);
  file_spec_ = std::move(v);
}

void TZipCommon::SetCancel(bool value) {
  cancel_ = value;
  platform::CurrentUserInterface().ProcessMessages();
}

namespace {
bool RunCancelled() {
  auto* z = dynamic_cast<TZipCommon*>(CurrentExtractor());
  return z != nullptr && z->Cancel();
}
}  // namespace

void TZipCommon::RaiseError(const std::string& FN, const std::string& MsgEx,
                            const std::string& VolumeID, int ECode) {
  ++error_count_;
  {
    TimerPause pause(*timer_);
    if (!RunCancelled() && OnError) OnError(this, FN, MsgEx, VolumeID, ECode);
  }
  throw E_RAISE(LoadMessage(ECode), ECode);
}

void TZipCommon::NotifyError(const std::string& FN, const std::string& MsgEx,
                             const std::string& VolumeID, int ECode) {
  ++error_count_;
  TimerPause pause(*timer_);
  if (!RunCancelled() && OnError) OnError(this, ExtractFileNamePart(FN), MsgEx, VolumeID, ECode);
}

std::string TZipCommon::SystemErrorText(std::uint32_t code) {
  std::string text = platform::SystemErrorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
}

void TZipCommon::DoProgress(std::uint8_t by_file, std::uint8_t by_archive) {
  platform::CurrentUserInterface().ProcessMessages();
  if (OnProgress) OnProgress(this, by_file, by_archive);
}

void TZipCommon::ReportProgress(std::int64_t done, std::int64_t size, std::int64_t total) {
  progress_by_file_ = PercentOf(static_cast<double>(done), static_cast<double>(size));
  progress_by_archive_ = PercentOf(static_cast<double>(total - bytes_to_write_),
                                   static_cast<double>(total));
  if (progress_fn_) progress_fn_(progress_by_file_, progress_by_archive_);
}

void TZipCommon::BuildVolumeName(const std::string& name, int, std::string& result) {
  result = name;  // other archive types' volume naming; zip extraction never calls it
}

TDateTime TZipCommon::DosDateToDateTime(std::uint32_t dos_date_time) {
  return FileDateOrDefault(dos_date_time);
}

void TZipCommon::BuildOutputPath(const std::string& stored_name) {
  unsafe_path_ = false;
  if (stored_name.empty()) {
    output_path_.clear();
    return;
  }
  std::string s = name_is_ansi_ ? SlashToBackslash(stored_name) : OemNameToAnsi(stored_name);
  if (extract_dir_.empty()) {
    SetExtractDir(FolderPart(archive_file_));
    if (extract_dir_.empty()) SetExtractDir(platform::CurrentDirectory());
  }
  std::string folder;
  std::string kept;  // the part of the stored name that ends up in the output path
  if (use_stored_dirs_) {
    if (s.find(':') != std::string::npos) {
      std::size_t first = s.find('\\');
      s.erase(0, first == 2 ? 3 : 2);
    } else if (!s.empty() && s[0] == '\\') {
      s.erase(0, 1);
    }
    folder = WithBackslash(extract_dir_) + FolderPart(s);
    kept = s;
  } else {
    folder = extract_dir_;
    kept = ExtractFileNamePart(s);
  }
  if (!IsAbsolutePath(folder)) folder.insert(0, "\\");
  output_path_ = folder + ExtractFileNamePart(s);

  // A name that still names a root, a drive or a parent folder would leave ExtractDir.
  if (!kept.empty() && kept[0] == '\\') unsafe_path_ = true;
  if (kept.find(':') != std::string::npos) unsafe_path_ = true;
  for (const std::string& c : platform::SplitPath(kept, "\\"))
    if (c == "..") unsafe_path_ = true;
}

bool TZipCommon::CreateOutput(TOutputFile& out, const std::string& path, const std::string&) {
  if (path.empty()) return false;
  std::string folder = FolderPart(path);
  if (!folder.empty()) folder.pop_back();
  if (folder.empty()) RaiseError(path, "", "0", E_UNABLETOCREATEDIR);
  // The ANSI calls hold MAX_PATH - 1 characters: a longer name fails at once, before any
  // folder of it is made, however deep it goes.
  if (path.size() >= kMaxPath)
    RaiseError(path, SystemErrorText(platform::kErrorFilenameExcedRange), "0", E_INVALIDFN);

  // Nothing is written through a link at or below ExtractDir: a folder link would take the
  // entry (and the folders made for it) outside. A path the caller renamed outside
  // ExtractDir is the caller's choice and is not checked here.
  auto refuse_folder_links = [&] {
    std::string link;
    if (platform::FindReparsePoint(extract_dir_, folder, link) == 0 && !link.empty())
      RaiseError(path, link, "0", E_LINKINPATH);
  };
  refuse_folder_links();
  if (!DirExists(folder)) {
    CreateDirPath(folder);
    if (!DirExists(folder)) {
      // Asked again for the reason: a file standing where the folder must go, no access, ...
      std::uint32_t rc = platform::CreateDir(folder);
      if (rc == 0) rc = platform::kErrorPathNotFound;
      RaiseError(path, SystemErrorText(rc), "0", E_UNABLETOCREATEDIR);
    }
    refuse_folder_links();  // a folder swapped for a link while it was being made
  }
  if (platform::EndsWithChar(path, '\\')) return true;  // a folder entry: its folder is all

  // A link standing at the file's own name is replaced, never followed.
  std::uint32_t attr = platform::kInvalidFileAttributes;
  if (platform::GetAttributes(path, attr) == 0 && attr != platform::kInvalidFileAttributes &&
      (attr & platform::kFileAttributeReparsePoint) &&
      (attr & platform::kFileAttributeDirectory) == 0) {
    if (std::uint32_t rc = platform::RemoveFile(path); rc != 0)
      RaiseError(path, SystemErrorText(rc), "0", E_FOPEN);
  }
  if (!out.Create(path)) {
    if (platform::GetAttributes(path, attr) == 0 && attr != platform::kInvalidFileAttributes &&
        (attr & platform::kFileAttributeReadOnly)) {
      platform::SetAttributes(path, attr & ~platform::kFileAttributeReadOnly);
      out.Create(path);
    }
  }
  if (!out.IsOpen()) RaiseError(path, SystemErrorText(out.LastError()), "0", E_FOPEN);
  return true;
}

// --- extraction frame -------------------------------------------------------------------------

TUnBase::TUnBase(TComponent* owner)
    : TZipCommon(owner), file_list_(std::make_unique<TarxFileList>()) {}

TUnBase::~TUnBase() = default;

void TUnBase::ExtractArchive(TArchiveFile&, TOutputFile&) {}

bool TUnBase::ReadsArcType(TArcType t) const {
  switch (t) {
    case TArcType::atACE: case TArcType::atArc: case TArcType::atArcExe: case TArcType::atArj:
    case TArcType::atArjExe: case TArcType::atBh: case TArcType::atBhExe: case TArcType::atCab:
    case TArcType::atGZip: case TArcType::atJar: case TArcType::atLha: case TArcType::atLhaExe:
    case TArcType::atLzh: case TArcType::atLzhExe: case TArcType::atRar: case TArcType::atRarExe:
    case TArcType::atTar: case TArcType::atUue: case TArcType::atZip: case TArcType::atZipExe:
    case TArcType::atZipMV: case TArcType::atZoo:
      return true;
    default:
      return false;
  }
}

int TUnBase::Extract() {
  SetCurrentExtractor(this);
  begun_count_ = 0;
  max_dos_date_ = 0;
  cur_pos_ = 0;
  bytes_to_write_ = 0;
  progress_by_file_ = progress_by_archive_ = 0;
  packed_total_ = unpacked_total_ = 0;
  SetCancel(false);
  if (cpu_type_ == TCpuType::cpt80486) cpu_type_ = TCpuType::cptAuto;

  volume_name_ = archive_file_;
  struct RestoreName {
    TUnBase& self;
    std::string saved;
    ~RestoreName() { self.archive_file_ = saved; }
  } restore{*this, archive_file_};

  error_count_ = 0;
  if (archive_file_.empty()) RaiseError(archive_file_, "", "0", E_FILENOTFOUND);
  if (!ReadsArcType(arc_type_)) RaiseError(archive_file_, "", "0", E_INVALIDARC);
  TArchiveFile archive;
  const bool opens = arc_type_ != TArcType::atACE && arc_type_ != TArcType::atCab &&
                     arc_type_ != TArcType::atRar;
  if (opens && !archive.Open(archive_file_)) RaiseError(archive_file_, "", "0", E_FOPEN);

  if (OnActivate) {
    TimerPause pause(*timer_);
    OnActivate(this);
  }
  password_.clear();
  output_path_.clear();
  end_pos_ = opens ? archive.Size() : 0;
  start_pos_ = start_offset_;
  file_list_->Init();
  if (OnElapsedTime) timer_->Start();

  TOutputFile out;
  {
    ScopeExit after([&] {
      timer_->Stop();
      if (OnElapsedTime) OnElapsedTime(this, timer_->Elapsed());
      if (OnDeactivate) OnDeactivate(this);
      file_list_->Done();
      if (opens) archive.Close();
    });
    ExtractArchive(archive, out);
  }
  return begun_count_;
}

bool TUnBase::BeginEntry(bool& existed) {
  TimerPause pause(*timer_);
  if (OnProgress) progress_fn_(0, progress_by_archive_);
  existed = !test_only_ && platform::FileExists(output_path_);
  if (confirm_overwrites_ && existed) {
    if (OnFileExists) OnFileExists(this, output_path_, entry_date_, overwrite_mode_);
    else overwrite_mode_ = TOverwriteMode::omSkip;
  }
  if (!existed || (overwrite_mode_ == TOverwriteMode::omOverwrite && !cancel_)) {
    ++begun_count_;
    std::string working = output_path_;
    bool extract = true;
    if (OnBegin) OnBegin(this, working, begun_count_, extract);
    if (extract && OnRenameCompressedFile) OnRenameCompressedFile(this, working);
    if (extract) output_path_ = working;
  }
  return !cancel_;
}

void TUnBase::FinishOutput(TOutputFile& out, std::uint32_t attr, std::uint32_t dos_date_time,
                           const std::string& path) {
  if (out.IsOpen()) {
    std::uint32_t date = dos_date_time;
    if (date_attribute_ == TDateAttribute::daSysDate) {
      platform::LocalTime t = platform::GetLocalTime();
      date = LocalTimeToDos(t.year, t.month, t.day, t.hour, t.minute, t.second);
    } else if (date_attribute_ == TDateAttribute::daMaxFileDate) {
      date = max_dos_date_;
    }
    out.SetDosDate(date);  // a failure here is ignored
    out.Close();
  }
  if (restore_file_attr_ && attr != 0x20) platform::SetAttributes(path, attr);
}

}  // namespace orb
