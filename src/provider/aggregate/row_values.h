// A source row's values decoded for the cube builder: the dates of its TIME columns and the
// numbers of its measures, or an error naming the row, the column and the value.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/error.h"
#include "provider/aggregate/column_plan.h"
#include "provider/aggregate/measure_accumulator.h"
#include "provider/row_source.h"

namespace cubemill::provider::aggregate {

// One row's date of one TIME column.
struct TimeSlot {
  bool is_null = true;
  bool is_timestamp = false;  // a time of day was given (it shows in untyped level names)
  Timestamp moment;
};

// Reads the TIME columns of `row`, the `row_number`th, into `slots` (one per
// plan.time_columns): NULL, a Date, a Timestamp, or text read by values::ParseDateTime. Returns
// a data error for any other value and for a day that does not exist.
std::optional<Error> ReadTimes(const ColumnPlan& plan, const std::vector<Value>& row,
                               std::int64_t row_number, std::vector<TimeSlot>& slots);

// Reads the measure columns of `row` into `inputs` (one per plan.measures): NULL, present for
// COUNT (with plan.counts_given: the count, an integer, and NULL for a count of 0), else a
// finite number (text read by values::ParseNumber) made an integer or a real as the measure's
// TYPE asks when it can be without loss. Returns a data error for anything else.
std::optional<Error> ReadMeasures(const ColumnPlan& plan, const std::vector<Value>& row,
                                  std::int64_t row_number, std::vector<Input>& inputs);

// Reads the number of source rows a group stands for: an integer of at least 1, given as such or
// as text. Returns nothing for anything else.
std::optional<std::int64_t> ReadGroupRows(const Value& value);

}  // namespace cubemill::provider::aggregate
