// CRC-32 update over a buffer.
#include "archive/Crc32.h"

namespace orb::arx {

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) crc = Crc32Byte(crc, data[i]);
  return crc;
}

}  // namespace orb::arx
