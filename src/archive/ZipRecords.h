// The zip records the engine reads: their signatures, layouts, general-purpose flags and
// compression methods. Decoding takes exactly a record's bytes, so that a short buffer is a
// compile-time or a caller's error, never a read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/byteorder.h"

namespace orb {

inline constexpr std::uint32_t kLocalHeaderSig = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSig = 0x02014B50;
inline constexpr std::uint32_t kEndRecordSig = 0x06054B50;
// The marker at the start of a split set's first volume; the same value opens a data
// descriptor.
inline constexpr std::uint32_t kSplitMarkerSig = 0x08074B50;
inline constexpr std::uint32_t kDescriptorSig = kSplitMarkerSig;
inline constexpr std::uint32_t kZip64EndRecordSig = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;
inline constexpr std::uint32_t kDigitalSignatureSig = 0x05054B50;

// A 32-bit size or offset that says the real value is in a zip64 field.
inline constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;
// A 16-bit count that says the real value is in the zip64 end record.
inline constexpr std::uint16_t kZip64Count = 0xFFFF;

// General-purpose flag bits.
enum : std::uint16_t {
  kFlagEncrypted = 0x0001,   // traditional encryption: a 12-byte header before the data
  kFlagExplodeBits = 0x0006,  // the implode options (window size, literal tree)
  kFlagDescriptor = 0x0008,  // sizes and CRC follow the data; the header's may be 0
  kFlagUtf8 = 0x0800,        // the name (and comment) is UTF-8
};

// External attribute bits that mark an entry of the central directory as no file.
enum : std::uint32_t {
  kAttrVolumeLabel = 0x08,
  kAttrDirectory = 0x10,
};

// Compression methods, as the records store them.
enum class TZipMethod : std::uint16_t {
  zmStored = 0,
  zmShrunk = 1,
  zmReduced1 = 2,
  zmReduced2 = 3,
  zmReduced3 = 4,
  zmReduced4 = 5,
  zmImploded = 6,
  zmDeflated = 8,
  zmDeflate64 = 9,
};

using platform::GetLe16;
using platform::GetLe32;

// Zip local file header: little-endian, 30 bytes, then name, extra field, data.
//  off size
//    0   4  signature 0x04034B50
//    4   2  version needed
//    6   2  flags (bit 0 encrypted, bit 3 sizes follow the data, bits 1-2 explode options)
//    8   2  method
//   10   4  DOS date-time (time in the low half)
//   14   4  CRC-32
//   18   4  compressed size (with the 12-byte encryption header)
//   22   4  uncompressed size
//   26   2  name length
//   28   2  extra length
struct TLocalHeader {
  static constexpr std::size_t kSize = 30;
  std::uint32_t Signature = 0;
  std::uint16_t VersionNeeded = 0, Flags = 0, Method = 0;
  std::uint32_t DosDateTime = 0, Crc = 0, PackedSize = 0, UnpackedSize = 0;
  std::uint16_t NameLength = 0, ExtraLength = 0;
  static TLocalHeader Decode(std::span<const std::uint8_t, kSize> p);
};

// Zip central directory header: little-endian, 46 bytes, then name, extra, comment.
//  off size
//    0   4  signature 0x02014B50
//    4   2  version made by      6   2  version needed
//    8   2  flags               10   2  method
//   12   4  DOS date-time       16   4  CRC-32
//   20   4  compressed size     24   4  uncompressed size
//   28   2  name length         30   2  extra length       32   2  comment length
//   34   2  disk number start   36   2  internal attributes
//   38   4  external attributes (0x10 directory, 0x08 volume label)
//   42   4  offset of the local header
struct TCentralHeader {
  static constexpr std::size_t kSize = 46;
  std::uint32_t Signature = 0;
  std::uint16_t VersionMadeBy = 0, VersionNeeded = 0, Flags = 0, Method = 0;
  std::uint32_t DosDateTime = 0, Crc = 0, PackedSize = 0, UnpackedSize = 0;
  std::uint16_t NameLength = 0, ExtraLength = 0, CommentLength = 0, DiskNumberStart = 0,
                InternalAttr = 0;
  std::uint32_t ExternalAttr = 0, LocalHeaderOffset = 0;
  static TCentralHeader Decode(std::span<const std::uint8_t, kSize> p);
};

// Zip end of central directory record: little-endian, 22 bytes, then the comment.
//  off size
//    0   4  signature 0x06054B50
//    4   2  number of this disk
//    6   2  disk with the start of the central directory (split sets: passes - 1)
//    8   2  entries on this disk        10   2  total entries
//   12   4  central directory size      16   4  central directory offset
//   20   2  comment length
struct TEndRecord {
  static constexpr std::size_t kSize = 22;
  std::uint32_t Signature = 0;
  std::uint16_t ThisDisk = 0, CentralDirDisk = 0, EntriesThisDisk = 0, TotalEntries = 0;
  std::uint32_t CentralDirSize = 0, CentralDirOffset = 0;
  std::uint16_t CommentLength = 0;
  static TEndRecord Decode(std::span<const std::uint8_t, kSize> p);
};

}  // namespace orb
