// The installer's catalog: a TTasks over the host's CONFIG.TSK, held in CurrentTasks for
// as long as the catalog step runs (RegisterTaskDir adds to whatever CurrentTasks holds).
#include "installer/Catalog.h"
#include "task/Task.h"

namespace orb::installer {
namespace {

class TasksCatalog : public Catalog {
 public:
  TasksCatalog() : tasks_(std::make_unique<TTasks>(nullptr)) { CurrentTasks = tasks_.get(); }
  ~TasksCatalog() override {
    if (CurrentTasks == tasks_.get()) CurrentTasks = nullptr;
  }

  void Load(const std::string& root_dir) override { tasks_->Load(root_dir); }
  std::optional<std::string> FindDirByFlag(const std::string& flag) override {
    if (TTask* task = tasks_->FindByFlag(flag)) return task->Dir();
    return std::nullopt;
  }
  void RegisterTaskDir(const std::string& task_dir) override { orb::RegisterTaskDir(task_dir); }

 private:
  std::unique_ptr<TTasks> tasks_;
};

}  // namespace

std::unique_ptr<Catalog> MakeTasksCatalog() { return std::make_unique<TasksCatalog>(); }

}  // namespace orb::installer
