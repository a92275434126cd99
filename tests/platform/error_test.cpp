#include "platform/error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>


namespace {

TEST(SystemErrorText, KnownCodesHaveATextEndingInCrLf) {
  for (std::uint32_t code : {2u, 3u, 5u, 32u, 80u, 112u}) {
    SCOPED_TRACE(code);
    std::string text = platform::SystemErrorText(code);
    ASSERT_GT(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  }
  EXPECT_EQ(platform::SystemErrorText(0xDEAD), "");
}

TEST(LastError, BelongsToTheCallingThread) {
  std::atomic<int> step{0};
  std::uint32_t seen_by_other = 0;
  std::thread other([&] {
    platform::SetLastError(32);
    step = 1;
    while (step.load() != 2) std::this_thread::yield();
    seen_by_other = platform::LastError();
  });
  while (step.load() != 1) std::this_thread::yield();
  platform::SetLastError(5);
  std::uint32_t seen_here = platform::LastError();
  step = 2;
  other.join();
  EXPECT_EQ(seen_here, 5u);
  EXPECT_EQ(seen_by_other, 32u);
}

}  // namespace
