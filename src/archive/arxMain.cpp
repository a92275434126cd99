// The archive component's root: type detection and the end-record search.
#include "archive/arxMain.h"

#include <algorithm>
#include <cstring>

#include "archive/arxPaths.h"
#include "platform/clock.h"
#include "platform/types.h"
#include "platform/fs.h"
#include "platform/resources.h"

namespace orb {

namespace {
TarxMain* g_current_extractor = nullptr;
}  // namespace

TarxMain* CurrentExtractor() { return g_current_extractor; }
void SetCurrentExtractor(TarxMain* extractor) { g_current_extractor = extractor; }

bool IsRecognisedArcType(TArcType t) {
  return t != TArcType::atNA && t != TArcType::atUnsupported && t != TArcType::atFileOpenErr &&
         t != TArcType::atUnknown;
}

const char* ArcTypeName(TArcType t) {
  static const char* const kNames[] = {
      "atNA",   "atUnsupported", "atFileOpenErr", "atUnknown", "atACE",  "atArc",
      "atArcExe", "atArj",       "atArjExe",      "atBh",      "atBhExe", "atCab",
      "atGZip", "atHa",          "atJar",         "atLha",     "atLhaExe", "atLzh",
      "atLzhExe", "atMsGZ",      "atPak",         "atPakExe",  "atRar",  "atRarExe",
      "atTar",  "atUue",         "atZip",         "atZipExe",  "atZipMV", "atZoo"};
  auto i = static_cast<std::size_t>(t);
  return i < sizeof kNames / sizeof kNames[0] ? kNames[i] : "?";
}


// --- the component root ---------------------------------------------------------------------

TarxMain::TarxMain(TComponent* owner)
    : TComponent(owner),
      file_attr_(std::make_unique<TarxFileAttr>()),
      timer_(std::make_unique<TarxTimer>()),
      disk_manager_(std::make_unique<TDiskManager>(this)) {}

TarxMain::~TarxMain() {
  if (CurrentExtractor() == this) SetCurrentExtractor(nullptr);
}

void TarxMain::SetArchiveFile(const std::string& value) {
  if (value.empty()) {
    archive_file_.clear();
    SetCurrentExtractor(nullptr);
    arc_type_ = TArcType::atNA;
    return;
  }
  archive_file_ = SlashToBackslash(value);
  SetArcType(arc_type_);
  // Volume names are parsed only for multi-volume formats this engine does not extract.
  volume_number_ = 0;
}

void TarxMain::SetArcType(TArcType) { DetectArcType(); }

void TarxMain::SetZipCmntBufSize(std::int32_t value) {
  if (value < 2000) value = 2000;
  if (value > 32767) value = 32767;
  zip_cmnt_buf_size_ = value;
}

void TarxMain::RefreshArchiveDrive() {
  const std::string& a = archive_file_;
  std::string drive;
  if (a.size() >= 2 && a[0] == '\\' && a[1] == '\\') {
    // \\server\share
    std::size_t s1 = a.find('\\', 2);
    std::size_t s2 = s1 == std::string::npos ? s1 : a.find('\\', s1 + 1);
    drive = a.substr(0, s2);
  } else if (a.size() >= 2 && a[1] == ':') {
    drive = a.substr(0, 2);
  } else {
    drive = platform::CurrentDirectory().substr(0, 2);
  }
  if (drive != disk_manager_->Drive()) disk_manager_->SetDrive(drive);
}

std::int32_t TarxMain::FindEndOfCentralDir(TArchiveFile& f) {
  const std::int64_t size = f.Size();
  // The record and one byte more: with no comment buffer only the last two places a
  // record without comment can start at are tested (the scan never tests offset 0).
  constexpr std::int64_t kWindowWithoutComment = TEndRecord::kSize + 1;
  std::int64_t w = static_cast<std::int64_t>(zip_cmnt_buf_size_) + kWindowWithoutComment;
  if (w > size) {
    w = zip_cmnt_buf_size_ == 0 ? kWindowWithoutComment : (size > 32768 ? 32768 : size - 1);
  }
  head_flag_ = 0;
  if (size <= w) return 0;
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(w));
  if (size - w > 0 && !f.TrySeek(size - w)) return 0;
  if (size - w <= 0 && !f.TrySeek(0)) return 0;
  std::int64_t got = f.Read(buf.data(), static_cast<std::uint32_t>(w));
  for (std::int64_t p = got - static_cast<std::int64_t>(TEndRecord::kSize - 1); p >= 1; --p) {
    if (p + 4 > got || GetLe32(&buf[static_cast<std::size_t>(p)]) != kEndRecordSig) continue;
    std::uint8_t rec[TCentralHeader::kSize];
    if (!f.TrySeek(size - w + p)) return 0;
    if (f.Read(rec, TEndRecord::kSize) < TEndRecord::kSize) return 0;
    end_record_ = TEndRecord::Decode(std::span(rec).first<TEndRecord::kSize>());
    if (end_record_.Signature != kEndRecordSig) return 0;
    head_flag_ |= kHeadEndRecord;
    if (!f.TrySeek(end_record_.CentralDirOffset)) return 0;
    if (f.Read(rec, TCentralHeader::kSize) < TCentralHeader::kSize) return 0;
    central_header_ = TCentralHeader::Decode(rec);
    if (central_header_.Signature != kCentralHeaderSig) return 0;
    head_flag_ |= kHeadCentral;
    if (!f.TrySeek(central_header_.LocalHeaderOffset)) return 0;
    if (f.Read(rec, TLocalHeader::kSize) < TLocalHeader::kSize) return 0;
    local_header_ = TLocalHeader::Decode(std::span(rec).first<TLocalHeader::kSize>());
    if (local_header_.Signature != kLocalHeaderSig) return 0;
    head_flag_ |= kHeadLocal;
    return static_cast<std::int32_t>(end_record_.CentralDirOffset);
  }
  return 0;
}

