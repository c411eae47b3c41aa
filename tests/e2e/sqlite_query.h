// Reads query results from SQLite files as text, for comparing a cube with its source.
#pragma once

#include <string>
#include <vector>

namespace cubemill::test {

using Rows = std::vector<std::vector<std::string>>;

// Runs `sql` on the database at `path` (read-only) and returns every row, each value as text
// ("NULL" for NULL, reals rounded to 6 decimals). Fails the test on an error.
Rows QuerySqlite(const std::string& path, const std::string& sql);

}  // namespace cubemill::test
