// Unit Task: the task signature file, the task record and the host's task catalog.
//
// A task is a folder whose name ends in .TSK and which holds the signature file
// "TASKSIGN.TSK" (INI, section "General"). The host lists its tasks in the dBASE table
// "CONFIG.TSK" in its installation folder; `TTasks` is the in-memory catalog over that
// table: it opens it (creating it when missing, rebuilding it when it lacks the Version
// field), reads every record into `TTask` objects, finds a task by flag and appends new
// tasks. An existing registration is never changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "_OrbLib/Classes.h"
#include "dbf/DBFTable.h"

namespace orb {

// A fixed-width text field (string[N]): at most N bytes; longer text is cut to its first N
// bytes on assignment, which may cut a double-byte character.
template <std::size_t N>
class ShortString {
 public:
  static constexpr std::size_t kWidth = N;

  ShortString() = default;
  ShortString(const std::string& s) : s_(s.substr(0, N)) {}  // NOLINT: implicit on purpose
  ShortString(const char* s) : ShortString(std::string(s)) {}  // NOLINT
  ShortString& operator=(const std::string& s) {
    s_ = s.substr(0, N);
    return *this;
  }
  ShortString& operator=(const char* s) { return *this = std::string(s); }

  const std::string& str() const { return s_; }
  operator const std::string&() const { return s_; }  // NOLINT
  bool empty() const { return s_.empty(); }
  std::size_t size() const { return s_.size(); }
  friend bool operator==(const ShortString& a, const ShortString& b) { return a.s_ == b.s_; }

 private:
  std::string s_;
};

// The values of one task.
struct TaskInfoType {
  ShortString<100> Name;
  ShortString<15> Flag;
  ShortString<6> FileFlag;
  ShortString<254> Dir;  // full path of the task folder
  ShortString<4> Year;
  char Period = 0;
  std::int32_t Time = 0;
  std::string Password;
  ShortString<40> Group;
  ShortString<14> Version;
};

// One registered task in memory.
class TTask : public TObject {
 public:
  explicit TTask(const TaskInfoType& info);

  const std::string& Dir() const { return dir_; }
  const std::string& Name() const { return name_; }
  const std::string& Flag() const { return flag_; }
  const std::string& FileFlag() const { return file_flag_; }
  const std::string& Year() const { return year_; }
  char Period() const { return period_; }
  std::int32_t Time() const { return time_; }
  const std::string& Password() const { return password_; }
  const std::string& Group() const { return group_; }
  const std::string& Version() const { return version_; }

 private:
  ShortString<254> dir_;
  ShortString<100> name_;
  ShortString<15> flag_;
  ShortString<6> file_flag_;
  ShortString<4> year_;
  char period_;
  std::int32_t time_;
  std::string password_;
  ShortString<40> group_;
  ShortString<14> version_;
};

// The host's task catalog over "CONFIG.TSK".
class TTasks : public TComponent {
 public:
  explicit TTasks(TComponent* owner = nullptr);
  ~TTasks() override;

  // Opens "CONFIG.TSK" in `host_folder`, creating it when it is missing (and then
  // registering the .TSK subfolders of the program's folder and of its "Tasks"
  // subfolder) or rebuilding it when it lacks fields, and reads every task. Never raises:
  // a failure is shown in the "警告" box and the tasks read before it stay.
  void Load(const std::string& host_folder);
  // The first task whose flag (cut to 15 bytes) matches under ASCII case folding; nullptr
  // when none does.
  TTask* FindByFlag(const std::string& flag);
  // Appends the task to the table and the list. False, nothing changed, when the flag is
  // empty or already registered or the folder does not exist. A read-only table gains the
  // task only in memory. Table errors propagate.
  bool AddTask(const TaskInfoType& info);

  int Count() const { return static_cast<int>(tasks_.size()); }
  TTask& Items(int index) { return *tasks_.at(static_cast<std::size_t>(index)); }
  TfnDBFTable& Table() { return *table_; }

  // The folder whose .TSK subfolders (and those of its "Tasks" subfolder) a newly created
  // catalog registers: the running program's folder unless set otherwise.
  std::string ProgramFolder() const;
  void SetProgramFolder(const std::string& folder) { program_folder_ = folder; }

 private:
  void LoadInternal(const std::string& host_folder);
  // Makes the catalog file that is not there; a part-made one is removed again.
  void CreateMissingCatalog();
  void Rebuild();
  void ReadAll();

  std::unique_ptr<TfnDBFTable> table_;
  std::vector<std::unique_ptr<TTask>> tasks_;
  std::string program_folder_;
};

// The catalog RegisterTaskDir adds to. Set by the catalog's owner after creating it; not
// owned here.
extern TTasks* CurrentTasks;

// The signature file's name inside a task folder, and the catalog's name in the host folder.
extern const char* const kTaskSignFileName;    // "TASKSIGN.TSK"
extern const char* const kCatalogFileName;     // "CONFIG.TSK"

// Whether the folder holds a signature file this host generation accepts: Flag and Name
// not empty, MajorVer and MinorVer empty, Year not below "1900" (compared as text).
bool IsValidTaskSign(const std::string& folder);

// Reads the folder's signature file and adds the task to `CurrentTasks` (to `tasks` in the
// second form). A missing or invalid signature file, or no catalog, is a silent no-op.
void RegisterTaskDir(const std::string& folder);
void RegisterTaskDir(const std::string& folder, TTasks& tasks);

// Registers every immediate subfolder of `folder` whose name ends in ".TSK" (any case).
void RegisterTaskDirs(const std::string& folder);
void RegisterTaskDirs(const std::string& folder, TTasks& tasks);

// Writes an empty catalog table with the twelve fields of "CONFIG.TSK".
void CreateCatalogFile(const std::string& file_name);

}  // namespace orb
