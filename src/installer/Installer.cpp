// The installer flow: find the host, extract the package, register the task, test the
// host's version (patching the one build that needs it) and tell the operator.
#include "installer/Installer.h"

#include <string_view>
#include <vector>

#include "_OrbLib/OrbExcept.h"
#include "_OrbLib/OrbWin.h"
#include "dbf/DateExt.h"
#include "installer/Common.h"
#include "installer/HostPatch.h"
#include "installer/SysUtils.h"
#include "installer/Transaction.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/paths.h"
#include "platform/resources.h"
#include "platform/types.h"
#include "platform/ui.h"
#include "task/Task.h"

namespace orb::installer {

namespace {

const char kHostRootKey04[] = "Software\\Kestrovan\\Zentab2004";
const char kHostRootKeyE[] = "Software\\Kestrovan\\ZentabE";
const char kTaskPathKey04[] = "Software\\Kestrovan\\Zentab2004\\Options";
const char kTaskPathKeyE[] = "Software\\Kestrovan\\ZentabE\\Options";
const char kHostExe04[] = "\\Zentab04.exe";
const char kHostExeE[] = "\\ZentabE.exe";

void Show(const std::string& text, std::uint32_t icon) {
  platform::CurrentUserInterface().ShowMessageBox(text, kCaption, platform::kMbOk | icon);
}

// The first of the registry locations that names an existing folder; empty when none does.
std::string ReadFolderSetting(platform::RootKey root, const char* key1, const char* key2,
                              const char* name) {
  std::string value;
  ReadRegStringOrEmpty(root, key1, name, value);
  if (value.empty() || !platform::FolderExists(value)) ReadRegStringOrEmpty(root, key2, name, value);
  if (value.empty() || !platform::FolderExists(value)) value.clear();
  return value;
}

// Deletes the temporary archive when the extraction step ends, however it ends.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string name) : name_(std::move(name)) {}
  ~TempFileGuard() { platform::RemoveFile(name_); }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;

 private:
  std::string name_;
};

// Writes the package, unchanged and complete, to `name` (created or replaced).
void WriteTempArchive(const std::string& name, std::string_view data) {
  platform::FileHandle h = platform::kNoFile;
  std::uint32_t rc = platform::FileOpen(name, platform::kGenericWrite, 0,
                                        platform::kCreateAlways,
                                        platform::kFileAttributeNormal, h);
  platform::ScopedFile file(h);
  std::uint32_t done = 0;
  if (rc == 0) {
    rc = platform::FileWrite(h, data.data(), static_cast<std::uint32_t>(data.size()), done);
  }
  if (rc == 0 && done != data.size()) rc = platform::kErrorDiskFull;
  if (rc == 0) rc = platform::FileClose(file.release());
  if (rc != 0) {
    throw Exception("写临时文件 " + name + " 失败，错误号：" + std::to_string(rc));
  }
}

// `head` and the names below it, one a line.
std::string WithList(const std::string& head, const std::vector<std::string>& names) {
  std::string text = head;
  for (const std::string& name : names) text += "\r\n" + name;
  return text;
}

std::string DescribeFailures(const TExtractionOutcome& outcome) {
  std::string text = kMsgExtractFailed;
  for (const auto& failure : outcome.failures) {
    text += "\r\n" + failure.entry;
    if (!failure.entry.empty() && !failure.message.empty()) text += "：";
    text += failure.message;
  }
  return text;
}

}  // namespace

