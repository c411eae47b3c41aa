// The lattice of level combinations and the greedy benefit-per-row choice of rollups.
#include "provider/aggregate/rollup_lattice.h"

#include <gtest/gtest.h>

#include <vector>

namespace cubemill::provider::aggregate {
namespace {

using Views = std::vector<std::size_t>;

TEST(RollupLatticeTest, NumbersViewsInMixedRadixAndOrdersThemByLevel) {
  const RollupLattice lattice({3, 2});  // 3 levels in the first hierarchy, 2 in the second
  ASSERT_EQ(lattice.size(), 6u);
  EXPECT_EQ(lattice.Up(0, 0), 0u);
  EXPECT_EQ(lattice.Up(5, 0), 2u);
  EXPECT_EQ(lattice.Up(5, 1), 1u);
  EXPECT_EQ(lattice.Up(3, 0), 0u);
  EXPECT_EQ(lattice.Up(3, 1), 1u);
  for (std::size_t v = 0; v < 6; ++v) {
    EXPECT_TRUE(lattice.Answers(0, v)) << v;  // the leaf answers everything
    EXPECT_TRUE(lattice.Answers(v, v)) << v;
    EXPECT_TRUE(lattice.Answers(v, 5)) << v;  // the top is answered by everything
  }
  EXPECT_TRUE(lattice.Answers(1, 4));   // (1,0) is below (1,1)
  EXPECT_FALSE(lattice.Answers(2, 3));  // (2,0) and (0,1) are not comparable
  EXPECT_FALSE(lattice.Answers(3, 2));
  EXPECT_FALSE(lattice.Answers(4, 1));      // coarser never answers finer
  EXPECT_EQ(RollupLattice({}).size(), 1u);  // a cube without hierarchies: the leaf alone
}

// Rows of the views of the {3, 2} lattice: (0,0) 100, (1,0) 50, (2,0) 10, (0,1) 80, (1,1) 20,
// (2,1) 1.
const std::vector<std::uint64_t> kRows = {100, 50, 10, 80, 20, 1};

TEST(RollupLatticeTest, PicksTheLargestBenefitPerRowFirst) {
  const RollupLattice lattice({3, 2});
  // Round 1: (2,1) saves 99 for one row. Round 2: (2,0) saves 90 over 10 rows (9 a row) against
  // (1,1)'s 80 over 20 and (1,0)'s 150 over 50. Round 3: (1,1) saves 80 over 20 rows against
  // (1,0)'s 100 over 50. Round 4: (1,0) saves 50 of its own (1 a row), then (0,1) 20 over 80.
  EXPECT_EQ(SelectRollups(lattice, kRows, 1000), (Views{5, 2, 4, 1, 3}));
}

TEST(RollupLatticeTest, KeepsTheBudget) {
  const RollupLattice lattice({3, 2});
  EXPECT_EQ(SelectRollups(lattice, kRows, 0), Views{});
  EXPECT_EQ(SelectRollups(lattice, kRows, 1), Views{5});
  EXPECT_EQ(SelectRollups(lattice, kRows, 11), (Views{5, 2}));
  // (1,1) does not fit into the 19 rows left, and nothing else that saves anything does either.
  EXPECT_EQ(SelectRollups(lattice, kRows, 30), (Views{5, 2}));
  EXPECT_EQ(SelectRollups(lattice, kRows, 31), (Views{5, 2, 4}));
  // What fits is taken even when a better view did not: (2,1) 1 row and (0,1) at 80 rows.
  const std::vector<std::uint64_t> rows = {100, 95, 90, 80, 85, 1};
  std::uint64_t used = 0;
  for (std::size_t v : SelectRollups(lattice, rows, 81)) used += rows[v];
  EXPECT_LE(used, 81u);
}

TEST(RollupLatticeTest, PicksNothingThatReadsNoFewerRows) {
  const RollupLattice lattice({3, 2});
  EXPECT_EQ(SelectRollups(lattice, std::vector<std::uint64_t>(6, 100), 1000), Views{});
  // Once (1,0) is picked, (2,0) of the same size saves nothing more.
  EXPECT_EQ(SelectRollups(lattice, {100, 10, 10, 100, 100, 100}, 1000), Views{1});
}

TEST(RollupLatticeTest, PicksNothingFromAnOversizedLatticeOrMismatchedRows) {
  const RollupLattice big(std::vector<std::size_t>(13, 2));  // 8192 views
  ASSERT_GT(big.size(), kMaxLatticeViews);
  std::vector<std::uint64_t> rows(big.size(), 1);
  rows[0] = 1000;
  EXPECT_EQ(SelectRollups(big, rows, 1000000), Views{});
  EXPECT_EQ(SelectRollups(RollupLattice({3, 2}), {100, 1}, 1000), Views{});
}

}  // namespace
}  // namespace cubemill::provider::aggregate
