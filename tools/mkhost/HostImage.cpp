// A host stand-in is a PE32 image (see PeImage.h) whose code section holds a single RET at
// the entry point and the patch signatures at their file offsets, zeros elsewhere; it ends
// past 0x0023B8A4 unless the image is short. Its version resource carries the fixed
// information and a string table (description, file and product version).
#include "tools/mkhost/HostImage.h"

#include <cstdio>

#include "tools/mkhost/PeImage.h"

namespace orb::mkhost {
namespace {

// The code section covers file offsets kCodeFileOffset .. 0x23C000, past site B's end
// (0x0023B8A4); a short image's covers one file page.
constexpr std::uint32_t kLongCodeSize = 0x0023C000 - kCodeFileOffset;
constexpr std::uint32_t kShortCodeSize = 0x200;

// The three words of a site at file offset `offset`.
void PutSite(std::string& code, std::uint32_t offset, std::uint32_t w1, std::uint32_t w2,
             std::uint32_t w3) {
  std::size_t at = offset - kCodeFileOffset;
  for (std::uint32_t w : {w1, w2, w3}) {
    for (int i = 0; i < 4; ++i) code[at++] = static_cast<char>((w >> (8 * i)) & 0xFF);
  }
}

}  // namespace

std::string BuildHostImage(const THostSpec& host_spec) {
  PeImageOptions o;
  o.code.assign(host_spec.short_image ? kShortCodeSize : kLongCodeSize, '\0');
  o.code[0] = '\xC3';  // RET
  if (!host_spec.short_image) {
    constexpr std::uint32_t kA = 0x0023A58A, kB = 0x0023B898, k2003 = 2003;
    switch (host_spec.sites) {
      case TSites::stUnpatched:
        PutSite(o.code, kA, 0x3D14EBFF, k2003, 0x458D0D75);
        PutSite(o.code, kB, 0x40788104, k2003, 0x19BB2475);
        break;
      case TSites::stPatched:
        PutSite(o.code, kA, 0x3D14EBFF, k2003, 0x458D0D7C);
        PutSite(o.code, kB, 0x40788104, k2003, 0x19BB247C);
        break;
      case TSites::stHalfPatched:
        PutSite(o.code, kA, 0x3D14EBFF, k2003, 0x458D0D7C);
        PutSite(o.code, kB, 0x40788104, k2003, 0x19BB2475);
        break;
      case TSites::stSiteBWrong:
        PutSite(o.code, kA, 0x3D14EBFF, k2003, 0x458D0D75);
        PutSite(o.code, kB, 0x40788105, k2003, 0x19BB2475);
        break;
      case TSites::stSiteAWrong:
        PutSite(o.code, kA, 0x3D14EBFF, 2004, 0x458D0D75);
        PutSite(o.code, kB, 0x40788104, k2003, 0x19BB2475);
        break;
      case TSites::stNone:
        break;
    }
  }
  const auto& v = host_spec.version;
  o.file_version = v;
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", v[0], v[1], v[2], v[3]);
  o.version_strings = {{"FileDescription", "Zentab host stand-in"},
                       {"FileVersion", text},
                       {"ProductVersion", text}};
  return MakePeImage(o);
}
bool ParseVersion(const std::string& text, std::array<std::uint16_t, 4>& out) {
  unsigned v[4];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    if (v[i] > 0xFFFF) return false;
    out[i] = static_cast<std::uint16_t>(v[i]);
  }
  return true;
}

bool ParseSites(const std::string& text, TSites& out) {
  static const struct {
    const char* name;
    TSites sites;
  } kNames[] = {{"unpatched", TSites::stUnpatched}, {"patched", TSites::stPatched},
                {"half", TSites::stHalfPatched},    {"b-wrong", TSites::stSiteBWrong},
                {"a-wrong", TSites::stSiteAWrong},  {"none", TSites::stNone}};
  for (const auto& n : kNames) {
    if (text == n.name) {
      out = n.sites;
      return true;
    }
  }
  return false;
}

}  // namespace orb::mkhost
