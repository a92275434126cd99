// The volumes a spanned archive lives on, and the operator's retry when one is missing.
#pragma once

#include <string>

#include "platform/volume.h"

namespace orb {

// The volume of `drive` ("C:" or "C:\"), with the system's critical-error boxes off; the
// label and file-system name at most 256 bytes, as the runtime's buffers hold them.
bool GetVolumeInfo(const std::string& drive, platform::VolumeInfo& info);
std::string DiskNotAccessibleText(const std::string& drive);
bool AskRetryDisk(const std::string& drive);

// What a spanned disk's label holds before its number ("PKBACK# 001").
inline constexpr const char* kSpanLabelMarker = "PKBACK# ";

}  // namespace orb
