// Drives and volumes of the prefix. A drive is the symlink <prefix>/dosdevices/<x>:; its
// type comes from HKLM\Software\Wine\Drives ("a:"="floppy", ...) and is "fixed" otherwise.
// A removable drive whose link points nowhere has no disk in it (ERROR_NOT_READY), so a test
// changes the disk by re-pointing the link. Labels and serials live in the drive's
// .windows-label and .windows-serial files, as Wine keeps them.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/posix/internal.h"
#include "platform/posix/registry_internal.h"
#include "platform/types.h"
#include "platform/volume.h"

namespace platform {

using posix::Fail;
using posix::Ok;

namespace {

std::atomic<std::uint32_t> g_error_mode{0};

bool IsUnc(const std::string& root) {
  return root.size() >= 2 && (root[0] == '\\' || root[0] == '/') && (root[1] == '\\' || root[1] == '/');
}

// The drive letter of a root ("C:\", "C:", "c"), lower case; 0 when there is none.
char DriveLetter(const std::string& root) {
  std::string r = root;
  if (r.empty()) {
    r = CurrentDirectory();
  }
  char c = r.empty() ? 0 : r[0];
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (c < 'a' || c > 'z') return 0;
  if (r.size() > 1 && r[1] != ':') return 0;
  return c;
}

std::string DriveTypeSetting(char letter) {
  posix::Hive hive;
  bool writable = false;
  if (posix::LoadHive(RootKey::LocalMachine, hive, writable) != 0) return std::string();
  std::u16string want = {static_cast<char16_t>(letter), u':'};
  for (const char16_t* key : {u"software\\wine\\drives", u"software\\wow6432node\\wine\\drives"}) {
    posix::HiveKey* k = hive.Find(key);
    if (k == nullptr) continue;
    for (const posix::HiveValue& v : k->values) {
      if (posix::AsciiLower(v.name) == want) {
        std::string s = posix::ValueForQuery(v);
        while (!s.empty() && s.back() == '\0') s.pop_back();
        return posix::AsciiLower(s);
      }
    }
  }
  return std::string();
}

std::string LinkPath(char letter) { return posix::Prefix() + "/dosdevices/" + letter + ":"; }

std::uint32_t TypeOf(char letter) {
  std::string setting = DriveTypeSetting(letter);
  if (setting == "floppy") return kDriveRemovable;
  if (setting == "cdrom") return kDriveCdrom;
  if (setting == "network") return kDriveRemote;
  if (setting == "hd") return kDriveFixed;
  if (setting == "ramdisk") return kDriveRamdisk;
  struct stat st;
  return lstat(LinkPath(letter).c_str(), &st) == 0 ? kDriveFixed : kDriveNoRootDir;
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return std::string();
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

// Resolves the root of a drive to its folder: 0, 3 (no such drive) or 21 (no disk).
std::uint32_t DriveFolder(const std::string& root, char& letter, std::string& folder) {
  letter = DriveLetter(root);
  if (letter == 0) return kErrorPathNotFound;
  folder = LinkPath(letter);
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0) return kErrorPathNotFound;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrorNotReady;
  return 0;
}

}  // namespace

std::uint32_t DriveType(const std::string& root) {
  SetLastError(0);
  if (IsUnc(root)) return kDriveRemote;
  char letter = DriveLetter(root);
  if (letter == 0) return kDriveNoRootDir;
  std::uint32_t t = TypeOf(letter);
  SetLastError(0);
  return t;
}

std::uint32_t QueryVolume(const std::string& root, VolumeInfo& out) {
  out = VolumeInfo();
  if (IsUnc(root)) return Fail(kErrorPathNotFound);
  char letter = 0;
  std::string folder;
  if (std::uint32_t e = DriveFolder(root, letter, folder)) return Fail(e);
  std::uint32_t type = TypeOf(letter);
  out.label = Utf8ToGbk(FirstLine(folder + "/.windows-label"));
  std::string serial = FirstLine(folder + "/.windows-serial");
  out.serial = static_cast<std::uint32_t>(std::strtoul(serial.c_str(), nullptr, 16));
  out.max_component_length = 255;
  if (type == kDriveRemovable) {
    out.file_system_name = "FAT";
    out.file_system_flags = 0x2 | 0x4;  // case preserved, Unicode on disk
  } else if (type == kDriveCdrom) {
    out.file_system_name = "CDFS";
    out.file_system_flags = 0x4 | 0x80000;  // Unicode on disk, read-only volume
  } else {
    out.file_system_name = "NTFS";
    out.file_system_flags = 0x1 | 0x2 | 0x4 | 0x8;  // case-sensitive search, preserved, Unicode, ACLs
  }
  return Ok();
}

std::uint32_t QueryFreeSpace(const std::string& root, DiskFreeSpace& out) {
  out = DiskFreeSpace();
  char letter = 0;
  std::string folder;
  if (IsUnc(root)) {
    posix::UnixPath p;
    if (std::uint32_t e = posix::ToUnix(root, p)) return e;
    folder = p.path;
  } else if (std::uint32_t e = DriveFolder(root, letter, folder)) {
    return Fail(e);
  }
  struct statvfs vfs;
  if (statvfs(folder.c_str(), &vfs) != 0) return Fail(posix::FromErrno(errno, posix::UnixPath{folder, false}));
  std::uint64_t cluster = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
  out.bytes_per_sector = 512;
  out.sectors_per_cluster = static_cast<std::uint32_t>(cluster >= 512 ? cluster / 512 : 1);
  std::uint64_t unit = static_cast<std::uint64_t>(out.sectors_per_cluster) * 512u;
  auto cap = [](std::uint64_t v) {
    return static_cast<std::uint32_t>(v > 0xFFFFFFFFull ? 0xFFFFFFFFull : v);
  };
  out.free_clusters = cap(static_cast<std::uint64_t>(vfs.f_bavail) * cluster / unit);
  out.total_clusters = cap(static_cast<std::uint64_t>(vfs.f_blocks) * cluster / unit);
  return Ok();
}

std::uint32_t SetErrorMode(std::uint32_t mode) {
  SetLastError(0);
  return g_error_mode.exchange(mode);
}

bool QueryFloppyBiosType(unsigned /*drive_index*/, std::uint8_t& bios_type) {
  bios_type = 0;
  SetLastError(kErrorFileNotFound);  // "\\.\VWIN32" does not exist
  return false;
}

}  // namespace platform
