// Reads a cube file back with the SQLite API, for the cube-file tests.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

namespace cubemill::provider::test {

// The rows of a query as text: NULL as "NULL", reals with up to 15 significant digits.
struct QueryResult {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  std::string error;  // "" when the query ran
};

inline QueryResult Query(const std::string& file, const std::string& sql) {
  QueryResult result;
  sqlite3* database = nullptr;
  if (sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    result.error = sqlite3_errmsg(database);
    sqlite3_close(database);
    return result;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    result.error = sqlite3_errmsg(database);
    sqlite3_close(database);
    return result;
  }
  const int count = sqlite3_column_count(statement);
  for (int i = 0; i < count; ++i) result.columns.push_back(sqlite3_column_name(statement, i));
  int step = 0;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < count; ++i) {
      switch (sqlite3_column_type(statement, i)) {
        case SQLITE_NULL:
          row.push_back("NULL");
          break;
        case SQLITE_INTEGER:
          row.push_back(std::to_string(sqlite3_column_int64(statement, i)));
          break;
        case SQLITE_FLOAT: {
          char buffer[64];
          std::snprintf(buffer, sizeof buffer, "%.15g", sqlite3_column_double(statement, i));
          row.push_back(std::string(buffer) + "r");  // marks a real, so 3 and 3.0 differ
          break;
        }
        default:
          row.push_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
          break;
      }
    }
    result.rows.push_back(std::move(row));
  }
  if (step != SQLITE_DONE) result.error = sqlite3_errmsg(database);
  sqlite3_finalize(statement);
  sqlite3_close(database);
  return result;
}

}  // namespace cubemill::provider::test
