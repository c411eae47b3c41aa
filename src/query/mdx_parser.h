// Parses the MDX subset cubemill-query answers:
//   SELECT [NON EMPTY] <set> ON COLUMNS [, [NON EMPTY] <set> ON ROWS] FROM [<cube>]
//   [WHERE <tuple>]
// with unique names, .Members, .Children, .Parent, {...}, (...), CrossJoin(a, b) and a * b.
#pragma once

#include <string_view>

#include "common/error.h"
#include "query/mdx_query.h"

namespace cubemill::query {

// The source every query error names.
inline constexpr char kQuerySource[] = "MDX";

// Returns the query, or an error naming what was wrong and the 1-based character offset where
// it was found ("expected ON at 20"). Keywords are matched without regard to case.
Result<MdxQuery> ParseMdx(std::string_view text);

}  // namespace cubemill::query
