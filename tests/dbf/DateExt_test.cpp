// The start-up adjustment of the two-digit-year window from the user's calendar setting.
#include "dbf/DateExt.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "_OrbLib/OrbRtl.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "support/FakeUserInterface.h"
#include "support/MachineTurn.h"

namespace {

constexpr const char* kKey = "Control Panel\\International\\Calendars\\TwoDigitYearMax";

// Seeds the user's TwoDigitYearMax value for one test and puts back what was there
// (a real Windows has the key), along with the process-wide window. The value is the
// user's, not the test's: the tests of this fixture run in parallel processes and take turns.
class CalendarSetting : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(turn_.held()) << "another test process kept the calendar setting";
    platform::RegKey key;
    if (key.Open(platform::RootKey::CurrentUser, kKey, platform::kKeyRead) == 0) {
      platform::RegValue v;
      if (key.Query("1", v) == 0) saved_ = v;
    }
    orb::SetCenturyWindow(orb::kDefaultCenturyWindow);
  }
  void TearDown() override {
    if (!turn_.held()) return;
    if (saved_) {
      platform::RegWriteValue(platform::RootKey::CurrentUser, kKey, "1", saved_->type,
                              saved_->data);
    } else {
      platform::RegDeleteTree(platform::RootKey::CurrentUser, kKey);
    }
    orb::SetCenturyWindow(orb::kDefaultCenturyWindow);
  }
  static void Seed(const std::string& text, std::uint32_t type = platform::kRegSz) {
    ASSERT_EQ(platform::RegWriteValue(platform::RootKey::CurrentUser, kKey, "1", type,
                                      type == platform::kRegDword ? text : text + '\0'),
              0u);
  }
  orbtest::MachineTurn turn_{"calendar-setting"};
  std::optional<platform::RegValue> saved_;
};

TEST_F(CalendarSetting, WindowFollowsTheStoredYear) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"2029", 72}, {"2049", 52}, {"1999", 2}, {"2000", 50}, {"20xx", 50},
      {"20291", 50}, {"29", 50}, {"", 50}, {"2001", 100}, {"2099", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    orb::SetCenturyWindow(orb::kDefaultCenturyWindow);
    Seed(c.text);
    orb::AdjustCenturyWindow();
    EXPECT_EQ(orb::CenturyWindow(), c.expected);
  }
}

TEST_F(CalendarSetting, MissingValueOrOtherTypeLeavesTheWindow) {
  platform::RegDeleteTree(platform::RootKey::CurrentUser, kKey);
  orb::SetCenturyWindow(33);
  orb::AdjustCenturyWindow();
  EXPECT_EQ(orb::CenturyWindow(), 33);

  Seed(std::string("\x1d\x07\0\0", 4), platform::kRegDword);
  EXPECT_NO_THROW(orb::AdjustCenturyWindow());
  EXPECT_EQ(orb::CenturyWindow(), 33);
}

TEST_F(CalendarSetting, TwoDigitYearsInDateTextUseTheAdjustedWindow) {
  orbtest::FakeClock clock(orbtest::Day(2004, 6, 1));
  orbtest::ScopedClock use_clock(clock);
  const struct {
    const char* setting;  // nullptr: no value
    const char* text;
    int year;
  } cases[] = {
      {"2029", "31-1-1", 2031}, {"2029", "32-1-1", 1932}, {"2029", "00-1-1", 2000},
      {"2029", "99-1-1", 1999}, {nullptr, "53-1-1", 2053}, {nullptr, "54-1-1", 1954},
      {nullptr, "1054-1-1", 1054},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.setting ? c.setting : "none") + " " + c.text);
    orb::SetCenturyWindow(orb::kDefaultCenturyWindow);
    if (c.setting) {
      Seed(c.setting);
    } else {
      platform::RegDeleteTree(platform::RootKey::CurrentUser, kKey);
    }
    orb::AdjustCenturyWindow();
    int y = 0, m = 0, d = 0;
    orb::DecodeDate(orb::StrToDateTime(c.text), y, m, d);
    EXPECT_EQ(y, c.year);
  }
}

}  // namespace
