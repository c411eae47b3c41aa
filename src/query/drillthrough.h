// Answers DRILLTHROUGH: the leaf cells behind one cell of a query, each with its members and its
// measures' values, as a client shows the details of a number in a pivot table.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "provider/cubefile/cube_reader.h"
#include "query/query_evaluator.h"

namespace cubemill::query {

struct DrillthroughResult {
  // The columns' unique names: the levels first ([Geography].[City]), then the measures
  // ([Measures].[Qty]). Without RETURN, the leaf level of every hierarchy and every measure, in
  // the cube's order; with RETURN, the levels and the measures it names, each group in RETURN's
  // order (a hierarchy named stands for its leaf level).
  std::vector<std::string> columns;
  std::size_t level_columns = 0;  // how many of `columns` are levels
  // One row per leaf cell under the cell, in the order the cube file holds them: the name of
  // the cell's member at each level column (its ancestor at that level), and its value of each
  // measure column (NULL where it has none).
  std::vector<std::vector<std::string>> members;
  std::vector<std::vector<provider::cubefile::CellValue>> values;
  bool truncated = false;  // MAXROWS cut the rows short
  bool operator==(const DrillthroughResult&) const = default;
};

// Answers `mdx`, DRILLTHROUGH [MAXROWS n] SELECT ... [RETURN name, ...], from the leaf cells
// (table `cells`) of the cube `reader` holds. The SELECT names one cell: each axis holds one
// tuple of the cube's members (an axis of no tuple gives no rows), the WHERE clause a tuple or
// a set (a leaf cell under any of its tuples counts, once); a hierarchy it names nowhere counts
// whole. The measure the cell names does not matter: every measure (or those RETURN names) is a
// column. MAXROWS n keeps the first n rows. Fails naming what was wrong for a statement that is
// not a DRILLTHROUGH, a WITH clause or a subselect, an axis of more than one tuple, a RETURN
// name that is no level, hierarchy or measure, and an answer of more than
// `options.max_cells` fields (rows x columns); honours `options.cancel`. Returns the cube
// file's failure as EvaluateMdx does.
Result<DrillthroughResult> EvaluateDrillthrough(const provider::cubefile::CubeReader& reader,
                                                std::string_view mdx,
                                                const QueryOptions& options = {});

}  // namespace cubemill::query
