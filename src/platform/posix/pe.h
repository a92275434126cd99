// Reading resources out of a PE image (32-bit and 64-bit) held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::posix {

enum : std::uint32_t { kRtString = 6, kRtRcData = 10, kRtVersion = 16 };

// The data of resource type `type`, name id `name` (0: the first name), first language.
// Returns 0, 193 (not a PE image) or 1813/1814 (type/name not found).
std::uint32_t FindPeResource(std::string_view image, std::uint32_t type, std::uint32_t name,
                             std::string_view& data);

// Reads a whole file given by Windows or Unix path; 0 or the Windows error.
std::uint32_t ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace platform::posix
