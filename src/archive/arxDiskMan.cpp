// The volume manager.
#include "archive/arxDiskMan.h"

#include <cstdio>

#include "archive/arxGbls.h"
#include "archive/arxPaths.h"
#include "archive/arxVolume.h"
#include "platform/volume.h"

namespace orb {

const char* TDiskManager::DriveTypeNameAt(unsigned index) {
  // 7 and 8 keep their Windows-1252 bytes for one half and one quarter on purpose.
  static const char* const kNames[9] = {"Unknown", "None",  "Floppy",
                                        "Fixed",   "Network", "CD-ROM",
                                        "RAM",     "3\xBD Floppy", "5\xBC Floppy"};
  return index < 9 ? kNames[index] : kNames[0];
}

void TDiskManager::SetDrive(const std::string& value) {
  if (value == drive_) return;
  drive_ = value;
  Refresh();
}

bool TDiskManager::Refresh() {
  platform::VolumeInfo info;
  while (!GetVolumeInfo(drive_, info)) {
    if (!AskRetryDisk(drive_)) {
      disk_ready_ = false;
      return false;
    }
  }
  volume_label_ = info.label;
  disk_number_ = DiskNumberFromLabel(info.label);
  char serial[16];
  std::snprintf(serial, sizeof serial, "%08X", info.serial);
  volume_serial_ = serial;
  max_component_length_ = info.max_component_length;
  file_system_name_ = info.file_system_name;
  drive_type_ = GetDriveTypeOf(drive_);
  if (drive_type_ == platform::kDriveRemovable) {
    CheckRemovableReady(drive_);
    drive_type_name_ = DriveTypeNameAt(floppy_kind_);
  } else {
    bool ok = false;
    while (!(ok = GetFreeSpace(drive_, drive_type_, free_space_))) {
      if (!AskRetryDisk(drive_)) break;
    }
    if (ok) drive_type_name_ = DriveTypeNameAt(drive_type_);
  }
  file_system_flags_ = info.file_system_flags;
  disk_ready_ = true;
  return true;
}

bool TDiskManager::GetFreeSpace(const std::string& drive, std::uint8_t drive_type,
                                TFreeSpace& rec) {
  if (drive_type == platform::kDriveRemote) return true;
  std::uint32_t old = platform::SetErrorMode(platform::kSemFailCriticalErrors);
  rec = TFreeSpace{};
  platform::DiskFreeSpace fs;
  std::uint32_t rc = platform::QueryFreeSpace(WithBackslash(drive), fs);
  platform::SetErrorMode(old);
  if (rc != 0) return false;
  rec.SectorsPerCluster = fs.sectors_per_cluster;
  rec.BytesPerSector = fs.bytes_per_sector;
  rec.FreeClusters = fs.free_clusters;
  rec.TotalClusters = fs.total_clusters;
  std::uint64_t cluster = std::uint64_t{fs.bytes_per_sector} * fs.sectors_per_cluster;
  rec.TotalBytes = cluster * fs.total_clusters;
  rec.FreeBytes = cluster * fs.free_clusters;
  return true;
}

std::uint8_t TDiskManager::GetDriveTypeOf(const std::string& drive) {
  if (drive.empty()) return 1;
  return static_cast<std::uint8_t>(platform::DriveType(WithBackslash(drive)));
}

std::uint8_t TDiskManager::GetFloppyKind(const std::string& drive) {
  if (drive.empty()) return 0;
  char letter = drive[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
  if (letter < 'A' || letter > 'Z') return 0;
  std::uint8_t bios = 0;
  if (!platform::QueryFloppyBiosType(static_cast<unsigned>(letter - 'A'), bios)) return 0;
  return bios >= 3 ? 7 : 8;
}

std::int32_t TDiskManager::DiskNumberFromLabel(const std::string& label) {
  if (label.find(kSpanLabelMarker) == std::string::npos) return 0;
  std::string rest = label, piece;
  while (!rest.empty()) piece = SplitHead(rest, kSpanLabelMarker);
  if (piece.empty() || !IsAllDigits(piece) || piece.size() > 9) return 0;
  return std::stoi(piece);
}

bool TDiskManager::CheckRemovableReady(const std::string& drive) {
  if (drive_type_ != platform::kDriveRemovable) return false;
  floppy_kind_ = GetFloppyKind(drive);
  while (!GetFreeSpace(drive, drive_type_, free_space_)) {
    if (!AskRetryDisk(drive)) return false;
  }
  return true;
}

}  // namespace orb
