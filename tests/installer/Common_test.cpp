// Unit Common: the host settings read at start-up, and the vocabulary's fixed entries.
#include "installer/Common.h"

#include <gtest/gtest.h>

#include "installer/InstallerTestEnv.h"

namespace orb {
namespace {

using test::TestMachine;

TEST(HostSettings, CurrentUserFirstThenMachineThenTheDefaultTitle) {
  const char* key = "Software\\Kestrovan\\ZentabE";
  const platform::RootKey cu = platform::RootKey::CurrentUser;
  const platform::RootKey lm = platform::RootKey::LocalMachine;
  struct Value {
    bool present;
    std::string text;
    std::uint32_t type = platform::kRegSz;
  };
  struct Case {
    const char* name;
    Value cu_title, lm_title, cu_res, lm_res;
    std::string title, resource;
  } const cases[] = {
      {"user values", {true, "用户标题"}, {true, "机器标题"}, {true, "u.res"}, {true, "m.res"},
       "用户标题", "u.res"},
      {"machine values", {false, ""}, {true, "机器标题"}, {false, ""}, {true, "m.res"},
       "机器标题", "m.res"},
      {"empty user values fall through", {true, ""}, {true, "机器标题"}, {true, ""},
       {true, "m.res"}, "机器标题", "m.res"},
      {"empty user title, no machine title", {true, ""}, {false, ""}, {false, ""}, {false, ""},
       "Kestrovan通用数据管理平台", ""},
      {"nothing", {false, ""}, {false, ""}, {false, ""}, {false, ""},
       "Kestrovan通用数据管理平台", ""},
      {"non-string title counts as absent", {true, "\x05\0\0\0", platform::kRegDword},
       {false, ""}, {false, ""}, {false, ""}, "Kestrovan通用数据管理平台", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestMachine machine;
    auto put = [key](platform::RootKey root, const char* name, const Value& v) {
      if (!v.present) return;
      if (v.type == platform::kRegDword) {
        ASSERT_EQ(0u, platform::RegWriteValue(root, key, name, v.type, std::string("\x05\0\0\0", 4)));
      } else {
        TestMachine::SetString(root, key, name, v.text);
      }
    };
    put(cu, "AppTitle", c.cu_title);
    put(lm, "AppTitle", c.lm_title);
    put(cu, "ResourceFile", c.cu_res);
    put(lm, "ResourceFile", c.lm_res);
    InitHostSettings();
    EXPECT_EQ(c.title, HostAppTitle());
    EXPECT_EQ(c.resource, HostResourceFile());
    ClearHostSettings();
    EXPECT_EQ("", HostAppTitle());
  }
}

TEST(HostVocabulary, BlankPeriodAndOrderedTablesKeepTheirEntries) {
  EXPECT_EQ("  ", PeriodFieldCodes[8]);
  EXPECT_EQ("\xA1\xA1", PeriodFieldNames[8]);
  EXPECT_EQ("ND", PeriodFieldCodes[1]);
  EXPECT_EQ("年度", PeriodFieldNames[1]);
  EXPECT_EQ("未知任务", TaskKindNames[8]);
  EXPECT_EQ("ISPARENT", FormulaKeywords[40]);
  EXPECT_EQ("FloatCopy.Ini", HostParamFiles[19]);
  EXPECT_EQ("C:\\ZenTasks2002\\", OldDefaultTaskPath);
}

}  // namespace
}  // namespace orb
