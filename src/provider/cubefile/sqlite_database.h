// A thin face on one SQLite database the cube writer fills: statements as RAII handles, and
// failures as text that carries the system's message under SQLite's.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cubemill::provider::cubefile {

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// An open database written by one thread. Each call returns false on failure and keeps the
// reason for Failure().
class SqliteDatabase {
 public:
  // Opens the existing file at `path` for writing; returns the reason when it cannot.
  static std::optional<std::string> Open(const std::string& path,
                                         std::unique_ptr<SqliteDatabase>& out);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Runs one or more statements without values.
  bool Execute(const std::string& sql);
  bool Prepare(const std::string& sql, Statement& statement);
  // Runs a statement whose values are bound, then clears it for the next row; `doing` names
  // the step in the failure.
  bool Step(sqlite3_stmt* statement, const char* doing);
  // Closes the database, reporting a failure to flush it; the destructor closes silently.
  bool Close();

  static void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }

  const std::string& Failure() const { return failure_; }

 private:
  explicit SqliteDatabase(sqlite3* database) : database_(database) {}
  bool Fail(const std::string& doing);
  std::string ErrorText(const char* message) const;

  sqlite3* database_;
  std::string failure_;
};

}  // namespace cubemill::provider::cubefile
