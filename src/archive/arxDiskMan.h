// The volume manager: what the engine knows about the drive that holds the archive (label,
// serial, type, free space, the disk number of a spanned set) and the retry prompt for a drive
// that cannot be read.
#pragma once

#include <cstdint>
#include <string>

#include "_OrbLib/Classes.h"

namespace orb {

struct TFreeSpace {
  std::uint32_t SectorsPerCluster = 0;
  std::uint32_t BytesPerSector = 0;
  std::uint32_t FreeClusters = 0;
  std::uint32_t TotalClusters = 0;
  std::uint64_t TotalBytes = 0;  // 64-bit: no wrap above 4 GiB
  std::uint64_t FreeBytes = 0;
};

class TDiskManager : public TComponent {
 public:
  explicit TDiskManager(TComponent* owner = nullptr) : TComponent(owner) {}

  const std::string& Drive() const { return drive_; }
  // Refreshes only when the value differs from the current drive.
  void SetDrive(const std::string& value);
  bool Refresh();

  const std::string& VolumeLabel() const { return volume_label_; }
  const std::string& VolumeSerial() const { return volume_serial_; }
  std::uint32_t MaxComponentLength() const { return max_component_length_; }
  std::uint32_t FileSystemFlags() const { return file_system_flags_; }
  const std::string& FileSystemName() const { return file_system_name_; }
  std::uint8_t DriveType() const { return drive_type_; }
  std::uint8_t FloppyKind() const { return floppy_kind_; }
  const std::string& DriveTypeName() const { return drive_type_name_; }
  bool DiskReady() const { return disk_ready_; }
  std::int32_t DiskNumber() const { return disk_number_; }
  const TFreeSpace& FreeSpace() const { return free_space_; }

  static bool GetFreeSpace(const std::string& drive, std::uint8_t drive_type, TFreeSpace& rec);
  static std::uint8_t GetDriveTypeOf(const std::string& drive);
  static std::uint8_t GetFloppyKind(const std::string& drive);
  static std::int32_t DiskNumberFromLabel(const std::string& label);
  bool CheckRemovableReady(const std::string& drive);

  // Index = FloppyKind for removable drives, DriveType otherwise.
  static const char* DriveTypeNameAt(unsigned index);

 private:
  std::string drive_;
  std::string volume_label_;
  std::string volume_serial_;
  std::uint32_t max_component_length_ = 0;
  std::uint32_t file_system_flags_ = 0;
  std::string file_system_name_;
  std::uint8_t drive_type_ = 1;
  std::uint8_t floppy_kind_ = 0;
  std::string drive_type_name_;
  bool disk_ready_ = false;
  std::int32_t disk_number_ = 0;
  TFreeSpace free_space_;
};

}  // namespace orb
