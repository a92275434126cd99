// A fresh folder for one test, under the platform's temporary folder, named as a Windows
// path (GBK) on both builds, and removed with everything in it when the test ends.
// Files are written and read through the platform layer, so the test exercises the same
// path translation as the code under test.
#pragma once

#include <cstdint>
#include <string>

namespace orbtest {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The folder, without a trailing backslash ("C:\users\me\Temp\orbtest-...").
  const std::string& path() const { return path_; }
  // path() + "\" + name.
  std::string Join(const std::string& name) const { return path_ + "\\" + name; }
  // False when the folder could not be made (the test should fail then).
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// Whole files through the platform layer: 0 or the Windows error code.
std::uint32_t WriteWholeFile(const std::string& path, const std::string& bytes);
std::uint32_t ReadWholeFile(const std::string& path, std::string& bytes);
// Deletes a folder tree (read-only files included); a missing folder is not an error.
std::uint32_t RemoveTree(const std::string& path);

}  // namespace orbtest
