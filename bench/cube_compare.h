// Compares two cube files built from the same rows in two ways (the engine reading every row,
// the source grouping them first): the same members and the same cells.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cubemill::bench {

// What a comparison found.
struct CubeComparison {
  std::int64_t members = 0;             // rows of the table members compared
  std::int64_t cells = 0;               // rows of the view cube_flat compared
  std::int64_t reals_differing = 0;     // reals not equal bit for bit, but within the bound
  double max_ulps = 0;                  // the largest difference of a real, in units in the
                                        // last place of the larger value
  std::int64_t mismatch_count = 0;      // values that differ beyond what is allowed
  std::vector<std::string> mismatches;  // the first few of them, described
};

// Compares the table `members` (every column, by id) and the view `cube_flat` (its rows ordered
// by every column) of the cube files `expected` and `actual`. Rows must match in number, and
// integers and text value for value. A real may differ by the rounding of the sums: at most
// twice as many units in the last place as the cell has source rows (the value of its COUNT
// measure `count_column`, at least 8), which bounds two sums of that many addends of one sign
// taken in different orders. Returns nothing after setting `error` when a file cannot be read.
std::optional<CubeComparison> CompareCubes(const std::string& expected, const std::string& actual,
                                           const std::string& count_column, std::string& error);

}  // namespace cubemill::bench
