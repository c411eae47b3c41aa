#include "provider/source/sqlite_fixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace cubemill::test {

void RunSqlite(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK) << path;
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string text = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << text;
}

std::string SqliteOdbc(const std::string& path) { return "DRIVER=SQLite3;Database=" + path; }

SqliteWriteLock::SqliteWriteLock(const std::string& path) {
  EXPECT_EQ(sqlite3_open(path.c_str(), &database_), SQLITE_OK) << path;
  EXPECT_EQ(sqlite3_exec(database_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
}

SqliteWriteLock::~SqliteWriteLock() {
  sqlite3_exec(database_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(database_);
}

}  // namespace cubemill::test
