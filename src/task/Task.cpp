// Unit Task: signature files, task records and the catalog over CONFIG.TSK.
#include "task/Task.h"

#include <array>
#include <exception>

#include "_OrbLib/OrbRtl.h"
#include "_OrbLib/OrbWin.h"
#include "_OrbLib/ScopeGuard.h"
#include "dbf/DBFLayout.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/ui.h"

namespace orb {

TTasks* CurrentTasks = nullptr;

const char* const kTaskSignFileName = "TASKSIGN.TSK";
const char* const kCatalogFileName = "CONFIG.TSK";

namespace {

constexpr const char* kSection = "General";

// The catalog's fields in file order: name, type, width (decimals are 0 throughout).
// A record is 775 bytes with the deletion flag.
struct CatalogField {
  const char* name;
  char type;
  std::uint8_t width;
};
constexpr std::array<CatalogField, 12> kCatalogFields = {{
    {"Name", 'C', 100},
    {"Flag", 'C', 15},
    {"FileFlag", 'C', 6},
    {"Dir", 'C', 254},
    {"NetDir", 'C', 254},
    {"Year", 'C', 4},
    {"Period", 'C', 1},
    {"Time", 'N', 6},
    {"Group", 'C', 40},
    {"Reserved", 'C', 20},
    {"Password", 'C', 60},
    {"Version", 'C', 14},
}};

// Fields a catalog must have to be read as it is; one without them is rebuilt.
constexpr std::array<const char*, 11> kRequiredFields = {
    "Name", "Flag", "FileFlag", "Dir", "NetDir", "Year",
    "Period", "Time", "Group", "Version", "Reserved"};

// Fields carried over by a rebuild, in this order. Version is not among them: a rebuild
// serves catalogs written before it existed.
constexpr std::array<const char*, 11> kRebuildFields = {
    "Name", "Flag", "FileFlag", "Dir", "NetDir", "Year",
    "Period", "Time", "Group", "Password", "Reserved"};

std::string ReadSign(const std::string& file, const char* key) {
  return platform::ReadProfileString(kSection, key, "", file);
}

char UpperAsciiChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

}  // namespace

// ---- TTask -----------------------------------------------------------------------------

TTask::TTask(const TaskInfoType& info)
    : dir_(info.Dir),
      name_(info.Name),
      flag_(info.Flag),
      file_flag_(info.FileFlag),
      year_(info.Year),
      period_(info.Period),
      time_(info.Time),
      password_(info.Password),
      group_(info.Group),
      version_(info.Version) {}

// ---- Signature files ---------------------------------------------------------------------

bool IsValidTaskSign(const std::string& folder) {
  const std::string file = platform::PathJoin(folder, kTaskSignFileName);
  if (!IsFile(file)) return false;
  if (ReadSign(file, "Flag").empty()) return false;
  if (ReadSign(file, "Name").empty()) return false;
  // Keys of another host generation: such a task is not accepted here.
  if (!ReadSign(file, "MajorVer").empty()) return false;
  if (!ReadSign(file, "MinorVer").empty()) return false;
  // Byte-wise text comparison, so "999" passes and an empty year fails.
  return ReadSign(file, "Year").compare("1900") >= 0;
}

void RegisterTaskDir(const std::string& folder, TTasks& tasks) {
  if (!IsValidTaskSign(folder)) return;
  const std::string file = platform::PathJoin(folder, kTaskSignFileName);
  TaskInfoType info;
  info.Flag = ReadSign(file, "Flag");  // the letter case of the file is kept
  info.Name = ReadSign(file, "Name");
  info.FileFlag = ReadSign(file, "FileFlag");
  info.Dir = folder;  // exactly as given: callers compare it byte for byte
  info.Year = ReadSign(file, "Year");
  const std::string period = ReadSign(file, "Period");
  info.Period = period.empty() ? 'N' : period[0];
  std::int32_t time = 0;
  int code = 0;
  TextToInt32(ReadSign(file, "Time"), time, code);
  info.Time = code == 0 ? time : 0;
  info.Password = ReadSign(file, "Password");
  info.Group = ReadSign(file, "Group");
  info.Version = ReadSign(file, "Version");
  tasks.AddTask(info);
}

void RegisterTaskDir(const std::string& folder) {
  if (CurrentTasks != nullptr) RegisterTaskDir(folder, *CurrentTasks);
}

void RegisterTaskDirs(const std::string& folder, TTasks& tasks) {
  TStringList names;
  ListSubdirs(folder, names, false, false);
  for (const std::string& name : names.Items()) {
    if (platform::CompareSuffixText(name, ".TSK") == 0) RegisterTaskDir(platform::PathJoin(folder, name), tasks);
  }
}

void RegisterTaskDirs(const std::string& folder) {
  if (CurrentTasks != nullptr) RegisterTaskDirs(folder, *CurrentTasks);
}

void CreateCatalogFile(const std::string& file_name) {
  TDBFCreator creator;
  for (const CatalogField& f : kCatalogFields) creator.AddField(f.name, f.type, f.width, 0);
  creator.CreateTable(file_name);
}

// ---- TTasks ------------------------------------------------------------------------------

TTasks::TTasks(TComponent* owner)
    : TComponent(owner), table_(std::make_unique<TfnDBFTable>()) {}

TTasks::~TTasks() {
  tasks_.clear();
  table_.reset();
}

std::string TTasks::ProgramFolder() const {
  return program_folder_.empty() ? platform::ProgramDir() : program_folder_;
}

void TTasks::Load(const std::string& host_folder) {
  try {
    LoadInternal(host_folder);
  } catch (const std::exception& e) {
    // Whatever step failed, the catalog file is not left open behind the message.
    try {
      table_->SetActive(false);  // a second error would only hide the first
    } catch (...) {
    }
    platform::CurrentUserInterface().ShowMessageBox(
        std::string("任务配置文件出现错误！") + "\r\n" + e.what(), "警告",
        platform::kMbOk | platform::kMbIconWarning);
  }
}

void TTasks::LoadInternal(const std::string& host_folder) {
  table_->SetExclusive(true);
  table_->SetTableName(platform::PathJoin(host_folder, kCatalogFileName));
  const bool existed = IsFile(table_->TableName());
  if (!existed) CreateMissingCatalog();

  table_->SetActive(true);
  bool complete = true;
  for (const char* name : kRequiredFields) complete = complete && table_->FieldIndex(name) != -1;
  if (!complete) Rebuild();
  ReadAll();

  if (!existed) {
    const std::string program_folder = ProgramFolder();
    RegisterTaskDirs(program_folder, *this);
    RegisterTaskDirs(program_folder + "\\Tasks", *this);
  }
}

void TTasks::CreateMissingCatalog() {
  try {
    CreateCatalogFile(table_->TableName());
  } catch (...) {
    // A catalog cut short while it was made (a full disk) would fail every later run with
    // an invalid header until removed by hand. Nothing was there before, so what is there
    // now is only our own partial file.
    platform::RemoveFile(table_->TableName());
    throw;
  }
}

void TTasks::Rebuild() {
  const std::string temporary = platform::TempPath() + kCatalogFileName;
  // The copy is only a step of the rebuild: it goes once the catalog has been copied back,
  // or when the rebuild fails, so no copy of the host's catalog stays behind.
  struct RemoveCopy {
    const std::string& name;
    ~RemoveCopy() { platform::RemoveFile(name); }
  } remove_copy{temporary};
  CreateCatalogFile(temporary);
  {
    TfnDBFTable fresh(temporary, false, false);
    {
      ScopeFail close_fresh([&] { fresh.SetActive(false); });
      table_->First();
      while (!table_->Eof()) {
        fresh.Append();
        // A field the old catalog lacks fails here (by-name access to index -1); only a
        // catalog whose one missing field is Version can be rebuilt.
        for (const char* name : kRebuildFields)
          fresh.SetAsString(fresh.FieldIndex(name), table_->GetAsStringByName(name));
        fresh.Post();
        table_->Next();
      }
    }
    fresh.SetActive(false);
  }
  table_->SetActive(false);
  // A failed copy is not detected: the old catalog is then read as it is.
  platform::CopyFileTo(temporary, table_->TableName(), false);
}

void TTasks::ReadAll() {
  TfnDBFTable& t = *table_;
  t.SetActive(true);
  {
    ScopeFail close_table([&] { t.SetActive(false); });
    const bool has_version = t.FieldIndex("Version") != -1;
    const bool has_password = t.FieldIndex("Password") != -1;
    t.First();
    while (!t.Eof()) {
      TaskInfoType info;
      info.Name = t.GetStringByName("Name");
      info.Flag = dbf::UpperCaseAscii(t.GetStringByName("Flag"));
      info.FileFlag = dbf::UpperCaseAscii(t.GetStringByName("FileFlag"));
      info.Dir = t.GetStringByName("Dir");
      info.Year = t.GetStringByName("Year");
      // A blank Period gets the signature file's default, N.
      const std::string period = t.GetStringByName("Period");
      info.Period = period.empty() ? 'N' : UpperAsciiChar(period[0]);
      info.Time = t.GetIntegerByName("Time");
      info.Group = t.GetStringByName("Group");
      if (has_version) info.Version = t.GetStringByName("Version");
      if (has_password) info.Password = t.GetStringByName("Password");
      tasks_.push_back(std::make_unique<TTask>(info));
      t.Next();
    }
  }
  t.SetActive(false);
}

TTask* TTasks::FindByFlag(const std::string& flag) {
  const std::string key = flag.substr(0, decltype(TaskInfoType::Flag)::kWidth);
  for (const auto& task : tasks_) {
    if (dbf::SameTextAscii(task->Flag(), key)) return task.get();
  }
  return nullptr;
}

bool TTasks::AddTask(const TaskInfoType& info) {
  if (info.Flag.empty() || FindByFlag(info.Flag) != nullptr || !platform::FolderExists(info.Dir))
    return false;
  if (!table_->ReadOnly()) {
    TfnDBFTable& t = *table_;
    // Opened for writing, a missing table file would be created empty by the file object
    // and then fail on its header, leaving an empty catalog that no later run can read.
    // It is missing when Load could not make it; it is made here the same way.
    if (!t.Active() && !t.TableName().empty() && !IsFile(t.TableName())) CreateMissingCatalog();
    t.SetActive(true);
    {
      ScopeFail close_table([&] { t.SetActive(false); });
      t.Append();
      t.SetStringByName("Name", info.Name);
      t.SetStringByName("Flag", info.Flag);
      t.SetStringByName("FileFlag", info.FileFlag);
      t.SetStringByName("Dir", info.Dir);
      t.SetStringByName("Year", info.Year);
      t.SetStringByName("Period", std::string(1, info.Period));
      t.SetIntegerByName("Time", info.Time);
      t.SetStringByName("Group", info.Group);
      t.SetStringByName("Password", info.Password);
      t.SetStringByName("Version", info.Version);
      t.Post();
    }
    t.SetActive(false);
  }
  tasks_.push_back(std::make_unique<TTask>(info));
  return true;
}

}  // namespace orb
