// The entries an operation selected, as the walk found them.
#pragma once

#include <cstdint>
#include <vector>

namespace orb {

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

}  // namespace orb
