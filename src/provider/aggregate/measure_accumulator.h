// Measure accumulation of the cube builder: a row's measure inputs and a cell's running values.
#pragma once

#include <cstdint>
#include <string>

#include "provider/aggregate/cell_records.h"
#include "provider/cube_schema.h"

namespace cubemill::provider::aggregate {

// Returns the class of a measure declared with `type` (a keyword of kMeasureTypeKeywords in any
// letter case); an unknown or empty type gives kAny.
NumberClass ClassOfType(const std::string& type);

// Whether the cells keep the rest of a real sum for a measure (measure_merge.h): SUM measures
// but those declared integer, whose rare real values are added without one.
inline bool KeepsRest(AggregateFunction function, NumberClass number_class) {
  return function == AggregateFunction::kSum && number_class != NumberClass::kInteger;
}

// One row's value for one measure: NULL, a number, or (for COUNT) just present.
enum class InputKind : std::uint8_t { kNull, kInteger, kReal, kPresent };
struct Input {
  InputKind kind = InputKind::kNull;
  std::int64_t integer = 0;
  double real = 0;
};

// One cell's running value of one measure: NULL until a value arrives, then an integer or a
// real. Rows merge into it by MergeValue (measure_merge.h).
using Accumulator = CellValue;

}  // namespace cubemill::provider::aggregate
