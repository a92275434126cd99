// TUnZIP: the zip extraction component. Setting ArchiveFile detects the archive's type and
// start; Extract walks the headers (central directory or local headers), selects entries by
// FileSpec and extracts them under ExtractDir, reporting through the events of TZipCommon.
//
//   orb::TUnZIP unzip(nullptr);
//   unzip.SetArchiveFile(path);
//   unzip.SetExtractDir(dir);
//   unzip.SetFileSpec({"*.*"});
//   int begun = unzip.Extract();
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/arxBase.h"

namespace orb {

// One entry as the selection pass sees it (for listings).
struct TZipListItem {
  std::string Name;  // normalised stored name ('\' separators), GBK
  TZipEntry Entry;
  std::uint32_t DosDateTime = 0;
  bool Folder = false;  // a folder or volume label of the central directory: never extracted
};

class TUnZIP : public TUnBase {
 public:
  explicit TUnZIP(TComponent* owner);
  ~TUnZIP() override;

  // Decodes one entry whose data starts at the archive's current position into `out`;
  // exceptions of the decoders are dropped here (OnError has fired). Always true.
  bool UnpackEntry(TArchiveFile& archive, TOutputFile& out, const TZipEntry& entry,
                   const std::string& out_name);

  // The entries the selection pass would extract (same walk, same FileSpec), without
  // extracting; errors before the walk throw as Extract does. Returns their number.
  int List(std::vector<TZipListItem>& items);

 protected:
  void ExtractArchive(TArchiveFile& archive, TOutputFile& out) override;
  bool ReadsArcType(TArcType t) const override;

 private:
  class EntrySource;
  class EntrySink;
  friend class EntrySource;
  friend class EntrySink;
  struct CentralIndex;

  // The central directory found by a search over the whole tail of the archive, whatever
  // walk the extraction takes: the local walk checks its entries against it.
  void BuildIndex(TArchiveFile& archive);
  // Why a walk that ran to its end stopped, told through OnError when it is not the
  // archive's end: the entries behind a broken header are never silently lost.
  void CheckWalkEnd(bool central, std::int64_t header_pos, std::uint32_t got,
                    std::uint32_t signature);
  // A local entry with its sizes in a data descriptor: the sizes and CRC from the central
  // directory, else from the descriptor found behind the data. False when neither is found.
  bool ResolveDescriptor(TArchiveFile& archive, std::int64_t data_pos, TZipEntry& e,
                         std::int64_t& descriptor_size);
  // Whether the entry's data runs into another entry or the central directory.
  bool Overlaps(const TZipEntry& e, std::int64_t data_pos) const;
  // The stored name as this system spells it: UTF-8 names (flag bit 11) converted to the
  // ANSI code page; `mappable` false when the code page cannot hold the name.
  std::string EntryName(const std::string& raw, std::uint32_t flags, bool& mappable) const;

  void CopyStored(TArchiveFile& archive, TOutputFile& out);
  // The disk sequence of a split set; false ends the routine.
  bool StartSplitArchive(TArchiveFile& archive);
  bool ReopenVolume(TArchiveFile& archive);
  bool NextDisk(TArchiveFile& archive);
  // Password sequence for one encrypted entry; `try_again` ends false when a prompt refused.
  bool CheckPassword(const std::uint8_t* header, bool& try_again);
  bool Matches(const std::string& name) const;
  // Chooses the walk and positions the archive at its first header; false ends the routine.
  bool PrepareWalk(TArchiveFile& archive, bool& central);
  // The selection pass over the headers from the current position.
  void Select(TArchiveFile& archive, bool central, bool multi, std::vector<TZipListItem>* items);

  std::unique_ptr<CentralIndex> index_;
  // Per selected entry, in list order: the raw name its directory gives it (the central
  // header's, or the local one's where no directory was found).
  std::vector<std::string> listed_names_;
  int walked_ = 0;  // headers the last walk passed (folders included)
  TArchiveFile* archive_ = nullptr;
  std::int64_t packed_left_ = 0;    // compressed bytes of the entry still to read
  std::int64_t unpacked_left_ = 0;  // unpacked bytes of the entry still to write
};

}  // namespace orb
