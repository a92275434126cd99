// A throw-away Wine-style prefix for one test on the native build, laid out by
// scripts/make-test-prefix.sh (the script that makes the suite's own prefix), and pointed to by
// WINEPREFIX while the guard lives; the layer reads WINEPREFIX at each call, so nothing needs
// resetting. The previous WINEPREFIX comes back at the end and the prefix is removed.
#pragma once

#include <string>

namespace orbtest {

// Reads or replaces a whole file by its Unix path (hives, drive labels).
std::string ReadUnixFile(const std::string& path);
void WriteUnixFile(const std::string& path, const std::string& bytes);

struct PrefixOptions {
  enum class Arch {
    kWin32,  // one registry view
    kWin64,  // #arch=win64: a 32-bit program's HKLM\Software is Software\Wow6432Node
  };
  Arch arch = Arch::kWin64;
  // The user's Temp folder, which the layer takes for the temporary folder; without it the
  // temporary folder follows TMPDIR.
  bool user_temp = true;
};

class ScopedPrefix {
 public:
  explicit ScopedPrefix(const PrefixOptions& options = {});
  ~ScopedPrefix();
  ScopedPrefix(const ScopedPrefix&) = delete;
  ScopedPrefix& operator=(const ScopedPrefix&) = delete;

  const std::string& dir() const { return dir_; }
  // False when the prefix could not be made (the test should fail then).
  bool ok() const { return ok_; }
  // Makes (or re-points) drive `letter` to the Unix path `target`; false when it failed.
  bool Link(char letter, const std::string& target) const;

 private:
  std::string dir_;
  std::string old_;
  bool had_old_ = false;
  bool ok_ = false;
};

}  // namespace orbtest
