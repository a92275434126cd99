// A minimal but valid PE image (PE32 or PE32+) with a resource section holding a version
// resource and, optionally, a string table: a stand-in for the host's executables in tests
// of version and string-table readers on either build.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace orbtest {

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
};

// The bytes of the image.
std::string MakePeImage(const PeImageOptions& options);

}  // namespace orbtest
