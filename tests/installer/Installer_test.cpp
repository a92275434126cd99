// The installer flow with the engine and the catalog replaced: registry and dialog
// lookups, the host check, the temporary archive, the catalog steps, the version decision
// and every message in order.
#include "installer/Installer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "installer/Common.h"
#include "installer/InstallerTestEnv.h"
#include "installer/SysUtils.h"
#include "platform/fs.h"
#include "platform/resources.h"
#include "support/FakeUserInterface.h"
#include "tools/mkhost/HostImage.h"

namespace orb::installer {
namespace {

using test::TestMachine;

const char kRootKey04[] = "Software\\Kestrovan\\Zentab2004";
const char kRootKeyE[] = "Software\\Kestrovan\\ZentabE";
const char kTaskKey04[] = "Software\\Kestrovan\\Zentab2004\\Options";
const char kTaskKeyE[] = "Software\\Kestrovan\\ZentabE\\Options";
const std::string kTaskFolder = "2004年度企业QMVT考核任务.tsk";

// What the flow asked of its two seams, in order.
struct Journal {
  std::vector<std::string> calls;
  std::string archive_bytes;  // the temporary archive as the extraction saw it
  std::string archive_name;
};

class FakeExtraction : public Extraction {
 public:
  FakeExtraction(Journal& j, TExtractionOutcome outcome, bool raise)
      : j_(j), outcome_(std::move(outcome)), raise_(raise) {}
  // The flow extracts into a folder of its own in the task path and moves the result into
  // place: the journal names the task path, and a successful extraction leaves the (empty)
  // task folder where the flow looks for it.
  TExtractionOutcome Extract(const std::string& archive, const std::string& dir,
                             const std::string& top_folder) override {
    const std::string staging = "QMVT04Setup.undo\\new";
    EXPECT_GE(dir.size(), staging.size());
    EXPECT_EQ(staging, dir.substr(dir.size() - std::min(dir.size(), staging.size())));
    j_.calls.push_back("extract " + dir.substr(0, dir.size() - std::min(dir.size(), staging.size())));
    j_.archive_name = archive;
    j_.archive_bytes = TestMachine::ReadFile(archive);
    if (raise_) throw Exception("Archive is corrupt");
    if (outcome_.Succeeded()) platform::CreateDir(dir + "\\" + top_folder);
    return outcome_;
  }

 private:
  Journal& j_;
  TExtractionOutcome outcome_;
  bool raise_;
};

class FakeCatalog : public Catalog {
 public:
  FakeCatalog(Journal& j, std::optional<std::string> registered) : j_(j), registered_(registered) {}
  ~FakeCatalog() override { j_.calls.push_back("free catalog"); }
  void Load(const std::string& root) override { j_.calls.push_back("load " + root); }
  std::optional<std::string> FindDirByFlag(const std::string& flag) override {
    j_.calls.push_back("find " + flag);
    return registered_;
  }
  void RegisterTaskDir(const std::string& dir) override { j_.calls.push_back("register " + dir); }

 private:
  Journal& j_;
  std::optional<std::string> registered_;
};

class InstallerTest : public ::testing::Test {
 protected:
  TestMachine machine;
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface ui_scope{ui};
  Journal journal;
  TExtractionOutcome outcome;
  bool extraction_raises = false;
  std::optional<std::string> registered_dir;
  std::string host = machine.MakeDir("Zentab 2004");
  std::string tasks = machine.MakeDir("任务");

