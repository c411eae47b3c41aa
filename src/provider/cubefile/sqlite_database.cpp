#include "provider/cubefile/sqlite_database.h"

#include <cstring>

#include "platform/stop_signals.h"

namespace cubemill::provider::cubefile {
namespace {

// Interrupts the statement being run (SQLITE_INTERRUPT) once the process is asked to stop.
int InterruptWhenStopped(void*) { return platform::StopSignal() != 0 ? 1 : 0; }

}  // namespace

std::optional<std::string> SqliteDatabase::Open(const std::string& path,
                                                std::unique_ptr<SqliteDatabase>& out) {
  sqlite3* raw = nullptr;
  // One thread writes the file: no mutexes on the connection.
  const int opened =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (opened != SQLITE_OK) {
    std::string reason = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(opened);
    sqlite3_close(raw);
    return reason;
  }
  sqlite3_progress_handler(raw, 1000, InterruptWhenStopped, nullptr);
  out.reset(new SqliteDatabase(raw));
  return std::nullopt;
}

SqliteDatabase::~SqliteDatabase() {
  if (database_ != nullptr) sqlite3_close_v2(database_);
}

bool SqliteDatabase::Close() {
  sqlite3* database = database_;
  database_ = nullptr;
  if (sqlite3_close(database) == SQLITE_OK) return true;
  failure_ = sqlite3_errmsg(database);
  sqlite3_close_v2(database);
  return false;
}

bool SqliteDatabase::Fail(const std::string& doing) {
  failure_ = doing + ": " + ErrorText(sqlite3_errmsg(database_));
  return false;
}

// SQLite's message, led by the system's when a system call failed underneath (so a file-size
// limit reads "File too large (disk I/O error)": the cause first, then how SQLite saw it). SQLite
// keeps the system's error number of a failed statement, but not of a failed COMMIT, whose writes
// come after the statements (a cube that fits in the page cache is written only then): the file's
// own last error number says it then.
std::string SqliteDatabase::ErrorText(const char* message) const {
  std::string text = message;
  const int code = sqlite3_extended_errcode(database_) & 0xff;
  int system_error = sqlite3_system_errno(database_);
  if (system_error == 0 && code == SQLITE_IOERR &&
      sqlite3_file_control(database_, "main", SQLITE_FCNTL_LAST_ERRNO, &system_error) !=
          SQLITE_OK) {
    system_error = 0;
  }
  if ((code == SQLITE_IOERR || code == SQLITE_FULL) && system_error != 0) {
    text = std::string(std::strerror(system_error)) + " (" + text + ")";
  }
  return text;
}

bool SqliteDatabase::Execute(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    failure_ = ErrorText(message != nullptr ? message : sqlite3_errmsg(database_));
    sqlite3_free(message);
    return false;
  }
  return true;
}

bool SqliteDatabase::Prepare(const std::string& sql, Statement& statement) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(database_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    return Fail("preparing the cube file");
  }
  statement.reset(raw);
  return true;
}

bool SqliteDatabase::Step(sqlite3_stmt* statement, const char* doing) {
  if (sqlite3_step(statement) != SQLITE_DONE) return Fail(doing);
  sqlite3_reset(statement);
  return true;
}

}  // namespace cubemill::provider::cubefile
