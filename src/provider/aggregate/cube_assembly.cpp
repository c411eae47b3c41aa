#include "provider/aggregate/cube_assembly.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>
#include <variant>

#include "common/quoted_text.h"
#include "provider/aggregate/cube_seed.h"
#include "provider/aggregate/member_key.h"

namespace cubemill::provider::aggregate {
namespace {

// Whether each member of `list` is named by its key and that key is a number (or NULL): a level fed
// by a numeric column alone, whose members are ordered by that number (9 before 10), not by the
// text of their names.
bool NamedByNumbers(const std::vector<MemberState>& members,
                    const std::vector<std::uint32_t>& list) {
  return !list.empty() && std::all_of(list.begin(), list.end(), [&](std::uint32_t m) {
    const MemberState& member = members[m - 1];
    if (std::holds_alternative<std::monostate>(member.key)) return true;  // NULL: first
    const bool number = std::holds_alternative<std::int64_t>(member.key) ||
                        std::holds_alternative<double>(member.key);
    return number && member.name == KeyText(member.key);
  });
}

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
      std::vector<std::uint32_t>& list = index.MembersOf(level_index);
      const bool by_key = plan.levels[level_index].by_key || NamedByNumbers(members, list);
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

std::string NullLevelWarning(const std::string& level_display, std::int64_t rows) {
  return "level " + level_display + ": " + std::to_string(rows) + (rows == 1 ? " row" : " rows") +
         " had no value (NULL) and went to a member with an empty name";
}

std::string SumOverflowWarning(const std::string& measure_name) {
  return "measure " + Bracketed(measure_name) +
         ": an integer sum exceeded 64 bits and was kept as a real number";
}

std::int64_t NullRowsWarned(const std::vector<std::string>& warnings,
                            const std::string& level_display) {
  const std::string prefix = "level " + level_display + ": ";
  for (const std::string& warning : warnings) {
    if (warning.compare(0, prefix.size(), prefix) != 0) continue;
    std::int64_t rows = 0;
    std::size_t at = prefix.size();
    while (at < warning.size() && warning[at] >= '0' && warning[at] <= '9')
      rows = rows * 10 + (warning[at++] - '0');
    if (warning == NullLevelWarning(level_display, rows)) return rows;
  }
  return 0;
}

void OrderCells(CellRecords& cells, const std::vector<std::uint32_t>& new_number,
                std::vector<std::uint64_t> scratch) {
  const std::size_t width = cells.width();
  const std::size_t count = cells.size();
  std::vector<std::uint32_t> low(width, UINT32_MAX);
  std::vector<std::uint32_t> high(width, 0);
  for (std::size_t cell = 0; cell < count; ++cell) {
    std::byte* record = cells.Record(cell);
    for (std::size_t i = 0; i < width; ++i) {
      const std::uint32_t id = new_number[cells.Member(record, i)];
      cells.SetMember(record, i, id);
      low[i] = std::min(low[i], id);
      high[i] = std::max(high[i], id);
    }
  }
  if (count < 2) return;
  // Where it fits, one 64-bit number per cell sorts it: its ids as digits of a mixed-radix
  // number (each coordinate's digit counted from its lowest id) above the cell's number.
  unsigned index_bits = 0;
  while ((std::uint64_t{1} << index_bits) < count) ++index_bits;
  std::vector<std::uint64_t> radix(width, 0);
  std::uint64_t keys = 1;  // how many mixed-radix numbers there are
  bool fits = true;
  for (std::size_t i = width; i-- > 0 && fits;) {
    radix[i] = keys;
    fits = !__builtin_mul_overflow(keys, std::uint64_t{high[i]} - low[i] + 1, &keys);
  }
  fits = fits && (keys - 1) >> (64 - index_bits) == 0;
  std::vector<std::uint64_t> order = std::move(scratch);
  order.assign(count, 0);
  if (fits) {
    for (std::size_t cell = 0; cell < count; ++cell) {
      const std::byte* record = cells.Record(cell);
      std::uint64_t key = 0;
      for (std::size_t i = 0; i < width; ++i) key += (cells.Member(record, i) - low[i]) * radix[i];
      order[cell] = key << index_bits | cell;
    }
    std::sort(order.begin(), order.end());
  } else {
    index_bits = 64;
    std::iota(order.begin(), order.end(), std::uint64_t{0});
    std::sort(order.begin(), order.end(), [&cells, width](std::uint64_t a, std::uint64_t b) {
      const std::byte* x = cells.Record(a);
      const std::byte* y = cells.Record(b);
      for (std::size_t i = 0; i < width; ++i) {
        const std::uint32_t p = cells.Member(x, i);
        const std::uint32_t q = cells.Member(y, i);
        if (p != q) return p < q;
      }
      return false;
    });
  }
  cells.SetOrder(std::move(order), index_bits);
}

BuiltCube AssembleCube(const ColumnPlan& plan, const GatheredRows& gathered) {
  BuiltCube cube;
  cube.coordinates = plan.coordinates;
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
  std::vector<std::uint64_t> scratch;
  cube.cells = gathered.cells.TakeRecords(scratch);
  OrderCells(cube.cells, new_number, std::move(scratch));
  // Warnings.
  for (std::size_t l = 0; l < plan.levels.size(); ++l) {
    const std::int64_t null_rows = gathered.index.NullRows(l);
    if (null_rows > 0) {
      cube.warnings.push_back(NullLevelWarning(plan.levels[l].display, null_rows));
    }
  }
  for (std::size_t m = 0; m < plan.measures.size(); ++m) {
    if (gathered.sum_overflowed[m]) {
      cube.warnings.push_back(SumOverflowWarning(plan.measures[m].name));
    }
  }
  return cube;
}

}  // namespace cubemill::provider::aggregate
