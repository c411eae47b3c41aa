// Turns the text a source delivers for one value into the typed value its column asks for.
#pragma once

#include <string_view>

#include "provider/row_source.h"

namespace cubemill::provider::source {

// How the text of a column is read.
enum class ColumnKind { kText, kInteger, kReal, kDateTime };

// Returns `text` read as `kind` by the rules of values::ParseNumber and values::ParseDateTime:
// kInteger gives an int64, or a double when the number has a fractional part or does not fit;
// kReal gives a double; kDateTime a Date or Timestamp. Text that cannot be read so is returned
// as it is (a view of `text`), so that the engine can report the value with its row and column.
Value TextToValue(std::string_view text, ColumnKind kind);

}  // namespace cubemill::provider::source
