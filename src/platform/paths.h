// The rules of Windows paths in GBK that every layer uses: joining, trailing backslashes,
// suffixes and the program's folder. A backslash is a whole character: the trail byte 0x5C
// of a double-byte character is none (see gbk.h).
#pragma once

#include <string>

namespace platform {

// Dir and Name with exactly one backslash between them; Name alone when Dir is empty.
std::string PathJoin(const std::string& dir, const std::string& name);
// Adds a trailing backslash unless the path is empty or already ends in one.
void AppendBackslash(std::string& path);
// The same, as a new string.
std::string WithBackslash(const std::string& path);
// Removes one trailing backslash if present.
std::string StripBackslash(const std::string& path);
// 0 when `s` ends with `suffix`, ignoring case (CompareStringA under the user's locale);
// otherwise the sign of that comparison of s's tail with the suffix.
int CompareSuffixText(const std::string& s, const std::string& suffix);
// The folder of the running program, without a trailing backslash.
std::string ProgramDir();

}  // namespace platform
