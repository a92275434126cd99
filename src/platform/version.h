// File version information: GetFileVersionInfoSizeA, GetFileVersionInfoA,
// VerQueryValueA("\\"). On POSIX the PE file's version resource is read directly
// (32-bit and 64-bit PE).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// VS_FIXEDFILEINFO, 13 32-bit words (52 bytes).
struct FixedFileInfo {
  std::uint32_t signature = 0;  // 0xFEEF04BD
  std::uint32_t struc_version = 0;
  std::uint32_t file_version_ms = 0;
  std::uint32_t file_version_ls = 0;
  std::uint32_t product_version_ms = 0;
  std::uint32_t product_version_ls = 0;
  std::uint32_t file_flags_mask = 0;
  std::uint32_t file_flags = 0;
  std::uint32_t file_os = 0;
  std::uint32_t file_type = 0;
  std::uint32_t file_subtype = 0;
  std::uint32_t file_date_ms = 0;
  std::uint32_t file_date_ls = 0;
};

// The whole sequence: size, read, query of the root block. Fails (non-zero) for a missing
// file, a file without version information, or a root block that cannot be found.
std::uint32_t ReadFixedFileInfo(const std::string& path, FixedFileInfo& out);

}  // namespace platform
