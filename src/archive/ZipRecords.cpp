// Decoding of the zip records from their little-endian bytes.
#include "archive/ZipRecords.h"

namespace orb {

TLocalHeader TLocalHeader::Decode(std::span<const std::uint8_t, kSize> bytes) {
  const std::uint8_t* p = bytes.data();
  TLocalHeader h;
  h.Signature = GetLe32(p);
  h.VersionNeeded = GetLe16(p + 4);
  h.Flags = GetLe16(p + 6);
  h.Method = GetLe16(p + 8);
  h.DosDateTime = GetLe32(p + 10);
  h.Crc = GetLe32(p + 14);
  h.PackedSize = GetLe32(p + 18);
  h.UnpackedSize = GetLe32(p + 22);
  h.NameLength = GetLe16(p + 26);
  h.ExtraLength = GetLe16(p + 28);
  return h;
}

TCentralHeader TCentralHeader::Decode(std::span<const std::uint8_t, kSize> bytes) {
  const std::uint8_t* p = bytes.data();
  TCentralHeader h;
  h.Signature = GetLe32(p);
  h.VersionMadeBy = GetLe16(p + 4);
  h.VersionNeeded = GetLe16(p + 6);
  h.Flags = GetLe16(p + 8);
  h.Method = GetLe16(p + 10);
  h.DosDateTime = GetLe32(p + 12);
  h.Crc = GetLe32(p + 16);
  h.PackedSize = GetLe32(p + 20);
  h.UnpackedSize = GetLe32(p + 24);
  h.NameLength = GetLe16(p + 28);
  h.ExtraLength = GetLe16(p + 30);
  h.CommentLength = GetLe16(p + 32);
  h.DiskNumberStart = GetLe16(p + 34);
  h.InternalAttr = GetLe16(p + 36);
  h.ExternalAttr = GetLe32(p + 38);
  h.LocalHeaderOffset = GetLe32(p + 42);
  return h;
}

TEndRecord TEndRecord::Decode(std::span<const std::uint8_t, kSize> bytes) {
  const std::uint8_t* p = bytes.data();
  TEndRecord r;
  r.Signature = GetLe32(p);
  r.ThisDisk = GetLe16(p + 4);
  r.CentralDirDisk = GetLe16(p + 6);
  r.EntriesThisDisk = GetLe16(p + 8);
  r.TotalEntries = GetLe16(p + 10);
  r.CentralDirSize = GetLe32(p + 12);
  r.CentralDirOffset = GetLe32(p + 16);
  r.CommentLength = GetLe16(p + 20);
  return r;
}

}  // namespace orb
