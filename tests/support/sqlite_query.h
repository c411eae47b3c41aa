// Reads query results out of SQLite files for the tests, every value in one text form.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cubemill::test {

// One value of a result row, with its SQLite storage class.
struct SqliteValue {
  enum class Type { kNull, kInteger, kReal, kText, kBlob };
  Type type = Type::kNull;
  // "NULL", an integer in decimal, a real as RealText writes it, the text as stored, or a blob
  // as X'<hex>'.
  std::string text = "NULL";
  bool operator==(const SqliteValue&) const = default;
};

struct SqliteResult {
  std::vector<std::string> columns;
  std::vector<std::vector<SqliteValue>> rows;
  std::string error;  // "" when the query ran to its end; SQLite's message otherwise
};

// Runs `sql` on the database at `path`, opened read-only, and returns the column names and
// every row. A database that cannot be opened or a query that fails sets `error` (rows read
// before the failure are kept).
SqliteResult ReadSqlite(const std::string& path, const std::string& sql);

using Rows = std::vector<std::vector<std::string>>;

// The rows of ReadSqlite(path, sql), each value as its `text`. Fails the current test when
// the query fails.
Rows QuerySqlite(const std::string& path, const std::string& sql);

// Runs `sql` on a cube file and returns its first value as text, or nothing when the file is not
// a complete, consistent SQLite database (PRAGMA integrity_check) or the query fails.
std::optional<std::string> QueryCube(const std::string& path, const std::string& sql);

// `value` in the shortest text that reads back as the same double, with a "." or an exponent
// always in it, so that a real never reads as an integer: 2.5, 3.0, 1e+300, -0.0, inf, nan.
std::string RealText(double value);

}  // namespace cubemill::test
