// Stored rollups of a built cube: its leaf cells aggregated to coarser level combinations,
// chosen by the greedy selection of rollup_lattice.h and computed from the cells in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "provider/aggregate/built_cube.h"
#include "provider/cube_schema.h"

namespace cubemill::provider::aggregate {

// (views - 1) * cells up to this and every view's rows are counted exactly from the cells;
// above it they are estimated (see BuildRollups), since counting passes over the cells once per
// view and would cost more than the rest of a large build.
inline constexpr std::uint64_t kExactCountWork = std::uint64_t{1} << 22;

// Fills `cube.rollups` for `schema`: picks level combinations with SelectRollups under a budget
// of `budget` rows in all (nothing: as many rows as the cube has cells; 0: no rollups) and
// aggregates the cells into each (SUM and COUNT add, MIN and MAX keep the extreme, NULL stays
// NULL where no cell below had a value). View sizes are exact where kExactCountWork allows, else
// estimated from the levels' member counts as if the cells spread evenly over their
// combinations; where the rollups then got more rows than the budget, the last picked are
// dropped until they fit. Each rollup is computed from the smallest rollup already computed that
// answers it, or from the cells.
void BuildRollups(const CubeSchema& schema, BuiltCube& cube, std::optional<std::uint64_t> budget);

// The rollups BuildRollups would put into `cube.rollups`, returned instead. Reads `cube` and
// nothing else (its `rollups` neither), so it may run on another thread while `cube` is read
// elsewhere, as the cube-file writer does while it writes the cells.
std::vector<Rollup> ComputeRollups(const CubeSchema& schema, const BuiltCube& cube,
                                   std::optional<std::uint64_t> budget);

}  // namespace cubemill::provider::aggregate
