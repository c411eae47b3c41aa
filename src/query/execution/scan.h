// The scan: reads the table a plan chose once, row by row, maps each row to the tuples of the
// axes it counts for, and adds its values into the cells of the answer.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "provider/cube_schema.h"
#include "provider/cubefile/cube_reader.h"
#include "query/binder/cube_model.h"
#include "query/execution/grid.h"
#include "query/planner/planner.h"
#include "query/query_evaluator.h"

namespace cubemill::query {

// Answers `query` from the table `plan` names. A row counts for a tuple when its member in
// each of the tuple's hierarchies lies at or under the tuple's member; for the cell of a row
// tuple and a column tuple it adds the value of the cell's measure (the column's, the row's,
// the WHERE tuples', else the first), as that measure's function adds values. A row counts
// when it lies under any tuple of the WHERE set, and then once, even when it lies under
// several (a year and one of its quarters): the slicer restricts the rows, it does not weigh
// them. NON EMPTY then drops the tuples of an axis whose cells are all NULL.
//
// The answer may have at most `max_cells` cells. Without NON EMPTY its size is rows x columns,
// checked before the table is read. With NON EMPTY the size is known after reading; every cell
// with a value lies in a row and a column that are kept, so reading stops as soon as more than
// `max_cells` cells have a value, and the kept rows x kept columns are checked before the grid
// is made. Throws QueryFailure for a limit, std::runtime_error for a table that cannot be read
// or refers to a member the catalog lacks. When `cancel` is given, reading looks at it every few
// thousand rows and, once it is set, stops and throws QueryFailure "Cancelled".
// How each measure's stored values merge (add, or take the least or greatest), the rule the
// builder and the stored rollups follow; throws std::runtime_error for an unknown function.
std::vector<provider::AggregateFunction> MeasureMerges(const CubeModel& model);

// Fails naming the answer's size, `rows` x `columns`, against the limit of its cells.
[[noreturn]] void FailCells(std::size_t rows, std::size_t columns, std::size_t limit);

QueryResult Scan(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                 const Grid& query, const ScanPlan& plan, std::size_t max_cells,
                 const std::atomic<bool>* cancel = nullptr);

}  // namespace cubemill::query
