// The POSIX build's error texts are those of a Chinese Windows (Wine's own differ).
#include "platform/error.h"

#include <gtest/gtest.h>

namespace {

TEST(SystemErrorText, GivesChineseWindowsTexts) {
  const struct {
    std::uint32_t code;
    const char* text;
  } cases[] = {
      {2, "系统找不到指定的文件。\r\n"},
      {3, "系统找不到指定的路径。\r\n"},
      {5, "拒绝访问。\r\n"},
      {32, "另一个程序正在使用此文件，进程无法访问。\r\n"},
      {80, "文件存在。\r\n"},
      {112, "磁盘空间不足。\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(platform::SystemErrorText(c.code), c.text);
  }
}

}  // namespace
