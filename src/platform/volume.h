// Drives and volumes: GetDriveTypeA, GetVolumeInformationA, GetDiskFreeSpaceA,
// SetErrorMode, and the Windows 9x floppy form-factor query.
// On POSIX drive types come from HKEY_LOCAL_MACHINE\Software\Wine\Drives ("floppy" is
// removable, "cdrom", "network", "hd"; otherwise fixed), labels and serials from the
// drive's .windows-label and .windows-serial files, free space from statvfs.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum : std::uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,

  kSemFailCriticalErrors = 0x1,
  kSemNoOpenFileErrorBox = 0x8000,
};

// GetDriveTypeA on a root such as "C:\" or "\\server\share\".
std::uint32_t DriveType(const std::string& root);

struct VolumeInfo {
  std::string label;
  std::uint32_t serial = 0;
  std::uint32_t max_component_length = 0;
  std::uint32_t file_system_flags = 0;
  std::string file_system_name;
};
std::uint32_t QueryVolume(const std::string& root, VolumeInfo& out);

struct DiskFreeSpace {
  std::uint32_t sectors_per_cluster = 0;
  std::uint32_t bytes_per_sector = 0;
  std::uint32_t free_clusters = 0;
  std::uint32_t total_clusters = 0;
};
std::uint32_t QueryFreeSpace(const std::string& root, DiskFreeSpace& out);

// SetErrorMode: returns the previous mode.
std::uint32_t SetErrorMode(std::uint32_t mode);

// The BIOS drive-type byte of a floppy drive (drive_index 0 = A:) through the Windows 9x
// VWIN32 device; false where that device does not exist (every NT system and POSIX).
bool QueryFloppyBiosType(unsigned drive_index, std::uint8_t& bios_type);

}  // namespace platform
