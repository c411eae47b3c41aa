#include "provider/aggregate/cube_assembly.h"

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>

#include "provider/aggregate/member_key.h"

namespace cubemill::provider::aggregate {
namespace {

// Orders the members of every level and returns, per old member number, its new one;
// `position` gets each member's place in its level.
std::vector<std::uint32_t> OrderMembers(const ColumnPlan& plan, MemberIndex& index,
                                        std::vector<std::int64_t>& position) {
  const std::vector<MemberState>& members = index.members();
  position.assign(members.size() + 1, 0);
  std::vector<std::uint32_t> new_number(members.size() + 1, 0);
  std::uint32_t next_number = 1;
  for (const HierarchyPlan& hierarchy : plan.hierarchies) {
    for (std::size_t level_index : hierarchy.levels) {
      const bool by_key = plan.levels[level_index].by_key;
      std::vector<std::uint32_t>& list = index.MembersOf(level_index);
      auto order = [&](std::uint32_t a, std::uint32_t b) {
        const MemberState& x = members[a - 1];
        const MemberState& y = members[b - 1];
        if (position[x.parent] != position[y.parent])
          return position[x.parent] < position[y.parent];
        const int key_order = CompareKeys(x.key, y.key);
        const int name_order = x.name.compare(y.name);
        const int first = by_key ? key_order : name_order;
        const int second = by_key ? name_order : key_order;
        if (first != 0) return first < 0;
        return second < 0;
      };
      std::stable_sort(list.begin(), list.end(), order);
      for (std::size_t i = 0; i < list.size(); ++i) {
        position[list[i]] = static_cast<std::int64_t>(i);
        new_number[list[i]] = next_number++;
      }
    }
  }
  return new_number;
}

}  // namespace

BuiltCube AssembleCube(const ColumnPlan& plan, const GatheredRows& gathered) {
  BuiltCube cube;
  cube.coordinates = plan.coordinates;
  cube.measure_count = plan.measures.size();
  cube.source_rows = gathered.source_rows;
  std::vector<std::int64_t> position;
  const std::vector<std::uint32_t> new_number = OrderMembers(plan, gathered.index, position);
  std::vector<MemberState>& members = gathered.index.members();
  cube.members.resize(members.size());
  for (std::size_t old = 1; old <= members.size(); ++old) {
    MemberState& state = members[old - 1];
    const LevelPlan& level = plan.levels[state.level];
    Member& member = cube.members[new_number[old] - 1];
    member.id = new_number[old];
    member.parent = state.parent == 0 ? 0 : new_number[state.parent];
    member.dimension = level.dimension;
    member.hierarchy = level.hierarchy;
    member.level = level.level;
    member.key = std::move(state.key);
    member.name = std::move(state.name);
    member.position = position[old];
  }
  // Cells in the order of their members. Sizes in locals the lambdas copy, so the loops keep
  // them in registers.
  const CellTable& cells = gathered.cells;
  const std::size_t width = plan.coordinates.size();
  const std::size_t cell_count = cells.size();
  const std::size_t measure_count = plan.measures.size();
  cube.cell_count = cell_count;
  std::vector<std::int64_t> renumbered(cell_count * width);
  for (std::size_t cell = 0; cell < cell_count; ++cell) {
    const std::uint32_t* cell_members = cells.Members(cell);
    for (std::size_t i = 0; i < width; ++i)
      renumbered[cell * width + i] = new_number[cell_members[i]];
  }
  std::vector<std::uint32_t> order(cell_count);
  std::iota(order.begin(), order.end(), 0U);
  std::sort(order.begin(), order.end(), [&renumbered, width](std::uint32_t a, std::uint32_t b) {
    const std::int64_t* x = renumbered.data() + a * width;
    const std::int64_t* y = renumbered.data() + b * width;
    return std::lexicographical_compare(x, x + width, y, y + width);
  });
  cube.cell_members.reserve(cell_count * width);
  cube.cell_values.reserve(cell_count * measure_count);
  for (std::uint32_t cell : order) {
    const std::int64_t* cell_members = renumbered.data() + cell * width;
    cube.cell_members.insert(cube.cell_members.end(), cell_members, cell_members + width);
    for (std::size_t m = 0; m < measure_count; ++m) {
      cube.cell_values.push_back(ToCellValue(gathered.accumulators[cell * measure_count + m]));
    }
  }
  // Warnings.
  for (std::size_t l = 0; l < plan.levels.size(); ++l) {
    const std::int64_t null_rows = gathered.index.NullRows(l);
    if (null_rows > 0) {
      cube.warnings.push_back("level " + plan.levels[l].display + ": " + std::to_string(null_rows) +
                              (null_rows == 1 ? " row" : " rows") +
                              " had no value (NULL) and went to a member with an empty name");
    }
  }
  for (std::size_t m = 0; m < measure_count; ++m) {
    if (gathered.sum_overflowed[m]) {
      cube.warnings.push_back("measure " + Bracketed(plan.measures[m].name) +
                              ": an integer sum exceeded 64 bits and was kept as a real number");
    }
  }
  return cube;
}

}  // namespace cubemill::provider::aggregate
