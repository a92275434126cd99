#include "platform/clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(SystemClock, LocalTimeIsPlausibleAndTicksAdvance) {
  platform::LocalTime t = platform::GetLocalTime();
  EXPECT_GE(t.year, 2024);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
  EXPECT_LE(t.day_of_week, 6);
  EXPECT_LE(t.hour, 23);
  EXPECT_LE(t.minute, 59);
  EXPECT_LE(t.second, 60);
  EXPECT_LE(t.milliseconds, 999);
  std::uint32_t before = platform::GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::uint32_t elapsed = platform::GetTickCount() - before;  // wraps like GetTickCount
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 5000u);
}

}  // namespace