int RunInstaller(const TInstallerServices& services) {
  // The host folder: from the registry, else from the operator (cancel ends the run).
  std::string root_dir = ReadFolderSetting(platform::RootKey::LocalMachine, kHostRootKey04,
                                           kHostRootKeyE, "RootDir");
  if (root_dir.empty()) {
    if (!SelectFolder(0, root_dir, kDialogTitle, false, false, u"")) return 0;
  }
  root_dir = StripBackslash(root_dir);

  // A registry folder without a host executable is final; no dialog is offered.
  const std::string host_exe04 = root_dir + kHostExe04;
  const std::string host_exeE = root_dir + kHostExeE;
  if (!IsFile(host_exe04) && !IsFile(host_exeE)) {
    Show(kMsgNoHost, platform::kMbIconWarning);
    return 0;
  }

  // The package the program carries; without one there is nothing to install.
  std::string_view package;
  const bool have_package = services.find_package
                                ? services.find_package(package)
                                : platform::FindOwnRcData(kTaskZipResource, package);
  if (!have_package) return 0;

  // The task path, always with a trailing backslash.
  std::string task_path = ReadFolderSetting(platform::RootKey::CurrentUser, kTaskPathKey04,
                                            kTaskPathKeyE, "DefaultTaskPath");
  if (task_path.empty()) task_path = kDefaultTaskPath;
  AppendBackslash(task_path);
  const std::string task_dir = task_path + kTaskFolderName;

  // What an earlier run left when it was cut short is taken back (or, had it finished,
  // cleared away) before anything else is changed.
  if (std::vector<std::string> left = InstallTransaction::Recover(task_path); !left.empty()) {
    Show(WithList(kMsgEarlierRunNotRestored, left), platform::kMbIconWarning);
    return 1;
  }

  // From here to the commit the run is all or nothing: a failure box, an exception, a kill
  // leave the task path, the catalog and the temporary folder as they were.
  InstallTransaction transaction(task_path);
  auto undone = [&transaction](const std::string& text) {
    const std::vector<std::string> left = transaction.Undo();
    return text + "\r\n\r\n" + (left.empty() ? std::string(kMsgUndone) : WithList(kMsgNotRestored, left));
  };
  try {
    transaction.Begin();
    // Extraction through a temporary copy of the package (the engine reads files, not
    // memory), deleted however the extraction ends. The legacy passed ".zip" as the folder
    // argument; no such folder is meant, so the system temporary folder is used. The
    // package goes to the run's own folder first, and into the task path only when all of
    // it is there.
    const std::string temp_file = NewTempFileName("", "");
    transaction.NoteTempFile(temp_file);
    TExtractionOutcome outcome;
    {
      TempFileGuard guard(temp_file);
      WriteTempArchive(temp_file, package);
      std::unique_ptr<Extraction> extraction = services.make_extraction();
      outcome = extraction->Extract(temp_file, transaction.StagingDir(), kTaskFolderName);
    }
    if (outcome.Succeeded()) outcome = transaction.PutInPlace(kTaskFolderName);
    // An entry that failed means an incomplete task: nothing is registered or patched.
    if (!outcome.Succeeded()) {
      Show(undone(DescribeFailures(outcome)), platform::kMbIconWarning);
      return 1;
    }

    // The catalog. A registration of the flag for another folder is left as it is; the
    // operator is told where the new copy went.
    transaction.SaveCatalog(platform::PathJoin(root_dir, kCatalogFileName));
    {
      std::unique_ptr<Catalog> catalog = services.make_catalog();
      catalog->Load(root_dir);
      if (std::optional<std::string> dir = catalog->FindDirByFlag(kTaskFlag);
          dir && *dir != task_dir) {
        Show(kMsgFlagExists + task_dir, platform::kMbIconInformation);
      }
      catalog->RegisterTaskDir(task_dir);
    }
    // The point of no return: the task is in place and registered. The host patch below
    // comes after it; its outcome (in use, wrong version) takes nothing back.
    transaction.Commit();
  } catch (const std::exception& e) {
    throw Exception(undone(e.what()));
  }

  // The host's version; Zentab04.exe decides when both executables are present. An
  // unreadable version stays 0.0.0.0 and gets the wrong-version message.
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
  if (IsFile(host_exe04)) {
    GetFileVersionNumbers(host_exe04, ms, ls);
  } else if (IsFile(host_exeE)) {
    GetFileVersionNumbers(host_exeE, ms, ls);
  }

  // Newer than the fixed build: done. The one old build: patched first. Any other: the
  // operator is told to update the host.
  if (ms > kFixedBuildMS || (ms == kFixedBuildMS && ls > kFixedBuildLS)) {
    Show(kMsgFinished, platform::kMbIconInformation);
  } else if (ms == kPatchedBuildMS && ls == kPatchedBuildLS) {
    PatchHost(root_dir);  // shows its own message, whatever the outcome
  } else {
    Show(kMsgWrongVersion, platform::kMbIconInformation);
  }
  return 0;
}

int RunMain(const TInstallerServices& services) {
  try {
    InitHostSettings();
    AdjustCenturyWindow();
    return RunInstaller(services);
  } catch (const std::exception& e) {
    Show(e.what(), platform::kMbIconWarning);
    return 1;
  }
}

}  // namespace orb::installer
