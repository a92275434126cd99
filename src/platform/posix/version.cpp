// The version resource of a PE file, read as data.
#include "platform/byteorder.h"
#include "platform/error.h"
#include "platform/posix/internal.h"
#include "platform/posix/pe.h"
#include "platform/version.h"

namespace platform {

std::uint32_t ReadFixedFileInfo(const std::string& path, FixedFileInfo& out) {
  out = FixedFileInfo();
  std::string image;
  if (std::uint32_t e = posix::ReadWholeFile(path, image)) return posix::Fail(e);
  std::string_view data;
  if (std::uint32_t e = posix::FindPeResource(image, posix::kRtVersion, 0, data)) {
    return posix::Fail(e == 193 ? 193u : 1813u);
  }
  // VS_VERSIONINFO: wLength, wValueLength, wType, "VS_VERSION_INFO\0" (UTF-16), padding to
  // a 32-bit boundary, then VS_FIXEDFILEINFO (52 bytes) when wValueLength says so.
  static const char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr std::size_t kKeyAt = 6;
  constexpr std::size_t kKeyBytes = sizeof kKey;  // with the terminator
  constexpr std::size_t kValueAt = (kKeyAt + kKeyBytes + 3) & ~std::size_t{3};
  if (data.size() < kValueAt + 52) return posix::Fail(1813);
  for (std::size_t i = 0; i < kKeyBytes / 2; ++i) {
    if (GetLe16(data, kKeyAt + 2 * i) != kKey[i]) return posix::Fail(1813);
  }
  if (GetLe16(data, 2) < 52 || GetLe32(data, kValueAt) != 0xFEEF04BDu) return posix::Fail(1813);
  std::uint32_t* fields[] = {&out.signature,          &out.struc_version,      &out.file_version_ms,
                             &out.file_version_ls,    &out.product_version_ms, &out.product_version_ls,
                             &out.file_flags_mask,    &out.file_flags,         &out.file_os,
                             &out.file_type,          &out.file_subtype,       &out.file_date_ms,
                             &out.file_date_ls};
  for (std::size_t i = 0; i < 13; ++i) *fields[i] = GetLe32(data, kValueAt + 4 * i);
  return posix::Ok();
}

}  // namespace platform
