// Drives and volumes.
#include "platform/volume.h"

#include "platform/win32/windows_api.h"

namespace platform {

using win32::Failure;
using win32::Outcome;

std::uint32_t DriveType(const std::string& root) {
  UINT type = ::GetDriveTypeA(root.c_str());
  Outcome(0);
  return type;
}

std::uint32_t QueryVolume(const std::string& root, VolumeInfo& out) {
  char label[MAX_PATH + 1] = {};
  char fs_name[MAX_PATH + 1] = {};
  DWORD serial = 0;
  DWORD max_component = 0;
  DWORD flags = 0;
  if (!::GetVolumeInformationA(root.c_str(), label, sizeof label, &serial, &max_component,
                               &flags, fs_name, sizeof fs_name)) {
    return Failure();
  }
  out.label = label;
  out.serial = serial;
  out.max_component_length = max_component;
  out.file_system_flags = flags;
  out.file_system_name = fs_name;
  return Outcome(0);
}

std::uint32_t QueryFreeSpace(const std::string& root, DiskFreeSpace& out) {
  DWORD sectors = 0;
  DWORD bytes = 0;
  DWORD free_clusters = 0;
  DWORD total_clusters = 0;
  if (!::GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &free_clusters, &total_clusters)) {
    return Failure();
  }
  out.sectors_per_cluster = sectors;
  out.bytes_per_sector = bytes;
  out.free_clusters = free_clusters;
  out.total_clusters = total_clusters;
  return Outcome(0);
}

std::uint32_t SetErrorMode(std::uint32_t mode) {
  UINT previous = ::SetErrorMode(mode);
  Outcome(0);
  return previous;
}

bool QueryFloppyBiosType(unsigned drive_index, std::uint8_t& bios_type) {
  // Windows 9x only: the VWIN32 device runs real-mode interrupts for us. NT systems have no
  // such device, and the open fails there.
  HANDLE device = ::CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE,
                                nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    Failure();
    return false;
  }
  // VWIN32_DIOC_DOS_INT13: the register image EBX, EDX, ECX, EAX, EDI, ESI, flags.
  constexpr DWORD kDiocDosInt13 = 4;
  constexpr DWORD kCarryFlag = 0x1;
  DWORD regs[7] = {};
  regs[1] = drive_index;  // EDX: DL = drive number
  regs[3] = 0x0800;       // EAX: AH = 08h, get drive parameters
  DWORD returned = 0;
  BOOL ok = ::DeviceIoControl(device, kDiocDosInt13, regs, sizeof regs, regs, sizeof regs,
                              &returned, nullptr);
  DWORD error = ok ? 0 : ::GetLastError();
  ::CloseHandle(device);
  if (!ok || (regs[6] & kCarryFlag)) {
    Outcome(error ? error : ERROR_NOT_READY);
    return false;
  }
  bios_type = static_cast<std::uint8_t>(regs[0] & 0xFF);  // BL
  Outcome(0);
  return true;
}

}  // namespace platform
