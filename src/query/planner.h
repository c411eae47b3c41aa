// The planner: how deep into each hierarchy a bound query reaches, and the table that answers
// it: the smallest stored rollup detailed enough, or the leaf cells.
#pragma once

#include <string>
#include <vector>

#include "query/binder.h"
#include "query/cube_model.h"

namespace cubemill::query {

struct QueryPlan {
  // Per hierarchy, the deepest level ordinal (1 for the top) any axis tuple or WHERE tuple
  // names; 1 for a hierarchy the query does not name.
  std::vector<int> depths;
  // "cells", or the table of the rollup with the fewest rows whose level in every hierarchy is
  // at or below `depths`.
  std::string table;
};

// Plans `query`. With `leaf_cells_only` the table is "cells" whatever rollups there are. A
// rollup whose levels do not name one level of each hierarchy, in order, is passed over.
QueryPlan PlanQuery(const CubeModel& model, const BoundQuery& query, bool leaf_cells_only);

}  // namespace cubemill::query
