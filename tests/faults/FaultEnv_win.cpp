// The fault scenarios' machine on Windows (under Wine in CI).
#include <cstdlib>

#include "faults/FaultEnv.h"

namespace orb::test {

// GetTempPathA takes TMP first, then TEMP; the C runtime's _putenv_s changes the process
// environment those are read from.
ScopedTempFolder::ScopedTempFolder(const std::string& dir) {
  if (const char* old = std::getenv("TMP")) {
    had_ = true;
    saved_ = old;
  }
  _putenv_s("TMP", dir.c_str());
}

ScopedTempFolder::~ScopedTempFolder() { _putenv_s("TMP", had_ ? saved_.c_str() : ""); }

ScopedFileSizeLimit::ScopedFileSizeLimit(std::uint64_t) {
  unavailable_ = "Windows has no per-process file size limit";
}
ScopedFileSizeLimit::~ScopedFileSizeLimit() = default;

ScopedReadOnlyFolder::ScopedReadOnlyFolder(const std::string&) {
  unavailable_ =
      "Windows ignores the read-only attribute of a folder, and Wine running as the superuser "
      "enforces no access list that would refuse new files";
}
ScopedReadOnlyFolder::~ScopedReadOnlyFolder() = default;

std::string WorldRoot(const std::string& scratch) { return scratch; }

std::string MakeSymbolicLink(const std::string&, const std::string&) {
  // Making one needs the Windows call, which only the platform layer may reach.
  return "symbolic links are planted by the native build's rows only";
}

}  // namespace orb::test
