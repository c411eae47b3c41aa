#include "support/sqlite_fixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/system.h"

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

std::string CreateSqliteTable(const std::string& path, const std::string& table,
                              const std::vector<std::string>& columns,
                              const std::vector<std::vector<SqliteCell>>& rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return "cannot open " + path + ": " + message;
  }
  std::string create = "CREATE TABLE " + table + " (";
  std::string insert = "INSERT INTO " + table + " VALUES (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    create += (i ? ", " : "") + columns[i];
    insert += i ? ", ?" : "?";
  }
  create += ")";
  insert += ")";
  std::string error;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db, insert.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
  }
  for (std::size_t r = 0; error.empty() && r < rows.size(); ++r) {
    if (rows[r].size() != columns.size()) {
      error = "row " + std::to_string(r + 1) + " has " + std::to_string(rows[r].size()) +
              " values for " + std::to_string(columns.size()) + " columns";
      break;
    }
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const int index = static_cast<int>(c) + 1;
      if (rows[r][c]) {
        sqlite3_bind_text(statement, index, rows[r][c]->data(),
                          static_cast<int>(rows[r][c]->size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(statement, index);
      }
    }
    if (sqlite3_step(statement) != SQLITE_DONE) error = sqlite3_errmsg(db);
    sqlite3_reset(statement);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return error;
}

std::string SqliteOdbc(const std::string& path) {
  return "DRIVER=SQLite3;Database=" + DriverPath(path);
}

SqliteWriteLock::SqliteWriteLock(const std::string& path) {
  EXPECT_EQ(sqlite3_open(path.c_str(), &database_), SQLITE_OK) << path;
  EXPECT_EQ(sqlite3_exec(database_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
}

SqliteWriteLock::~SqliteWriteLock() {
  sqlite3_exec(database_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(database_);
}

}  // namespace cubemill::test
