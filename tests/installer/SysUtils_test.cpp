// System utilities: path rules over GBK, temporary names, registry strings, suffix
// comparison, the program's folder and the folder dialog's acceptance rules.
#include "installer/SysUtils.h"

#include <gtest/gtest.h>

#include "installer/InstallerTestEnv.h"
#include "platform/fs.h"
#include "platform/volume.h"
#include "support/FakeUserInterface.h"

namespace orb {
namespace {

using test::TestMachine;

// 乗 is 81 5C in GBK: its trail byte is a backslash byte but never a separator.
const std::string kJo = "\x81\x5C";

TEST(PathRules, JoinAppendAndStripFollowTheLastWholeCharacter) {
  struct Case {
    const char* name;
    std::string path;
    std::string joined_with_a;  // PathJoin(path, "A")
    std::string appended;       // AppendBackslash(path)
    std::string stripped;       // StripBackslash(path)
  };
  const Case cases[] = {
      {"empty", "", "A", "", ""},
      {"plain", "C:\\X", "C:\\X\\A", "C:\\X\\", "C:\\X"},
      {"trailing", "C:\\X\\", "C:\\X\\A", "C:\\X\\", "C:\\X"},
      {"drive root", "C:\\", "C:\\A", "C:\\", "C:"},
      {"two trailing", "C:\\X\\\\", "C:\\X\\\\A", "C:\\X\\\\", "C:\\X\\"},
      {"ends in 乗", "C:\\" + kJo, "C:\\" + kJo + "\\A", "C:\\" + kJo + "\\", "C:\\" + kJo},
      {"乗 then backslash", "C:\\" + kJo + "\\", "C:\\" + kJo + "\\A", "C:\\" + kJo + "\\",
       "C:\\" + kJo},
      {"lone trail byte after ASCII", "C:\\a\\", "C:\\a\\A", "C:\\a\\", "C:\\a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.joined_with_a, PathJoin(c.path, "A"));
    std::string appended = c.path;
    AppendBackslash(appended);
    EXPECT_EQ(c.appended, appended);
    EXPECT_EQ(c.stripped, StripBackslash(c.path));
  }
}

TEST(CompareSuffixText, MatchesEndingsWithoutRegardToCase) {
  struct Case {
    const char* s;
    const char* suffix;
    bool equal;
  } const cases[] = {
      {"A.TSK", ".TSK", true},   {"a.tsk", ".TSK", true}, {"b.Tsk", ".tsk", true},
      {".TSK", ".TSK", true},    {"TSK", ".TSK", false},  {"A.TSKX", ".TSK", false},
      {"", ".TSK", false},       {"name", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.s) + " / " + c.suffix);
    EXPECT_EQ(c.equal, CompareSuffixText(c.s, c.suffix) == 0);
  }
  EXPECT_LT(CompareSuffixText("x.ABC", ".ABD"), 0);
  EXPECT_GT(CompareSuffixText("x.ABE", ".ABD"), 0);
}

TEST(ProgramDir, IsTheRunningProgramsFolderWithoutTrailingBackslash) {
  TestMachine machine;  // a machine whose drives reach the program
  const std::string module = platform::ModuleFileName();
  const std::string dir = ProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE('\\', dir.back());
  EXPECT_EQ(module.substr(0, dir.size() + 1), dir + "\\");
  EXPECT_EQ(std::string::npos, module.find('\\', dir.size() + 1));
}

class TempNameTest : public ::testing::Test {
 protected:
  TestMachine machine;
  // 7 December, 02:18:06.123: the stamp multiplies seconds by milliseconds.
  orbtest::FakeClock clock{platform::LocalTime{2004, 12, 2, 7, 2, 18, 6, 123}};
  orbtest::ScopedClock clock_scope{clock};
};

TEST_F(TempNameTest, NameIsStampInTheTemporaryFolderAndIsNotCreated) {
  const std::string name = NewTempFileName("", "");
  EXPECT_EQ(platform::TempPath() + "12070218_00738.TMP", name);
  EXPECT_FALSE(TestMachine::Exists(name));
  EXPECT_EQ(name, NewTempFileName("", "")) << "nothing reserves the name between calls";
  EXPECT_EQ(platform::TempPath() + "ab12070218_00738.TMP", NewTempFileName("ab", ""));
}

TEST_F(TempNameTest, ExistingFolderArgumentIsUsedAndMissingOneIgnored) {
  const std::string dir = machine.MakeDir("tmpdir");
  EXPECT_EQ(dir + "\\x12070218_00738.TMP", NewTempFileName("x", dir));
  EXPECT_EQ(platform::TempPath() + "x12070218_00738.TMP", NewTempFileName("x", ".zip"));
  // A file is not a folder.
  machine.WriteFile(machine.Scratch() + "afile", "");
  EXPECT_EQ(platform::TempPath() + "x12070218_00738.TMP",
            NewTempFileName("x", machine.Scratch() + "afile"));
}

TEST_F(TempNameTest, CollisionsTakeSuffixesFromAProcessWideCounter) {
  const std::string dir = machine.MakeDir("collide");
  const std::string base = dir + "\\12070218_00738";
  machine.WriteFile(base + ".TMP", "");
  const std::int32_t k = TempNameCounter();
  const std::string first = NewTempFileName("", dir);
  EXPECT_EQ(base + "_" + std::to_string(k) + ".TMP", first);
  EXPECT_EQ(k + 1, TempNameCounter());
  machine.WriteFile(first, "");
  // The next collision does not start again from the first suffix: it tries k+1, finds it
  // free and returns it.
  EXPECT_EQ(base + "_" + std::to_string(k + 1) + ".TMP", NewTempFileName("", dir));
  // A folder of the candidate's name also counts as taken.
  machine.MakeDir("collide\\12070218_00738_" + std::to_string(k + 2) + ".TMP");
  machine.WriteFile(base + "_" + std::to_string(k + 1) + ".TMP", "");
  EXPECT_EQ(base + "_" + std::to_string(k + 3) + ".TMP", NewTempFileName("", dir));
}

class RegistryTest : public ::testing::Test {
 protected:
  TestMachine machine;
  const std::string key = "Software\\OrbRegTest";
};

TEST_F(RegistryTest, ReadsStringValuesUpToTheFirstZeroAndLeavesValueOnFailure) {
  TestMachine::SetString(RootKey::CurrentUser, key, "Sz", "C:\\数据\\" + kJo);
  TestMachine::SetString(RootKey::CurrentUser, key, "Expand", "%TEMP%\\x", platform::kRegExpandSz);
  TestMachine::SetString(RootKey::CurrentUser, key, "Empty", "", platform::kRegBinary);
  ASSERT_EQ(0u, platform::RegWriteValue(RootKey::CurrentUser, key, "Two",
                                        platform::kRegSz, std::string("ab\0cd\0", 6)));
  struct Case {
    const char* name;
    bool found;
    std::string value;
  } const cases[] = {
      {"Sz", true, "C:\\数据\\" + kJo},
      {"Expand", true, "%TEMP%\\x"},  // not expanded
      {"Empty", true, ""},            // size 0: empty text whatever the type
      {"Two", true, "ab"},
      {"Missing", false, "untouched"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string value = "untouched";
    EXPECT_EQ(c.found, ReadRegString(RootKey::CurrentUser, key, c.name, value));
    EXPECT_EQ(c.value, value);
    std::string or_empty = "untouched";
    ReadRegStringOrEmpty(RootKey::CurrentUser, key, c.name, or_empty);
    EXPECT_EQ(c.found ? c.value : "", or_empty);
  }
  std::string value = "untouched";
  EXPECT_FALSE(ReadRegString(RootKey::CurrentUser, key + "\\Absent", "Sz", value));
  EXPECT_EQ("untouched", value);
}

TEST_F(RegistryTest, NonStringValueRaisesTheRegistryError) {
  ASSERT_EQ(0u, platform::RegWriteValue(RootKey::CurrentUser, key, "Count", platform::kRegDword,
                                        std::string("\x01\x00\x00\x00", 4)));
  std::string value;
  try {
    ReadRegString(RootKey::CurrentUser, key, "Count", value);
    FAIL() << "no exception";
  } catch (const ERegistryError& e) {
    EXPECT_STREQ("Invalid data type for 'Count'", e.what());
  }
}

TEST_F(RegistryTest, KeyWithoutWriteAccessCountsAsAbsent) {
  TestMachine::SetString(RootKey::LocalMachine, key, "RootDir", "C:\\Host");
  if (!machine.MakeMachineHiveReadOnly()) GTEST_SKIP() << "no read-only machine hive here";
  platform::RegKey reader;
  ASSERT_EQ(0u, reader.Open(RootKey::LocalMachine, key, platform::kKeyRead))
      << "the value stays readable";
  std::string value = "untouched";
  EXPECT_FALSE(ReadRegString(RootKey::LocalMachine, key, "RootDir", value));
  EXPECT_EQ("untouched", value);
}

TEST(SelectFolder, ReturnsTheChosenFolderOrLeavesDirectoryOnCancel) {
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface ui_scope{ui};
  ui.QueueBrowseCancel();
  ui.QueueFolder("C:\\Host");
  std::string dir = "C:\\Start";
  EXPECT_FALSE(SelectFolder(0, dir, "标题", false, false, u""));
  EXPECT_EQ("C:\\Start", dir);
  EXPECT_TRUE(SelectFolder(0, dir, "标题", true, true, u"C:\\"));
  EXPECT_EQ("C:\\Host", dir);
  ASSERT_EQ(2u, ui.browse_requests().size());
  EXPECT_EQ("标题", ui.browse_requests()[0].title);
  EXPECT_EQ("C:\\Start", ui.browse_requests()[0].initial_folder);
  EXPECT_EQ("", ui.browse_requests()[0].root);
  EXPECT_FALSE(ui.browse_requests()[0].new_style);
  EXPECT_TRUE(ui.browse_requests()[0].dont_go_below_domain);
  EXPECT_TRUE(ui.browse_requests()[1].new_style);
  EXPECT_FALSE(ui.browse_requests()[1].dont_go_below_domain);
  EXPECT_EQ("C:\\", ui.browse_requests()[1].root);
}

TEST(SelectFolder, RefusesNetworkFoldersUnlessAllowedAndAsksTheValidator) {
  TestMachine machine;
  if (!machine.MapNetworkDrive('n')) GTEST_SKIP() << "no network drive can be mapped here";
  ASSERT_EQ(platform::kDriveRemote, platform::DriveType("N:\\"));
  orbtest::FakeUserInterface ui;
  orbtest::ScopedUserInterface ui_scope{ui};
  ui.ProbeFolders({"C:\\Data", "N:\\share\\dir", "C:\\Refused"});
  std::vector<std::string> validated;
  auto validator = [&validated](const std::string& path, bool& accept) {
    validated.push_back(path);
    if (path == "C:\\Refused") accept = false;
  };
  std::string dir;
  SelectFolder(0, dir, "t", false, false, u"", validator);
  EXPECT_EQ((std::vector<bool>{true, false, false}), ui.verdicts());
  EXPECT_EQ((std::vector<std::string>{"C:\\Data", "C:\\Refused"}), validated)
      << "the validator is not asked about a folder already refused";
  ui.ClearVerdicts();
  SelectFolder(0, dir, "t", false, true, u"");
  EXPECT_EQ((std::vector<bool>{true, true, true}), ui.verdicts());
}

}  // namespace
}  // namespace orb
