// Answers an MDX query from a cube file: the axes' tuples, and each cell aggregated from the
// smallest stored table that holds the detail the query needs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "provider/cubefile/cube_reader.h"

namespace cubemill::query {

struct QueryResult {
  // The member (or measure) names of each column's and each row's tuple. A query without a
  // ROWS axis has one row whose tuple is empty.
  std::vector<std::vector<std::string>> columns;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::vector<provider::cubefile::CellValue>> cells;  // [row][column]
  std::string table;  // the table the cells came from: "cells" or a rollup's
  bool operator==(const QueryResult&) const = default;
};

// Parses and evaluates `mdx` against the cube `reader` holds. A hierarchy named nowhere in the
// query counts at its ALL member (all its members when it has no ALL level); the measure of a
// cell comes from its column, its row or the WHERE tuple, else the cube's first measure. SUM and
// COUNT measures add their cells' values, MIN and MAX take the smallest and largest; a cell no
// stored value reaches is NULL. Returns an error naming what was wrong and where, or the cube
// file's failure.
Result<QueryResult> EvaluateMdx(const provider::cubefile::CubeReader& reader, std::string_view mdx);

}  // namespace cubemill::query
