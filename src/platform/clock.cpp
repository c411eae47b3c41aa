#include "platform/clock.h"

#include <ctime>

namespace cubemill::platform {

DateTime MakeDateTime(int year, unsigned month, unsigned day, int hour, int minute, int second) {
  std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                   std::chrono::day(day)};
  return std::chrono::local_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
         std::chrono::seconds(second);
}

DateTime SystemClock::Now() const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return MakeDateTime(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                      static_cast<unsigned>(local.tm_mday), local.tm_hour, local.tm_min,
                      local.tm_sec);
}

}  // namespace cubemill::platform
