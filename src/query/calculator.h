// Answers the queries that compute: calculated members and named sets (WITH), values of
// expressions, sets chosen or ordered by value (TopCount, Order, Filter...), aggregates over
// sets, the current member of the cell being computed, and subselects.
//
// A cell is a coordinate: one member of each hierarchy (or, where the WHERE clause or an
// Aggregate names a set, the set: the rows under any of its tuples, each once) and a measure.
// Its value is the stored value there, or the formula of the calculated member in it with the
// highest SOLVE_ORDER (a calculated measure on a tie). Stored values are read in batches: the
// query is evaluated, the coordinates it needed and did not have are read from the smallest
// stored table that holds each batch's detail, and the query is evaluated again, until nothing
// is missing. Until then a value not yet read stands in as empty: what a round computes from it
// only decides which values the next round asks for, and a round's answer counts only when it
// needed no value it did not have.
#pragma once

#include "provider/cubefile/cube_reader.h"
#include "query/cube_model.h"
#include "query/mdx_query.h"
#include "query/query_evaluator.h"

namespace cubemill::query {

// Whether `query` needs the calculator: a WITH clause, a subselect, or a function or value
// that the binder leaves to it anywhere in the axes or the WHERE clause.
bool NeedsCalculation(const MdxQuery& query);

// Answers `query` (see above). Empty operands of arithmetic and a division by zero give an
// empty cell; comparisons and ordering take an empty value as 0. Throws QueryFailure for a
// query that cannot be answered, std::runtime_error for a cube file that cannot be read.
QueryResult Calculate(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                      const MdxQuery& query, const QueryOptions& options);

}  // namespace cubemill::query
