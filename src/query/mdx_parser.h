// Parses the MDX subset cubemill-query answers:
//   SELECT [NON EMPTY] <set> ON COLUMNS [, [NON EMPTY] <set> ON ROWS] FROM [<cube>]
//   [WHERE <set>]
// with unique names, {...}, (...), a * b, m1 : m2, the functions after a "." (.Members,
// .Children, .Parent, .FirstChild, .LastChild, .Siblings, .PrevMember, .NextMember, .Level,
// .Lag(n), .Lead(n)) and those called by name (CrossJoin, Head, Tail, Subset, Union, Except,
// Intersect, Distinct, Hierarchize, Extract, Ancestor, Descendants), each checked for the kinds
// of its arguments ("Head needs a set at 12"); an unknown one fails ("unknown function Foo at 8").
// Numbers are integers, "-" before them for negative ones.
// An axis is named COLUMNS, 0 or AXIS(0), and ROWS, 1 or AXIS(1); a higher axis number fails.
// Comments run from "--" or "//" to the end of the line, or from "/*" to "*/"; within a
// bracketed name these are plain characters.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/error.h"
#include "query/mdx_query.h"

namespace cubemill::query {

// The source every query error names.
inline constexpr char kQuerySource[] = "MDX";

// The most levels a query's expressions may nest: a name is one level, and each {...}, (...),
// function, "*", ":" and "."-function adds one over its highest operand. The bound
// keeps the parser's recursion, and every walk over the tree after it, far from the stack's end.
inline constexpr std::size_t kMaxMdxNesting = 200;

// The longest query text, in bytes.
inline constexpr std::size_t kMaxMdxLength = 1 << 20;

// Returns the query, or an error naming what was wrong and the 1-based character offset where
// it was found ("expected ON, found \"FROM\" at 28"). Keywords are matched without regard to
// case. A query nested deeper than kMaxMdxNesting fails ("the query nests deeper than 200
// levels at 412", the place where the level too many opens), as does one longer than
// kMaxMdxLength. A "[" never closed is named where it stands ("unclosed [ at 19"), also when a
// later "]" closed it as a name that swallowed part of the query. A "/*" never closed fails
// where it stands ("unclosed /* comment at 30").
Result<MdxQuery> ParseMdx(std::string_view text);

}  // namespace cubemill::query
