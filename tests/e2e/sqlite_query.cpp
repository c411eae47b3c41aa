#include "e2e/sqlite_query.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>

namespace cubemill::test {

Rows QuerySqlite(const std::string& path, const std::string& sql) {
  Rows rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
  } else {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        switch (sqlite3_column_type(statement, i)) {
          case SQLITE_NULL:
            row.push_back("NULL");
            break;
          case SQLITE_FLOAT: {
            char text[64];
            std::snprintf(text, sizeof text, "%.6f", sqlite3_column_double(statement, i));
            row.push_back(text);
            break;
          }
          default:
            row.push_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
        }
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

}  // namespace cubemill::test
