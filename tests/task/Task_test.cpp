// Signature files, task records and the CONFIG.TSK catalog, with a host folder, task
// folders and the program's folder in a scratch folder.
#include "task/Task.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "_OrbLib/OrbWin.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/ui.h"
#include "support/FakeUserInterface.h"
#include "support/ScratchDir.h"

namespace {

using orb::TaskInfoType;
using orb::TfnDBFTable;
using orb::TTask;
using orb::TTasks;

const char* const kErrorCaption = "警告";
const char* const kErrorText = "任务配置文件出现错误！\r\n";

std::string Sign(const std::string& body) { return "[General]\r\n" + body; }

const std::string kGoodSign = Sign(
    "Name=2004年度企业QMVT考核任务\r\nFlag=QMVT04\r\nFileFlag=QMVT\r\nYear=2004\r\n"
    "Period=N\r\nTime=0\r\nGroup=\r\nVersion=20040602153000\r\nPassword=\r\n");

class TaskTest : public ::testing::Test {
 protected:
  TaskTest() : ui_guard_(ui_) {
    host_ = dir_.Join("Host");
    program_ = dir_.Join("Program");
    platform::CreateDir(host_);
    platform::CreateDir(program_);
    tasks_.SetProgramFolder(program_);
    orb::CurrentTasks = &tasks_;
  }
  ~TaskTest() override { orb::CurrentTasks = nullptr; }

  // A task folder with the given signature file (none when `sign` is empty).
  std::string TaskFolder(const std::string& path, const std::string& sign) {
    EXPECT_EQ(platform::CreateDir(path), 0u) << path;
    if (!sign.empty()) {
      EXPECT_EQ(orbtest::WriteWholeFile(path + "\\TASKSIGN.TSK", sign), 0u);
    }
    return path;
  }
  std::string Catalog() const { return host_ + "\\CONFIG.TSK"; }

  std::vector<std::string> CatalogColumn(const std::string& field) {
    TfnDBFTable table(Catalog(), true, false);
    std::vector<std::string> values;
    for (table.First(); !table.Eof(); table.Next()) values.push_back(table.GetStringByName(field));
    return values;
  }

