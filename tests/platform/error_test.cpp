#include "platform/error.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(SystemErrorText, GivesChineseWindowsTextsWithCrLf) {
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
  EXPECT_EQ(platform::SystemErrorText(0xDEAD), "");
}

TEST(LastError, BelongsToTheCallingThread) {
  platform::SetLastError(5);
  std::uint32_t seen_in_thread = 1;
  std::thread t([&] {
    seen_in_thread = platform::LastError();
    platform::SetLastError(32);
  });
  t.join();
  EXPECT_EQ(seen_in_thread, 0u);
  EXPECT_EQ(platform::LastError(), 5u);
}

}  // namespace
