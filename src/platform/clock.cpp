#include "platform/clock.h"

#include <cstdio>
#include <ctime>

namespace cubemill::platform {

DateTime MakeDateTime(int year, unsigned month, unsigned day, int hour, int minute, int second) {
  std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                   std::chrono::day(day)};
  return std::chrono::local_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
         std::chrono::seconds(second);
}

std::string DateTimeText(DateTime when) {
  const auto day = std::chrono::floor<std::chrono::days>(when);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss time{when - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

DateTime SystemClock::Now() const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return MakeDateTime(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday), local.tm_hour, local.tm_min,
                      local.tm_sec);
}

}  // namespace cubemill::platform
