// Creates SQLite databases for the tests that read sources through the SQLite ODBC driver, and
// names them in a connection string.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace cubemill::test {

// Runs the statements of `sql` on the SQLite database at `path`, creating it; fails the test
// with SQLite's message when a statement fails.
void RunSqlite(const std::string& path, const std::string& sql);

// One value of a row to insert: text, or nothing for NULL.
using SqliteCell = std::optional<std::string>;

// Creates the table `table` with `columns` (each "name TYPE", written into CREATE TABLE as
// given) in the database at `path`, creating the database, and inserts `rows`. Every value is
// bound as text, so the column's declared type converts it as it would a string literal ("10"
// into an INTEGER column is the integer 10, "n/a" stays text). Returns "" or SQLite's message.
std::string CreateSqliteTable(const std::string& path, const std::string& table,
                              const std::vector<std::string>& columns,
                              const std::vector<std::vector<SqliteCell>>& rows);

// The connection string that opens the database at `path` through the SQLite ODBC driver (the
// path as DriverPath gives it).
std::string SqliteOdbc(const std::string& path);

// Holds the lock of an open write transaction (BEGIN EXCLUSIVE) on the SQLite database at `path`,
// as another program might, until it is destroyed.
class SqliteWriteLock {
 public:
  explicit SqliteWriteLock(const std::string& path);
  ~SqliteWriteLock();
  SqliteWriteLock(const SqliteWriteLock&) = delete;
  SqliteWriteLock& operator=(const SqliteWriteLock&) = delete;

 private:
  sqlite3* database_ = nullptr;
};

}  // namespace cubemill::test