TArcType TarxMain::ClassifySignature(TArchiveFile& f, std::uint32_t sig, bool in_exe,
                                     std::int32_t& start) {
  const std::uint8_t b0 = sig & 0xFF, b1 = sig >> 8 & 0xFF, b2 = sig >> 16 & 0xFF,
                     b3 = sig >> 24 & 0xFF;
  auto pick = [in_exe](TArcType plain, TArcType exe) { return in_exe ? exe : plain; };
  if (b0 == 'P' && b1 == 'K') {
    if (b2 == 0x07 && b3 == 0x08) {
      TArcType t = TArcType::atZip;
      if (DriveIsRemovable()) t = LabelIsSpanned() ? TArcType::atZipMV : TArcType::atNA;
      head_flag_ = kHeadLocal;
      return t;
    }
    if (b2 == 0x01 && b3 == 0x02) {
      if (LabelIsSpanned()) {
        FindEndOfCentralDir(f);
        return TArcType::atZipMV;
      }
      return TArcType::atNA;
    }
    if (b2 == 0x47 && b3 == 0x34) return TArcType::atNA;
    return pick(TArcType::atZip, TArcType::atZipExe);
  }
  if (sig == 0x4643534D) return pick(TArcType::atCab, TArcType::atUnsupported);  // "MSCF"
  if (b0 == 'B' && b1 == 'H' && b2 == 0x05 && b3 == 0x07)
    return pick(TArcType::atBh, TArcType::atBhExe);
  if (b0 == 0x13 && b1 == 0x5D && b2 == 0x65 && b3 == 0x8C)
    return pick(TArcType::atMsGZ, TArcType::atUnsupported);
  if (b0 == 'H' && b1 == 'A') return pick(TArcType::atHa, TArcType::atUnsupported);
  if ((b0 == 0x1F && (b1 == 0x8B || b1 == 0x9D || b1 == 0x9E || b1 == 0x1E || b1 == 0xA0)) ||
      (b0 == 0x25 && b1 == 0x21))
    return pick(TArcType::atGZip, TArcType::atUnsupported);
  if (b0 == 0x60 && b1 == 0xEA) return pick(TArcType::atArj, TArcType::atArjExe);
  if (b0 == 'Z' && b1 == 'O') return pick(TArcType::atZoo, TArcType::atUnsupported);
  if (b2 == '-' && b3 == 'l') return pick(TArcType::atLha, TArcType::atLhaExe);
  if (sig == 0x21726152) return pick(TArcType::atRar, TArcType::atRarExe);  // "Rar!"
  if (b0 == 0x1A && (b1 == 0x0A || b1 == 0x0B)) return pick(TArcType::atPak, TArcType::atPakExe);
  if (b0 == 0x1A && (b1 == 0x1E || b1 == 0x02)) return pick(TArcType::atArc, TArcType::atUnsupported);
  if (b0 == 0x1A && (b1 == 0x08 || b1 == 0x09)) return pick(TArcType::atArc, TArcType::atArcExe);
  if (b0 == 0xB7 && (b1 == 0x92 || b1 == 0xDF)) {
    start = 7717;
    return TArcType::atArcExe;
  }
  return TArcType::atUnknown;
}

