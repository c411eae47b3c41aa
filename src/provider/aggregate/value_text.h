// Locale-independent conversions of source values: to member text, from text to numbers and
// dates.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "provider/row_source.h"

namespace cubemill::provider {

// Appends `value` as text: integers without decimals, reals in the shortest form that reads
// back to the same number, dates "YYYY-MM-DD", timestamps "YYYY-MM-DD HH:MM:SS", text as it is.
// NULL appends nothing.
void AppendValueText(const Value& value, std::string& out);

// Returns AppendValueText's text for `value`.
std::string ValueText(const Value& value);

// Appends "YYYY-MM-DD".
void AppendDateText(const Date& date, std::string& out);

// Appends "YYYY-MM-DD HH:MM:SS".
void AppendTimestampText(const Timestamp& timestamp, std::string& out);

// A number read from a source value.
using Number = std::variant<std::int64_t, double>;

// Reads `text` as a number (blanks around it allowed): an integer when it has no fraction or
// exponent and fits 64 bits, a real otherwise. Returns nothing when it is not a number.
std::optional<Number> ParseNumberText(std::string_view text);

// Reads an ISO date "YYYY-MM-DD", optionally followed by "T" or a blank and "HH:MM" or
// "HH:MM:SS" (a fraction of seconds is accepted and dropped). Blanks around it are allowed.
// Returns nothing when the text is not a valid date.
std::optional<Timestamp> ParseDateTimeText(std::string_view text);

}  // namespace cubemill::provider
