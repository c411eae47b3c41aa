// The one rule by which measure values combine: the builder merges each row into its cell with
// it, the stored rollups merge cells into their rows, and a reader of a cube file that adds up
// cells (cubefile/stored_value_merge.h) uses it too, so that every path gives the same value.
#pragma once

#include <cmath>
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

// Sums of reals are kept exact as a pair: the real nearest to the exact sum and the rest, a
// second real (CellValue::rest). Two reals hold any sum whose bits, from the highest bit of the
// sum down to the lowest bit of any of its values, span at most 106 binary places: every sum
// below 10^12 of values with at most two decimals, or below 10^9 of values with at most four,
// for example. Such a sum is exact whatever the order and the grouping of its values, so the
// real shown is the same, correctly rounded, real on every path (rows into cells, cells into
// rollups, cells and rollups into a query's totals). A sum that spans more (1e-20 + 1e20) loses
// the lowest bits of its rest: still far closer than a plain sum, no longer always the nearest.

// s = the real nearest to a + b, e = a + b - s exactly (Knuth's two-sum: no branch, any order of
// magnitudes).
inline void TwoSum(double a, double b, double& s, double& e) {
  s = a + b;
  const double b_part = s - a;
  e = (a - (s - b_part)) + (b - b_part);
}

// `sum` and `rest` from `sum` + `rest` (the rest added in) as the nearest real and what is left;
// an infinite or NaN sum has no rest.
inline void Settle(double& sum, double& rest) {
  double settled;
  double left;
  TwoSum(sum, rest, settled, left);
  sum = settled;
  rest = std::isfinite(settled) ? left : 0;
}

// Adds the exact pair (`sum2`, `rest2`) to the exact pair (`sum`, `rest`).
inline void AddExactly(double& sum, double& rest, double sum2, double rest2) {
  double s;
  double e;
  TwoSum(sum, sum2, s, e);
  if (!std::isfinite(s)) {
    sum = s;
    rest = 0;
    return;
  }
  if (rest != 0 || rest2 != 0) {
    // The two rests' sum and its own rest join the first rest one after the other, each step
    // settled, so that no step rounds while the whole still fits the pair.
    double t;
    double f;
    TwoSum(rest, rest2, t, f);
    e += t;
    Settle(s, e);
    e += f;
    Settle(s, e);
  }
  sum = s;
  rest = e;
}

// The integer `integer` as an exact pair: the nearest real and the rest (above 2^53 the real
// may lack the last bits, which the rest holds).
inline void IntegerAsPair(std::int64_t integer, double& sum, double& rest) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  sum = static_cast<double>(integer);
  if (sum >= kTwoTo63) {  // rounded up past the largest integer: integer - 2^63 is at most 0
    rest = static_cast<double>(integer - INT64_MAX) - 1.0;
  } else {
    rest = static_cast<double>(integer - static_cast<std::int64_t>(sum));
  }
}

// Merges `value` into `acc` by `function`:
// - a NULL `value` changes nothing; a NULL `acc` takes `value` as it is;
// - SUM and COUNT add: two integers exactly while the sum fits 64 bits; past that the sum goes
//   on as a real, and the function returns false (once, at that step: a real `acc` stays real).
//   A real on either side makes the sum real. A real sum is exact, as the pair of `real` and
//   `rest` (above), and `real` the real nearest to it;
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
          double other;
          double other_rest;
          IntegerAsPair(value.integer, other, other_rest);
          IntegerAsPair(acc.integer, acc.real, acc.rest);
          acc.state = CellState::kReal;
          AddExactly(acc.real, acc.rest, other, other_rest);
          return false;
        }
        IntegerAsPair(acc.integer, acc.real, acc.rest);
        acc.state = CellState::kReal;
        AddExactly(acc.real, acc.rest, value.real, value.rest);
        return true;
      }
      if (value.state == CellState::kInteger) {
        double other;
        double other_rest;
        IntegerAsPair(value.integer, other, other_rest);
        AddExactly(acc.real, acc.rest, other, other_rest);
      } else {
        AddExactly(acc.real, acc.rest, value.real, value.rest);
      }
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
