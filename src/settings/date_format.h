// Formats date-time values with patterns such as "YYYY-MM-DD HH:mm:SS".
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace cubemill::settings {

// Returns `value` formatted with `pattern`. Tokens, matched longest first and without regard to
// case: YYYY, YY, MM/M (minute when the nearest preceding date or time token is an hour token,
// month otherwise), DD/D, HH/H, SS/S. Every other character is copied. Never fails.
std::string FormatDateTime(platform::DateTime value, std::string_view pattern);

}  // namespace cubemill::settings
