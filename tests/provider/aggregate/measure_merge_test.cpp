// The one rule by which measure values merge: NULLs, exact integer sums and their overflow into
// a real, and MIN and MAX of integers and reals compared exactly, whatever the order.
#include "provider/aggregate/measure_merge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace cubemill::provider::aggregate {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

CellValue Null() { return CellValue(); }
CellValue Integer(std::int64_t integer) {
  CellValue value;
  value.state = CellState::kInteger;
  value.integer = integer;
  return value;
}
CellValue Real(double real) {
  CellValue value;
  value.state = CellState::kReal;
  value.real = real;
  return value;
}

std::string Text(const CellValue& value) {
  switch (value.state) {
    case CellState::kNull:
      return "NULL";
    case CellState::kInteger:
      return "integer " + std::to_string(value.integer);
    case CellState::kReal:
      break;
  }
  char text[64];
  std::snprintf(text, sizeof text, "real %.17g", value.real);
  return text;
}

// Merges `values` in order into a NULL start; `exact` is false when a step returned false.
CellValue MergeAll(const std::vector<CellValue>& values, AggregateFunction function,
                   bool* exact = nullptr) {
  CellValue acc;
  if (exact != nullptr) *exact = true;
  for (const CellValue& value : values) {
    if (!MergeValue(acc, value, function) && exact != nullptr) *exact = false;
  }
  return acc;
}

TEST(MeasureMergeTest, IgnoresNullForEveryFunction) {
  for (AggregateFunction function : {AggregateFunction::kSum, AggregateFunction::kCount,
                                     AggregateFunction::kMin, AggregateFunction::kMax}) {
    const std::string name(KeywordOf(kAggregateFunctionKeywords, function));
    EXPECT_EQ(Text(MergeAll({}, function)), "NULL") << name;
    EXPECT_EQ(Text(MergeAll({Null(), Null()}, function)), "NULL") << name;
    EXPECT_EQ(Text(MergeAll({Null(), Integer(-3), Null()}, function)), "integer -3") << name;
    EXPECT_EQ(Text(MergeAll({Real(2.5), Null()}, function)), "real 2.5") << name;
  }
}

TEST(MeasureMergeTest, AddsIntegersExactlyAndGoesRealPastSixtyFourBits) {
  const struct {
    std::vector<CellValue> values;
    const char* expected;
    bool exact;
  } cases[] = {
      {{Integer(9007199254740993), Integer(1)}, "integer 9007199254740994", true},
      {{Integer(kMax), Integer(-1), Integer(1)}, "integer 9223372036854775807", true},
      {{Integer(kMax), Integer(1)}, "real 9.2233720368547758e+18", false},
      {{Integer(kMin), Integer(-1)}, "real -9.2233720368547758e+18", false},
      {{Integer(kMin), Integer(kMin)}, "real -1.8446744073709552e+19", false},
      {{Integer(kMax), Integer(kMax)}, "real 1.8446744073709552e+19", false},
      // The exact sum 10310980095145948220 rounded once; rounding each part first would give
      // 1.0310980095145947e+19.
      {{Integer(5193743734873177028), Integer(5117236360272771192)},
       "real 1.0310980095145949e+19",
       false},
      // Once real, the sum stays real and adds further integers as reals.
      {{Integer(kMax), Integer(1), Integer(-1)}, "real 9.2233720368547758e+18", false},
      // An integer and a real: the integer as the nearest real, then added.
      {{Integer(9007199254740993), Real(0.5)}, "real 9007199254740992", true},
      {{Real(0.5), Integer(9007199254740993)}, "real 9007199254740992", true},
      {{Integer(2), Real(1.5)}, "real 3.5", true},
  };
  for (const auto& c : cases) {
    for (AggregateFunction function : {AggregateFunction::kSum, AggregateFunction::kCount}) {
      bool exact = true;
      const CellValue sum = MergeAll(c.values, function, &exact);
      EXPECT_EQ(Text(sum), c.expected) << c.expected;
      EXPECT_EQ(exact, c.exact) << c.expected;
    }
  }
}

TEST(MeasureMergeTest, CountsAddUp) {
  EXPECT_EQ(Text(MergeAll({Integer(1), Integer(1), Null(), Integer(5)}, AggregateFunction::kCount)),
            "integer 7");
}

TEST(MeasureMergeTest, ComparesIntegersWithRealsExactly) {
  const struct {
    std::int64_t integer;
    double real;
    int expected;
  } cases[] = {
      {9007199254740993, 9007199254740992.0, 1},
      {9007199254740992, 9007199254740992.0, 0},
      {9007199254740991, 9007199254740992.0, -1},
      {kMax, 9223372036854775808.0, -1},
      {kMin, -9223372036854775808.0, 0},
      {kMin, -1e300, 1},
      {kMax, std::numeric_limits<double>::infinity(), -1},
      {kMin, -std::numeric_limits<double>::infinity(), 1},
      {2, 2.5, -1},
      {3, 2.5, 1},
      {-2, -2.5, 1},
      {-3, -2.5, -1},
      {0, -0.0, 0},
      {0, 5e-324, -1},
      {0, -5e-324, 1},
      {7, std::nan(""), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareIntegerWithReal(c.integer, c.real), c.expected)
        << c.integer << " vs " << c.real;
    EXPECT_EQ(CompareValues(Integer(c.integer), Real(c.real)), c.expected)
        << c.integer << " vs " << c.real;
    EXPECT_EQ(CompareValues(Real(c.real), Integer(c.integer)), -c.expected)
        << c.real << " vs " << c.integer;
  }
}

TEST(MeasureMergeTest, MinAndMaxKeepTheExactExtremeInEitherOrder) {
  const struct {
    std::vector<CellValue> values;
    const char* min;
    const char* max;
  } cases[] = {
      {{Integer(9007199254740993), Real(9007199254740992.0)},
       "real 9007199254740992",
       "integer 9007199254740993"},
      {{Integer(kMax), Real(9223372036854775808.0)},
       "integer 9223372036854775807",
       "real 9.2233720368547758e+18"},
      {{Integer(-1), Real(-1.5), Integer(3), Real(2.5)}, "real -1.5", "integer 3"},
      // Equal values: the integer, whichever came first.
      {{Integer(4), Real(4.0)}, "integer 4", "integer 4"},
      {{Integer(kMin), Real(-9223372036854775808.0)},
       "integer -9223372036854775808",
       "integer -9223372036854775808"},
  };
  for (const auto& c : cases) {
    const std::vector<CellValue> reversed(c.values.rbegin(), c.values.rend());
    for (const auto* values : {&c.values, &reversed}) {
      EXPECT_EQ(Text(MergeAll(*values, AggregateFunction::kMin)), c.min) << c.min;
      EXPECT_EQ(Text(MergeAll(*values, AggregateFunction::kMax)), c.max) << c.max;
    }
  }
}

}  // namespace
}  // namespace cubemill::provider::aggregate
