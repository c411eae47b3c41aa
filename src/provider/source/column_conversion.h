// Turns the text a source delivers for one value into the typed value its column asks for.
#pragma once

#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "provider/row_source.h"

namespace cubemill::provider::source {

// How the text of a column is read.
enum class ColumnKind { kText, kInteger, kReal, kDateTime };

// Returns `text` read as `kind` by the rules of values::ParseNumber and values::ParseDateTime:
// kInteger gives an int64, or a double when the number has a fractional part or does not fit;
// kReal gives a double; kDateTime a Date or Timestamp. Text that cannot be read so is returned
// as it is (a view of `text`), so that the engine can report the value with its row and column.
Value TextToValue(std::string_view text, ColumnKind kind);

// Converts, in place, each text value of `row` by TextToValue with the kind of its column in
// `kinds` (one per value). Other values stay as they are.
void ConvertRow(std::span<Value> row, const std::vector<ColumnKind>& kinds);

// Converts the values of one row in place, as ConvertRow does. Never fails.
using RowConversion = std::function<void(std::span<Value> row)>;

// A source that reads its values as text and converts them can leave the converting to its
// caller, who may have a thread with more time for it (see ReadAheadSource).
class DefersConversion {
 public:
  // From now on NextRow delivers every value as the text it arrived as (NULL as NULL); the
  // function returned turns such a row into the one NextRow would have delivered. Called
  // before the first NextRow; the function does not depend on the source staying alive.
  virtual RowConversion DeferConversion() = 0;

 protected:
  ~DefersConversion() = default;
};

}  // namespace cubemill::provider::source
