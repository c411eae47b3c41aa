// The local date and time, behind a seam so tests can fix it.
#pragma once

#include <chrono>

namespace cubemill::platform {

// A local date and time to the second. The difference of two values is a duration; added to
// DateTime{} it gives a value whose time of day is that duration (whole days fall into the date).
using DateTime = std::chrono::local_seconds;

// Builds a DateTime from its parts (no range checks beyond those of the calendar).
DateTime MakeDateTime(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                      int second = 0);

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
