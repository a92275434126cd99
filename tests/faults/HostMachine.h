// The machine the installer's fault tests run on, as an operator's would be set up: the
// registry naming the host's folder and the task path, and the folders for the host, the
// tasks and the temporary files (the last one this process's temporary folder).
#pragma once

#include <string>

#include "dbf/DBFTable.h"
#include "faults/FaultEnv.h"
#include "installer/InstallerTestEnv.h"
#include "installer/OperatorTexts.h"
#include "platform/registry.h"
#include "task/Task.h"

namespace orb::test {

struct HostMachine {
  TestMachine machine;
  std::string host = machine.MakeDir("Zentab 2004");
  std::string tasks = machine.MakeDir("Tasks");
  std::string temp = machine.MakeDir("Temp");
  ScopedTempFolder temp_folder{temp};
  std::string host_exe = host + "\\Zentab04.exe";
  std::string catalog = host + "\\CONFIG.TSK";
  std::string task_dir = tasks + "\\" + installer::kTaskFolderName;

  HostMachine() {
    TestMachine::SetString(platform::RootKey::LocalMachine, "Software\\Kestrovan\\Zentab2004",
                           "RootDir", host);
    TestMachine::SetString(platform::RootKey::CurrentUser,
                           "Software\\Kestrovan\\Zentab2004\\Options", "DefaultTaskPath", tasks);
  }
};

// Two other tasks, written through the table library as the host would have.
inline void SeedCatalog(const std::string& file) {
  CreateCatalogFile(file);
  TfnDBFTable t(file, false, true);
  const struct {
    const char* name;
    const char* flag;
    const char* dir;
  } rows[] = {{"2003年度报表", "ZT2003", "C:\\Old Tasks\\2003年度报表.tsk"},
              {"Monthly", "MONTH1", "D:\\Reports\\Monthly.tsk"}};
  for (const auto& r : rows) {
    t.Append();
    t.SetStringByName("Name", r.name);
    t.SetStringByName("Flag", r.flag);
    t.SetStringByName("Dir", r.dir);
    t.SetStringByName("Year", "2003");
    t.SetStringByName("Period", "N");
    t.SetIntegerByName("Time", 0);
    t.Post();
  }
  t.SetActive(false);
}

}  // namespace orb::test
