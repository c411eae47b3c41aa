#include "provider/aggregate/time_levels.h"

#include <gtest/gtest.h>

#include "provider/aggregate/value_text.h"

namespace cubemill::provider::aggregate {
namespace {

TEST(TimeLevelsTest, DerivesKeysAndNamesOfEachLevelType) {
  const Timestamp moment{Date{1998, 5, 1}, 7, 8, 9};
  const struct {
    LevelType type;
    std::int64_t key;
    const char* name;
  } cases[] = {
      {LevelType::kYear, 1998, "1998"}, {LevelType::kQuarter, 2, "Quarter 2"},
      {LevelType::kMonth, 5, "May"},    {LevelType::kWeek, 18, "Week 18"},
      {LevelType::kDay, 1, "1"},        {LevelType::kDayOfWeek, 6, "Friday"},
      {LevelType::kHour, 7, "7"},       {LevelType::kMinute, 8, "8"},
      {LevelType::kSecond, 9, "9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TimeKey(c.type, moment), c.key) << c.name;
    std::string name;
    AppendTimeName(c.type, moment, true, name);
    EXPECT_EQ(name, c.name);
  }
  std::string date;
  AppendTimeName(LevelType::kDate, moment, true, date);
  EXPECT_EQ(date, "1998-05-01");
}

TEST(TimeLevelsTest, NumbersWeeksFromSundayWithWeekOneHoldingFirstJanuary) {
  const struct {
    Date date;
    int week;
    int weekday;
  } cases[] = {
      {{1998, 1, 1}, 1, 5},    {{1998, 1, 3}, 1, 7},    {{1998, 1, 4}, 2, 1},
      {{1997, 12, 31}, 53, 4}, {{2000, 12, 31}, 54, 1}, {{2023, 1, 1}, 1, 1},
      {{2023, 12, 31}, 53, 1}, {{1900, 3, 1}, 9, 5},
  };
  for (const auto& c : cases) {
    std::string text;
    AppendDateText(c.date, text);
    EXPECT_EQ(WeekOfYear(c.date), c.week) << text;
    EXPECT_EQ(DayOfWeek(c.date), c.weekday) << text;
  }
}

TEST(ValueTextTest, FormatsValuesWithoutLocale) {
  const struct {
    Value value;
    const char* text;
  } cases[] = {
      {Value{std::int64_t{-42}}, "-42"},
      {Value{0.1}, "0.1"},
      {Value{1e21}, "1e+21"},
      {Value{3.0}, "3"},
      {Value{std::string_view("a b")}, "a b"},
      {Value{Date{7, 3, 5}}, "0007-03-05"},
      {Value{Timestamp{Date{1997, 12, 31}, 23, 5, 9}}, "1997-12-31 23:05:09"},
      {Value{}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ValueText(c.value), c.text);
}

}  // namespace
}  // namespace cubemill::provider::aggregate
