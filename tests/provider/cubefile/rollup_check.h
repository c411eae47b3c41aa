// Checks the stored rollups of a cube file against its leaf cells, with SQL alone.
#pragma once

#include <cstdint>
#include <string>

namespace cubemill::test {

// Checks every rollup of the cube file at `cube`: its rollup_levels name one level of each
// hierarchy, in the hierarchy; its table is rollup_<id> with cell_count rows, the cells' columns,
// and rows in the order of their members; and each row's measures equal a GROUP BY over the cells
// joined to their members' ancestors at the rollup's levels (SUM for SUM and COUNT, MIN, MAX;
// reals within a relative 1e-12, since another order of adding may change the last bits), with
// no combination missing or extra. Returns the rollups' rows in all. Fails the current test at
// the first difference.
std::uint64_t ExpectRollupsMatchCells(const std::string& cube);

}  // namespace cubemill::test