std::int32_t TarxMain::LocateCentralDir(TArchiveFile& f) {
  arc_type_ = TArcType::atUnknown;
  FindEndOfCentralDir(f);
  const std::int64_t size = f.Size();
  const std::int64_t c = end_record_.CentralDirOffset;
  if (c < size && (head_flag_ & kHeadEndRecord)) {
    if (c > 0 && f.TrySeek(c)) {
      std::uint8_t rec[TCentralHeader::kSize];
      if (f.Read(rec, sizeof rec) == sizeof rec && GetLe32(rec) == kCentralHeaderSig) {
        central_header_ = TCentralHeader::Decode(rec);
        return static_cast<std::int32_t>(c);
      }
    }
    if (size > 25000 && f.TrySeek(25000)) {
      std::vector<std::uint8_t> buf(32768);
      std::uint32_t got = f.Read(buf.data(), 32768);
      for (std::uint32_t i = 0; i + 4 <= got; ++i) {
        if (GetLe32(&buf[i]) == kLocalHeaderSig) {
          head_flag_ = kHeadLocal;
          return static_cast<std::int32_t>(25000 + i);
        }
      }
    }
  }
  return 0;
}

bool TarxMain::ProbeZip(TArchiveFile& f) {
  arc_type_ = TArcType::atZipExe;
  const std::int64_t size = f.Size();
  bool ok = false;
  std::uint8_t sig[4];
  if (size > 4 && f.TrySeek(0) && f.Read(sig, 4) == 4) {
    if (GetLe32(sig) == kLocalHeaderSig) {
      std::int32_t s = LocateCentralDir(f);
      if (s > 0) {
        start_offset_ = s;
        arc_type_ = TArcType::atZip;
        ok = true;
      }
    } else {
      static const std::int32_t kOffsets[3] = {7612, 15770, 25661};
      for (std::int32_t off : kOffsets) {
        if (size < off + 5) break;
        if (f.TrySeek(off) && f.Read(sig, 4) == 4 && GetLe32(sig) == kLocalHeaderSig) {
          start_offset_ = off;
          arc_type_ = TArcType::atZipExe;
          if (off != 25661) head_flag_ = kHeadLocal;
          ok = true;
          break;
        }
      }
    }
  }
  if (!ok) arc_type_ = TArcType::atNA;
  return ok;
}

