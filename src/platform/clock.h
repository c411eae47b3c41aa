// The local date and time, behind a seam so tests can fix it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cubemill::platform {

// A local date and time to the second. The difference of two values is a duration; added to
// DateTime{} it gives a value whose time of day is that duration (whole days fall into the date).
using DateTime = std::chrono::local_seconds;

// Builds a DateTime from its parts (no range checks beyond those of the calendar).
DateTime MakeDateTime(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                      int second = 0);

// The one calendar of the program: the proleptic Gregorian one of <chrono>.

// True when `year`-`month`-`day` is a real day in the years 1 to 9999, the years a date written
// "YYYY-MM-DD" can hold.
inline bool IsValidDate(int year, unsigned month, unsigned day) {
  return year >= 1 && year <= 9999 &&
         std::chrono::year_month_day{std::chrono::year(year), std::chrono::month(month),
                                     std::chrono::day(day)}
             .ok();
}

// Days from 1970-01-01 to `year`-`month`-`day` (negative before it).
inline std::int64_t DaysSinceEpoch(int year, unsigned month, unsigned day) {
  return std::chrono::sys_days{std::chrono::year_month_day{std::chrono::year(year),
                                                           std::chrono::month(month),
                                                           std::chrono::day(day)}}
      .time_since_epoch()
      .count();
}

// `when` as "YYYY-MM-DD HH:MM:SS".
std::string DateTimeText(DateTime when);

class Clock {
 public:
  virtual ~Clock() = default;
  // Returns the current local date and time.
  virtual DateTime Now() const = 0;
};

// The machine's clock in the local time zone.
class SystemClock : public Clock {
 public:
  DateTime Now() const override;
};

}  // namespace cubemill::platform
