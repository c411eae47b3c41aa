// The planner: how a bound query is answered. A query that only reads cells is one scan of the
// smallest stored table detailed enough for its tuples; a query that computes cells has a
// calculation step, which reads the stored values it needs in rounds, each round's
// coordinates of one pattern in one scan, planned the same way.
#pragma once

#include <string>
#include <vector>

#include "query/binder/binder.h"
#include "query/binder/cube_model.h"
#include "query/execution/grid.h"

namespace cubemill::query {

struct QueryPlan {
  // Cells are computed: calculated members, values, sets chosen by value, subselects.
  bool calculate = false;
  // Every scan reads the leaf cells, whatever rollups there are.
  bool leaf_cells_only = false;
};

QueryPlan PlanQuery(const BoundQuery& query, bool leaf_cells_only);

struct ScanPlan {
  // Per hierarchy, the deepest level ordinal (1 for the top) any axis tuple or WHERE tuple
  // names; 1 for a hierarchy the query does not name.
  std::vector<int> depths;
  // "cells", or the table of the rollup with the fewest rows whose level in every hierarchy is
  // at or below `depths`.
  std::string table;
};

// Plans the scan of `grid`. With `leaf_cells_only` the table is "cells" whatever rollups there
// are. A rollup whose levels do not name one level of each hierarchy, in order, is passed over.
ScanPlan PlanScan(const CubeModel& model, const Grid& grid, bool leaf_cells_only);

}  // namespace cubemill::query
