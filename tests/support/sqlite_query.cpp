#include "support/sqlite_query.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <charconv>
#include <cmath>

namespace cubemill::test {
namespace {

SqliteValue ColumnValue(sqlite3_stmt* statement, int column) {
  SqliteValue value;
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
      value.type = SqliteValue::Type::kInteger;
      value.text = std::to_string(sqlite3_column_int64(statement, column));
      break;
    case SQLITE_FLOAT:
      value.type = SqliteValue::Type::kReal;
      value.text = RealText(sqlite3_column_double(statement, column));
      break;
    case SQLITE_BLOB: {
      value.type = SqliteValue::Type::kBlob;
      const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
      const int size = sqlite3_column_bytes(statement, column);
      static constexpr char kHex[] = "0123456789ABCDEF";
      value.text = "X'";
      for (int i = 0; i < size; ++i) {
        value.text += kHex[bytes[i] >> 4];
        value.text += kHex[bytes[i] & 15];
      }
      value.text += "'";
      break;
    }
    default: {
      value.type = SqliteValue::Type::kText;
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      value.text.assign(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
      break;
    }
  }
  return value;
}

}  // namespace

std::string RealText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  std::string text(buffer, end);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

SqliteResult ReadSqlite(const std::string& path, const std::string& sql) {
  SqliteResult result;
  sqlite3* database = nullptr;
  if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    result.error = "cannot open " + path + ": " +
                   (database != nullptr ? sqlite3_errmsg(database) : "out of memory");
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
  int step = SQLITE_OK;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    std::vector<SqliteValue> row;
    for (int i = 0; i < count; ++i) row.push_back(ColumnValue(statement, i));
    result.rows.push_back(std::move(row));
  }
  if (step != SQLITE_DONE) result.error = sqlite3_errmsg(database);
  sqlite3_finalize(statement);
  sqlite3_close(database);
  return result;
}

std::optional<std::string> QueryCube(const std::string& path, const std::string& sql) {
  const SqliteResult check = ReadSqlite(path, "PRAGMA integrity_check");
  if (!check.error.empty() || check.rows.empty() || check.rows[0][0].text != "ok")
    return std::nullopt;
  const SqliteResult result = ReadSqlite(path, sql);
  if (!result.error.empty() || result.rows.empty() || result.rows[0].empty()) return std::nullopt;
  return result.rows[0][0].text;
}

Rows QuerySqlite(const std::string& path, const std::string& sql) {
  const SqliteResult result = ReadSqlite(path, sql);
  if (!result.error.empty()) ADD_FAILURE() << result.error << " in " << sql << " on " << path;
  Rows rows;
  for (const auto& values : result.rows) {
    std::vector<std::string> row;
    for (const SqliteValue& value : values) row.push_back(value.text);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace cubemill::test
