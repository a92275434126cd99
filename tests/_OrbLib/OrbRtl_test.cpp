// The runtime services: number text with error positions, general and fixed number
// text, the date-time scale and its text forms, the two-digit-year window.
#include "_OrbLib/OrbRtl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/clock.h"
#include "support/FakeUserInterface.h"

namespace {

TEST(RtlNumbers, TextToFloatReportsTheFirstBadPosition) {
  const struct {
    const char* text;
    int code;
    double value;  // what was converted before the bad position
  } cases[] = {
      {"1.5", 0, 1.5},     {"  -2.25e2", 0, -225}, {"+.5", 0, 0.5},  {"7.", 0, 7},
      {"12abc", 3, 12},    {"abc", 1, 0},          {"", 1, 0},       {"1.5e", 4, 1.5},
      {"1.5e+x", 4, 1.5},  {"1 ", 2, 1},           {"-", 2, 0},      {"1E-3", 0, 0.001},
  };
  for (const auto& c : cases) {
    double v = -99;
    int code = -1;
    orb::TextToFloat(c.text, v, code);
    EXPECT_EQ(code, c.code) << "'" << c.text << "'";
    EXPECT_DOUBLE_EQ(v, c.value) << "'" << c.text << "'";
  }
}

TEST(RtlNumbers, TextToInt32DecimalAndHexWithRanges) {
  const struct {
    const char* text;
    int code;
    std::int32_t value;
  } cases[] = {
      {"42", 0, 42},
      {"  -17", 0, -17},
      {"$ff", 0, 255},
      {"0x10", 0, 16},
      {"X1F", 0, 31},
      {"-$10", 0, -16},
      {"2147483647", 0, 2147483647},
      {"-2147483648", 0, static_cast<std::int32_t>(0x80000000u)},
      {"2147483648", 10, 214748364},
      {"$FFFFFFFF", 0, -1},
      {"12.5", 3, 12},
      {"abc", 1, 0},
      {"", 1, 0},
      {"0x", 3, 0},
  };
  for (const auto& c : cases) {
    std::int32_t v = -99;
    int code = -1;
    orb::TextToInt32(c.text, v, code);
    EXPECT_EQ(code, c.code) << "'" << c.text << "'";
    EXPECT_EQ(v, c.value) << "'" << c.text << "'";
  }
}

TEST(RtlNumbers, GeneralFixedAndCurrencyText) {
  const struct {
    double value;
    const char* text;
  } general[] = {
      {0, "0"},           {1500, "1500"},     {-2.25, "-2.25"},   {0.1, "0.1"},
      {1e20, "1E20"},     {1.5e-7, "1.5E-7"}, {1e-5, "0.00001"},  {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},     {1.0 / 3, "0.333333333333333"},
  };
  for (const auto& g : general) EXPECT_EQ(orb::FloatToStrG(g.value), g.text) << g.value;

  const struct {
    double value;
    int decimals;
    const char* text;
  } fixed[] = {{2.6, 0, "3"}, {2.5, 0, "3"}, {-2.5, 0, "-3"}, {2.567, 2, "2.57"},
               {-0.001, 2, "0.00"}, {1234.5, 1, "1234.5"}, {0, 0, "0"}};
  for (const auto& f : fixed) EXPECT_EQ(orb::FloatToStrFixed(f.value, f.decimals), f.text) << f.value;

  const struct {
    std::int64_t scaled;
    const char* text;
  } currency[] = {{123456, "12.3456"}, {123450, "12.345"}, {-50000, "-5"}, {0, "0"}, {1, "0.0001"}};
  for (const auto& c : currency) EXPECT_EQ(orb::CurrToStrG(c.scaled), c.text) << c.scaled;

  EXPECT_EQ(orb::StrToCurrScaled(" 12.34567 "), 123457);
  EXPECT_EQ(orb::StrToCurrScaled("-0.5"), -5000);
  EXPECT_THROW(orb::StrToCurrScaled("1,5"), orb::EConvertError);
}

TEST(RtlDates, EncodeAndDecodeAroundDayZero) {
  const struct {
    int y, m, d;
    double value;
  } cases[] = {
      {1899, 12, 30, 0},  {1899, 12, 29, -1}, {1900, 1, 1, 2},   {2000, 2, 29, 36585},
      {2004, 3, 15, 38061}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (const auto& c : cases) {
    double v = 0;
    ASSERT_TRUE(orb::TryEncodeDate(c.y, c.m, c.d, v));
    EXPECT_EQ(v, c.value);
    int y = 0, m = 0, d = 0;
    // 18:00 on that day: the fraction grows away from zero on either side of day 0.
    orb::DecodeDate(c.value < 0 ? c.value - 0.75 : c.value + 0.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.value;
  }
  double v = 0;
  EXPECT_FALSE(orb::TryEncodeDate(2003, 2, 29, v));
  EXPECT_FALSE(orb::TryEncodeDate(2004, 13, 1, v));
  int h = 0, n = 0, s = 0, ms = 0;
  orb::DecodeTime(-1.25, h, n, s, ms);
  EXPECT_EQ(h, 6) << "before day 0 the fraction still means the time of day";
}

TEST(RtlDates, FormatDateTimeSpecifiers) {
  double d = 0, t = 0;
  ASSERT_TRUE(orb::TryEncodeDate(2004, 3, 5, d));
  ASSERT_TRUE(orb::TryEncodeTime(14, 7, 9, 45, t));
  const double v = d + t;
  const struct {
    const char* format;
    const char* text;
  } cases[] = {
      {"yyyy-mm-dd hh:mm:ss", "2004-03-05 14:07:09"},
      {"yyyymmdd", "20040305"},
      {"yy/m/d", "04-3-5"},
      {"h:n:s.zzz", "14:7:9.045"},
      {"hh:mm am/pm", "02:07 pm"},
      {"\"at\" hh'h'", "at 14h"},
      {"mm", "03"},
  };
  for (const auto& c : cases) EXPECT_EQ(orb::FormatDateTime(c.format, v), c.text) << c.format;
}

TEST(RtlDates, StrToDateTimeAcceptsDatesTimesAndBoth) {
  orbtest::FakeClock clock(orbtest::Day(2004, 6, 1));
  orbtest::ScopedClock use_clock(clock);
  orb::SetCenturyWindow(orb::kDefaultCenturyWindow);
  const struct {
    const char* text;
    bool ok;
    const char* shown;  // as "yyyy-mm-dd hh:nn:ss"
  } cases[] = {
      {"2004-3-15", true, "2004-03-15 00:00:00"},
      {" 2004-03-15  10:20 ", true, "2004-03-15 10:20:00"},
      {"2004-3-15 1:02:03 PM", true, "2004-03-15 13:02:03"},
      {"2004-3-15 12:00 上午", true, "2004-03-15 00:00:00"},
      {"3-15", true, "2004-03-15 00:00:00"},
      {"53-1-2", true, "2053-01-02 00:00:00"},
      {"54-1-2", true, "1954-01-02 00:00:00"},
      {"10:20:30", true, "1899-12-30 10:20:30"},
      {"2004/3/15", false, ""},
      {"20040315", false, ""},
      {"2004-3-15 25:00", false, ""},
      {"2004-3-15 x", false, ""},
      {"", false, ""},
  };
  for (const auto& c : cases) {
    orb::TDateTime v = 0;
    EXPECT_EQ(orb::TryStrToDateTime(c.text, v), c.ok) << "'" << c.text << "'";
    if (c.ok) {
      EXPECT_EQ(orb::FormatDateTime("yyyy-mm-dd hh:nn:ss", v), c.shown) << c.text;
    }
  }
}

TEST(RtlDates, TwoDigitYearsFollowTheWindow) {
  const struct {
    int window, current, year, expanded;
  } cases[] = {
      {72, 2004, 31, 2031}, {72, 2004, 32, 1932}, {50, 2004, 53, 2053}, {50, 2004, 54, 1954},
      {2, 2004, 1, 2101},   {2, 2004, 2, 2002},   {0, 2004, 3, 2003},   {0, 2004, 5, 2005},
  };
  for (const auto& c : cases) {
    orb::SetCenturyWindow(static_cast<std::uint16_t>(c.window));
    EXPECT_EQ(orb::ExpandTwoDigitYear(c.year, c.current), c.expanded)
        << c.window << " " << c.year;
  }
  orb::SetCenturyWindow(orb::kDefaultCenturyWindow);
}

}  // namespace
