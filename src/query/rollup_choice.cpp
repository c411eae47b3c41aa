#include "query/rollup_choice.h"

namespace cubemill::query {

std::string ChooseCellTable(const provider::cubefile::CubeCatalog& catalog,
                            const std::vector<int>& needed_depth) {
  const provider::cubefile::StoredRollup* best = nullptr;
  for (const auto& rollup : catalog.rollups) {
    if (rollup.levels.size() != catalog.hierarchies.size()) continue;
    bool detailed_enough = true;
    for (std::size_t h = 0; h < rollup.levels.size() && detailed_enough; ++h) {
      const provider::cubefile::StoredLevel* level = nullptr;
      for (const auto& candidate : catalog.levels)
        if (candidate.id == rollup.levels[h]) level = &candidate;
      detailed_enough = level != nullptr && level->hierarchy == catalog.hierarchies[h].id &&
                        level->ordinal >= needed_depth[h];
    }
    if (detailed_enough && (best == nullptr || rollup.cell_count < best->cell_count))
      best = &rollup;
  }
  return best == nullptr ? "cells" : best->table;
}

}  // namespace cubemill::query
