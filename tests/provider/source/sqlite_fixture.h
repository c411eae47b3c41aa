// Creates SQLite databases for the ODBC source tests and names them in a connection string.
#pragma once

#include <string>

struct sqlite3;

namespace cubemill::test {

// Runs the statements of `sql` on the SQLite database at `path`, creating it; fails the test
// with SQLite's message when a statement fails.
void RunSqlite(const std::string& path, const std::string& sql);

// The connection string that opens the database at `path` through the SQLite ODBC driver.
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
