// PE32 writer for host stand-ins.
//
// File layout (FileAlignment 0x200, SectionAlignment 0x1000, ImageBase 0x00400000):
//   0x000  DOS header ("MZ", e_lfanew = 0x80) and a DOS stub
//   0x080  "PE\0\0", COFF header (20 bytes), PE32 optional header (224 bytes),
//          two section headers (.text, .rsrc; 40 bytes each)
//   0x400  .text: a single RET at the entry point, the patch signatures at their file
//          offsets, zeros elsewhere; it ends past 0x0023B8A4 unless the image is short
//   ....   .rsrc: one RT_VERSION resource (id 1, language 0x0804)
#include "tools/mkhost/HostImage.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace orb::mkhost {
namespace {

constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kSectionAlign = 0x1000;
constexpr std::uint32_t kImageBase = 0x00400000;
constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kHeadersSize = 0x400;
constexpr std::uint32_t kTextRva = 0x1000;
// The code section covers file offsets 0x400 .. 0x23C000, past site B's end (0x0023B8A4).
constexpr std::uint32_t kLongTextSize = 0x0023C000 - kHeadersSize;
constexpr std::uint32_t kShortTextSize = 0x200;

constexpr std::uint32_t Align(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

class Bytes {
 public:
  std::vector<std::uint8_t> b;
  std::size_t size() const { return b.size(); }
  void u8(std::uint8_t v) { b.push_back(v); }
  void u16(std::uint16_t v) {
    u8(v & 0xFF);
    u8(v >> 8);
  }
  void u32(std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void raw(std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }
  void pad_to(std::size_t n) {
    if (b.size() < n) b.resize(n, 0);
  }
  void align(std::size_t a) { pad_to((b.size() + a - 1) / a * a); }
  void put_u16(std::size_t at, std::uint16_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
  }
  void put_u32(std::size_t at, std::uint32_t v) {
    put_u16(at, v & 0xFFFF);
    put_u16(at + 2, v >> 16);
  }
  void append(const Bytes& o) { b.insert(b.end(), o.b.begin(), o.b.end()); }
};

void Utf16Z(Bytes& out, const std::string& ascii) {
  for (char c : ascii) out.u16(static_cast<unsigned char>(c));
  out.u16(0);
}

// One node of the version resource tree:
//   WORD wLength (whole node with children), WORD wValueLength, WORD wType (1 = text),
//   WCHAR szKey[] with its zero, padding to 4, the value, padding to 4, the children.
Bytes VersionNode(const std::string& key, const Bytes& value, std::uint16_t value_length,
                  std::uint16_t type, const std::vector<Bytes>& children) {
  Bytes n;
  n.u16(0);
  n.u16(value_length);
  n.u16(type);
  Utf16Z(n, key);
  n.align(4);
  n.append(value);
  for (const Bytes& c : children) {
    n.align(4);
    n.append(c);
  }
  n.put_u16(0, static_cast<std::uint16_t>(n.size()));
  return n;
}

Bytes TextNode(const std::string& key, const std::string& text) {
  Bytes v;
  Utf16Z(v, text);
  return VersionNode(key, v, static_cast<std::uint16_t>(text.size() + 1), 1, {});
}

Bytes VersionResource(const std::array<std::uint16_t, 4>& ver) {
  const std::uint32_t ms = (std::uint32_t{ver[0]} << 16) | ver[1];
  const std::uint32_t ls = (std::uint32_t{ver[2]} << 16) | ver[3];
  // VS_FIXEDFILEINFO, 13 words.
  Bytes fixed;
  fixed.u32(0xFEEF04BD);  // signature
  fixed.u32(0x00010000);  // structure version
  fixed.u32(ms);          // file version
  fixed.u32(ls);
  fixed.u32(ms);          // product version
  fixed.u32(ls);
  fixed.u32(0x3F);        // flags mask
  fixed.u32(0);           // flags
  fixed.u32(0x00040004);  // VOS_NT_WINDOWS32
  fixed.u32(1);           // VFT_APP
  fixed.u32(0);           // subtype
  fixed.u32(0);           // date
  fixed.u32(0);
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ver[0], ver[1], ver[2], ver[3]);
  Bytes table = VersionNode("080404b0", {}, 0, 1,
                            {TextNode("FileDescription", "Zentab host stand-in"),
                             TextNode("FileVersion", text), TextNode("ProductVersion", text)});
  Bytes strings = VersionNode("StringFileInfo", {}, 0, 1, {table});
  Bytes translation;
  translation.u16(0x0804);
  translation.u16(1200);
  Bytes vars = VersionNode("VarFileInfo", {}, 0, 1,
                           {VersionNode("Translation", translation, 4, 0, {})});
  return VersionNode("VS_VERSION_INFO", fixed, 52, 0, {strings, vars});
}

// .rsrc: root (type 16) -> name (1) -> language (0x0804) -> data entry -> data.
Bytes ResourceSection(std::uint32_t rva, const Bytes& version) {
  Bytes s;
  auto directory = [&s](std::uint32_t id, std::uint32_t target) {
    s.u32(0);  // characteristics
    s.u32(0);  // time stamp
    s.u16(0);  // major version
    s.u16(0);  // minor version
    s.u16(0);  // named entries
    s.u16(1);  // id entries
    s.u32(id);
    s.u32(target);
  };
  directory(16, 0x80000000u | 0x18);     // 0x00 RT_VERSION
  directory(1, 0x80000000u | 0x30);      // 0x18 id 1
  directory(0x0804, 0x48);               // 0x30 language, points at the data entry
  s.u32(rva + 0x58);                     // 0x48 data entry: RVA, size, code page, reserved
  s.u32(static_cast<std::uint32_t>(version.size()));
  s.u32(0);
  s.u32(0);
  s.pad_to(0x58);
  s.append(version);
  return s;
}

void PutSite(Bytes& image, std::uint32_t offset, std::uint32_t w1, std::uint32_t w2,
             std::uint32_t w3) {
  image.put_u32(offset, w1);
  image.put_u32(offset + 4, w2);
  image.put_u32(offset + 8, w3);
}

}  // namespace

std::string BuildHostImage(const THostSpec& host_spec) {
  const std::uint32_t text_size = host_spec.short_image ? kShortTextSize : kLongTextSize;
  const std::uint32_t text_vsize = Align(text_size, kSectionAlign);
  const std::uint32_t rsrc_rva = kTextRva + text_vsize;
  const std::uint32_t rsrc_file = kHeadersSize + text_size;
  Bytes rsrc = ResourceSection(rsrc_rva, VersionResource(host_spec.version));
  const auto rsrc_len = static_cast<std::uint32_t>(rsrc.size());
  const std::uint32_t rsrc_raw = Align(rsrc_len, kFileAlign);
  const std::uint32_t image_size = rsrc_rva + Align(rsrc_len, kSectionAlign);

  Bytes f;
  // DOS header: "MZ", the fields a loader checks, e_lfanew at 0x3C.
  f.raw("MZ");
  f.u16(0x90);  // bytes on last page
  f.u16(3);     // pages
  f.u16(0);     // relocations
  f.u16(4);     // header paragraphs
  f.u16(0);
  f.u16(0xFFFF);
  f.u16(0);
  f.u16(0xB8);  // sp
  f.pad_to(0x18);
  f.u16(0x40);  // relocation table offset
  f.pad_to(0x3C);
  f.u32(kPeOffset);
  f.raw("This program cannot be run in DOS mode.\r\n$");
  f.pad_to(kPeOffset);

  f.u32(0x00004550);  // "PE\0\0"
  // COFF header.
  f.u16(0x014C);       // i386
  f.u16(2);            // sections
  f.u32(0);            // time stamp
  f.u32(0);            // symbol table
  f.u32(0);            // symbols
  f.u16(0xE0);         // optional header size
  f.u16(0x0103);       // relocs stripped, executable, 32-bit machine
  // PE32 optional header.
  f.u16(0x010B);
  f.u8(6);             // linker version
  f.u8(0);
  f.u32(text_size);    // size of code
  f.u32(rsrc_raw);     // size of initialised data
  f.u32(0);            // uninitialised
  f.u32(kTextRva);     // entry point: the RET at the start of .text
  f.u32(kTextRva);     // base of code
  f.u32(rsrc_rva);     // base of data
  f.u32(kImageBase);
  f.u32(kSectionAlign);
  f.u32(kFileAlign);
  f.u16(4);            // OS version
  f.u16(0);
  f.u16(0);            // image version
  f.u16(0);
  f.u16(4);            // subsystem version
  f.u16(0);
  f.u32(0);            // Win32 version
  f.u32(image_size);
  f.u32(kHeadersSize);
  f.u32(0);            // checksum
  f.u16(2);            // Windows GUI
  f.u16(0);            // DLL characteristics
  f.u32(0x100000);     // stack reserve, commit
  f.u32(0x1000);
  f.u32(0x100000);     // heap reserve, commit
  f.u32(0x1000);
  f.u32(0);            // loader flags
  f.u32(16);           // data directories
  for (int i = 0; i < 16; ++i) {
    f.u32(i == 2 ? rsrc_rva : 0);  // 2 = resources
    f.u32(i == 2 ? rsrc_len : 0);
  }
  auto section = [&f](const char* name, std::uint32_t vsize, std::uint32_t rva,
                      std::uint32_t raw_size, std::uint32_t raw_ptr, std::uint32_t flags) {
    const std::string_view n(name);
    f.raw(n);
    for (std::size_t i = n.size(); i < 8; ++i) f.u8(0);
    f.u32(vsize);
    f.u32(rva);
    f.u32(raw_size);
    f.u32(raw_ptr);
    f.u32(0);
    f.u32(0);
    f.u16(0);
    f.u16(0);
    f.u32(flags);
  };
  section(".text", text_size, kTextRva, text_size, kHeadersSize, 0x60000020);  // code, r-x
  section(".rsrc", rsrc_len, rsrc_rva, rsrc_raw, rsrc_file, 0x40000040);       // data, r--
  f.pad_to(kHeadersSize);

  f.u8(0xC3);  // RET
  f.pad_to(rsrc_file);
  if (!host_spec.short_image) {
    constexpr std::uint32_t kA = 0x0023A58A, kB = 0x0023B898, k2003 = 2003;
    switch (host_spec.sites) {
      case TSites::stUnpatched:
        PutSite(f, kA, 0x3D14EBFF, k2003, 0x458D0D75);
        PutSite(f, kB, 0x40788104, k2003, 0x19BB2475);
        break;
      case TSites::stPatched:
        PutSite(f, kA, 0x3D14EBFF, k2003, 0x458D0D7C);
        PutSite(f, kB, 0x40788104, k2003, 0x19BB247C);
        break;
      case TSites::stHalfPatched:
        PutSite(f, kA, 0x3D14EBFF, k2003, 0x458D0D7C);
        PutSite(f, kB, 0x40788104, k2003, 0x19BB2475);
        break;
      case TSites::stSiteBWrong:
        PutSite(f, kA, 0x3D14EBFF, k2003, 0x458D0D75);
        PutSite(f, kB, 0x40788105, k2003, 0x19BB2475);
        break;
      case TSites::stSiteAWrong:
        PutSite(f, kA, 0x3D14EBFF, 2004, 0x458D0D75);
        PutSite(f, kB, 0x40788104, k2003, 0x19BB2475);
        break;
      case TSites::stNone:
        break;
    }
  }
  f.append(rsrc);
  f.pad_to(rsrc_file + rsrc_raw);
  return std::string(f.b.begin(), f.b.end());
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
