// The zip routine: the split-set disk sequence, the walk and selection, and for each selected
// entry the output path, the begin step, the password sequence, decoding and the CRC verdict.
#include "archive/arxUnZIP.h"

#include <algorithm>
#include <span>

#include "archive/arxExplode.h"
#include "archive/arxInflate.h"
#include "archive/arxUnreduce.h"
#include "archive/arxUnshrink.h"
#include "platform/fs.h"

namespace orb {

namespace {

bool FileExists(const std::string& path) {
  std::uint32_t attr = platform::kInvalidFileAttributes;
  return platform::GetAttributes(path, attr) == 0 && attr != platform::kInvalidFileAttributes &&
         (attr & platform::kFileAttributeDirectory) == 0;
}

}  // namespace

// The entry's compressed bytes: never past the packed size, decrypted as they are read (all
// methods but stored), continued on the next disk of a split set, and ended by Cancel.
class TUnZIP::EntrySource : public arx::ByteSource {
 public:
  explicit EntrySource(TUnZIP& z) : z_(z) {}
  std::size_t Read(std::uint8_t* buf, std::size_t max) override {
    if (z_.cancel_) z_.packed_left_ = 0;
    while (z_.packed_left_ > 0) {
      std::int64_t want = std::min<std::int64_t>({static_cast<std::int64_t>(max),
                                                  z_.packed_left_, 32768});
      std::uint32_t got = z_.read_fn_(*z_.archive_, static_cast<std::uint32_t>(want), 0,
                                      z_.encrypted_, buf);
      if (got > 0) {
        z_.packed_left_ -= got;
        return got;
      }
      if (z_.arc_type_ != TArcType::atZipMV || !z_.NextDisk(*z_.archive_)) break;
    }
    return 0;
  }
  bool Cancelled() const override { return z_.cancel_; }

 private:
  TUnZIP& z_;
};

// Decoded bytes: written through WriteBlock (CRC over each written piece), counters and
// progress updated per piece.
class TUnZIP::EntrySink : public arx::ByteSink {
 public:
  EntrySink(TUnZIP& z, TOutputFile& out) : z_(z), out_(out) {}
  void Write(const std::uint8_t* data, std::size_t n) override {
    auto* p = const_cast<std::uint8_t*>(data);  // no decryption on this side: bytes untouched
    std::uint32_t done = z_.write_fn_(out_, true, static_cast<std::uint32_t>(n), 32, false, p);
    if (done == 0) z_.RaiseError(z_.output_path_, "", "0", E_FWRITE);
    z_.bytes_to_write_ -= static_cast<std::int64_t>(n);
    z_.unpacked_left_ -= static_cast<std::int64_t>(n);
    z_.ReportProgress(static_cast<std::int64_t>(z_.entry_.UnpackedSize) - z_.unpacked_left_,
                      z_.entry_.UnpackedSize, z_.unpacked_total_);
  }

