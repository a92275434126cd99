// What the fuzz targets share: a private Wine-style prefix (drive C: only, so no Windows path
// can reach the rest of the machine), a user interface that answers every box with OK and
// every folder dialog with Cancel, and whole-file helpers on Unix paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orbfuzz {

// Made once per process; WINEPREFIX points at it. drive_c() is the Unix path of C:\.
class Prefix {
 public:
  static Prefix& Get();
  const std::string& root() const { return root_; }
  std::string drive_c() const { return root_ + "/drive_c"; }

 private:
  Prefix();
  std::string root_;
};

// Removes everything below `unix_dir` and makes it again, empty.
void ResetDir(const std::string& unix_dir);
// Every regular file, link or folder below `unix_dir` (relative paths).
std::vector<std::string> ListTree(const std::string& unix_dir);
void WriteUnixFile(const std::string& unix_path, const std::uint8_t* data, std::size_t size);

}  // namespace orbfuzz
