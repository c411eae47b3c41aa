// Rollups of a cube built in memory, large enough that the rows of its level combinations are
// estimated rather than counted: every rollup still holds the cells' totals, in member order,
// within the budget.
#include "provider/aggregate/rollup_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "provider/aggregate/cube_builder.h"
#include "provider/aggregate/cube_fixtures.h"
#include "provider/aggregate/rollup_lattice.h"

namespace cubemill::provider::aggregate {
namespace {

using namespace provider::test;  // NOLINT: the fixtures' schema builders

// Four dimensions, each ALL and three levels (x / 9, x / 3, x): 256 level combinations.
CubeSchema Schema() {
  CubeSchema schema;
  schema.name = "Big";
  for (const char* name : {"A", "B", "C", "D"}) {
    schema.dimensions.push_back(
        MakeDimension(name, {AllLevel("All"), MakeLevel("L1"), MakeLevel("L2"), MakeLevel("L3")}));
  }
  schema.measures = {MakeMeasure("Sum"), MakeMeasure("Low", AggregateFunction::kMin)};
  return schema;
}

// 20,000 rows, each its own cell: 255 * 20,000 cell visits would be more than kExactCountWork.
BuiltCube Build() {
  std::vector<ColumnBinding> columns;
  for (std::size_t d = 0; d < 4; ++d) {
    for (std::size_t l = 1; l <= 3; ++l) columns.push_back(LevelColumn(d, 0, l, "L"));
  }
  columns.push_back(MeasureColumn(0, "Sum"));
  columns.push_back(MeasureColumn(1, "Low"));
  const CubeSchema schema = Schema();
  CubeBuilder builder(schema, MakeInsert("Big", columns));
  std::vector<Value> row;
  for (std::int64_t i = 0; i < 20000; ++i) {
    row.clear();
    for (std::int64_t modulus : {37, 41, 43, 47}) {
      const std::int64_t x = i % modulus;
      row.insert(row.end(), {Int(x / 9), Int(x / 3), Int(x)});
    }
    row.push_back(Int(i));
    row.push_back(i % 5 == 0 ? kNull : Int(i % 1000));
    EXPECT_EQ(builder.AddRow(row), std::nullopt);
  }
  auto cube = builder.Finish();
  EXPECT_TRUE(cube.ok());
  return std::move(*cube);
}

// The ancestor of member `id` at level `level` of its hierarchy.
std::uint32_t Ancestor(const BuiltCube& cube, std::uint32_t id, std::size_t level) {
  while (cube.members[id - 1].level > level) {
    id = static_cast<std::uint32_t>(cube.members[id - 1].parent);
  }
  return id;
}

// Checks every rollup against the cells, aggregated here by brute force; returns their rows.
std::size_t ExpectRollupsHoldTheCellsTotals(const BuiltCube& cube) {
  std::size_t total = 0;
  for (const Rollup& rollup : cube.rollups) {
    using Key = std::vector<std::uint32_t>;
    std::map<Key, std::pair<std::int64_t, std::optional<std::int64_t>>> expected;
    for (std::size_t i = 0; i < cube.cells.size(); ++i) {
      const std::byte* record = cube.cells.InOrder(i);
      Key key;
      for (std::size_t c = 0; c < cube.cells.width(); ++c) {
        key.push_back(Ancestor(cube, cube.cells.Member(record, c), rollup.levels[c]));
      }
      auto& [sum, low] = expected[key];
      sum += cube.cells.Value(record, 0).integer;
      const CellValue value = cube.cells.Value(record, 1);
      if (value.state == CellState::kInteger && (!low || value.integer < *low)) low = value.integer;
    }
    // std::map is ordered by the member ids: the order the rows must come in.
    EXPECT_EQ(rollup.cells.size(), expected.size());
    auto want = expected.begin();
    for (std::size_t i = 0; i < rollup.cells.size() && want != expected.end(); ++i, ++want) {
      const std::byte* record = rollup.cells.InOrder(i);
      Key key;
      for (std::size_t c = 0; c < rollup.cells.width(); ++c) {
        key.push_back(rollup.cells.Member(record, c));
      }
      EXPECT_EQ(key, want->first) << "row " << i;
      EXPECT_EQ(rollup.cells.Value(record, 0).integer, want->second.first);
      const CellValue low = rollup.cells.Value(record, 1);
      EXPECT_EQ(low.state == CellState::kNull, !want->second.second.has_value());
      if (want->second.second) {
        EXPECT_EQ(low.integer, *want->second.second);
      }
    }
    total += rollup.cells.size();
  }
  return total;
}

TEST(RollupBuilderTest, EstimatedSizesStillGiveTheCellsTotalsWithinTheBudget) {
  BuiltCube cube = Build();
  ASSERT_EQ(cube.cells.size(), 20000u);
  ASSERT_GT(255 * cube.cells.size(), kExactCountWork);  // the estimated path
  const CubeSchema schema = Schema();
  BuildRollups(schema, cube, std::nullopt);
  EXPECT_FALSE(cube.rollups.empty());
  EXPECT_LE(ExpectRollupsHoldTheCellsTotals(cube), 20000u);
  for (std::uint64_t budget : {1, 100, 3000}) {
    BuildRollups(schema, cube, budget);
    EXPECT_LE(ExpectRollupsHoldTheCellsTotals(cube), budget) << budget;
  }
  BuildRollups(schema, cube, 0);
  EXPECT_TRUE(cube.rollups.empty());
}

}  // namespace
}  // namespace cubemill::provider::aggregate