  orbtest::ScratchDir dir_;
  orbtest::FakeUserInterface ui_;
  orbtest::ScopedUserInterface ui_guard_;
  std::string host_;
  std::string program_;
  TTasks tasks_;
};

TEST_F(TaskTest, SignatureFileAcceptance) {
  ASSERT_TRUE(dir_.ok());
  struct Case {
    const char* what;
    std::string sign;
    bool valid;
  } cases[] = {
      {"complete", kGoodSign, true},
      {"no signature file", "", false},
      {"MajorVer set", Sign("Flag=F\r\nName=N\r\nYear=2004\r\nMajorVer=1\r\n"), false},
      {"MinorVer set", Sign("Flag=F\r\nName=N\r\nYear=2004\r\nMinorVer=0\r\n"), false},
      {"MajorVer empty", Sign("Flag=F\r\nName=N\r\nYear=2004\r\nMajorVer=\r\n"), true},
      {"year 1899", Sign("Flag=F\r\nName=N\r\nYear=1899\r\n"), false},
      {"year 1900", Sign("Flag=F\r\nName=N\r\nYear=1900\r\n"), true},
      {"year 999 compares as text", Sign("Flag=F\r\nName=N\r\nYear=999\r\n"), true},
      {"no year", Sign("Flag=F\r\nName=N\r\n"), false},
      {"no flag", Sign("Name=N\r\nYear=2004\r\n"), false},
      {"no name", Sign("Flag=F\r\nYear=2004\r\n"), false},
      {"keys in another case", "[general]\r\nFLAG=F\r\nname=N\r\nyear=2004\r\n", true},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string name = std::to_string(i++);  // appended: GCC 12 warns falsely on "T" + string
    name.insert(0, 1, 'T');
    name += ".TSK";
    const std::string folder = TaskFolder(dir_.Join(name), c.sign);
    EXPECT_EQ(orb::IsValidTaskSign(folder), c.valid);
  }
}

TEST_F(TaskTest, MissingCatalogIsCreatedAndProgramTasksRegistered) {
  ASSERT_TRUE(dir_.ok());
  TaskFolder(program_ + "\\A.TSK", Sign("Flag=aaa\r\nName=A\r\nYear=2004\r\n"));
  TaskFolder(program_ + "\\b.tsk", Sign("Flag=BBB\r\nName=B\r\nYear=2004\r\n"));
  TaskFolder(program_ + "\\Bad.TSK", Sign("Flag=BAD\r\nName=B\r\nYear=2004\r\nMajorVer=2\r\n"));
  TaskFolder(program_ + "\\NotATask", Sign("Flag=NOT\r\nName=N\r\nYear=2004\r\n"));
  platform::CreateDir(program_ + "\\Tasks");
  TaskFolder(program_ + "\\Tasks\\C.Tsk", Sign("Flag=CCC\r\nName=C\r\nYear=2004\r\n"));

  tasks_.Load(host_);
  EXPECT_TRUE(ui_.boxes().empty());
  std::vector<std::string> flags;
  for (int i = 0; i < tasks_.Count(); ++i) flags.push_back(tasks_.Items(i).Flag());
  std::sort(flags.begin(), flags.end());
  EXPECT_EQ(flags, (std::vector<std::string>{"BBB", "CCC", "aaa"}));

  {
    TfnDBFTable table(Catalog(), true, false);
    EXPECT_EQ(table.FieldCount(), 12u);
    EXPECT_EQ(table.HeaderSize(), 680);
    EXPECT_EQ(table.RecordSize(), 775);
    EXPECT_EQ(table.RecordCount(), 3u);
  }
  const std::vector<std::string> dirs = CatalogColumn("Dir");
  EXPECT_NE(std::find(dirs.begin(), dirs.end(), program_ + "\\Tasks\\C.Tsk"), dirs.end());

  // An existing catalog is only read: the program's folder is not scanned again.
  TaskFolder(program_ + "\\D.TSK", Sign("Flag=DDD\r\nName=D\r\nYear=2004\r\n"));
  TTasks again;
  again.SetProgramFolder(program_);
  again.Load(host_);
  EXPECT_EQ(again.Count(), 3);
  EXPECT_EQ(again.FindByFlag("DDD"), nullptr);
  EXPECT_NE(again.FindByFlag("AAA"), nullptr);  // read back upper-cased
  EXPECT_EQ(again.FindByFlag("AAA")->Flag(), "AAA");
}

TEST_F(TaskTest, RegisteredTaskCarriesTheSignatureValues) {
  ASSERT_TRUE(dir_.ok());
  tasks_.Load(host_);
  const std::string long_name(120, 'n');
  // The path is stored as given, letter case included.
  const std::string folder = TaskFolder(dir_.Join("Tasks2004.tsk"), Sign(
      "Name=" + long_name + "\r\nFlag=qmvt04\r\nFileFlag=qmvt\r\nYear=2004\r\nPeriod=\r\n"
      "Time=0x10\r\nGroup=组\r\nVersion=20040602153000XYZ\r\nPassword=" +
      std::string(70, 'p') + "\r\n"));
  orb::RegisterTaskDir(folder);

  ASSERT_EQ(tasks_.Count(), 1);
  const TTask& t = tasks_.Items(0);
  EXPECT_EQ(t.Name(), std::string(100, 'n'));
  EXPECT_EQ(t.Flag(), "qmvt04");  // the case of the file, until the catalog is read again
  EXPECT_EQ(t.FileFlag(), "qmvt");
  EXPECT_EQ(t.Dir(), folder);
  EXPECT_EQ(t.Year(), "2004");
  EXPECT_EQ(t.Period(), 'N');
  EXPECT_EQ(t.Time(), 16);
  EXPECT_EQ(t.Group(), "组");
  EXPECT_EQ(t.Version(), "20040602153000");
  EXPECT_EQ(t.Password(), std::string(70, 'p'));

  EXPECT_EQ(CatalogColumn("Flag"), std::vector<std::string>{"qmvt04"});
  EXPECT_EQ(CatalogColumn("Dir"), std::vector<std::string>{folder});
  EXPECT_EQ(CatalogColumn("Period"), std::vector<std::string>{"N"});
  EXPECT_EQ(CatalogColumn("Time"), std::vector<std::string>{"    16"});  // right-aligned
  EXPECT_EQ(CatalogColumn("Password"), std::vector<std::string>{std::string(60, 'p')});
  EXPECT_EQ(CatalogColumn("NetDir"), std::vector<std::string>{""});

  TTasks reread;
  reread.Load(host_);
  ASSERT_EQ(reread.Count(), 1);
  EXPECT_EQ(reread.Items(0).Flag(), "QMVT04");
  EXPECT_EQ(reread.Items(0).FileFlag(), "QMVT");
  EXPECT_EQ(reread.Items(0).Version(), "20040602153000");
}

TEST_F(TaskTest, TaskIsAddedOnce) {
  ASSERT_TRUE(dir_.ok());
  tasks_.Load(host_);
  const std::string folder = TaskFolder(dir_.Join("Q.TSK"), kGoodSign);
  orb::RegisterTaskDir(folder);
  orb::RegisterTaskDir(folder);
  EXPECT_EQ(tasks_.Count(), 1);

  TaskInfoType info;
  info.Flag = "qmvt04";  // the same flag in another case
  info.Dir = dir_.path();
  EXPECT_FALSE(tasks_.AddTask(info));
  info.Flag = "";
  EXPECT_FALSE(tasks_.AddTask(info));
  info.Flag = "OTHER";
  info.Dir = dir_.Join("missing");
  EXPECT_FALSE(tasks_.AddTask(info));
  EXPECT_EQ(CatalogColumn("Flag"), std::vector<std::string>{"QMVT04"});

  info.Dir = dir_.path();
  EXPECT_TRUE(tasks_.AddTask(info));
  EXPECT_EQ(CatalogColumn("Flag"), (std::vector<std::string>{"QMVT04", "OTHER"}));
}

TEST_F(TaskTest, FindByFlagFoldsAsciiLettersOnly) {
  ASSERT_TRUE(dir_.ok());
  const std::vector<std::string> stored = {
      "QMVT04", "ABCDEFGHIJKLMNO", "\xA3\xD1\xA3\xCD",  // full-width ＱＭ
      "X\x81" "A"};                                      // a trail byte in the ASCII range
  tasks_.Table().SetReadOnly(true);  // no catalog: the tasks live in memory only
  for (const std::string& flag : stored) {
    TaskInfoType info;
    info.Flag = flag;
    info.Dir = dir_.path();
    ASSERT_TRUE(tasks_.AddTask(info));
  }
  struct Case {
    std::string flag;
    int found;  // index into `stored`, or -1
  } cases[] = {
      {"qmvt04", 0},
      {"Qmvt04", 0},
      {"qmvt4", -1},
      {"abcdefghijklmnoXYZ", 1},  // cut to 15 characters
      {"\xA3\xD1\xA3\xCD", 2},
      {"\xA3\xF1\xA3\xED", -1},  // full-width ｑｍ: another character, not another case
      {"x\x81" "A", 3},
      {"X\x81" "a", -1},  // the trail byte must be equal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    TTask* t = tasks_.FindByFlag(c.flag);
    if (c.found < 0) {
      EXPECT_EQ(t, nullptr);
    } else {
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->Flag(), stored[c.found]);
    }
  }
}

