// The cells' records and their ordering at the end of a build.
#include "provider/aggregate/cell_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "provider/aggregate/cell_table.h"
#include "provider/aggregate/cube_assembly.h"

namespace cubemill::provider::aggregate {
namespace {

using Members = std::array<std::uint32_t, 4>;

// A cell as the test sees it: its member numbers and its values.
struct Seen {
  Members members{};
  std::vector<std::tuple<CellState, std::int64_t, double>> values;
  bool operator==(const Seen&) const = default;
  bool operator<(const Seen& other) const { return members < other.members; }
};

std::vector<Seen> Read(const CellRecords& cells) {
  std::vector<Seen> seen;
  for (std::size_t cell = 0; cell < cells.size(); ++cell) {
    const std::byte* record = cells.InOrder(cell);
    Seen one;
    for (std::size_t i = 0; i < cells.width(); ++i) one.members[i] = cells.Member(record, i);
    for (std::size_t m = 0; m < cells.measure_count(); ++m) {
      const CellValue value = cells.Value(record, m);
      one.values.emplace_back(value.state, value.state == CellState::kInteger ? value.integer : 0,
                              value.state == CellState::kReal ? value.real : 0.0);
    }
    seen.push_back(one);
  }
  return seen;
}

// Cells whose member numbers are drawn below `limit` (distinct combinations), each holding an
// integer, a real and a NULL that identify it.
CellRecords RandomCells(std::size_t count, std::uint32_t limit, unsigned seed) {
  std::mt19937 random(seed);
  CellTable table(4, 3);
  while (table.size() < count) {
    Members members;
    for (std::uint32_t& number : members) number = 1 + static_cast<std::uint32_t>(random() % limit);
    const std::size_t before = table.size();
    const std::uint32_t cell = table.FindOrAdd(members.data());
    if (table.size() == before) continue;  // a combination drawn twice
    CellRecords& records = table.records();
    std::byte* record = records.Record(cell);
    CellValue integer;
    integer.state = CellState::kInteger;
    integer.integer = -static_cast<std::int64_t>(members[0]) * 1000003 - members[3];
    CellValue real;
    real.state = CellState::kReal;
    real.real = members[1] + members[2] / 8.0;
    records.SetValue(record, 0, integer);
    records.SetValue(record, 2, real);
  }
  std::vector<std::uint64_t> scratch;
  return table.TakeRecords(scratch);
}

TEST(CellRecordsTest, KeepsEveryCellAcrossBlocksAndFindsKnownCombinations) {
  CellTable table(3, 2);
  std::vector<std::array<std::uint32_t, 3>> added;
  for (std::uint32_t i = 0; i < 100000; ++i) {
    added.push_back({i % 7 + 1, i + 1, i / 3 + 1});
    EXPECT_EQ(table.FindOrAdd(added.back().data()), i);
  }
  for (std::uint32_t i = 0; i < added.size(); i += 997) {
    EXPECT_EQ(table.FindOrAdd(added[i].data()), i);
  }
  std::vector<std::uint64_t> scratch;
  const CellRecords records = table.TakeRecords(scratch);
  EXPECT_EQ(table.size(), 0u);
  EXPECT_GE(scratch.capacity(), records.size());
  ASSERT_EQ(records.size(), added.size());
  for (std::size_t cell = 0; cell < records.size(); ++cell) {
    const std::byte* record = records.Record(cell);
    for (std::size_t i = 0; i < 3; ++i) ASSERT_EQ(records.Member(record, i), added[cell][i]);
    EXPECT_EQ(records.Value(record, 0).state, CellState::kNull);
    EXPECT_EQ(records.Value(record, 1).state, CellState::kNull);
  }
}

// Ordering takes one of two ways, by the size of the numbers; both must give cells in the order
// of their new numbers, each with its own values.
TEST(CellRecordsTest, OrdersCellsByRenumberedMembersWithTheirValues) {
  for (const std::uint32_t limit : {5u, 40u, 100000u}) {
    CellRecords cells = RandomCells(limit == 5 ? 500 : 20000, limit, limit);
    std::vector<Seen> expected = Read(cells);
    // New numbers reverse the old ones.
    std::vector<std::uint32_t> new_number(limit + 1, 0);
    for (std::uint32_t old = 1; old <= limit; ++old) new_number[old] = limit + 1 - old;
    for (Seen& seen : expected) {
      for (std::uint32_t& number : seen.members) number = new_number[number];
    }
    std::sort(expected.begin(), expected.end());
    aggregate::OrderCells(cells, new_number);
    EXPECT_EQ(Read(cells), expected) << "member numbers below " << limit;
  }
}

TEST(CellRecordsTest, OrdersNoCellAndOneCell) {
  CellRecords none = RandomCells(0, 3, 1);
  aggregate::OrderCells(none, {0, 1, 2, 3});
  EXPECT_EQ(none.size(), 0u);
  CellRecords one = RandomCells(1, 3, 1);
  std::vector<Seen> expected = Read(one);
  for (std::uint32_t& number : expected[0].members) number = 4 - number;
  aggregate::OrderCells(one, {0, 3, 2, 1});
  EXPECT_EQ(Read(one), expected);
}

// A measure that keeps a rest gets it back beside its value; one that does not reads 0, and the
// values and members around the rests stay as set. The empty copy has the same layout.
TEST(CellRecordsTest, KeepsTheRestsOfTheMeasuresThatHaveOne) {
  CellRecords cells(3, 3, {false, true, true});
  const std::uint32_t members[3] = {7, 8, 9};
  for (int copy = 0; copy < 2; ++copy) {
    cells.Append(members);
    std::byte* record = cells.Record(cells.size() - 1);
    for (std::size_t m = 0; m < 3; ++m) {
      CellValue value;
      value.state = CellState::kReal;
      value.real = 1.5 + static_cast<double>(m);
      value.rest = 1e-17 * static_cast<double>(m + 1);
      cells.SetValue(record, m, value);
    }
    for (std::size_t m = 0; m < 3; ++m) {
      const CellValue value = cells.Value(record, m);
      EXPECT_EQ(value.real, 1.5 + static_cast<double>(m));
      EXPECT_EQ(value.rest, m == 0 ? 0.0 : 1e-17 * static_cast<double>(m + 1));
      EXPECT_EQ(cells.Member(record, m), members[m]);
    }
    cells = cells.EmptyLike();
  }
}

}  // namespace
}  // namespace cubemill::provider::aggregate
