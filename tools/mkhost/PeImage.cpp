// Unit PeImage: see PeImage.h for the layout written.
#include "tools/mkhost/PeImage.h"

namespace orb::mkhost {
namespace {

constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kSectionAlign = 0x1000;
constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kFirstRva = 0x1000;
constexpr std::uint16_t kLanguage = 0x0804;

constexpr std::uint32_t Align(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

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

void Append16(std::string& b, std::uint32_t v) { Put16(b, b.size(), v); }
void Append32(std::string& b, std::uint32_t v) { Put32(b, b.size(), v); }

void PadTo(std::string& b, std::size_t n) {
  if (b.size() < n) b.resize(n, '\0');
}

void AlignTo(std::string& b, std::size_t n) { PadTo(b, (b.size() + n - 1) / n * n); }

void Utf16Z(std::string& out, const std::string& ascii) {
  for (char c : ascii) Append16(out, static_cast<unsigned char>(c));
  Append16(out, 0);
}

// One node of the version resource tree:
//   WORD wLength (whole node with children), WORD wValueLength, WORD wType (1 = text),
//   WCHAR szKey[] with its zero, padding to 4, the value, padding to 4, the children.
std::string VersionNode(const std::string& key, const std::string& value,
                        std::uint16_t value_length, std::uint16_t type,
                        const std::vector<std::string>& children) {
  std::string n;
  Append16(n, 0);
  Append16(n, value_length);
  Append16(n, type);
  Utf16Z(n, key);
  AlignTo(n, 4);
  n += value;
  for (const std::string& c : children) {
    AlignTo(n, 4);
    n += c;
  }
  Put16(n, 0, static_cast<std::uint32_t>(n.size()));
  return n;
}

std::string TextNode(const std::string& key, const std::string& text) {
  std::string v;
  Utf16Z(v, text);
  return VersionNode(key, v, static_cast<std::uint16_t>(text.size() + 1), 1, {});
}

std::string VersionResource(const std::array<std::uint16_t, 4>& v,
                            const std::vector<std::pair<std::string, std::string>>& texts) {
  const std::uint32_t ms = (static_cast<std::uint32_t>(v[0]) << 16) | v[1];
  const std::uint32_t ls = (static_cast<std::uint32_t>(v[2]) << 16) | v[3];
  // VS_FIXEDFILEINFO: signature, structure version, file and product versions, flags mask,
  // flags, VOS_NT_WINDOWS32, VFT_APP, subtype, date.
  const std::uint32_t fixed_words[13] = {0xFEEF04BDu, 0x00010000u, ms, ls, ms, ls, 0x3F, 0,
                                         0x00040004u, 1,           0,  0,  0};
  std::string fixed;
  for (std::uint32_t w : fixed_words) Append32(fixed, w);
  std::vector<std::string> children;
  if (!texts.empty()) {
    std::vector<std::string> nodes;
    for (const auto& [key, text] : texts) nodes.push_back(TextNode(key, text));
    children.push_back(
        VersionNode("StringFileInfo", {}, 0, 1, {VersionNode("080404b0", {}, 0, 1, nodes)}));
    std::string translation;
    Append16(translation, kLanguage);
    Append16(translation, 1200);
    children.push_back(
        VersionNode("VarFileInfo", {}, 0, 1, {VersionNode("Translation", translation, 4, 0, {})}));
  }
  return VersionNode("VS_VERSION_INFO", fixed, 52, 0, children);
}

struct Leaf {
  std::uint32_t type;
  std::uint32_t name;
  std::string data;
};

// The resource section at `rva` for `leaves` sorted by type then name.
std::string ResourceSection(std::uint32_t rva, const std::vector<Leaf>& leaves) {
  std::map<std::uint32_t, std::vector<const Leaf*>> by_type;
  for (const Leaf& l : leaves) by_type[l.type].push_back(&l);
  // Sizes: root directory, one directory per type, one per (type, name) for the language.
  std::size_t dirs = 16 + 8 * by_type.size();
  for (auto& [t, ls] : by_type) dirs += 16 + 8 * ls.size();
  dirs += (16 + 8) * leaves.size();
  const std::size_t entries_at = dirs;

  std::string s(entries_at + 16 * leaves.size(), '\0');
  const std::size_t root = 0;
  Put16(s, root + 14, static_cast<std::uint32_t>(by_type.size()));
  std::size_t next_dir = 16 + 8 * by_type.size();
  std::size_t leaf_index = 0;
  std::size_t ti = 0;
  for (auto& [type, ls] : by_type) {
    const std::size_t type_dir = next_dir;
    Put32(s, root + 16 + 8 * ti, type);
    Put32(s, root + 16 + 8 * ti + 4, 0x80000000u | static_cast<std::uint32_t>(type_dir));
    Put16(s, type_dir + 14, static_cast<std::uint32_t>(ls.size()));
    next_dir = type_dir + 16 + 8 * ls.size();
    for (std::size_t ni = 0; ni < ls.size(); ++ni) {
      const std::size_t lang_dir = next_dir;
      next_dir += 16 + 8;
      Put32(s, type_dir + 16 + 8 * ni, ls[ni]->name);
      Put32(s, type_dir + 16 + 8 * ni + 4, 0x80000000u | static_cast<std::uint32_t>(lang_dir));
      Put16(s, lang_dir + 14, 1);
      const std::size_t entry = entries_at + 16 * leaf_index++;
      Put32(s, lang_dir + 16, kLanguage);
      Put32(s, lang_dir + 20, static_cast<std::uint32_t>(entry));
      AlignTo(s, 4);
      const std::size_t at = s.size();
      s += ls[ni]->data;
      Put32(s, entry, rva + static_cast<std::uint32_t>(at));
      Put32(s, entry + 4, static_cast<std::uint32_t>(ls[ni]->data.size()));
    }
    ++ti;
  }
  return s;
}

std::vector<Leaf> Resources(const PeImageOptions& o) {
  std::vector<Leaf> leaves;
  std::map<std::uint32_t, std::array<std::u16string, 16>> blocks;
  for (const auto& [id, text] : o.strings) blocks[id / 16 + 1][id % 16] = text;
  for (const auto& [block, texts] : blocks) {
    std::string data;
    for (const std::u16string& t : texts) {
      Append16(data, static_cast<std::uint32_t>(t.size()));
      for (char16_t c : t) Append16(data, c);
    }
    leaves.push_back({6, block, data});  // RT_STRING
  }
  if (o.file_version) {
    leaves.push_back({16, 1, VersionResource(*o.file_version, o.version_strings)});  // RT_VERSION
  }
  return leaves;
}

// The DOS header with the fields a loader checks, e_lfanew, and the stub's message.
std::string DosHeader() {
  std::string f = "MZ";
  for (std::uint32_t w : {0x90u, 3u, 0u, 4u, 0u, 0xFFFFu, 0u, 0xB8u}) Append16(f, w);
  PadTo(f, 0x18);
  Append16(f, 0x40);  // relocation table offset
  PadTo(f, 0x3C);
  Append32(f, kPeOffset);
  f += "This program cannot be run in DOS mode.\r\n$";
  PadTo(f, kPeOffset);
  return f;
}

}  // namespace

std::string MakePeImage(const PeImageOptions& o) {
  const bool has_code = !o.code.empty();
  const std::uint32_t code_raw = Align(static_cast<std::uint32_t>(o.code.size()), kFileAlign);
  const std::uint32_t code_virt = static_cast<std::uint32_t>(o.code.size());
  const std::uint32_t rsrc_rva = kFirstRva + Align(code_virt, kSectionAlign);
  const std::uint32_t rsrc_file = kCodeFileOffset + code_raw;
  std::string rsrc = ResourceSection(rsrc_rva, Resources(o));
  const std::uint32_t rsrc_virt = static_cast<std::uint32_t>(rsrc.size());
  const std::uint32_t rsrc_raw = Align(rsrc_virt, kFileAlign);
  const std::uint32_t image_size = rsrc_rva + Align(rsrc_virt, kSectionAlign);
  const std::uint16_t sections = has_code ? 2 : 1;

  std::string b = DosHeader();
  const std::size_t coff = kPeOffset + 4;
  b += std::string("PE\0\0", 4);
  b.resize(kCodeFileOffset, '\0');  // the headers, filled in below
  const std::uint16_t opt_size = o.pe32_plus ? 240 : 224;
  Put16(b, coff + 0, o.pe32_plus ? 0x8664 : 0x014C);  // Machine
  Put16(b, coff + 2, sections);                        // NumberOfSections
  Put16(b, coff + 16, opt_size);                       // SizeOfOptionalHeader
  // Relocations stripped, executable; large-address aware (PE32+) or 32-bit machine (PE32).
  Put16(b, coff + 18, o.pe32_plus ? 0x0023 : 0x0103);
  const std::size_t opt = coff + 20;
  Put16(b, opt + 0, o.pe32_plus ? 0x20B : 0x10B);
  b[opt + 2] = 6;  // linker version
  Put32(b, opt + 4, code_raw);     // SizeOfCode
  Put32(b, opt + 8, rsrc_raw);     // SizeOfInitializedData
  if (has_code) {
    Put32(b, opt + 16, kFirstRva);  // AddressOfEntryPoint: the code's first byte
    Put32(b, opt + 20, kFirstRva);  // BaseOfCode
  }
  Put32(b, opt + 32, kSectionAlign);  // SectionAlignment
  Put32(b, opt + 36, kFileAlign);     // FileAlignment
  Put16(b, opt + 40, 4);              // MajorOperatingSystemVersion
  Put16(b, opt + 48, 4);              // MajorSubsystemVersion
  Put32(b, opt + 56, image_size);     // SizeOfImage
  Put32(b, opt + 60, kCodeFileOffset);  // SizeOfHeaders
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
    Put32(b, opt + 24, rsrc_rva);  // BaseOfData
    Put32(b, opt + 28, 0x400000);  // ImageBase
    Put32(b, opt + 72, 0x100000);
    Put32(b, opt + 76, 0x1000);
    Put32(b, opt + 80, 0x100000);
    Put32(b, opt + 84, 0x1000);
    Put32(b, opt + 92, 16);
    dirs = opt + 96;
  }
  Put32(b, dirs + 8 * 2, rsrc_rva);  // 2: the resource directory
  Put32(b, dirs + 8 * 2 + 4, rsrc_virt);
  std::size_t sec = opt + opt_size;
  const auto section = [&b, &sec](const char (&name)[8], std::uint32_t virt, std::uint32_t rva,
                                  std::uint32_t raw, std::uint32_t file, std::uint32_t flags) {
    for (int i = 0; i < 8; ++i) b[sec + i] = name[i];
    Put32(b, sec + 8, virt);
    Put32(b, sec + 12, rva);
    Put32(b, sec + 16, raw);
    Put32(b, sec + 20, file);
    Put32(b, sec + 36, flags);
    sec += 40;
  };
  if (has_code) {
    section({'.', 't', 'e', 'x', 't', 0, 0, 0}, code_virt, kFirstRva, code_raw, kCodeFileOffset,
            0x60000020u);  // code, readable, executable
  }
  section({'.', 'r', 's', 'r', 'c', 0, 0, 0}, rsrc_virt, rsrc_rva, rsrc_raw, rsrc_file,
          0x40000040u);  // initialised data, readable
  b += o.code;
  PadTo(b, rsrc_file);
  rsrc.resize(rsrc_raw, '\0');
  return b + rsrc + o.overlay;
}

}  // namespace orb::mkhost
