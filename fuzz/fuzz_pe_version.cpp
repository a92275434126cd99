// The PE resource walk and the version reader on an arbitrary file, as the host patch and
// the installer's version check use them. A resource found must lie inside the image.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "installer/SysUtils.h"
#include "platform/posix/pe.h"
#include "platform/version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  for (std::uint32_t type : {platform::posix::kRtVersion, platform::posix::kRtString,
                             platform::posix::kRtRcData}) {
    for (std::uint32_t name : {0u, 1u, 7u}) {
      std::string_view found;
      if (platform::posix::FindPeResource(image, type, name, found) == 0 && !found.empty()) {
        if (found.data() < image.data() ||
            found.data() + found.size() > image.data() + image.size()) {
          std::fprintf(stderr, "resource outside the image\n");
          std::abort();
        }
      }
    }
  }
  auto& prefix = orbfuzz::Prefix::Get();
  static const bool made = (orbfuzz::ResetDir(prefix.drive_c() + "/work"), true);
  (void)made;
  orbfuzz::WriteUnixFile(prefix.drive_c() + "/work/Zentab04.exe", data, size);
  platform::FixedFileInfo info;
  (void)platform::ReadFixedFileInfo("C:\\work\\Zentab04.exe", info);
  std::uint32_t ms = 0, ls = 0;
  (void)orb::GetFileVersionNumbers("C:\\work\\Zentab04.exe", ms, ls);
  return 0;
}