std::int32_t TarxMain::ScanSfx(TArchiveFile& f, TArcType& type, std::int32_t start) {
  type = TArcType::atUnknown;
  const std::int64_t size = f.Size();
  if (start >= size) return 0;
  std::vector<std::uint8_t> buf(32768);
  std::int64_t base = start;
  for (int block = 0; block < 6; ++block) {
    if (!f.TrySeek(base)) return 0;
    std::uint32_t got = f.Read(buf.data(), 32768);
    if (got == 0) return 0;
    for (std::uint32_t i = 0; i < got; ++i) {
      std::int64_t pos = base + i;
      if (i + 4 <= got && buf[i] == '-' && buf[i + 1] == 'l' && buf[i + 2] == 'h' &&
          buf[i + 4] == '-' && pos + 6 <= size) {
        type = TArcType::atLhaExe;
        return static_cast<std::int32_t>(pos - 1);
      }
      if (i + 4 <= got && GetLe32(&buf[i]) == kLocalHeaderSig) {
        type = TArcType::atZipExe;
        head_flag_ = kHeadLocal;
        return static_cast<std::int32_t>(pos);
      }
      if (i + 4 <= got && std::memcmp(&buf[i], "Rar!", 4) == 0) {
        type = TArcType::atRarExe;
        return static_cast<std::int32_t>(pos + 1);
      }
    }
    base += got;
  }
  return 0;
}

bool TarxMain::ProbeUue(TArchiveFile& f) {
  std::vector<char> buf(2500);
  if (!f.TrySeek(0)) return false;
  std::uint32_t got = f.Read(buf.data(), 2500);
  std::string s(buf.data(), got);
  bool ok = s.rfind("begin ", 0) == 0 || s.find("\nbegin ") != std::string::npos;
  if (ok) {
    arc_type_ = TArcType::atUue;
    start_offset_ = 1;
  }
  return ok;
}

bool TarxMain::ProbeTar(TArchiveFile& f) {
  const std::int64_t size = f.Size();
  if (size <= 512) return false;
  std::uint8_t block[512];
  if (!f.TrySeek(0) || f.Read(block, 512) < 512) return false;
  if (block[156] == 'V') {
    start_offset_ = 513;
    if (size <= 1025 || f.Read(block, 512) < 512) {
      start_offset_ = 1;
      return false;
    }
  }
  std::uint32_t stored = 0;
  for (int i = 148; i < 156; ++i)
    if (block[i] >= '0' && block[i] <= '7') stored = stored * 8 + (block[i] - '0');
  std::uint32_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : block[i];
  if (sum == stored) {
    arc_type_ = TArcType::atTar;
    return true;
  }
  start_offset_ = 1;
  return false;
}

