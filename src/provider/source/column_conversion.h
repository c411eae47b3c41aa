// Turns the text a source delivers for one value into the typed value the engine works with.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "provider/row_source.h"

namespace cubemill::provider::source {

// How the text of a column is read.
enum class ColumnKind { kText, kInteger, kReal, kDateTime };

// Returns the integer written in `text` (optional sign, digits, blanks around), or nothing.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// Returns the finite number written in `text` (decimal or exponent form, blanks around), or
// nothing.
std::optional<double> ParseReal(std::string_view text);

// Returns the Date of "YYYY-MM-DD" or the Timestamp of "YYYY-MM-DD HH:MM[:SS[.fraction]]" (a
// "T" may stand for the blank; the fraction is dropped), or nothing when `text` is neither or
// names a day or time that does not exist.
std::optional<std::variant<Date, Timestamp>> ParseDateTime(std::string_view text);

// Returns `text` read as `kind`: kInteger gives an int64, or a double when the number has a
// fractional part or does not fit; kReal gives a double; kDateTime a Date or Timestamp. Text
// that cannot be read so is returned as it is (a view of `text`), so that the engine can report
// the value with its row and column.
Value TextToValue(std::string_view text, ColumnKind kind);

}  // namespace cubemill::provider::source
