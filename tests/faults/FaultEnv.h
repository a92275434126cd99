// What the fault scenarios need of the machine beyond the platform layer: a temporary folder
// of the test's own, a per-file size limit, and a folder that refuses new entries. The last
// two exist only where the machine can arrange them (the native build); elsewhere they report
// why not, and the row that needs them is skipped there.
#pragma once

#include <cstdint>
#include <string>

namespace orb::test {

// Points the system temporary folder (GetTempPathA) at `dir` for this process, so that a
// temporary archive left behind by a run shows up in the test's own tree.
class ScopedTempFolder {
 public:
  explicit ScopedTempFolder(const std::string& dir);
  ~ScopedTempFolder();
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

 private:
  std::string saved_;
  bool had_ = false;
};

// While alive, no file of this process may grow beyond `bytes`: writes past it fail as on a
// full disk.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(std::uint64_t bytes);
  ~ScopedFileSizeLimit();
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
  // Empty when the limit is in force, else why it could not be set.
  const std::string& Unavailable() const { return unavailable_; }

 private:
  std::string unavailable_;
  std::uint64_t saved_ = 0;
  void* saved_handler_ = nullptr;
};

// While alive, the folder `path` (a Windows path) and everything below it is read-only for
// this process, the superuser included: creating a file or folder in it is refused.
class ScopedReadOnlyFolder {
 public:
  explicit ScopedReadOnlyFolder(const std::string& path);
  ~ScopedReadOnlyFolder();
  ScopedReadOnlyFolder(const ScopedReadOnlyFolder&) = delete;
  ScopedReadOnlyFolder& operator=(const ScopedReadOnlyFolder&) = delete;
  const std::string& Unavailable() const { return unavailable_; }

 private:
  std::string unavailable_;
  std::string mounted_;
};

// Makes `link` a symbolic link to `target` (Windows paths). Empty when it was made, else why
// it could not be.
std::string MakeSymbolicLink(const std::string& link, const std::string& target);

// The folder whose tree a run may change only in the task folder and the catalog: the whole
// drive C: of the native build's private prefix; on Windows, where the machine is shared,
// the test's scratch folder (which holds the host, the task path and the temporary folder).
std::string WorldRoot(const std::string& scratch);

}  // namespace orb::test
