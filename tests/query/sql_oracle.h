// Checks an MDX answer against SQL over the source rows of its cube.
#pragma once

#include <string>

#include "query/query_evaluator.h"

namespace cubemill::query::test {

// Compares `answer` with the rows of `sql` over `source`: each row holds the names of a row
// tuple, the names of a column tuple and the cell's value. Each SQL row must be a cell of the
// answer with that value (a number within a relative 1e-9, a text exactly as the answer's text
// of the cell, NULL as NULL); every other cell of the answer must be NULL. With `ordered` the
// answer's rows (its columns when it has no ROWS axis) must come in the order of their first
// SQL rows and be all of them, and its columns must be those SQL names.
// Failures are reported to the current test.
void ExpectSameCellsAsSql(const QueryResult& answer, const std::string& source,
                          const std::string& sql, bool ordered);

// Runs `sql` over `source` and fails the current test when it fails or gives no row: for the
// SQL of a question the engine cannot answer yet.
void ExpectSqlAnswers(const std::string& source, const std::string& sql);

}  // namespace cubemill::query::test