void TarxMain::DetectArcType() {
  if (archive_file_.empty()) {
    arc_type_ = TArcType::atNA;
    return;
  }
  arc_type_ = TArcType::atFileOpenErr;
  TArchiveFile f;
  if (!f.Open(archive_file_)) return;

  RefreshArchiveDrive();
  std::vector<std::uint8_t> buf(32768, 0);
  start_offset_ = 1;
  head_flag_ = 0;
  archive_size_ = f.Size();
  const std::int64_t size = archive_size_;

  auto finish = [&]() {
    if (IsRecognisedArcType(arc_type_)) {
      if (arc_type_ == TArcType::atZip) {
        std::string name = ExtractFileNamePart(archive_file_);
        std::size_t dot = name.rfind('.');
        std::string ext = dot == std::string::npos ? "" : name.substr(dot);
        for (char& c : ext)
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (ext == ".JAR") arc_type_ = TArcType::atJar;
      }
    }
    // The layer offers no query for a file's date, so the default stands for every type.
    archive_date_ = kDosEpoch;
    f.Close();
  };

  if (size <= 19) return finish();
  if (ProbeZip(f)) return finish();

  std::uint32_t got = 0;
  if (f.TrySeek(0)) got = f.Read(buf.data(), 32767);
  (void)got;

  if (buf[0] == 'M' && buf[1] == 'Z') {
    arc_type_ = TArcType::atUnknown;
    {
      platform::DataModule module;
      if (module.Load(archive_file_) == 0) {
        for (std::uint32_t id = 1; id <= 4; ++id) {
          std::string text;
          if (!module.LoadStringById(id, text) || text.empty()) break;
          if (text.size() > 5) text.resize(5);
          if (!IsAllDigits(text)) break;
          std::int32_t off = std::stoi(text);
          start_offset_ = off;
          if (off >= size) break;
          if (!f.TrySeek(off)) continue;
          std::uint8_t s4[4];
          if (f.Read(s4, 4) == 4) {
            TArcType t = ClassifySignature(f, GetLe32(s4), true, start_offset_);
            if (t != TArcType::atUnknown) {
              arc_type_ = t;
              head_flag_ = kHeadLocal;
              return finish();
            }
          }
        }
      }
    }
    const std::int64_t pages = GetLe16(&buf[4]), last = GetLe16(&buf[2]);
    const std::int64_t e = (pages - 1) * 512 + last;
    if (e > 0 && e + 4 < size) {
      if (!f.TrySeek(e)) {
        arc_type_ = TArcType::atFileOpenErr;
        return finish();
      }
      std::uint8_t s4[4];
      if (f.Read(s4, 4) == 4) {
        start_offset_ = static_cast<std::int32_t>(e + 1 + (GetLe16(s4 + 2) == 0xEA60 ? 2 : 0));
        if (start_offset_ + 4 < size && f.TrySeek(start_offset_ - 1) && f.Read(s4, 4) == 4 &&
            GetLe32(s4) != kLocalHeaderSig) {
          TArcType t = ClassifySignature(f, GetLe32(s4), true, start_offset_);
          if (IsRecognisedArcType(t)) {
            arc_type_ = t;
            return finish();
          }
        }
      }
    }
    end_record_.Signature = 0;
    std::int32_t s = IsRecognisedArcType(arc_type_) ? LocateCentralDir(f) : FindEndOfCentralDir(f);
    start_offset_ = s;
    if (s > 0) {
      arc_type_ = TArcType::atZipExe;
      return finish();
    }
    if (start_offset_ == 0 && end_record_.Signature == kEndRecordSig &&
        !IsRecognisedArcType(arc_type_)) {
      start_offset_ = LocateCentralDir(f);
      if (start_offset_ > 0) arc_type_ = TArcType::atZipExe;
      return finish();
    }
    TArcType t = arc_type_;
    start_offset_ = ScanSfx(f, t, 17000);
    arc_type_ = t;
    return finish();
  }

  std::size_t zeros = 0;
  while (zeros < buf.size() - 4 && buf[zeros] == 0) ++zeros;
  arc_type_ = ClassifySignature(f, GetLe32(&buf[zeros]), false, start_offset_);
  const bool ace = std::memcmp(&buf[7], "**ACE**", 7) == 0;
  if (arc_type_ == TArcType::atZip || arc_type_ == TArcType::atZipExe ||
      arc_type_ == TArcType::atJar) {
    if (DriveIsRemovable()) arc_type_ = TArcType::atZipMV;
    start_offset_ = FindEndOfCentralDir(f);
    if (start_offset_ == 0) {
      start_offset_ = static_cast<std::int32_t>(zeros);
      head_flag_ |= kHeadLocal;
    }
  } else if (arc_type_ != TArcType::atZipMV && ace) {
    arc_type_ = TArcType::atACE;
  }
  if (!IsRecognisedArcType(arc_type_)) {
    if (DriveIsRemovable() && LabelIsSpanned()) {
      start_offset_ = FindEndOfCentralDir(f);
      if (head_flag_ < kHeadLocal) arc_type_ = TArcType::atZipMV;
    } else if (ace) {
      arc_type_ = TArcType::atACE;
    } else if (!ProbeUue(f) && !ProbeTar(f)) {
      start_offset_ = FindEndOfCentralDir(f);
      if (start_offset_ > 0) arc_type_ = TArcType::atZip;
    }
  }
  return finish();
}

}  // namespace orb