  TInstallerServices Services() {
    return {[this] { return std::make_unique<FakeExtraction>(journal, outcome, extraction_raises); },
            [this] { return std::make_unique<FakeCatalog>(journal, registered_dir); }};
  }
  void PutHost(const std::string& name, std::array<std::uint16_t, 4> version,
               mkhost::TSites sites = mkhost::TSites::stUnpatched) {
    mkhost::THostSpec host_spec;
    host_spec.version = version;
    host_spec.sites = sites;
    machine.WriteFile(host + "\\" + name, mkhost::BuildHostImage(host_spec));
  }
  void Seed() {
    TestMachine::SetString(platform::RootKey::LocalMachine, kRootKey04, "RootDir", host);
    TestMachine::SetString(platform::RootKey::CurrentUser, kTaskKey04, "DefaultTaskPath", tasks);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& b : ui.boxes()) t.push_back(b.text);
    return t;
  }
};

TEST_F(InstallerTest, CompleteRunExtractsRegistersAndReportsFinished) {
  TestMachine::SetString(platform::RootKey::LocalMachine, kRootKey04, "RootDir", host + "\\");
  TestMachine::SetString(platform::RootKey::CurrentUser, kTaskKey04, "DefaultTaskPath", tasks);
  PutHost("Zentab04.exe", {2, 9, 0, 0});
  EXPECT_EQ(0, RunInstaller(Services()));

  const std::string task_dir = tasks + "\\" + kTaskFolder;
  EXPECT_EQ((std::vector<std::string>{"extract " + tasks + "\\", "load " + host, "find QMVT04",
                                      "register " + task_dir, "free catalog"}),
            journal.calls);
  std::string_view package;
  ASSERT_TRUE(platform::FindOwnRcData("TASK_ZIP", package));
  EXPECT_TRUE(journal.archive_bytes == package) << "the archive is written unchanged";
  EXPECT_EQ(platform::TempPath(), journal.archive_name.substr(0, platform::TempPath().size()));
  EXPECT_EQ(".TMP", journal.archive_name.substr(journal.archive_name.size() - 4));
  EXPECT_FALSE(TestMachine::Exists(journal.archive_name)) << "the temporary archive is deleted";
  ASSERT_EQ(1u, ui.boxes().size());
  EXPECT_EQ(kMsgFinished, ui.boxes()[0].text);
  EXPECT_EQ(kCaption, ui.boxes()[0].caption);
  EXPECT_EQ(0x40u, ui.boxes()[0].flags);
  EXPECT_TRUE(ui.browse_requests().empty());
}

TEST_F(InstallerTest, RegistryLocationsAreTriedInOrderThenTheDefaults) {
  const std::string other_host = machine.MakeDir("E host");
  machine.WriteFile(other_host + "\\ZentabE.exe", mkhost::BuildHostImage({}));
  const std::string other_tasks = machine.MakeDir("E tasks");
  struct Case {
    const char* name;
    std::string root04, rootE, task04, taskE;
    std::string expected_root, expected_tasks;
  } const cases[] = {
      {"first keys win", host, other_host, tasks, other_tasks, host, tasks + "\\"},
      {"missing folders fall through", machine.Scratch() + "gone", other_host,
       machine.Scratch() + "gone", other_tasks, other_host, other_tasks + "\\"},
      {"empty values fall through", "", other_host, "", other_tasks, other_host,
       other_tasks + "\\"},
      {"no task path: the fixed default", host, "", "", machine.Scratch() + "gone", host,
       "C:\\ZenTasks2004\\"},
  };
  PutHost("Zentab04.exe", {2, 9, 0, 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::RegDeleteTree(platform::RootKey::LocalMachine, "Software\\Kestrovan");
    platform::RegDeleteTree(platform::RootKey::CurrentUser, "Software\\Kestrovan");
    auto seed = [](platform::RootKey root, const char* key, const char* name,
                   const std::string& value) {
      if (!value.empty()) TestMachine::SetString(root, key, name, value);
    };
    seed(platform::RootKey::LocalMachine, kRootKey04, "RootDir", c.root04);
    seed(platform::RootKey::LocalMachine, kRootKeyE, "RootDir", c.rootE);
    seed(platform::RootKey::CurrentUser, kTaskKey04, "DefaultTaskPath", c.task04);
    seed(platform::RootKey::CurrentUser, kTaskKeyE, "DefaultTaskPath", c.taskE);
    journal.calls.clear();
    EXPECT_EQ(0, RunInstaller(Services()));
    ASSERT_GE(journal.calls.size(), 2u);
    EXPECT_EQ("extract " + c.expected_tasks, journal.calls[0]);
    EXPECT_EQ("load " + c.expected_root, journal.calls[1]);
    EXPECT_TRUE(ui.browse_requests().empty());
  }
}

TEST_F(InstallerTest, WithoutRegistryTheOperatorIsAskedAndMayCancel) {
  ui.QueueBrowseCancel();
  EXPECT_EQ(0, RunInstaller(Services()));
  ASSERT_EQ(1u, ui.browse_requests().size());
  EXPECT_EQ(kDialogTitle, ui.browse_requests()[0].title);
  EXPECT_EQ("", ui.browse_requests()[0].initial_folder);
  EXPECT_EQ("", ui.browse_requests()[0].root);
  EXPECT_FALSE(ui.browse_requests()[0].new_style);
  EXPECT_TRUE(ui.browse_requests()[0].dont_go_below_domain) << "network folders are refused";
  EXPECT_TRUE(ui.boxes().empty());
  EXPECT_TRUE(journal.calls.empty());
}

TEST_F(InstallerTest, FolderChosenInTheDialogIsUsedWithoutTrailingBackslash) {
  PutHost("ZentabE.exe", {2, 9, 0, 0});
  ui.QueueFolder(host + "\\");
  EXPECT_EQ(0, RunInstaller(Services()));
  ASSERT_GE(journal.calls.size(), 2u);
  EXPECT_EQ("load " + host, journal.calls[1]);
  EXPECT_EQ((std::vector<std::string>{kMsgFinished}), Texts());
}

TEST_F(InstallerTest, DriveRootChosenInTheDialogLosesItsBackslash) {
  // The host executable is then looked for as C:\Zentab04.exe.
  const std::string exe = "C:\\Zentab04.exe";
  if (TestMachine::Exists(exe)) GTEST_SKIP() << "the machine's C:\\ already holds a host";
  ui.QueueFolder("C:\\");
  EXPECT_EQ(0, RunInstaller(Services()));
  EXPECT_EQ((std::vector<std::string>{kMsgNoHost}), Texts());
  mkhost::THostSpec host_spec;
  host_spec.version = {2, 9, 0, 0};
  machine.WriteFile(exe, mkhost::BuildHostImage(host_spec));
  ui.ClearBoxes();
  ui.QueueFolder("C:\\");
  EXPECT_EQ(0, RunInstaller(Services()));
  platform::RemoveFile(exe);
  ASSERT_GE(journal.calls.size(), 2u);
  EXPECT_EQ("load C:", journal.calls[1]);
  EXPECT_EQ((std::vector<std::string>{kMsgFinished}), Texts());
}

TEST_F(InstallerTest, RegistryFolderWithoutHostGivesTheNoHostWarningAndNoDialog) {
  Seed();
  EXPECT_EQ(0, RunInstaller(Services()));
  ASSERT_EQ(1u, ui.boxes().size());
  EXPECT_EQ(kMsgNoHost, ui.boxes()[0].text);
  EXPECT_EQ(kCaption, ui.boxes()[0].caption);
  EXPECT_EQ(0x30u, ui.boxes()[0].flags);
  EXPECT_TRUE(ui.browse_requests().empty());
  EXPECT_TRUE(journal.calls.empty());
}

TEST_F(InstallerTest, HostVersionDecidesTheOutcome) {
  Seed();
  struct Case {
    const char* name;
    std::array<std::uint16_t, 4> version;
    const char* message;
  } const cases[] = {
      {"2.8.20412.1 itself", {2, 8, 20412, 1}, kMsgWrongVersion},
      {"2.8.20412.2", {2, 8, 20412, 2}, kMsgFinished},
      {"2.9.0.0", {2, 9, 0, 0}, kMsgFinished},
      {"release above 32767", {2, 8, 40101, 0}, kMsgFinished},
      {"3.0.0.0", {3, 0, 0, 0}, kMsgFinished},
      {"between the two builds", {2, 8, 11105, 4}, kMsgWrongVersion},
      {"older", {2, 7, 65535, 65535}, kMsgWrongVersion},
      {"0.0.0.0", {0, 0, 0, 0}, kMsgWrongVersion},
      {"the build that gets the patch", {2, 8, 11105, 3}, kMsgFinished},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.ClearBoxes();
    PutHost("Zentab04.exe", c.version);
    EXPECT_EQ(0, RunInstaller(Services()));
    EXPECT_EQ((std::vector<std::string>{c.message}), Texts());
    EXPECT_EQ(0x40u, ui.boxes().at(0).flags);
  }
  // The patched build's executable was patched on the last row.
  const std::string bytes = TestMachine::ReadFile(host + "\\Zentab04.exe");
  EXPECT_EQ('\x7C', bytes.at(0x0023A592));
  EXPECT_EQ('\x7C', bytes.at(0x0023B8A0));
}

TEST_F(InstallerTest, Zentab04DecidesWhenBothHostsArePresentAndUnreadableMeansWrongVersion) {
  Seed();
  PutHost("ZentabE.exe", {2, 9, 0, 0});
  machine.WriteFile(host + "\\Zentab04.exe", "not an executable");
  EXPECT_EQ(0, RunInstaller(Services()));
  EXPECT_EQ((std::vector<std::string>{kMsgWrongVersion}), Texts());
}

TEST_F(InstallerTest, OnlyZentabEOfThePatchedBuildGetsWrongVersionAndNoEmptyZentab04) {
  Seed();
  PutHost("ZentabE.exe", {2, 8, 11105, 3});
  EXPECT_EQ(0, RunInstaller(Services()));
  EXPECT_EQ((std::vector<std::string>{kMsgWrongVersion}), Texts());
  EXPECT_FALSE(TestMachine::Exists(host + "\\Zentab04.exe"));
}

TEST_F(InstallerTest, FlagRegisteredForAnotherFolderIsReportedBeforeTheOutcome) {
  Seed();
  PutHost("Zentab04.exe", {2, 9, 0, 0});
  const std::string task_dir = tasks + "\\" + kTaskFolder;
  struct Case {
    const char* name;
    std::optional<std::string> registered;
    bool reported;
  } const cases[] = {
      {"not registered", std::nullopt, false},
      {"same folder", task_dir, false},
      {"differs only in letter case", tasks + "\\2004年度企业QMVT考核任务.TSK", true},
      {"another folder", std::string("D:\\old\\x.tsk"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui.ClearBoxes();
    journal.calls.clear();
    registered_dir = c.registered;
    EXPECT_EQ(0, RunInstaller(Services()));
    std::vector<std::string> expected;
    if (c.reported) expected.push_back(std::string(kMsgFlagExists) + task_dir);
    expected.push_back(kMsgFinished);
    EXPECT_EQ(expected, Texts());
    for (const auto& b : ui.boxes()) EXPECT_EQ(0x40u, b.flags);
    EXPECT_NE(std::find(journal.calls.begin(), journal.calls.end(), "register " + task_dir),
              journal.calls.end())
        << "registration is attempted either way; the catalog keeps an existing one";
  }
}

TEST_F(InstallerTest, FailedEntriesStopTheRunBeforeCatalogAndPatch) {
  Seed();
  PutHost("Zentab04.exe", {2, 8, 11105, 3});
  const std::string before = TestMachine::ReadFile(host + "\\Zentab04.exe");
  outcome.failures = {{"2004年度企业QMVT考核任务.TSK/PARA/HZFMDY.PRN", "File fails CRC check"}};
  EXPECT_EQ(1, RunInstaller(Services()));
  EXPECT_EQ(1u, journal.calls.size()) << "no catalog";
  ASSERT_EQ(1u, ui.boxes().size());
  EXPECT_EQ(kCaption, ui.boxes()[0].caption);
  EXPECT_EQ(0x30u, ui.boxes()[0].flags);
  EXPECT_NE(std::string::npos, ui.boxes()[0].text.find(kMsgExtractFailed));
  EXPECT_NE(std::string::npos, ui.boxes()[0].text.find("PARA/HZFMDY.PRN"));
  EXPECT_NE(std::string::npos, ui.boxes()[0].text.find("File fails CRC check"));
  EXPECT_FALSE(TestMachine::Exists(journal.archive_name));
  EXPECT_TRUE(before == TestMachine::ReadFile(host + "\\Zentab04.exe"));
}

TEST_F(InstallerTest, ExtractionErrorReachesTheProcessHandlerAfterTheTempFileIsGone) {
  Seed();
  PutHost("Zentab04.exe", {2, 9, 0, 0});
  extraction_raises = true;
  EXPECT_THROW(RunInstaller(Services()), Exception);
  EXPECT_FALSE(TestMachine::Exists(journal.archive_name));
  EXPECT_EQ(1, RunMain(Services()));
  EXPECT_EQ("Kestrovan通用数据管理平台", HostAppTitle()) << "host settings are read at start-up";
  EXPECT_EQ(2u, journal.calls.size()) << "the second run also stops after extraction";
  ASSERT_EQ(1u, ui.boxes().size());
  EXPECT_EQ(std::string("Archive is corrupt\r\n\r\n") + kMsgUndone, ui.boxes()[0].text);
  EXPECT_EQ(kCaption, ui.boxes()[0].caption);
  EXPECT_EQ(0x30u, ui.boxes()[0].flags);
}

}  // namespace
}  // namespace orb::installer
