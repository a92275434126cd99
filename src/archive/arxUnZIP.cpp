// The zip routine: the split-set disk sequence, the walk and selection, and for each selected
// entry the output path, the begin step, the password sequence, decoding and the CRC verdict.
#include "archive/arxUnZIP.h"

#include <algorithm>
#include <span>
#include <unordered_map>

#include "archive/arxExplode.h"
#include "archive/arxInflate.h"
#include "archive/arxPaths.h"
#include "archive/arxUnreduce.h"
#include "archive/arxUnshrink.h"
#include "archive/arxWildcard.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/gbk.h"

namespace orb {

namespace {

// The end record's comment is at most 65,535 bytes; a little more for padding after it.
constexpr std::int64_t kEndSearchWindow = 65535 + TEndRecord::kSize + 1024;

// What may follow the last entry of a walk: the central directory, the records that end it.
bool EndsLocalWalk(std::uint32_t sig) {
  return sig == kCentralHeaderSig || sig == kEndRecordSig || sig == kZip64EndRecordSig ||
         sig == kDigitalSignatureSig;
}
bool EndsCentralWalk(std::uint32_t sig) {
  return sig == kEndRecordSig || sig == kZip64EndRecordSig || sig == kZip64LocatorSig ||
         sig == kDigitalSignatureSig;
}

// Every lead byte is followed by a trail byte: the name is whole characters of code page 936.
bool IsWholeGbk(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (!platform::IsGbkLeadByte(static_cast<unsigned char>(s[i]))) continue;
    if (i + 1 >= s.size()) return false;
    const unsigned char trail = static_cast<unsigned char>(s[++i]);
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
  }
  return true;
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

struct TUnZIP::CentralIndex {
  struct Entry {
    std::uint32_t packed = 0, unpacked = 0, crc = 0;
    std::string raw_name;
  };
  std::int64_t directory_offset = 0;
  std::uint16_t declared = 0;                         // the end record's total entries
  std::unordered_map<std::uint32_t, Entry> by_offset;  // the first entry at each offset
  std::vector<std::uint32_t> offsets;                  // every local header offset, sorted
};

TUnZIP::TUnZIP(TComponent* owner) : TUnBase(owner) {}
TUnZIP::~TUnZIP() = default;

bool TUnZIP::ReadsArcType(TArcType t) const {
  return t == TArcType::atZip || t == TArcType::atZipExe || t == TArcType::atZipMV ||
         t == TArcType::atJar;
}

std::string TUnZIP::EntryName(const std::string& raw, std::uint32_t flags,
                              bool& mappable) const {
  mappable = true;
  const bool ascii = std::all_of(raw.begin(), raw.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return SlashToBackslash(raw);
  if ((flags & kFlagUtf8) == 0) {
    // A name of another code page can hold a lead byte before a '/', which the turn into
    // '\\' would make one character with it: the folder would vanish from the path.
    const std::string ansi = platform::OemToAnsi(raw);
    mappable = IsWholeGbk(ansi);
    return SlashToBackslash(ansi);
  }
  // Only a conversion that comes back unchanged names the same file: anything else would
  // write the entry under another name.
  std::string ansi = platform::Utf8ToGbk(raw);
  if (ansi.empty() || platform::GbkToUtf8(ansi) != raw) {
    mappable = false;
    return OemNameToAnsi(raw);
  }
  return SlashToBackslash(ansi);
}

void TUnZIP::BuildIndex(TArchiveFile& archive) {
  index_.reset();
  if (arc_type_ == TArcType::atZipMV || end_pos_ < static_cast<std::int64_t>(TEndRecord::kSize))
    return;
  try {
    const std::int64_t window = std::min(end_pos_, kEndSearchWindow);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(window));
    archive.Seek(end_pos_ - window);
    if (archive.Read(tail.data(), static_cast<std::uint32_t>(window)) != window) return;
    for (std::int64_t p = window - static_cast<std::int64_t>(TEndRecord::kSize); p >= 0; --p) {
      const std::uint8_t* at = tail.data() + p;
      if (GetLe32(at) != kEndRecordSig) continue;
      const TEndRecord r =
          TEndRecord::Decode(std::span<const std::uint8_t, TEndRecord::kSize>(at, TEndRecord::kSize));
      const std::int64_t record_pos = end_pos_ - window + p;
      const std::int64_t dir_end =
          static_cast<std::int64_t>(r.CentralDirOffset) + r.CentralDirSize;
      if (dir_end > record_pos) continue;  // a signature inside a comment or in data
      auto index = std::make_unique<CentralIndex>();
      index->declared = r.TotalEntries;
      std::vector<std::uint8_t> dir(r.CentralDirSize);
      // Offsets count from the archive's own start: data put in front of it (a stub, a
      // padding) moves everything by the bytes between the directory's end and the record.
      auto read_directory = [&](std::int64_t at) {
        archive.Seek(at);
        return dir.empty() || archive.Read(dir.data(), r.CentralDirSize) == r.CentralDirSize;
      };
      std::int64_t shift = 0;
      if (!read_directory(r.CentralDirOffset)) return;
      const std::int64_t prefix = record_pos - dir_end;
      if (dir.size() >= 4 && GetLe32(dir.data()) != kCentralHeaderSig && prefix > 0) {
        if (!read_directory(r.CentralDirOffset + prefix)) return;
        shift = prefix;
      }
      index->directory_offset = r.CentralDirOffset + shift;
      std::size_t pos = 0;
      while (pos + TCentralHeader::kSize <= dir.size() && GetLe32(&dir[pos]) == kCentralHeaderSig) {
        const TCentralHeader h =
            TCentralHeader::Decode(std::span(dir).subspan(pos).first<TCentralHeader::kSize>());
        const std::size_t name_pos = pos + TCentralHeader::kSize;
        const std::size_t name_len = std::min<std::size_t>(h.NameLength, dir.size() - name_pos);
        CentralIndex::Entry e{h.PackedSize, h.UnpackedSize, h.Crc,
                              std::string(reinterpret_cast<const char*>(&dir[name_pos]),
                                          name_len)};
        const std::uint32_t offset = static_cast<std::uint32_t>(h.LocalHeaderOffset + shift);
        index->by_offset.emplace(offset, std::move(e));
        index->offsets.push_back(offset);
        pos = name_pos + h.NameLength + h.ExtraLength + h.CommentLength;
      }
      std::sort(index->offsets.begin(), index->offsets.end());
      index_ = std::move(index);
      return;
    }
  } catch (const EInOutError&) {
    index_.reset();
  }
}

bool TUnZIP::ResolveDescriptor(TArchiveFile& archive, std::int64_t data_pos, TZipEntry& e,
                               std::int64_t& descriptor_size) {
  // With the sizes known, what follows the data tells the descriptor's form (some writers
  // set the flag and write none).
  auto descriptor_behind = [&]() -> std::int64_t {
    std::uint8_t b[4] = {};
    archive.Seek(data_pos + e.PackedSize);
    if (archive.Read(b, 4) != 4) return 0;
    const std::uint32_t sig = GetLe32(b);
    if (sig == kDescriptorSig) return 16;
    if (sig == kLocalHeaderSig || EndsLocalWalk(sig)) return 0;
    return 12;
  };
  if (index_) {
    if (auto it = index_->by_offset.find(e.HeaderOffset); it != index_->by_offset.end()) {
      e.PackedSize = it->second.packed;
      e.UnpackedSize = it->second.unpacked;
      e.Crc = it->second.crc;
      descriptor_size = descriptor_behind();
      return true;
    }
  }
  if (e.PackedSize != 0 || e.UnpackedSize != 0 || e.Crc != 0) {
    descriptor_size = descriptor_behind();  // the local header has its sizes after all
    return true;
  }
  // No directory to ask: the descriptor is the first place behind the data whose
  // compressed size is the distance from the data's start.
  // The data is read a piece at a time; the last bytes of a piece stay for the next, so
  // that a descriptor across the seam is still seen and memory stays flat.
  constexpr std::int64_t kChunk = 65536;
  constexpr std::size_t kKeep = 15;  // a descriptor and the signature behind it, less one
  std::vector<std::uint8_t> buf;
  std::int64_t base = data_pos;  // file offset of buf[0]
  for (;;) {
    const std::int64_t have_end = base + static_cast<std::int64_t>(buf.size());
    if (have_end >= end_pos_) break;
    if (buf.size() > kKeep) {
      buf.erase(buf.begin(), buf.end() - kKeep);
      base = have_end - static_cast<std::int64_t>(kKeep);
    }
    const std::int64_t want = std::min<std::int64_t>(kChunk, end_pos_ - have_end);
    const std::size_t old = buf.size();
    buf.resize(old + static_cast<std::size_t>(want));
    archive.Seek(have_end);
    const std::uint32_t n = archive.Read(buf.data() + old, static_cast<std::uint32_t>(want));
    buf.resize(old + n);
    if (n == 0) break;
    const bool at_end = base + static_cast<std::int64_t>(buf.size()) >= end_pos_;
    for (std::size_t q = old >= kKeep ? old - kKeep : 0; q + 12 <= buf.size(); ++q) {
      const std::int64_t distance = base + static_cast<std::int64_t>(q) - data_pos;
      const std::uint8_t* d = buf.data() + q;
      if (q + 16 <= buf.size() && GetLe32(d) == kDescriptorSig && GetLe32(d + 8) == distance) {
        e.Crc = GetLe32(d + 4);
        e.PackedSize = GetLe32(d + 8);
        e.UnpackedSize = GetLe32(d + 12);
        descriptor_size = 16;
        return true;
      }
      // Without its signature a descriptor is known by the header that follows it, or by
      // the end of the data.
      const bool followed = q + 16 <= buf.size() ? GetLe32(d + 12) == kLocalHeaderSig ||
                                                       GetLe32(d + 12) == kCentralHeaderSig
                                                 : at_end && q + 12 == buf.size();
      if (GetLe32(d + 4) == distance && followed) {
        e.Crc = GetLe32(d);
        e.PackedSize = GetLe32(d + 4);
        e.UnpackedSize = GetLe32(d + 8);
        descriptor_size = 12;
        return true;
      }
    }
  }
  return false;
}

bool TUnZIP::Overlaps(const TZipEntry& e, std::int64_t data_pos) const {
  if (!index_) return false;
  const std::vector<std::uint32_t>& offs = index_->offsets;
  auto lo = std::lower_bound(offs.begin(), offs.end(), e.HeaderOffset);
  auto hi = std::upper_bound(offs.begin(), offs.end(), e.HeaderOffset);
  if (hi - lo > 1) return true;  // two entries share one local header
  if (e.HeaderOffset >= index_->directory_offset) return true;
  std::int64_t limit = index_->directory_offset;
  if (hi != offs.end()) limit = std::min<std::int64_t>(limit, *hi);
  return data_pos + static_cast<std::int64_t>(e.PackedSize) > limit;
}

void TUnZIP::CheckWalkEnd(bool central, std::int64_t header_pos, std::uint32_t got,
                          std::uint32_t signature) {
  if (arc_type_ == TArcType::atZipMV) return;  // each disk's walk ends where its data does
  const std::uint32_t hsize = central ? TCentralHeader::kSize : TLocalHeader::kSize;
  const std::uint32_t own_sig = central ? kCentralHeaderSig : kLocalHeaderSig;
  const bool signed_record = got >= 4;
  int code = 0;
  if (!central && got == 0 && header_pos == end_pos_) {
    // The data ends right after the last entry: an archive without a directory.
  } else if (!central && index_ && header_pos == index_->directory_offset) {
    // The walk reached the directory: damage there loses no entry (the count tells).
  } else if (signed_record && (central ? EndsCentralWalk(signature) : EndsLocalWalk(signature))) {
    // The records that follow the last entry.
  } else if (header_pos + got >= end_pos_ && (got < hsize || signature == own_sig)) {
    code = E_UNEXPECTEDEOF;  // cut inside a header or inside an entry's data
  } else {
    code = E_HEADERNOTFOUND;  // a damaged header: the entries behind it are out of reach
  }
  if (code == 0) {
    // 0xFFFF: the count is in a zip64 record.
    std::size_t expected = static_cast<std::size_t>(walked_);
    if (central && end_record_.TotalEntries != 0xFFFF) expected = end_record_.TotalEntries;
    if (!central && index_) expected = index_->declared != kZip64Count ? index_->declared : index_->offsets.size();
    if (static_cast<std::size_t>(walked_) != expected) code = E_ENTRYCOUNT;
  }
  if (code != 0) NotifyError(archive_file_, "", "0", code);
}

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
    // Never past the entry's own data, whatever its unpacked size claims.
    std::uint32_t want = static_cast<std::uint32_t>(
        std::min<std::int64_t>({unpacked_left_, packed_left_, 32768}));
    if (want == 0) break;
    std::uint32_t got = read_fn_(archive, want, 0, false, buf.data());
    packed_left_ -= got;
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
  encrypted_ = (entry.Flags & kFlagEncrypted) != 0;
  std::int64_t packed = entry.PackedSize;
  if (encrypted_) packed -= 12;
  packed_left_ = packed;
  unpacked_left_ = entry.UnpackedSize;
  try {
    EntrySource source(*this);
    EntrySink sink(*this, out);
    arx::DecodeResult r;
    switch (static_cast<TZipMethod>(entry.Method)) {
      case TZipMethod::zmStored:
        CopyStored(archive, out);
        break;
      case TZipMethod::zmShrunk:
        r = arx::Unshrink(source, sink);
        break;
      case TZipMethod::zmReduced1:
      case TZipMethod::zmReduced2:
      case TZipMethod::zmReduced3:
      case TZipMethod::zmReduced4:
        r = arx::Unreduce(source, sink, static_cast<int>(entry.Method) - 1, entry.UnpackedSize);
        break;
      case TZipMethod::zmImploded:
        r = arx::Explode(source, sink, static_cast<std::uint16_t>(entry.Flags),
                         entry.UnpackedSize);
        break;
      case TZipMethod::zmDeflated:
        r = arx::Inflate(source, sink);
        break;
      default:
        RaiseError(out_name, "", "0", E_UNKNMETH);
    }
    if (!r.Ok()) RaiseError(out_name, "", "0", r.MessageId);
  } catch (const E_RAISE& e) {
    // A failed write raises without OnError: say here what the system refused.
    if (e.Code() == E_FWRITE && !cancel_)
      NotifyError(out_name, SystemErrorText(out.LastError()), "0", E_FWRITE);
  } catch (...) {
    // OnError has fired; the CRC verdict tells the rest.
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
    if (head_flag_ & kHeadLocal) return ReopenVolume(archive);
    bool ok = false;
    while (!(head_flag_ & kHeadLocal)) {
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
    if (disk_manager_->DriveType() != 2 || !platform::FileExists(archive_file_)) return false;
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
      while (!(head_flag_ & kHeadEndRecord)) {
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
  std::uint32_t s = GetLe32(sig);
  if (s == kSplitMarkerSig) start_pos_ += 4;
  else if (s != kLocalHeaderSig) RaiseError(archive_file_, "", "0", E_BADHEADR);
  return true;
}

bool TUnZIP::PrepareWalk(TArchiveFile& archive, bool& central) {
  start_pos_ = start_offset_;
  if (arc_type_ == TArcType::atZipMV) {
    if (!StartSplitArchive(archive)) return false;
  } else if (OnCorruptZipHeader && (head_flag_ & kHeadChain) != kHeadChain) {
    bool c = true;
    {
      TimerPause pause(*timer_);
      OnCorruptZipHeader(this, head_flag_, c);
    }
    if (c) return false;
  }
  BuildIndex(archive);
  central = (head_flag_ & kHeadCentral) != 0;
  if (!central) head_flag_ = kHeadLocal;
  else start_offset_ = static_cast<std::int32_t>(end_record_.CentralDirOffset);
  if (!archive.TrySeek(start_pos_)) RaiseError(archive_file_, "", "0", E_SEEKERR);
  return true;
}

void TUnZIP::Select(TArchiveFile& archive, bool central, bool multi,
                    std::vector<TZipListItem>* items) {
  const std::uint32_t hsize = central ? TCentralHeader::kSize : TLocalHeader::kSize;
  packed_total_ = unpacked_total_ = 0;
  file_list_->Clear();
  listed_names_.clear();
  walked_ = 0;
  TimerPause pause(*timer_);
  std::uint8_t hdr[TCentralHeader::kSize] = {};
  // A pass reads its first header where the file stands: the start of the walk for the first
  // pass; on a split set, just after the entry that the previous pass finished on this disk.
  std::int64_t header_pos = archive.Position();
  std::uint32_t got = read_fn_(archive, hsize, 0, false, hdr);
  cur_pos_ = archive.Position();
  bool ended = false;  // the walk stopped before its end on purpose, or has told why
  auto offer = [&](const std::string& raw, TZipEntry e, std::uint32_t dos,
                   const std::string& listed) {
    bool mappable = true;
    std::string name = EntryName(raw, e.Flags, mappable);
    if (name.empty() || !Matches(name)) return false;
    packed_total_ += e.PackedSize;
    if (e.Flags & kFlagEncrypted) packed_total_ -= 12;
    unpacked_total_ += e.UnpackedSize;
    if (static_cast<std::int32_t>(dos) > static_cast<std::int32_t>(max_dos_date_))
      max_dos_date_ = dos;
    file_list_->Add(e);
    listed_names_.push_back(listed);
    if (items) items->push_back({name, e, dos, false});
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
      ++walked_;
      TZipEntry e{h.Flags, h.Method, h.LocalHeaderOffset, h.PackedSize, h.UnpackedSize, h.Crc,
                  h.ExternalAttr};
      if (h.ExternalAttr & (kAttrDirectory | kAttrVolumeLabel)) {
        // Folders and volume labels are never extracted from the directory; a listing
        // shows them all the same.
        if (items) {
          bool mappable = true;
          std::string name = EntryName(read_name(h.NameLength), h.Flags, mappable);
          if (!name.empty() && Matches(name)) items->push_back({name, e, h.DosDateTime, true});
        } else {
          cur_pos_ += h.NameLength;
        }
      } else {
        std::string raw = read_name(h.NameLength);
        if (offer(raw, e, h.DosDateTime, raw) && !multi) {
          ended = true;
          break;
        }
      }
      cur_pos_ += h.ExtraLength + h.CommentLength;
    } else {
      local_header_ = TLocalHeader::Decode(std::span(hdr).first<TLocalHeader::kSize>());
      const TLocalHeader h = local_header_;
      if (h.Signature != kLocalHeaderSig) break;
      ++walked_;
      std::string raw = read_name(h.NameLength);
      TZipEntry e{h.Flags, h.Method,
                  static_cast<std::uint32_t>(cur_pos_ - h.NameLength - TLocalHeader::kSize),
                  h.PackedSize, h.UnpackedSize, h.Crc, 0x20};
      const std::int64_t data_pos = cur_pos_ + h.ExtraLength;
      std::int64_t descriptor_size = 0;
      if ((h.Flags & kFlagDescriptor) && e.PackedSize != kZip64Marker &&
          !ResolveDescriptor(archive, data_pos, e, descriptor_size)) {
        NotifyError(archive_file_, raw, "0", E_HEADERNOTFOUND);
        ended = true;
        break;
      }
      std::string listed = raw;
      if (index_) {
        if (auto it = index_->by_offset.find(e.HeaderOffset); it != index_->by_offset.end())
          listed = it->second.raw_name;
      }
      if (offer(raw, e, h.DosDateTime, listed) && !multi) {
        ended = true;
        break;
      }
      if (e.PackedSize == kZip64Marker) {
        // The real size is in a zip64 field this engine does not read: nothing behind the
        // entry can be found.
        NotifyError(archive_file_, raw, "0", E_ZIP64);
        ended = true;
        break;
      }
      cur_pos_ = data_pos + static_cast<std::int64_t>(e.PackedSize) + descriptor_size;
    }
    header_pos = cur_pos_;
    if (!archive.TrySeek(cur_pos_)) {
      got = 0;
      break;
    }
    got = read_fn_(archive, hsize, 0, false, hdr);
    cur_pos_ += got;
  }
  if (!ended && !cancel_) {
    CheckWalkEnd(central, header_pos, got, got >= 4 ? GetLe32(hdr) : 0);
  }
}

int TUnZIP::List(std::vector<TZipListItem>& items) {
  items.clear();
  if (archive_file_.empty()) RaiseError(archive_file_, "", "0", E_FILENOTFOUND);
  if (!ReadsArcType(arc_type_) || arc_type_ == TArcType::atZipMV)
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
        bool mappable = true;
        const std::string name = EntryName(stored, local_header_.Flags, mappable);
        // A UTF-8 name is converted already; the others go through the OEM conversion.
        name_is_ansi_ = (local_header_.Flags & kFlagUtf8) != 0;
        BuildOutputPath(name_is_ansi_ ? name : stored);
        name_is_ansi_ = false;
        entry_date_ = DosDateToDateTime(local_header_.DosDateTime);
        crc_ = arx::kCrc32Init;

        // Entries that are refused before anything is created for them.
        int refusal = 0;
        bool listed_mappable = true;
        if (EntryName(listed_names_[static_cast<std::size_t>(i)], entry.Flags,
                      listed_mappable) != name) {
          refusal = E_NAMEMISMATCH;  // what was listed and selected is not what would be written
        } else if (!mappable) {
          refusal = E_UNMAPPABLENAME;
        } else if (entry.PackedSize == kZip64Marker || entry.UnpackedSize == kZip64Marker ||
                   entry.HeaderOffset == kZip64Marker) {
          refusal = E_ZIP64;
        } else if (Overlaps(entry, pos + local_header_.ExtraLength)) {
          refusal = E_OVERLAP;
        } else if (unsafe_path_) {
          refusal = E_INVALIDFN;
        }
        if (refusal != 0) {
          NotifyError(stored, refusal == E_INVALIDFN ? stored : std::string(), "0", refusal);
          bytes_to_write_ -= entry.UnpackedSize;
          continue;
        }
        const int errors_before = error_count_;

        bool existed = false;
        if (!BeginEntry(existed)) return;
        if (existed && overwrite_mode_ == TOverwriteMode::omSkip) {
          bytes_to_write_ -= entry.UnpackedSize;
          ReportProgress(0, 0, unpacked_total_);
          continue;
        }
        pos += local_header_.ExtraLength;
        archive.Seek(pos);

        bool accepted = true, try_again = true;
        if (local_header_.Flags & kFlagEncrypted) {
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
          // This entry stays unwritten; the entries after it are still tried.
          NotifyError(output_path_, "", "0", E_PASSWORDFAILED);
        }

        // An entry that reported an error is no success, even when the bytes it managed to
        // write (none, for an empty entry) happen to match the CRC.
        const bool failed_otherwise = error_count_ != errors_before;
        const bool pass_crc = arx::Crc32Final(crc_) == entry.Crc && !failed_otherwise;
        if (OnEnd) {
          OnEnd(this, output_path_, pass_crc);
        } else if (accepted && try_again && !pass_crc && !failed_otherwise) {
          NotifyError(stored, "", "0", E_CRCERROR);
        }
      }
    }
  } catch (...) {
    // Ends the archive quietly: OnError has already fired for engine errors.
  }
}

}  // namespace orb
