// The installer's seam to the host's task catalog (CONFIG.TSK). The real implementation
// is a TTasks catalog held in CurrentTasks for its lifetime; the flow's tests substitute
// their own.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace orb::installer {

class Catalog {
 public:
  virtual ~Catalog() = default;
  // Opens (or creates) the catalog in the host folder and reads it. Reports its own errors.
  virtual void Load(const std::string& root_dir) = 0;
  // The folder registered for `flag`, when a task with that flag exists.
  virtual std::optional<std::string> FindDirByFlag(const std::string& flag) = 0;
  // Registers the task folder from its signature file when its flag is not yet registered.
  virtual void RegisterTaskDir(const std::string& task_dir) = 0;
};

// A TTasks-backed catalog; it is CurrentTasks from construction to destruction.
std::unique_ptr<Catalog> MakeTasksCatalog();

}  // namespace orb::installer
