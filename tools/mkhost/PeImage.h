// A PE image writer (PE32 or PE32+): an optional code section, and a resource section holding
// a version resource and string tables. mkhost builds its host stand-ins on it, and the tests
// of the version and string-table readers write their executables with it.
//
// File layout (FileAlignment 0x200, SectionAlignment 0x1000):
//   0x000  DOS header ("MZ", e_lfanew = 0x80) and a DOS stub
//   0x080  "PE\0\0", COFF header, optional header (PE32: 224 bytes, PE32+: 240), the section
//          headers (.text when there is code, then .rsrc)
//   0x200  .text (kCodeFileOffset): the code bytes, its entry point at the first of them
//   ....   .rsrc: resource directory tree (type -> name -> language 0x0804), data entries,
//          then the data, each 4-byte aligned
//   ....   the overlay, if any
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orb::mkhost {

// Where the code section's bytes start in the file (its RVA is 0x1000).
constexpr std::uint32_t kCodeFileOffset = 0x200;

struct PeImageOptions {
  bool pe32_plus = false;  // false: PE32 (i386), true: PE32+ (x86-64)
  // VS_FIXEDFILEINFO's file version a.b.c.d (product version the same); none: no version
  // resource at all.
  std::optional<std::array<std::uint16_t, 4>> file_version;
  // RT_STRING entries: id -> text (UTF-16), grouped into blocks of 16 as resource compilers
  // do (block id/16 + 1, index id % 16).
  std::map<std::uint32_t, std::u16string> strings;
  // Trailing bytes after the image (an overlay, as self-extracting programs carry).
  std::string overlay;
  // The code section's bytes (none: no code section); its raw size is rounded up to 0x200.
  std::string code;
  // The version resource's StringFileInfo (table 080404b0) as key -> text pairs, with a
  // VarFileInfo translation for 0804/1200 beside it; none: the fixed information only.
  std::vector<std::pair<std::string, std::string>> version_strings;
};

// The bytes of the image.
std::string MakePeImage(const PeImageOptions& options);

}  // namespace orb::mkhost