TEST_F(TaskTest, TaskAddedToAReadOnlyCatalogStaysInMemory) {
  ASSERT_TRUE(dir_.ok());
  tasks_.Load(host_);
  tasks_.Table().SetReadOnly(true);
  TaskInfoType info;
  info.Flag = "MEM";
  info.Dir = dir_.path();
  EXPECT_TRUE(tasks_.AddTask(info));
  EXPECT_NE(tasks_.FindByFlag("MEM"), nullptr);
  EXPECT_TRUE(CatalogColumn("Flag").empty());
}

TEST_F(TaskTest, CatalogRecordsAreReadWithTheirValues) {
  ASSERT_TRUE(dir_.ok());
  orb::CreateCatalogFile(Catalog());
  {
    TfnDBFTable table(Catalog(), false, true);
    table.Append();
    table.SetStringByName("Name", "甲");
    table.SetStringByName("Flag", "abc\x81z");
    table.SetStringByName("FileFlag", "ff");
    table.SetStringByName("Period", "");  // blank
    table.SetIntegerByName("Time", 42);
    table.Post();
    table.Append();
    table.SetStringByName("Flag", "B2");
    table.SetStringByName("Period", "y");
    table.Post();
    table.SetActive(false);
  }
  tasks_.Load(host_);
  ASSERT_EQ(tasks_.Count(), 2);
  const TTask& a = tasks_.Items(0);
  EXPECT_EQ(a.Name(), "甲");
  EXPECT_EQ(a.Flag(), "ABC\x81z");
  EXPECT_EQ(a.FileFlag(), "FF");
  EXPECT_EQ(a.Period(), 'N');
  EXPECT_EQ(a.Time(), 42);
  EXPECT_EQ(tasks_.Items(1).Period(), 'Y');
}

