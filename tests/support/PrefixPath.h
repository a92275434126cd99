// The Unix path a Windows path ("C:\dir\file") names in the prefix WINEPREFIX points to,
// through the prefix's drive links (dosdevices/c:, ...), for tests that reach past the layer
// to the host's file system or re-point a drive. Empty when WINEPREFIX is unset or the path
// has no drive letter.
#pragma once

#include <string>

namespace orbtest {

std::string UnixPathInPrefix(const std::string& windows_path);

}  // namespace orbtest
