// DOS date-times to and from TDateTime.
#include "archive/arxDosDate.h"

#include <gtest/gtest.h>

namespace {

TEST(DosDates, InvalidValuesFallBackToTheEpochAndValidOnesRoundTrip) {
  EXPECT_DOUBLE_EQ(orb::FileDateOrDefault(0), 29221.0);
  EXPECT_DOUBLE_EQ(orb::FileDateOrDefault(0x00000000u | (13u << 21)), 29221.0);  // month 13
  EXPECT_NEAR(orb::FileDateOrDefault(0x5A8C6B21u), 45759.0 + (13 * 3600 + 25 * 60 + 2) / 86400.0,
              1e-9);
  EXPECT_DOUBLE_EQ(orb::FileDateOrDefault(0x00210000u), 29221.0);  // 1980-01-01 00:00
  EXPECT_EQ(orb::DateTimeToDosDateTime(orb::FileDateOrDefault(0x5A8C6B21u)), 0x5A8C6B21u);
}

}  // namespace
