// Members of time levels derived from one date or timestamp: keys, captions, calendar rules.
#pragma once

#include <cstdint>
#include <string>

#include "provider/cube_schema.h"
#include "provider/row_source.h"

namespace cubemill::provider::aggregate {

// True when a level of `type` takes an integer key from a date (YEAR ... SECOND except DATE);
// DATE and untyped levels take the date's text ("YYYY-MM-DD", with " HH:MM:SS" for an untyped
// level fed by a timestamp).
bool HasNumericTimeKey(LevelType type);

// Returns the integer key of the member of a level of `type` (one with HasNumericTimeKey) for
// `moment`: YEAR the year, QUARTER 1-4, MONTH 1-12, WEEK (WeekOfYear), DAY 1-31, DAYOFWEEK
// 1-7 (Sunday = 1), HOUR 0-23, MINUTE and SECOND 0-59.
std::int64_t TimeKey(LevelType type, const Timestamp& moment);

// Appends the caption of that member: "1997", "Quarter 1", "January", "Week 1", "1", "Sunday",
// "1997-01-31", or the number for HOUR, MINUTE and SECOND.
void AppendTimeName(LevelType type, const Timestamp& moment, bool is_timestamp, std::string& out);

// Returns the weekday of `date`, 1 for Sunday to 7 for Saturday.
int DayOfWeek(const Date& date);

// Returns the week of the year of `date`: weeks start on Sunday and week 1 is the one holding
// 1 January, so a year has 53 weeks, or 54 when a leap year starts on a Saturday.
int WeekOfYear(const Date& date);

// Returns the day of the year of `date`, 1 for 1 January.
int DayOfYear(const Date& date);

}  // namespace cubemill::provider::aggregate
