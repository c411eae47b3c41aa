// The one rule by which measure values combine: the builder merges each row into its cell with
// it, the stored rollups merge cells into their rows, and a reader of a cube file that adds up
// cells (cubefile/stored_value_merge.h) uses it too, so that every path gives the same value.
#pragma once

#include <cstdint>

#include "provider/aggregate/cell_records.h"
#include "provider/cube_schema.h"

namespace cubemill::provider::aggregate {

// These functions run for every source row, so they stay inline.

// Compares the integer `integer` with the real `real` exactly, without rounding the integer to
// a real (which loses its last bits above 2^53): returns -1, 0 or 1 as the integer is less
// than, equal to or greater than the real. A NaN compares equal to every integer.
inline int CompareIntegerWithReal(std::int64_t integer, double real) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (real != real) return 0;  // NaN
  if (real >= kTwoTo63) return -1;
  if (real < -kTwoTo63) return 1;
  // |real| < 2^63 here, so its integral part fits and converts without loss, and so does it
  // back: only the fraction is left to decide a tie.
  const auto whole = static_cast<std::int64_t>(real);
  if (integer != whole) return integer < whole ? -1 : 1;
  const double fraction = real - static_cast<double>(whole);
  return fraction > 0 ? -1 : fraction < 0 ? 1 : 0;
}

// Compares two non-NULL values exactly: -1, 0 or 1 as `a` is less than, equal to or greater
// than `b`. Two reals of which one is NaN compare equal.
inline int CompareValues(const CellValue& a, const CellValue& b) {
  if (a.state == CellState::kInteger) {
    if (b.state == CellState::kInteger) return a.integer < b.integer ? -1 : a.integer > b.integer;
    return CompareIntegerWithReal(a.integer, b.real);
  }
  if (b.state == CellState::kInteger) return -CompareIntegerWithReal(b.integer, a.real);
  return a.real < b.real ? -1 : a.real > b.real ? 1 : 0;
}

// The real nearest to the sum of two integers whose sum does not fit 64 bits (both of one
// sign): rounded once, from the exact sum.
inline double OverflowedSum(std::int64_t a, std::int64_t b) {
  const bool negative = a < 0;
  const std::uint64_t ua = negative ? 0 - static_cast<std::uint64_t>(a) : a;
  const std::uint64_t ub = negative ? 0 - static_cast<std::uint64_t>(b) : b;
  const std::uint64_t low = ua + ub;
  // Magnitudes of at most 2^63 each: only -2^63 + -2^63 wraps, to 0, for 2^64.
  const double magnitude = low < ua ? 18446744073709551616.0 : static_cast<double>(low);
  return negative ? -magnitude : magnitude;
}

// Merges `value` into `acc` by `function`:
// - a NULL `value` changes nothing; a NULL `acc` takes `value` as it is;
// - SUM and COUNT add: two integers exactly while the sum fits 64 bits; past that the sum goes
//   on as the real nearest to the exact sum, and the function returns false (once, at that
//   step: a real `acc` stays real). A real on either side makes the sum real: the integer is
//   converted to the nearest real and the two added as reals;
// - MIN and MAX keep the smaller or the larger value, an integer and a real compared exactly
//   (CompareValues); of an integer and a real that are equal, the integer is kept, so that the
//   result does not depend on the order of the values.
// Returns true but for an integer sum that went past 64 bits.
inline bool MergeValue(CellValue& acc, const CellValue& value, AggregateFunction function) {
  if (value.state == CellState::kNull) return true;
  if (acc.state == CellState::kNull) {
    acc = value;
    return true;
  }
  switch (function) {
    case AggregateFunction::kSum:
    case AggregateFunction::kCount:
      if (acc.state == CellState::kInteger) {
        if (value.state == CellState::kInteger) {
          std::int64_t sum = 0;
          if (!__builtin_add_overflow(acc.integer, value.integer, &sum)) {
            acc.integer = sum;
            return true;
          }
          acc.real = OverflowedSum(acc.integer, value.integer);
          acc.state = CellState::kReal;
          return false;
        }
        acc.real = static_cast<double>(acc.integer) + value.real;
        acc.state = CellState::kReal;
        return true;
      }
      acc.real +=
          value.state == CellState::kInteger ? static_cast<double>(value.integer) : value.real;
      return true;
    case AggregateFunction::kMin:
    case AggregateFunction::kMax: {
      const int order = CompareValues(value, acc);
      if ((function == AggregateFunction::kMin ? order < 0 : order > 0) ||
          (order == 0 && value.state == CellState::kInteger && acc.state == CellState::kReal)) {
        acc = value;
      }
      return true;
    }
  }
  return true;
}

}  // namespace cubemill::provider::aggregate
