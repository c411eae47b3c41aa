// Picks the table that answers a query: the smallest stored rollup detailed enough, or the leaf
// cells.
#pragma once

#include <string>
#include <vector>

#include "provider/cubefile/cube_reader.h"

namespace cubemill::query {

// Returns the table of the rollup with the fewest cells whose level in every hierarchy is at
// or below `needed_depth[h]` (a level ordinal, 1 for the top), or "cells" when no rollup is.
// A rollup whose levels do not name one level of each hierarchy, in order, is passed over.
std::string ChooseCellTable(const provider::cubefile::CubeCatalog& catalog,
                            const std::vector<int>& needed_depth);

}  // namespace cubemill::query
