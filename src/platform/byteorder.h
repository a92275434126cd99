// Little-endian fields of the file formats the system reads and writes (zip records, table
// headers, resource blocks): the one place that knows the byte order, whatever the machine's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

inline std::uint16_t GetLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
  PutLe16(p, static_cast<std::uint16_t>(v));
  PutLe16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

// The same at an offset into a byte string; the caller has checked that the field lies inside.
inline std::uint16_t GetLe16(std::string_view b, std::size_t off) {
  return GetLe16(reinterpret_cast<const std::uint8_t*>(b.data() + off));
}
inline std::uint32_t GetLe32(std::string_view b, std::size_t off) {
  return GetLe32(reinterpret_cast<const std::uint8_t*>(b.data() + off));
}

}  // namespace platform
