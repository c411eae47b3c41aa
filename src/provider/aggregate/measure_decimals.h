// How many decimals a measure's figures are shown with by default: the most any of its values
// shows in its shortest form, capped, kept up to date row by row at the cost of a multiplication
// and a comparison for most values.
#pragma once

#include <cmath>

namespace cubemill::provider::aggregate {

// The most decimals a measure gets from its values: a real with more (a sum of reals that is
// not the decimal total, 1/3) shows this many, as a person would read it.
inline constexpr int kMaxMeasureDecimals = 6;

// The decimals `value` (finite) shows in its shortest form, given that its measure already has
// `known` (0 to kMaxMeasureDecimals): `known` when the value fits in that many, else the fewest
// more that it fits in, at most kMaxMeasureDecimals. A value fits in d decimals when it is the
// double nearest to its rounding to d decimals; the division is correctly rounded, so for d up to
// 6 that matches the digits of the shortest text that reads back as the value.
inline int DecimalsOf(double value, int known) {
  static constexpr double kPowers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  static_assert(sizeof kPowers / sizeof kPowers[0] == kMaxMeasureDecimals + 1);
  for (int d = known; d < kMaxMeasureDecimals; ++d) {
    if (std::nearbyint(value * kPowers[d]) / kPowers[d] == value) return d;
  }
  return kMaxMeasureDecimals;
}

}  // namespace cubemill::provider::aggregate