// Both cases write the rebuilt copy to the same temporary file, so they run in one test.
TEST_F(TaskTest, CatalogIsRebuiltOnlyWhenVersionIsTheOneMissingField) {
  ASSERT_TRUE(dir_.ok());
  auto old_catalog = [&](const char* missing) {
    orb::TDBFCreator creator;
    const struct {
      const char* name;
      char type;
      std::uint8_t width;
    } fields[] = {{"Name", 'C', 100}, {"Flag", 'C', 15},   {"FileFlag", 'C', 6},
                  {"Dir", 'C', 254},  {"NetDir", 'C', 254}, {"Year", 'C', 4},
                  {"Period", 'C', 1}, {"Time", 'N', 6},    {"Group", 'C', 40},
                  {"Reserved", 'C', 20}, {"Password", 'C', 60}, {"Version", 'C', 14}};
    for (const auto& f : fields)
      if (std::string(f.name) != missing) creator.AddField(f.name, f.type, f.width, 0);
    creator.CreateTable(Catalog());
    TfnDBFTable table(Catalog(), false, true);
    for (const char* flag : {"OLD1", "OLD2"}) {
      table.Append();
      table.SetStringByName("Flag", flag);
      table.SetStringByName("Name", std::string("任务") + flag);
      table.SetStringByName("NetDir", "\\\\server\\share");
      table.SetIntegerByName("Time", 7);
      if (std::string(missing) != "Password") table.SetStringByName("Password", "pw");
      table.Post();
    }
    table.SetActive(false);
  };

  old_catalog("Version");
  tasks_.Load(host_);
  EXPECT_TRUE(ui_.boxes().empty());
  ASSERT_EQ(tasks_.Count(), 2);
  EXPECT_EQ(tasks_.Items(1).Flag(), "OLD2");
  EXPECT_EQ(tasks_.Items(1).Name(), "任务OLD2");
  EXPECT_EQ(tasks_.Items(1).Time(), 7);
  EXPECT_EQ(tasks_.Items(1).Password(), "pw");
  EXPECT_EQ(tasks_.Items(1).Version(), "");
  {
    TfnDBFTable table(Catalog(), true, false);
    EXPECT_EQ(table.FieldCount(), 12u);
    EXPECT_NE(table.FieldIndex("Version"), -1);
  }
  EXPECT_EQ(CatalogColumn("NetDir"), (std::vector<std::string>{"\\\\server\\share",
                                                                "\\\\server\\share"}));
  // The rebuild's copy of the host's catalog does not stay in the temporary folder.
  EXPECT_FALSE(orb::IsFile(platform::TempPath() + "CONFIG.TSK"));

  old_catalog("Reserved");
  TTasks broken;
  broken.Load(host_);
  EXPECT_EQ(broken.Count(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].caption, kErrorCaption);
  EXPECT_EQ(ui_.boxes()[0].text.rfind(kErrorText, 0), 0u) << ui_.boxes()[0].text;
  EXPECT_EQ(ui_.boxes()[0].flags, platform::kMbOk | platform::kMbIconWarning);
  EXPECT_FALSE(broken.Table().Active());
  EXPECT_FALSE(orb::IsFile(platform::TempPath() + "CONFIG.TSK"));  // nor after a failure
  // The catalog was not replaced.
  TfnDBFTable table(Catalog(), true, false);
  EXPECT_EQ(table.FieldIndex("Reserved"), -1);
}

#ifdef ORB_HOLDFILE
TEST_F(TaskTest, CatalogHeldByAnotherProcess) {
  ASSERT_TRUE(dir_.ok());
  orb::CreateCatalogFile(Catalog());
  const std::string ready = dir_.Join("ready.txt");
  platform::ChildProcess holder;
  ASSERT_EQ(holder.Start(ORB_HOLDFILE, {Catalog(), "rw", "-", ready}, true), 0u);
  // <chrono> cannot be compiled with the GBK execution character set: poll on the tick
  // count for up to ten seconds.
  std::string code;
  const std::uint32_t start = platform::GetTickCount();
  while (code.empty() && platform::GetTickCount() - start < 10000) orbtest::ReadWholeFile(ready, code);
  ASSERT_EQ(code, "0") << "the holder could not open the catalog";

  tasks_.Load(host_);
  EXPECT_EQ(tasks_.Count(), 0);
  ASSERT_EQ(ui_.boxes().size(), 1u);
  EXPECT_EQ(ui_.boxes()[0].caption, kErrorCaption);
  EXPECT_EQ(ui_.boxes()[0].text.rfind(kErrorText, 0), 0u);

  TaskInfoType info;
  info.Flag = "QMVT04";
  info.Dir = dir_.path();
  EXPECT_THROW(tasks_.AddTask(info), orb::EWin32Error);
  EXPECT_EQ(tasks_.FindByFlag("QMVT04"), nullptr);

  holder.CloseStdin();
  EXPECT_EQ(holder.Wait(), 0u);
  EXPECT_TRUE(tasks_.AddTask(info));
}
#endif

}  // namespace
