// The end of a cube build: members ordered and numbered level by level, cells put in the order
// of their members, and the warnings gathered.
#pragma once

#include <cstdint>
#include <vector>

#include "provider/aggregate/built_cube.h"
#include "provider/aggregate/cell_table.h"
#include "provider/aggregate/column_plan.h"
#include "provider/aggregate/member_index.h"

namespace cubemill::provider::aggregate {

// What a build has gathered when its last row is in.
struct GatheredRows {
  MemberIndex& index;
  CellTable& cells;
  const std::vector<bool>& sum_overflowed;  // per measure
  std::int64_t source_rows = 0;
};

// Returns the cube: members ordered level by level from the top, each level by its parents'
// order and then by name or key (the other breaking ties), numbered 1 up in that order; cells
// ordered by those numbers; a warning for each level with NULL keys and each integer SUM that
// went real. The members' keys and names are moved out of `gathered.index`, and the cells out
// of `gathered.cells`: their member numbers become ids and they are put in order where they
// are, in the memory of their table, so that they are never held twice.
BuiltCube AssembleCube(const ColumnPlan& plan, const GatheredRows& gathered);

// Replaces each member number in `cells` with new_number[number] and sets the cells' order
// (CellRecords::InOrder) to that of those numbers, coordinate after coordinate (the cells'
// combinations being distinct).
// `scratch` is memory to reuse (one number per cell); it is used up.
void OrderCells(CellRecords& cells, const std::vector<std::uint32_t>& new_number,
                std::vector<std::uint64_t> scratch = {});

}  // namespace cubemill::provider::aggregate
