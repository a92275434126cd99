// Layout written (see the readers for the field offsets):
//   0x000 DOS header ("MZ", e_lfanew = 0x40)
//   0x040 "PE\0\0", COFF header, optional header (PE32: 224 bytes, PE32+: 240), one section
//   0x200 .rsrc raw data = RVA 0x1000: resource directory tree (type -> name -> language
//         0x0804), data entries, then the data, each 4-byte aligned
#include "support/PeImage.h"

#include <vector>

namespace orbtest {
namespace {

constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kSectionAlign = 0x1000;
constexpr std::uint32_t kRsrcRva = 0x1000;
constexpr std::uint16_t kLanguage = 0x0804;

void Put16(std::string& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2, '\0');
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

void Put64(std::string& b, std::size_t at, std::uint64_t v) {
  Put32(b, at, static_cast<std::uint32_t>(v));
  Put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

void Align(std::string& b, std::size_t n) {
  while (b.size() % n != 0) b.push_back('\0');
}

std::string VersionResource(const std::array<std::uint16_t, 4>& v) {
  // VS_VERSIONINFO: wLength, wValueLength (52), wType (0), "VS_VERSION_INFO\0", padding,
  // VS_FIXEDFILEINFO.
  std::string r;
  Put16(r, 2, 52);
  Put16(r, 4, 0);
  const char16_t key[] = u"VS_VERSION_INFO";
  for (std::size_t i = 0; i < sizeof key / 2; ++i) Put16(r, 6 + 2 * i, key[i]);
  Align(r, 4);
  std::size_t f = r.size();
  std::uint32_t ms = (static_cast<std::uint32_t>(v[0]) << 16) | v[1];
  std::uint32_t ls = (static_cast<std::uint32_t>(v[2]) << 16) | v[3];
  const std::uint32_t fixed[13] = {0xFEEF04BDu, 0x00010000u, ms, ls, ms, ls, 0x3F, 0,
                                   0x00040004u, 1, 0, 0, 0};
  for (std::size_t i = 0; i < 13; ++i) Put32(r, f + 4 * i, fixed[i]);
  Put16(r, 0, static_cast<std::uint32_t>(r.size()));
  return r;
}

struct Leaf {
  std::uint32_t type;
  std::uint32_t name;
  std::string data;
};

// The resource section for `leaves` sorted by type then name.
std::string ResourceSection(const std::vector<Leaf>& leaves) {
  std::map<std::uint32_t, std::vector<const Leaf*>> by_type;
  for (const Leaf& l : leaves) by_type[l.type].push_back(&l);
  // Sizes: root directory, one directory per type, one per (type, name) for the language.
  std::size_t dirs = 16 + 8 * by_type.size();
  for (auto& [t, ls] : by_type) dirs += 16 + 8 * ls.size();
  dirs += (16 + 8) * leaves.size();
  std::size_t entries_at = dirs;
  std::size_t data_at = entries_at + 16 * leaves.size();

  std::string s(data_at, '\0');
  std::size_t root = 0;
  Put16(s, root + 14, static_cast<std::uint32_t>(by_type.size()));
  std::size_t next_dir = 16 + 8 * by_type.size();
  std::size_t leaf_index = 0;
  std::size_t ti = 0;
  for (auto& [type, ls] : by_type) {
    std::size_t type_dir = next_dir;
    Put32(s, root + 16 + 8 * ti, type);
    Put32(s, root + 16 + 8 * ti + 4, 0x80000000u | static_cast<std::uint32_t>(type_dir));
    Put16(s, type_dir + 14, static_cast<std::uint32_t>(ls.size()));
    next_dir = type_dir + 16 + 8 * ls.size();
    for (std::size_t ni = 0; ni < ls.size(); ++ni) {
      std::size_t lang_dir = next_dir;
      next_dir += 16 + 8;
      Put32(s, type_dir + 16 + 8 * ni, ls[ni]->name);
      Put32(s, type_dir + 16 + 8 * ni + 4, 0x80000000u | static_cast<std::uint32_t>(lang_dir));
      Put16(s, lang_dir + 14, 1);
      std::size_t entry = entries_at + 16 * leaf_index++;
      Put32(s, lang_dir + 16, kLanguage);
      Put32(s, lang_dir + 20, static_cast<std::uint32_t>(entry));
      Align(s, 4);
      std::size_t at = s.size();
      s += ls[ni]->data;
      Put32(s, entry, kRsrcRva + static_cast<std::uint32_t>(at));
      Put32(s, entry + 4, static_cast<std::uint32_t>(ls[ni]->data.size()));
    }
    ++ti;
  }
  (void)data_at;
  return s;
}

}  // namespace

std::string MakePeImage(const PeImageOptions& o) {
  std::vector<Leaf> leaves;
  std::map<std::uint32_t, std::array<std::u16string, 16>> blocks;
  for (const auto& [id, text] : o.strings) blocks[id / 16 + 1][id % 16] = text;
  for (const auto& [block, texts] : blocks) {
    std::string data;
    for (const std::u16string& t : texts) {
      Put16(data, data.size(), static_cast<std::uint32_t>(t.size()));
      for (char16_t c : t) Put16(data, data.size(), c);
    }
    leaves.push_back({6, block, data});
  }
  if (o.file_version) leaves.push_back({16, 1, VersionResource(*o.file_version)});
  std::string rsrc = ResourceSection(leaves);
  std::uint32_t raw_size = static_cast<std::uint32_t>((rsrc.size() + kFileAlign - 1) / kFileAlign * kFileAlign);
  std::uint32_t virt_size = static_cast<std::uint32_t>(rsrc.size());
  std::uint32_t image_size = kRsrcRva + (virt_size + kSectionAlign - 1) / kSectionAlign * kSectionAlign;

  std::string b(kFileAlign, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  std::size_t pe = 0x40;
  b[pe] = 'P';
  b[pe + 1] = 'E';
  std::size_t coff = pe + 4;
  const std::uint16_t opt_size = o.pe32_plus ? 240 : 224;
  Put16(b, coff + 0, o.pe32_plus ? 0x8664 : 0x014C);  // Machine
  Put16(b, coff + 2, 1);                               // NumberOfSections
  Put16(b, coff + 16, opt_size);                       // SizeOfOptionalHeader
  Put16(b, coff + 18, o.pe32_plus ? 0x0022 : 0x0102);  // executable; large-address / 32-bit
  std::size_t opt = coff + 20;
  Put16(b, opt + 0, o.pe32_plus ? 0x20B : 0x10B);
  Put32(b, opt + 32, kSectionAlign);  // SectionAlignment
  Put32(b, opt + 36, kFileAlign);     // FileAlignment
  Put16(b, opt + 40, 4);              // MajorOperatingSystemVersion
  Put16(b, opt + 48, 4);              // MajorSubsystemVersion
  Put32(b, opt + 56, image_size);     // SizeOfImage
  Put32(b, opt + 60, kFileAlign);     // SizeOfHeaders
  Put16(b, opt + 68, 2);              // Subsystem: Windows GUI
  std::size_t dirs;
  if (o.pe32_plus) {
    Put64(b, opt + 24, 0x140000000ull);  // ImageBase
    Put64(b, opt + 72, 0x100000);        // stack reserve
    Put64(b, opt + 80, 0x1000);          // stack commit
    Put64(b, opt + 88, 0x100000);        // heap reserve
    Put64(b, opt + 96, 0x1000);          // heap commit
    Put32(b, opt + 108, 16);             // NumberOfRvaAndSizes
    dirs = opt + 112;
  } else {
    Put32(b, opt + 28, 0x400000);  // ImageBase
    Put32(b, opt + 72, 0x100000);
    Put32(b, opt + 76, 0x1000);
    Put32(b, opt + 80, 0x100000);
    Put32(b, opt + 84, 0x1000);
    Put32(b, opt + 92, 16);
    dirs = opt + 96;
  }
  Put32(b, dirs + 8 * 2, kRsrcRva);
  Put32(b, dirs + 8 * 2 + 4, virt_size);
  std::size_t sec = opt + opt_size;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (int i = 0; i < 8; ++i) b[sec + i] = name[i];
  Put32(b, sec + 8, virt_size);
  Put32(b, sec + 12, kRsrcRva);
  Put32(b, sec + 16, raw_size);
  Put32(b, sec + 20, kFileAlign);
  Put32(b, sec + 36, 0x40000040u);  // initialised data, readable
  b.resize(kFileAlign, '\0');
  rsrc.resize(raw_size, '\0');
  return b + rsrc + o.overlay;
}

}  // namespace orbtest
