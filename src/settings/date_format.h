// Formats date-time values with patterns such as "YYYY-MM-DD HH:mm:SS".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace cubemill::settings {

// Returns `value` formatted with `pattern`. Tokens, matched longest first and without regard to
// case: YYYY, YY, MM/M (minute when the nearest preceding date or time token is an hour token,
// month otherwise), DD/D, HH/H, SS/S. Every other character is copied. Never fails.
std::string FormatDateTime(platform::DateTime value, std::string_view pattern);

// What a text made by FormatDateTime says when it is read back with its pattern.
struct DateTimeStamp {
  // The date and time the text shows, for ordering stamps: set only when the pattern shows the
  // year and every field below it down to its finest one (YYYY-MM-DD or YY.MM, not MM-DD or
  // YYYY_HH) and the text reads one way only. Fields the pattern does not show count as their
  // start; two-digit years count as 2000 to 2099.
  std::optional<platform::DateTime> time;
};

// Reads `text` as a text that FormatDateTime(value, pattern) gives for some value, with the
// tokens as FormatDateTime finds them: YYYY four digits, YY and doubled letters two, a single
// letter one or two without a leading zero, each within its field's range (month 1-12, a day that
// exists in the month, hour 0-23, minute and second 0-59), a field shown twice the same both
// times, every other character as it is. Returns nothing when `text` is not such a text.
std::optional<DateTimeStamp> ReadDateTimeStamp(std::string_view text, std::string_view pattern);

}  // namespace cubemill::settings
