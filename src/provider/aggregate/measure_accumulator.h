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

// One row's value for one measure: NULL, a number, or (for COUNT) just present.
enum class InputKind : std::uint8_t { kNull, kInteger, kReal, kPresent };
struct Input {
  InputKind kind = InputKind::kNull;
  std::int64_t integer = 0;
  double real = 0;
};

// One cell's running value of one measure: NULL until a value arrives, then an integer or a
// real.
using Accumulator = CellValue;

// The functions below run for every row, so they stay inline.

// Returns the number held by a non-empty `acc`, widened so integers and reals compare exactly.
inline long double AccValue(const Accumulator& acc) {
  return acc.state == CellState::kInteger ? static_cast<long double>(acc.integer)
                                          : static_cast<long double>(acc.real);
}

// Returns the number of a numeric `input`, widened like AccValue.
inline long double InputValue(const Input& input) {
  return input.kind == InputKind::kInteger ? static_cast<long double>(input.integer)
                                           : static_cast<long double>(input.real);
}

// Replaces the value of `acc` with the numeric `input`, keeping it an integer or a real.
inline void Assign(Accumulator& acc, const Input& input) {
  if (input.kind == InputKind::kInteger) {
    acc.state = CellState::kInteger;
    acc.integer = input.integer;
  } else {
    acc.state = CellState::kReal;
    acc.real = input.real;
  }
}

// Adds the numeric `input` to a SUM; a real on either side makes the sum real. Returns false
// when an integer sum overflowed 64 bits and went real.
inline bool AddToSum(Accumulator& acc, const Input& input) {
  if (acc.state == CellState::kNull) {
    Assign(acc, input);
    return true;
  }
  if (acc.state == CellState::kInteger) {
    if (input.kind == InputKind::kInteger) {
      std::int64_t sum = 0;
      if (!__builtin_add_overflow(acc.integer, input.integer, &sum)) {
        acc.integer = sum;
        return true;
      }
      acc.real = static_cast<double>(acc.integer) + static_cast<double>(input.integer);
      acc.state = CellState::kReal;
      return false;
    }
    acc.real = static_cast<double>(acc.integer) + input.real;
    acc.state = CellState::kReal;
    return true;
  }
  acc.real += input.kind == InputKind::kInteger ? static_cast<double>(input.integer) : input.real;
  return true;
}

}  // namespace cubemill::provider::aggregate
