// File-name wildcards of the engine's file patterns (FileSpec).
#pragma once

#include <string>
#include <vector>

namespace orb {

// Wildcards: '?' matches one byte, '*' any run; both work on either side (the matcher is
// symmetric). `names_only` compares only the file-name parts.
bool MatchWildcard(const std::string& pattern, const std::string& name, bool names_only);
// Drops empty patterns and keeps only the file-name part of the others ('/' counts as '\').
void NormalizeFileSpec(std::vector<std::string>& specs);

}  // namespace orb
