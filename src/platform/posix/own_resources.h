// The program's own resources on POSIX: generated sources (cmake/OrbResources.cmake) register
// the RCDATA blobs and the string table that the Windows build gets from its .rc file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::posix {

struct RcDataRegistration {
  RcDataRegistration(const char* name, const char* begin, const char* end);
};

struct StringEntry {
  std::uint32_t id;
  const char* text;  // GBK, as the compiler's execution character set made it
};

struct StringTableRegistration {
  StringTableRegistration(const StringEntry* entries, std::size_t count);
};

}  // namespace platform::posix