 private:
  TUnZIP& z_;
  TOutputFile& out_;
};

TUnZIP::TUnZIP(TComponent* owner) : TUnBase(owner) {}
TUnZIP::~TUnZIP() = default;

bool TUnZIP::Matches(const std::string& name) const {
  for (const std::string& p : file_spec_) {
    if (p == "*.*") return true;
    if (MatchWildcard(p, name, false)) return true;
  }
  return false;
}

void TUnZIP::CopyStored(TArchiveFile& archive, TOutputFile& out) {
  const std::size_t size = std::min<std::uint32_t>(entry_.UnpackedSize, 32768) + 1;
  std::vector<std::uint8_t> buf(size);
  while (unpacked_left_ > 0) {
    std::uint32_t want = static_cast<std::uint32_t>(std::min<std::int64_t>(unpacked_left_, 32768));
    std::uint32_t got = read_fn_(archive, want, 0, false, buf.data());
    if (got == 0) {
      if (arc_type_ == TArcType::atZipMV && NextDisk(archive)) continue;
      break;
    }
    write_fn_(out, true, got, 32, encrypted_, buf.data());
    unpacked_left_ -= got;
    bytes_to_write_ -= got;
    ReportProgress(static_cast<std::int64_t>(entry_.UnpackedSize) - unpacked_left_,
                   entry_.UnpackedSize, packed_total_);
    if (cancel_) break;
  }
}

bool TUnZIP::UnpackEntry(TArchiveFile& archive, TOutputFile& out, const TZipEntry& entry,
                         const std::string& out_name) {
  archive_ = &archive;
  crc_ = arx::kCrc32Init;
  entry_ = entry;
  encrypted_ = (entry.Flags & 1) != 0;
  std::int64_t packed = entry.PackedSize;
  if (encrypted_) packed -= 12;
  packed_left_ = packed;
  unpacked_left_ = entry.UnpackedSize;
  try {
    EntrySource source(*this);
    EntrySink sink(*this, out);
    arx::DecodeResult r;
    switch (entry.Method) {
      case 0:
        CopyStored(archive, out);
        break;
      case 1:
        r = arx::Unshrink(source, sink);
        break;
      case 2: case 3: case 4: case 5:
        r = arx::Unreduce(source, sink, static_cast<int>(entry.Method) - 1, entry.UnpackedSize);
        break;
      case 6:
        r = arx::Explode(source, sink, static_cast<std::uint16_t>(entry.Flags),
                         entry.UnpackedSize);
        break;
      case 8:
        r = arx::Inflate(source, sink);
        break;
      default:
        RaiseError(out_name, "", "0", E_UNKNMETH);
    }
    if (!r.Ok()) RaiseError(out_name, "", "0", r.MessageId);
  } catch (...) {
    // OnError has fired (or the write failed); the CRC verdict tells the rest.
  }
  return true;
}

bool TUnZIP::CheckPassword(const std::uint8_t* header, bool& try_again) {
  std::span<const std::uint8_t, arx::kCryptHeaderSize> h(header, arx::kCryptHeaderSize);
  auto check = [&](const std::string& pw) {
    return arx::CheckPasswordHeader(keys_, h, local_header_.Flags, local_header_.Crc,
                                    local_header_.DosDateTime, pw);
  };
  if (!password_.empty() && check(password_)) return true;
  for (const std::string& pw : passwords_) {
    password_ = pw;
    if (check(pw)) return true;
  }
  if (!OnGetPassword) {
    NotifyError(output_path_, "OnGetPassword", "0", E_REQUIREDEVENT);
    return false;
  }
  for (int k = 0; k < password_attempts_; ++k) {
    std::string pw = password_;
    bool again = true;
    {
      TimerPause pause(*timer_);
      OnGetPassword(this, output_path_, pw, again);
    }
    try_again = again;
    if (!again) break;
    if (check(pw)) {
      password_ = pw;
      passwords_.insert(passwords_.begin(), pw);
      return true;
    }
    password_.clear();
    NotifyError(output_path_, "", "0", E_INVALIDPASSWORD);
  }
  return false;
}

bool TUnZIP::ReopenVolume(TArchiveFile& archive) {
  if (!archive.Close())
    RaiseError(volume_name_, "", std::to_string(volume_number_), E_FCLOSE);
  if (!archive.Open(archive_file_))
    RaiseError(volume_name_, "", std::to_string(volume_number_), E_FREAD);
  end_pos_ = archive.Size();
  bool ok = disk_manager_->Refresh();
  volume_name_ = disk_manager_->VolumeLabel();
  volume_number_ = disk_manager_->DiskNumber();
  return ok;
}

bool TUnZIP::NextDisk(TArchiveFile& archive) {
  volume_number_ = disk_manager_->DiskNumber();
  while (disk_manager_->DiskNumber() != volume_number_ + 1) {
    SetCancel(true);
    if (OnGetZipNextDisk) {
      TimerPause pause(*timer_);
      OnGetZipNextDisk(this, std::to_string(volume_number_ + 1), cancel_);
    }
    if (cancel_) return false;
    disk_manager_->Refresh();
  }
  if (!ReopenVolume(archive)) {
    SetCancel(true);
    return false;
  }
  archive.Seek(0);
  return true;
}

bool TUnZIP::StartSplitArchive(TArchiveFile& archive) {
  auto ask = [this](const TOnGetZipLastDisk& ev) {
    bool c = true;
    if (ev) {
      TimerPause pause(*timer_);
      ev(this, c);
    }
    return !c;
  };
  auto drive_of = [this]() {
    return archive_file_.size() >= 2 && archive_file_[1] == ':' ? archive_file_.substr(0, 2)
                                                                 : disk_manager_->Drive();
  };
  auto first_disk = [&]() -> bool {
    if (head_flag_ & 0x10) return ReopenVolume(archive);
    bool ok = false;
    while (!(head_flag_ & 0x10)) {
      if (!ask(OnGetZipFirstDisk)) return false;
      SetArchiveFile(archive_file_);
      ok = ReopenVolume(archive) && disk_manager_->DiskNumber() == 1;
      if (ok) break;
    }
    if (ok) {
      volume_number_ = disk_manager_->DiskNumber();
      volume_name_ = disk_manager_->VolumeLabel();
    }
    return ok;
  };

  if (end_record_.Signature == kEndRecordSig) {
    disk_manager_->SetDrive(drive_of());
    if (disk_manager_->DriveType() != 2 || !FileExists(archive_file_)) return false;
    if (!first_disk()) return false;
  } else {
    disk_manager_->SetDrive(drive_of());
    if (disk_manager_->DriveType() == 2) {
      const std::string& label = disk_manager_->VolumeLabel();
      std::size_t at = label.rfind(kSpanLabelMarker);
      if (at == std::string::npos) return false;
      std::string tail = label.substr(at + std::string(kSpanLabelMarker).size());
      if (tail.empty() || !IsAllDigits(tail) || tail.size() > 9) {
        volume_name_.clear();
        volume_number_ = 0;
      } else {
        volume_name_ = tail;
        volume_number_ = std::stoi(tail);
      }
      zip_cmnt_buf_size_ = 32000;
      while (!(head_flag_ & 0x01)) {
        if (!ask(OnGetZipLastDisk)) return false;
        SetArchiveFile(archive_file_);
      }
      if (!first_disk()) return false;
    } else {
      end_record_.CentralDirDisk = 0;
      return true;
    }
  }
  // The first volume starts with the split marker or a local header.
  start_pos_ = start_offset_;
  if (start_pos_ > 0) --start_pos_;
  archive.Seek(start_pos_);
  std::uint8_t sig[4] = {};
  read_fn_(archive, 4, 0, false, sig);
  std::uint32_t s = Get32(sig);
  if (s == kSplitMarkerSig) start_pos_ += 4;
  else if (s != kLocalHeaderSig) RaiseError(archive_file_, "", "0", E_BADHEADR);
  return true;
}

bool TUnZIP::PrepareWalk(TArchiveFile& archive, bool& central) {
  start_pos_ = start_offset_;
  if (arc_type_ == TArcType::atZipMV) {
    if (!StartSplitArchive(archive)) return false;
  } else if (OnCorruptZipHeader && (head_flag_ & 0x19) != 0x19) {
    bool c = true;
    {
      TimerPause pause(*timer_);
      OnCorruptZipHeader(this, head_flag_, c);
    }
    if (c) return false;
  }
  central = (head_flag_ & 0x08) != 0;
  if (!central) head_flag_ = 0x10;
  else start_offset_ = static_cast<std::int32_t>(end_record_.CentralDirOffset);
  if (!archive.TrySeek(start_pos_)) RaiseError(archive_file_, "", "0", E_SEEKERR);
  return true;
}

void TUnZIP::Select(TArchiveFile& archive, bool central, bool multi,
                    std::vector<TZipListItem>* items) {
  const std::uint32_t hsize = central ? TCentralHeader::kSize : TLocalHeader::kSize;
  packed_total_ = unpacked_total_ = 0;
  file_list_->Clear();
  TimerPause pause(*timer_);
  std::uint8_t hdr[TCentralHeader::kSize] = {};
  // A pass reads its first header where the file stands: the start of the walk for the first
  // pass; on a split set, just after the entry that the previous pass finished on this disk.
  std::uint32_t got = read_fn_(archive, hsize, 0, false, hdr);
  cur_pos_ = archive.Position();
  auto offer = [&](const std::string& raw, TZipEntry e, std::uint32_t dos) {
    std::string name = OemNameToAnsi(raw);
    if (name.empty() || !Matches(name)) return false;
    packed_total_ += e.PackedSize;
    if (e.Flags & 1) packed_total_ -= 12;
    unpacked_total_ += e.UnpackedSize;
    if (static_cast<std::int32_t>(dos) > static_cast<std::int32_t>(max_dos_date_))
      max_dos_date_ = dos;
    file_list_->Add(e);
    if (items) items->push_back({name, e, dos});
    return true;
  };
  // Names are read with their full 16-bit length, so a long name never puts a walk out of
  // step.
  auto read_name = [&](std::uint16_t len) {
    std::string raw(len, '\0');
    archive.Seek(cur_pos_);
    std::uint32_t n = len ? archive.Read(raw.data(), len) : 0;
    raw.resize(n);
    cur_pos_ += len;
    return raw;
  };
  while (cur_pos_ < end_pos_ && !cancel_) {
    if (got < hsize) break;
    if (central) {
      central_header_ = TCentralHeader::Decode(hdr);
      const TCentralHeader& h = central_header_;
      if (h.Signature != kCentralHeaderSig) break;
      if (h.ExternalAttr & 0x18) {
        cur_pos_ += h.NameLength;  // folders and volume labels are not offered
      } else {
        std::string raw = read_name(h.NameLength);
        TZipEntry e{h.Flags, h.Method, h.LocalHeaderOffset, h.PackedSize, h.UnpackedSize, h.Crc,
                    h.ExternalAttr};
        if (offer(raw, e, h.DosDateTime) && !multi) break;
      }
      cur_pos_ += h.ExtraLength + h.CommentLength;
    } else {
      local_header_ = TLocalHeader::Decode(hdr);
      const TLocalHeader& h = local_header_;
      if (h.Signature != kLocalHeaderSig) break;
      std::string raw = read_name(h.NameLength);
      TZipEntry e{h.Flags, h.Method,
                  static_cast<std::uint32_t>(cur_pos_ - h.NameLength - TLocalHeader::kSize),
                  h.PackedSize, h.UnpackedSize, h.Crc, 0x20};
      if (offer(raw, e, h.DosDateTime) && !multi) break;
      // Sizes of 0 with a trailing data descriptor end the walk at the entry's data.
      cur_pos_ += static_cast<std::int64_t>(h.PackedSize) + h.ExtraLength;
    }
    if (!archive.TrySeek(cur_pos_)) break;
    got = read_fn_(archive, hsize, 0, false, hdr);
    cur_pos_ += got;
  }
}

int TUnZIP::List(std::vector<TZipListItem>& items) {
  items.clear();
  if (archive_file_.empty()) RaiseError(archive_file_, "", "0", E_FILENOTFOUND);
  if (arc_type_ != TArcType::atZip && arc_type_ != TArcType::atZipExe &&
      arc_type_ != TArcType::atJar)
    RaiseError(archive_file_, "", "0", E_INVALIDARC);
  TArchiveFile archive;
  if (!archive.Open(archive_file_)) RaiseError(archive_file_, "", "0", E_FOPEN);
  end_pos_ = archive.Size();
  const std::int32_t saved_start = start_offset_;
  const std::uint8_t saved_flag = head_flag_;
  cancel_ = false;
  try {
    bool central = false;
    if (PrepareWalk(archive, central)) Select(archive, central, true, &items);
  } catch (const E_RAISE&) {
  } catch (const EInOutError&) {
  }
  start_offset_ = saved_start;
  head_flag_ = saved_flag;
  file_list_->Clear();
  return static_cast<int>(items.size());
}

void TUnZIP::ExtractArchive(TArchiveFile& archive, TOutputFile&) {
  struct Invalidate {
    TEndRecord& r;
    ~Invalidate() { r.Signature = 0; }
  } invalidate{end_record_};
  archive_ = &archive;
  try {
    bool central = false;
    if (!PrepareWalk(archive, central)) return;

    begun_count_ = 0;
    const bool multi = file_spec_.size() > 1 ||
                       (file_spec_.size() == 1 && file_spec_[0].find('*') != std::string::npos);
    const int passes = arc_type_ == TArcType::atZipMV ? end_record_.CentralDirDisk + 1 : 1;

    for (int pass = 0; pass < passes; ++pass) {
      Select(archive, central, multi, nullptr);
      bytes_to_write_ = unpacked_total_;

      // Extraction.
      for (int i = 0; i < file_list_->Count(); ++i) {
        if (cancel_) break;
        const TZipEntry entry = (*file_list_)[i];
        archive.Seek(entry.HeaderOffset);
        std::uint8_t lh[TLocalHeader::kSize] = {};
        std::uint32_t got = read_fn_(archive, TLocalHeader::kSize, 0, false, lh);
        local_header_ = TLocalHeader::Decode(lh);
        if (got < TLocalHeader::kSize || local_header_.Signature != kLocalHeaderSig) {
          NotifyError("", "", "0", E_BADLOCALHDR);
          continue;
        }
        std::int64_t pos = static_cast<std::int64_t>(entry.HeaderOffset) + TLocalHeader::kSize;
        std::string stored(local_header_.NameLength, '\0');
        archive.Seek(pos);
        std::uint32_t n =
            local_header_.NameLength ? archive.Read(stored.data(), local_header_.NameLength) : 0;
        stored.resize(n);
        pos += local_header_.NameLength;
        BuildOutputPath(stored);
        entry_date_ = DosDateToDateTime(local_header_.DosDateTime);
        crc_ = arx::kCrc32Init;

        if (unsafe_path_) {
          NotifyError(stored, stored, "0", E_INVALIDFN);
          bytes_to_write_ -= entry.UnpackedSize;
          continue;
        }

        bool existed = false;
        if (!BeginEntry(existed)) return;
        if (existed && overwrite_mode_ == TOverwriteMode::omSkip) {
          bytes_to_write_ -= entry.UnpackedSize;
          ReportProgress(0, 0, unpacked_total_);
          continue;
        }
        pos += local_header_.ExtraLength;
        archive.Seek(pos);

        bool accepted = true, try_again = true, stop_run = false;
        if (local_header_.Flags & 1) {
          // The encryption header is read once; each attempt starts from this copy.
          std::uint8_t header[2 * arx::kCryptHeaderSize] = {};
          read_fn_(archive, arx::kCryptHeaderSize, 0, false, header + arx::kCryptHeaderSize);
          TimerPause pause(*timer_);
          accepted = CheckPassword(header + arx::kCryptHeaderSize, try_again);
        }
        if (accepted && test_only_) {
          TOutputFile sink;
          sink.SetDiscard(true);
          UnpackEntry(archive, sink, entry, output_path_);
        } else if (accepted) {
          TOutputFile out;
          bool created = false;
          try {
            if (!CreateOutput(out, output_path_, stored))
              RaiseError(output_path_, "", "0", E_FOPEN);
            created = true;
            UnpackEntry(archive, out, entry, output_path_);
          } catch (...) {
            // The entry ends; OnError has told why.
          }
          if (created) {
            try {
              FinishOutput(out, entry.Attr, local_header_.DosDateTime, output_path_);
            } catch (...) {
            }
          }
        } else if (OnGetPassword) {
          NotifyError(output_path_, "", "0", E_PASSWORDFAILED);
          stop_run = true;
        }

        const bool pass_crc = arx::Crc32Final(crc_) == entry.Crc;
        if (OnEnd) {
          OnEnd(this, output_path_, pass_crc);
        } else if (accepted && try_again && !pass_crc) {
          NotifyError(stored, "", "0", E_CRCERROR);
        }
        if (stop_run) return;
      }
    }
  } catch (...) {
    // Ends the archive quietly: OnError has already fired for engine errors.
  }
}

}  // namespace orb
