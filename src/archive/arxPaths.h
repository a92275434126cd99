// Entry names as paths of this system, the folders they need, and temporary files.
#pragma once

#include <string>

#include "platform/paths.h"

namespace orb {

using platform::WithBackslash;
std::string SlashToBackslash(std::string name);
// A stored entry name in the system's ANSI code page with '\' separators.
std::string OemNameToAnsi(const std::string& name);
// Text after the last '\' or ':' (a whole GBK character), or the whole text.
std::string ExtractFileNamePart(const std::string& path);
// Text up to and including the last '\' or ':', or empty.
std::string ExtractFileDirPart(const std::string& path);
bool DirExists(const std::string& path);
// Creates `path` and every missing parent; an empty path raises 25153.
void CreateDirPath(const std::string& path);
std::string GetTempDir();
std::string MakeTempFileName(const std::string& prefix);

}  // namespace orb
