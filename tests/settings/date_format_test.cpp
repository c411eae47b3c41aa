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

// Every text a pattern gives reads back, and to the time it was made from when the pattern shows
// the year and the fields below it.
TEST(DateFormatTest, ReadsBackWhatItFormats) {
  const platform::DateTime times[] = {kFixedTime, MakeDateTime(2024, 12, 31, 23, 59, 59),
                                      MakeDateTime(2000, 1, 1),
                                      MakeDateTime(2024, 2, 29, 10, 0, 7)};
  enum Time { kNone, kSecond, kCoarser };  // no time, the exact time, a time formatting the same
  const struct {
    const char* pattern;
    Time time;
  } cases[] = {
      {"YYYY-MM-DD_HH_mm_ss", kSecond},
      {"YYYY-MM-DD HH:mm:SS", kSecond},
      {"DD.MM.YYYY_HH_mm_ss", kSecond},
      {"D.M.YY H:M:S", kSecond},
      {"YYYY-MM-DD", kCoarser},
      {"YYMMDD", kCoarser},
      {"YYYY", kCoarser},
      {"HH_mm_ss", kNone},
      {"MM-DD", kNone},
      {"YYYY-DD", kNone},
      {"YYYY_HH", kNone},
      {"Cube (v2)", kNone},
  };
  for (const auto& c : cases) {
    for (const platform::DateTime time : times) {
      const std::string text = FormatDateTime(time, c.pattern);
      const auto stamp = ReadDateTimeStamp(text, c.pattern);
      ASSERT_TRUE(stamp.has_value()) << c.pattern << " " << text;
      if (c.time == kNone) {
        EXPECT_EQ(stamp->time, std::nullopt) << c.pattern << " " << text;
      } else if (c.time == kSecond) {
        EXPECT_EQ(stamp->time, time) << c.pattern << " " << text;
      } else {
        ASSERT_TRUE(stamp->time.has_value()) << c.pattern << " " << text;
        EXPECT_EQ(FormatDateTime(*stamp->time, c.pattern), text) << c.pattern;
      }
    }
  }
}

TEST(DateFormatTest, ReadsOnlyTextsThePatternCanGive) {
  const struct {
    const char* pattern;
    const char* text;
    bool reads;
  } cases[] = {
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07_09_05_02", true},
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07_09_05_2", false},    // doubled letters: two digits
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07_09_05_02x", false},  // nothing after it
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07-09_05_02", false},   // literals as they are
      {"YYYY-MM-DD_HH_mm_ss", "24-03-07_09_05_02", false},     // YYYY: four digits
      {"YYYY-MM-DD_HH_mm_ss", "2024-13-07_09_05_02", false},   // no 13th month
      {"YYYY-MM-DD_HH_mm_ss", "2024-02-30_09_05_02", false},   // no 30 February
      {"YYYY-MM-DD_HH_mm_ss", "2023-02-29_09_05_02", false},   // 2023 is no leap year
      {"YYYY-MM-DD_HH_mm_ss", "2024-02-29_09_05_02", true},
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07_24_05_02", false},  // hours 0-23
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07_09_60_02", false},  // the minute after HH
      {"YYYY-MM-DD_HH_mm_ss", "2024-03-07_09_5a_02", false},
      {"YYYY-MM-DD_HH_mm_ss", "", false},
      {"yyyy-mm-dd", "2024-12-07", true},  // mm without an hour: month
      {"HH mm", "23 59", true},
      {"DD MM", "23 59", false},  // the same letters as a month
      {"D.M.YY", "7.3.24", true},
      {"D.M.YY", "17.12.24", true},
      {"D.M.YY", "07.3.24", false},  // a single letter: no leading 0
      {"D.M.YY", "7.3.2024", false},
      {"D.M.YY", "0.3.24", false},
      {"MD", "123", true},  // 1 and 23, or 12 and 3
      {"MD", "1", false},
      {"YYYY_YYYY", "2024_2024", true},  // a field twice: the same value
      {"YYYY_YYYY", "2024_2025", false},
      {"YYYY_YY", "2024_23", false},
      {"Cube (v2)", "Cube (v2)", true},  // letters outside the tokens
      {"Cube (v2)", "cube (v2)", false},
      {"", "", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadDateTimeStamp(c.text, c.pattern).has_value(), c.reads)
        << c.pattern << " / " << c.text;
}

TEST(DateFormatTest, GivesNoTimeForATextThatReadsTwoWays) {
  // "123" is 1 December or 12 March: the text matches, but says no time.
  const auto two_ways = ReadDateTimeStamp("2024-123", "YYYY-MD");
  ASSERT_TRUE(two_ways.has_value());
  EXPECT_EQ(two_ways->time, std::nullopt);
  const auto one_way = ReadDateTimeStamp("2024-1231", "YYYY-MD");
  ASSERT_TRUE(one_way.has_value());
  EXPECT_EQ(one_way->time, MakeDateTime(2024, 12, 31));
}

TEST(DateFormatTest, ReadsLongPatternsOfSingleLetterTokens) {
  // Hundreds of adjacent single-letter tokens: each field repeats its first value, so the
  // reading does not branch at every token.
  std::string pattern;
  std::string text;
  for (int i = 0; i < 100; ++i) {
    pattern += "HM";
    text += "1111";
  }
  EXPECT_TRUE(ReadDateTimeStamp(text, pattern).has_value());
  EXPECT_FALSE(ReadDateTimeStamp(text + "1", pattern).has_value());
}

}  // namespace
}  // namespace cubemill::settings
