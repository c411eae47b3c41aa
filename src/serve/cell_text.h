// The values of cells as XML writes them, shared by the multidimensional answer and the rowsets.
#pragma once

#include <cmath>
#include <cstddef>
#include <string>

#include "query/query_evaluator.h"
#include "query/value_format.h"

namespace cubemill::serve {

// A value as XML Schema writes a double: INF, -INF and NaN for those that are not finite.
inline std::string XsdDouble(const provider::cubefile::CellValue& value) {
  if (value.kind == provider::cubefile::CellValue::Kind::kReal && !std::isfinite(value.real))
    return std::isnan(value.real) ? "NaN" : (value.real > 0 ? "INF" : "-INF");
  return query::ValueText(value);
}

// Whether the cell at `r`, `c` holds a string or a truth value.
inline bool HasText(const query::QueryResult& result, std::size_t r, std::size_t c) {
  return !result.texts.empty() && !result.texts[r][c].empty();
}

}  // namespace cubemill::serve
