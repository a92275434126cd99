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
#include <string>
#include <vector>

#include "archive/arxBase.h"

namespace orb {

// One entry as the selection pass sees it (for listings).
struct TZipListItem {
  std::string Name;  // normalised stored name ('\' separators), GBK
  TZipEntry Entry;
  std::uint32_t DosDateTime = 0;
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

 private:
  class EntrySource;
  class EntrySink;
  friend class EntrySource;
  friend class EntrySink;

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

  TArchiveFile* archive_ = nullptr;
  std::int64_t packed_left_ = 0;    // compressed bytes of the entry still to read
  std::int64_t unpacked_left_ = 0;  // unpacked bytes of the entry still to write
};

}  // namespace orb
