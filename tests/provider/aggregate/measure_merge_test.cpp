// The one rule by which measure values merge: NULLs, exact integer sums and their overflow into
// a real, sums of reals that are correctly rounded whatever the order and the grouping (Python's
// math.fsum the oracle), and MIN and MAX of integers and reals compared exactly, whatever the
// order.
#include "provider/aggregate/measure_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/python_fsum.h"

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
      // An integer and a real: their exact sum (9007199254740993.5) rounded once, where rounding
      // the integer first would give 9007199254740992.
      {{Integer(9007199254740993), Real(0.5)}, "real 9007199254740994", true},
      {{Real(0.5), Integer(9007199254740993)}, "real 9007199254740994", true},
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

// A decimal with `places` places after the point, read as a source's text would be: the real
// nearest to it.
double Decimal(std::int64_t units, int places) {
  std::string text = std::to_string(units < 0 ? -units : units);
  if (places > 0) {
    if (text.size() <= static_cast<std::size_t>(places))
      text.insert(0, static_cast<std::size_t>(places) + 1 - text.size(), '0');
    text.insert(text.size() - static_cast<std::size_t>(places), ".");
  }
  if (units < 0) text.insert(0, "-");
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Merges `values` as a tree of random shape: random pairs of partial sums merged until one is
// left, as rollups merge cells and a query merges rollup rows.
CellValue MergeAsTree(std::vector<CellValue> values, std::mt19937_64& random) {
  if (values.empty()) return CellValue();
  while (values.size() > 1) {
    std::uniform_int_distribution<std::size_t> pick(0, values.size() - 1);
    const std::size_t a = pick(random);
    std::size_t b = pick(random);
    if (a == b) b = (b + 1) % values.size();
    MergeValue(values[a], values[b], AggregateFunction::kSum);
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(b));
  }
  return values.front();
}

// Sums of decimal data (prices in cents, amounts with four places, some whole numbers among
// them, both signs) come out as the real nearest to the exact sum, bit for bit what math.fsum
// gives: row by row into cells, cells into groups of cells, and the groups into a total, each in
// a random order and shape.
TEST(MeasureMergeTest, RealSumsAreCorrectlyRoundedWhateverTheOrderAndGrouping) {
  std::mt19937_64 random(20261209);
  struct Trial {
    std::vector<std::vector<CellValue>> cells;  // each cell's rows
    std::vector<double> reals;                  // every row, as the oracle reads it
  };
  std::vector<Trial> trials(60);
  std::vector<std::vector<double>> oracle_lists;
  for (std::size_t t = 0; t < trials.size(); ++t) {
    Trial& trial = trials[t];
    const int places = t % 3 == 0 ? 4 : 2;
    const std::int64_t largest = t % 5 == 0 ? 1'000'000'000'000 : 10'000'000;
    std::uniform_int_distribution<std::int64_t> units(-largest / 10, largest);
    std::uniform_int_distribution<int> cell_count(1, 40);
    std::uniform_int_distribution<int> row_count(1, 60);
    trial.cells.resize(static_cast<std::size_t>(cell_count(random)));
    for (auto& cell : trial.cells) {
      const int rows = row_count(random);
      for (int r = 0; r < rows; ++r) {
        const std::int64_t drawn = units(random);
        CellValue value;
        if (drawn % 7 == 0) {  // a whole number, as an integer column gives it
          const std::int64_t whole = drawn / 100;
          value = Integer(whole);
          trial.reals.push_back(static_cast<double>(whole));
        } else {
          value = Real(Decimal(drawn, places));
          trial.reals.push_back(value.real);
        }
        cell.push_back(value);
      }
    }
    oracle_lists.push_back(trial.reals);
    for (const auto& cell : trial.cells) {
      std::vector<double> reals;
      for (const CellValue& value : cell)
        reals.push_back(value.state == CellState::kInteger ? static_cast<double>(value.integer)
                                                           : value.real);
      oracle_lists.push_back(reals);
    }
  }
  const std::vector<double> oracle = test::PythonFsum(oracle_lists);
  std::size_t next = 0;
  for (std::size_t t = 0; t < trials.size(); ++t) {
    Trial& trial = trials[t];
    const double total = oracle[next++];
    std::vector<CellValue> cells;
    for (auto& rows : trial.cells) {
      std::shuffle(rows.begin(), rows.end(), random);
      const CellValue cell = MergeAll(rows, AggregateFunction::kSum);
      const double expected = oracle[next++];
      if (cell.state == CellState::kReal) {
        EXPECT_EQ(cell.real, expected) << "trial " << t << ": " << Text(cell);
      } else {
        EXPECT_EQ(static_cast<double>(cell.integer), expected) << "trial " << t;
      }
      cells.push_back(cell);
    }
    // Cells merged one after the other in two orders, and as random trees.
    std::vector<CellValue> all = cells;
    for (int order = 0; order < 4; ++order) {
      std::shuffle(all.begin(), all.end(), random);
      const CellValue sum =
          order < 2 ? MergeAll(all, AggregateFunction::kSum) : MergeAsTree(all, random);
      const double got =
          sum.state == CellState::kReal ? sum.real : static_cast<double>(sum.integer);
      EXPECT_EQ(got, total) << "trial " << t << ", order " << order << ": " << Text(sum);
    }
  }
}

// The rest carries what a plain sum loses: the same three reals give one sum in every order,
// and a large value's neighbours are not lost beside it.
TEST(MeasureMergeTest, TheRestKeepsWhatThePlainSumLoses) {
  // The exact sum of the reals 0.1, 0.2 and -0.3 rounds to 2.7755575615628914e-17; a plain sum
  // gives that in one order and 5.551115123125783e-17 in another (0.1 + 0.2 first).
  for (const std::vector<CellValue>& values :
       {std::vector<CellValue>{Real(0.1), Real(0.2), Real(-0.3)},
        std::vector<CellValue>{Real(0.2), Real(-0.3), Real(0.1)}}) {
    EXPECT_EQ(MergeAll(values, AggregateFunction::kSum).real, 2.7755575615628914e-17);
  }
  // 1e16 + 1 + 1 - 1e16: 2, where a plain sum gives 0 or 2 as the order falls.
  const std::vector<CellValue> large = {Real(1e16), Real(1), Real(1), Real(-1e16)};
  EXPECT_EQ(MergeAll(large, AggregateFunction::kSum).real, 2.0);
  // An integer past 2^53 added to a real: its last bits are kept in the rest.
  const std::vector<CellValue> mixed = {Integer(9007199254740993), Real(0.5),
                                        Integer(-9007199254740992)};
  EXPECT_EQ(MergeAll(mixed, AggregateFunction::kSum).real, 1.5);
  // Infinities and NaN stay what they are, with no rest.
  const CellValue infinite = MergeAll(
      {Real(1.5), Real(std::numeric_limits<double>::infinity()), Real(2)}, AggregateFunction::kSum);
  EXPECT_TRUE(std::isinf(infinite.real));
  EXPECT_EQ(infinite.rest, 0);
  const CellValue overflow = MergeAll({Real(1.7e308), Real(1.7e308)}, AggregateFunction::kSum);
  EXPECT_TRUE(std::isinf(overflow.real));
  EXPECT_EQ(overflow.rest, 0);
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
