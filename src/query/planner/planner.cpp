#include "query/planner/planner.h"

#include <algorithm>

namespace cubemill::query {

namespace {

// Deepens `depths` to the members of `tuples`.
void Deepen(const CubeModel& model, const TupleList& tuples, std::vector<int>& depths) {
  for (std::size_t i = 0; i < tuples.Arity(); ++i) {
    const std::size_t h = tuples.shape[i];
    if (h == kMeasuresHierarchy) continue;
    for (std::size_t t = 0; t < tuples.count; ++t)
      depths[h] = std::max(depths[h], model.DepthOf(tuples.At(t)[i]));
  }
}

}  // namespace

QueryPlan PlanQuery(const BoundQuery& query, bool leaf_cells_only) {
  return {query.calculates, leaf_cells_only};
}

ScanPlan PlanScan(const CubeModel& model, const Grid& grid, bool leaf_cells_only) {
  const auto& catalog = model.Catalog();
  ScanPlan plan;
  plan.depths.assign(catalog.hierarchies.size(), 1);
  for (const TupleList* tuples : {&grid.columns.tuples, &grid.rows.tuples, &grid.slicer})
    Deepen(model, *tuples, plan.depths);
  plan.table = "cells";
  if (leaf_cells_only) return plan;

  const provider::cubefile::StoredRollup* best = nullptr;
  for (const auto& rollup : catalog.rollups) {
    if (rollup.levels.size() != catalog.hierarchies.size()) continue;
    bool detailed_enough = true;
    for (std::size_t h = 0; h < rollup.levels.size() && detailed_enough; ++h) {
      const std::size_t level = model.LevelIndex(rollup.levels[h]);
      detailed_enough = level != CubeModel::npos && model.LevelHierarchy(level) == h &&
                        catalog.levels[level].ordinal >= plan.depths[h];
    }
    if (detailed_enough && (best == nullptr || rollup.cell_count < best->cell_count))
      best = &rollup;
  }
  if (best != nullptr) plan.table = best->table;
  return plan;
}

}  // namespace cubemill::query
