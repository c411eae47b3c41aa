// Numbers and dates read from text: the one set of rules by which the ODBC source and the cube
// builder turn the text of a source value into a number or a date.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "provider/row_source.h"

namespace cubemill::provider::values {

// A number read from text: an integer, or a real when the text has a fraction or an exponent or
// the integer does not fit 64 bits.
using Number = std::variant<std::int64_t, double>;

// Reads `text` as a number: blanks (platform::IsBlank) around it, one optional sign, then digits
// with an optional fraction ("1.", ".5") and an optional exponent ("1e3", "2.5E-2"). Returns
// nothing for anything else: empty text, a second sign, hexadecimal, a decimal comma, "nan" and
// "inf" or "infinity" in any case, and numbers beyond the range of a double ("1e400",
// "1e-400"), which would only arrive as a wrong value.
std::optional<Number> ParseNumber(std::string_view text);

// Reads `text` as an unsigned decimal integer: the characters of `blanks` at either end are
// skipped, and what is left must be one or more of the digits 0-9 (leading zeros allowed).
// Returns nothing for anything else: no digits, a sign, a fraction, an inner blank, or a value
// past 2^64-1, which would only arrive cut.
std::optional<std::uint64_t> ParseUnsignedDecimal(std::string_view text,
                                                  std::string_view blanks = "");

// A date, or a date with its time of day.
using DateTime = std::variant<Date, Timestamp>;

// Reads `text` as "YYYY-MM-DD" (a Date) or as "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" or
// "YYYY-MM-DD HH:MM:SS.fraction" (a Timestamp; "T" may stand for the blank, and the fraction of
// a second is dropped). Blanks may stand around it. Returns nothing for any other form, for a
// year outside 1 to 9999, a day that does not exist (the months' lengths, leap years) or a time
// past 23:59:59.
std::optional<DateTime> ParseDateTime(std::string_view text);

// Stores in `integer` the value of `real` and returns true when `real` holds an integer that
// fits 64 bits, so that 3 and 3.0 are one number; returns false (leaving `integer` alone)
// otherwise. Inline: it runs for every value of every row.
inline bool AsExactInteger(double real, std::int64_t& integer) {
  constexpr double kInt64Limit = 9223372036854775808.0;  // 2^63, the first that does not fit
  if (!(real >= -kInt64Limit && real < kInt64Limit) || std::trunc(real) != real) return false;
  integer = static_cast<std::int64_t>(real);
  return true;
}

}  // namespace cubemill::provider::values
