#include "platform/clock.h"

#include <gtest/gtest.h>

namespace cubemill::platform {
namespace {

TEST(CalendarTest, KnowsLeapYearsAndTheYearsADateCanHold) {
  EXPECT_TRUE(IsValidDate(2024, 2, 29));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
  EXPECT_FALSE(IsValidDate(1900, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 2, 29));
  EXPECT_FALSE(IsValidDate(2024, 4, 31));
  EXPECT_FALSE(IsValidDate(2024, 13, 1));
  EXPECT_FALSE(IsValidDate(2024, 0, 1));
  EXPECT_FALSE(IsValidDate(2024, 1, 0));
  EXPECT_TRUE(IsValidDate(1, 1, 1));
  EXPECT_TRUE(IsValidDate(9999, 12, 31));
  EXPECT_FALSE(IsValidDate(0, 1, 1));
  EXPECT_FALSE(IsValidDate(10000, 1, 1));
}

TEST(CalendarTest, CountsDaysFromTheEpochBothWays) {
  EXPECT_EQ(DaysSinceEpoch(1970, 1, 1), 0);
  EXPECT_EQ(DaysSinceEpoch(1969, 12, 31), -1);
  EXPECT_EQ(DaysSinceEpoch(2000, 3, 1), 11017);
  EXPECT_EQ(DaysSinceEpoch(1, 1, 1), -719162);
  // Weekdays follow from it: 2024-12-09 was a Monday, 1970-01-01 a Thursday.
  EXPECT_EQ((DaysSinceEpoch(2024, 12, 9) - DaysSinceEpoch(1970, 1, 1)) % 7, 4);
}

TEST(CalendarTest, WritesDateAndTimeWithLeadingZeros) {
  EXPECT_EQ(DateTimeText(MakeDateTime(2024, 3, 5, 7, 8, 9)), "2024-03-05 07:08:09");
  EXPECT_EQ(DateTimeText(MakeDateTime(999, 12, 31, 23, 59, 59)), "0999-12-31 23:59:59");
}

}  // namespace
}  // namespace cubemill::platform
