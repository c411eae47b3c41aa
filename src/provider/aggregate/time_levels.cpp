#include "provider/aggregate/time_levels.h"

#include "platform/clock.h"
#include "provider/aggregate/value_text.h"

namespace cubemill::provider::aggregate {
namespace {

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

}  // namespace

bool HasNumericTimeKey(LevelType type) {
  return type != LevelType::kDate && type != LevelType::kRegular && type != LevelType::kAll;
}

int DayOfWeek(const Date& date) {
  // 1970-01-01 was a Thursday (5 when Sunday is 1).
  std::int64_t days = platform::DaysSinceEpoch(date.year, date.month, date.day);
  std::int64_t index = (days % 7 + 7 + 4) % 7;  // 0 = Sunday
  return static_cast<int>(index) + 1;
}

int DayOfYear(const Date& date) {
  return static_cast<int>(platform::DaysSinceEpoch(date.year, date.month, date.day) -
                          platform::DaysSinceEpoch(date.year, 1, 1)) +
         1;
}

int WeekOfYear(const Date& date) {
  int first_weekday = DayOfWeek(Date{date.year, 1, 1}) - 1;  // 0 = Sunday
  return (DayOfYear(date) - 1 + first_weekday) / 7 + 1;
}

std::int64_t TimeKey(LevelType type, const Timestamp& moment) {
  switch (type) {
    case LevelType::kYear:
      return moment.date.year;
    case LevelType::kQuarter:
      return (moment.date.month + 2) / 3;
    case LevelType::kMonth:
      return moment.date.month;
    case LevelType::kWeek:
      return WeekOfYear(moment.date);
    case LevelType::kDay:
      return moment.date.day;
    case LevelType::kDayOfWeek:
      return DayOfWeek(moment.date);
    case LevelType::kHour:
      return moment.hour;
    case LevelType::kMinute:
      return moment.minute;
    case LevelType::kSecond:
      return moment.second;
    default:
      return 0;
  }
}

void AppendTimeName(LevelType type, const Timestamp& moment, bool is_timestamp, std::string& out) {
  switch (type) {
    case LevelType::kQuarter:
      out += "Quarter ";
      break;
    case LevelType::kMonth:
      out += kMonthNames[moment.date.month - 1];
      return;
    case LevelType::kWeek:
      out += "Week ";
      break;
    case LevelType::kDayOfWeek:
      out += kDayNames[DayOfWeek(moment.date) - 1];
      return;
    case LevelType::kDate:
      AppendDateText(moment.date, out);
      return;
    case LevelType::kRegular:
    case LevelType::kAll:
      if (is_timestamp) {
        AppendTimestampText(moment, out);
      } else {
        AppendDateText(moment.date, out);
      }
      return;
    default:
      break;
  }
  out += std::to_string(TimeKey(type, moment));
}

}  // namespace cubemill::provider::aggregate
