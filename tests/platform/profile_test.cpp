#include "platform/profile.h"

#include <gtest/gtest.h>

#include "support/ScratchDir.h"

namespace {

TEST(ReadProfileString, ReadsLikeGetPrivateProfileString) {
  orbtest::ScratchDir dir;
  const std::string file = dir.Join("TASKSIGN.TSK");
  ASSERT_EQ(orbtest::WriteWholeFile(file,
                                    "; comment\r\n"
                                    "[Other]\r\n"
                                    "TaskFlag=wrong\r\n"
                                    " [ General ] \r\n"
                                    "TaskFlag = QMVT2004 \r\n"
                                    "Caption=\"  2004年度企业考核  \"\r\n"
                                    "Single='x'\r\n"
                                    "Unbalanced=\"abc\r\n"
                                    "Empty=\r\n"
                                    "Long=0123456789\r\n"
                                    "TaskFlag=second\r\n"
                                    "[general]\r\n"
                                    "Later=yes\r\n"),
            0u);
  const struct {
    const char* section;
    const char* key;
    std::size_t max;
    const char* expected;
  } cases[] = {
      {"General", "TaskFlag", 2047, "QMVT2004"},
      {"GENERAL", "taskflag", 2047, "QMVT2004"},
      {"General", "Caption", 2047, "  2004年度企业考核  "},
      {"General", "Single", 2047, "x"},
      {"General", "Unbalanced", 2047, "\"abc"},
      {"General", "Empty", 2047, ""},
      {"General", "Long", 4, "0123"},
      {"General", "Missing", 2047, "dflt"},
      {"Nowhere", "TaskFlag", 2047, "dflt"},
      {"Other", "TaskFlag", 2047, "wrong"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(platform::ReadProfileString(c.section, c.key, "dflt", file, c.max), c.expected);
  }
  EXPECT_EQ(platform::ReadProfileString("General", "TaskFlag", "dflt", dir.Join("none.ini")), "dflt");
}

}  // namespace
