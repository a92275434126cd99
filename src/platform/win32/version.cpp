// File version information through the version library.
#include "platform/version.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace platform {

using win32::Failure;
using win32::Outcome;

std::uint32_t ReadFixedFileInfo(const std::string& path, FixedFileInfo& out) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return Failure();
  std::vector<char> block(size + 1, '\0');
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return Failure();
  void* root = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), "\\", &root, &length) || root == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return Outcome(ERROR_RESOURCE_TYPE_NOT_FOUND);
  }
  const auto* f = static_cast<const VS_FIXEDFILEINFO*>(root);
  out.signature = f->dwSignature;
  out.struc_version = f->dwStrucVersion;
  out.file_version_ms = f->dwFileVersionMS;
  out.file_version_ls = f->dwFileVersionLS;
  out.product_version_ms = f->dwProductVersionMS;
  out.product_version_ls = f->dwProductVersionLS;
  out.file_flags_mask = f->dwFileFlagsMask;
  out.file_flags = f->dwFileFlags;
  out.file_os = f->dwFileOS;
  out.file_type = f->dwFileType;
  out.file_subtype = f->dwFileSubtype;
  out.file_date_ms = f->dwFileDateMS;
  out.file_date_ls = f->dwFileDateLS;
  return Outcome(0);
}

}  // namespace platform
