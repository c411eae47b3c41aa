#include "settings/date_format.h"

#include <gtest/gtest.h>

namespace cubemill::settings {
namespace {

using platform::MakeDateTime;

const platform::DateTime kFixedTime = MakeDateTime(2024, 3, 7, 9, 5, 2);

TEST(DateFormatTest, FormatsEachPattern) {
  const struct {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"YYYY-MM-DD HH:mm:SS", "2024-03-07 09:05:02"},
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07_09_05_02"},
      {"YYYY-MM-DD", "2024-03-07"},
      {"DD.MM.YYYY_HH_mm_ss", "07.03.2024_09_05_02"},
      {"DD.MM.YYYY", "07.03.2024"},
      {"DD-MM-YYYY_HH_mm_ss", "07-03-2024_09_05_02"},
      {"DD-MM-YYYY", "07-03-2024"},
      {"HH:mm:ss", "09:05:02"},
      {"yyyy-mm-dd", "2024-03-07"},  // no hour before it: mm is the month
      {"D.M.YY H:M:S", "7.3.24 9:5:2"},
      {"HH-x-MM", "09-x-05"},    // literals between hour and minute do not matter
      {"HH DD MM", "09 07 03"},  // a date token in between makes it the month again
      {"MM HH mm", "03 09 05"},
      {"_", "_"},
      {"", ""},
      {"Cube (v2)", "Cube (v2)"},  // letters outside the tokens are copied
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatDateTime(kFixedTime, c.pattern), c.expected) << c.pattern;
}

TEST(DateFormatTest, FormatsDurationsAsTimeOfDay) {
  using std::chrono::seconds;
  EXPECT_EQ(FormatDateTime(platform::DateTime{} + seconds(67), "HH:mm:ss"), "00:01:07");
  EXPECT_EQ(FormatDateTime(platform::DateTime{} + seconds(25 * 3600), "HH:mm:ss"), "01:00:00");
  EXPECT_EQ(FormatDateTime(platform::DateTime{}, "HH:mm:ss"), "00:00:00");
}

TEST(DateFormatTest, PadsYearsAndHandlesMidnight) {
  EXPECT_EQ(FormatDateTime(MakeDateTime(987, 12, 31, 23, 59, 59), "YYYY-MM-DD HH:mm:SS"),
            "0987-12-31 23:59:59");
  EXPECT_EQ(FormatDateTime(MakeDateTime(2000, 1, 1), "YY HH"), "00 00");
}

}  // namespace
}  // namespace cubemill::settings
