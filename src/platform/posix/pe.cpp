// PE resources. The layout used here:
//   DOS header: "MZ", e_lfanew (u32) at 0x3C -> "PE\0\0" + COFF header (20 bytes):
//     +2 NumberOfSections (u16), +16 SizeOfOptionalHeader (u16)
//   Optional header: magic 0x10B (PE32) or 0x20B (PE32+); NumberOfRvaAndSizes at 92 / 108,
//     data directories (RVA, size) from 96 / 112; entry 2 is the resource directory.
//   Section header (40 bytes): +8 VirtualSize, +12 VirtualAddress, +16 SizeOfRawData,
//     +20 PointerToRawData.
//   Resource directory (16 bytes): +12 named entries (u16), +14 id entries (u16), then
//     8-byte entries: name/id (high bit: name string), offset (high bit: subdirectory),
//     offsets relative to the start of the resource section. Data entry: RVA, size.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/byteorder.h"
#include "platform/posix/internal.h"
#include "platform/posix/pe.h"
#include "platform/types.h"

namespace platform::posix {
namespace {

constexpr std::uint32_t kBadExeFormat = 193;
constexpr std::uint32_t kResourceTypeNotFound = 1813;
constexpr std::uint32_t kResourceNameNotFound = 1814;

bool U16(std::string_view b, std::size_t off, std::uint32_t& v) {
  if (off > b.size() || b.size() - off < 2) return false;
  v = GetLe16(b, off);
  return true;
}

bool U32(std::string_view b, std::size_t off, std::uint32_t& v) {
  if (off > b.size() || b.size() - off < 4) return false;
  v = GetLe32(b, off);
  return true;
}

struct Image {
  std::string_view bytes;
  std::size_t sections = 0;
  std::uint32_t section_count = 0;
  std::uint32_t res_rva = 0;
  std::uint32_t res_size = 0;

  bool Offset(std::uint32_t rva, std::size_t& off) const {
    for (std::uint32_t i = 0; i < section_count; ++i) {
      std::size_t s = sections + 40 * static_cast<std::size_t>(i);
      std::uint32_t vsize, va, rawsize, rawptr;
      if (!U32(bytes, s + 8, vsize) || !U32(bytes, s + 12, va) || !U32(bytes, s + 16, rawsize) ||
          !U32(bytes, s + 20, rawptr)) {
        return false;
      }
      std::uint32_t span = vsize > rawsize ? vsize : rawsize;
      if (rva >= va && rva - va < span) {
        if (rva - va >= rawsize) return false;  // in the zero-filled tail: no file data
        off = static_cast<std::size_t>(rawptr) + (rva - va);
        return off < bytes.size();
      }
    }
    return false;
  }
};

bool Open(std::string_view b, Image& img) {
  img.bytes = b;
  std::uint32_t v, lfanew;
  if (!U16(b, 0, v) || v != 0x5A4D || !U32(b, 0x3C, lfanew)) return false;
  if (!U32(b, lfanew, v) || v != 0x00004550) return false;
  std::size_t coff = lfanew + 4;
  std::uint32_t opt_size;
  if (!U16(b, coff + 2, img.section_count) || !U16(b, coff + 16, opt_size)) return false;
  std::size_t opt = coff + 20;
  std::uint32_t magic;
  if (!U16(b, opt, magic)) return false;
  std::size_t count_at, dirs_at;
  if (magic == 0x10B) {
    count_at = 92;
    dirs_at = 96;
  } else if (magic == 0x20B) {
    count_at = 108;
    dirs_at = 112;
  } else {
    return false;
  }
  std::uint32_t ndirs;
  if (!U32(b, opt + count_at, ndirs)) return false;
  img.sections = opt + opt_size;
  if (ndirs <= 2) return true;  // no resource directory
  if (dirs_at + 3 * 8 > opt_size) return false;
  return U32(b, opt + dirs_at + 16, img.res_rva) && U32(b, opt + dirs_at + 20, img.res_size);
}

// Finds the entry `id` (0: the first entry of any kind) in the directory at `dir`.
bool Entry(const Image& img, std::size_t base, std::size_t dir, std::uint32_t id,
           std::uint32_t& target) {
  std::uint32_t named, ids;
  if (!U16(img.bytes, dir + 12, named) || !U16(img.bytes, dir + 14, ids)) return false;
  std::size_t first = dir + 16;
  for (std::uint32_t i = 0; i < named + ids; ++i) {
    std::uint32_t name, off;
    if (!U32(img.bytes, first + 8 * i, name) || !U32(img.bytes, first + 8 * i + 4, off)) {
      return false;
    }
    if (id == 0 || (!(name & 0x80000000u) && name == id)) {
      target = off;
      (void)base;
      return true;
    }
  }
  return false;
}

}  // namespace

std::uint32_t FindPeResource(std::string_view image, std::uint32_t type, std::uint32_t name,
                             std::string_view& data) {
  Image img;
  if (!Open(image, img)) return kBadExeFormat;
  if (img.res_rva == 0) return kResourceTypeNotFound;
  std::size_t base;
  if (!img.Offset(img.res_rva, base)) return kBadExeFormat;
  std::uint32_t off;
  if (!Entry(img, base, base, type, off) || !(off & 0x80000000u)) return kResourceTypeNotFound;
  if (!Entry(img, base, base + (off & 0x7FFFFFFFu), name, off) || !(off & 0x80000000u)) {
    return kResourceNameNotFound;
  }
  if (!Entry(img, base, base + (off & 0x7FFFFFFFu), 0, off) || (off & 0x80000000u)) {
    return kResourceNameNotFound;
  }
  std::uint32_t rva, size;
  std::size_t entry = base + off;
  if (!U32(image, entry, rva) || !U32(image, entry + 4, size)) return kBadExeFormat;
  std::size_t at;
  if (!img.Offset(rva, at) || image.size() - at < size) return kBadExeFormat;
  data = image.substr(at, size);
  return 0;
}

std::uint32_t ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  UnixPath p;
  if (std::uint32_t e = ToUnix(path, p)) return e;
  int fd = open(p.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno, p);
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    return kErrorAccessDenied;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      close(fd);
      return FromErrno(err, p);
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return 0;
}

}  // namespace platform::posix
