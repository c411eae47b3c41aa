#include "provider/source/sqlite_reader.h"

#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

#include "platform/stop_signals.h"
#include "provider/engine_error.h"
#include "provider/source/odbc_connection_string.h"
#include "provider/source/odbc_handles.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::source {
namespace {

// Interrupts the statement (SQLITE_INTERRUPT) once the process is asked to stop, so that a long
// step (a GROUP BY before its first row) ends too.
int InterruptWhenStopped(void*) { return platform::StopSignal() != 0 ? 1 : 0; }

// SQLite's text of a value, up to its first NUL character, where the driver's text ends too.
std::string_view TextOf(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (text == nullptr) return {};
  const std::string_view whole(text,
                               static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
  return whole.substr(0, whole.find('\0'));
}

// A blob as the driver spells it in text: X'<hex digits, upper case>'.
std::string_view BlobText(sqlite3_stmt* statement, int column, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement, column));
  const int size = sqlite3_column_bytes(statement, column);
  out.assign("X'");
  for (int i = 0; i < size; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
  out.push_back('\'');
  return out;
}

// The driver's text of a value that is no real: what SQLite writes for it.
std::string_view DriverText(sqlite3_stmt* statement, int column, int type, std::string& buffer) {
  return type == SQLITE_BLOB ? BlobText(statement, column, buffer) : TextOf(statement, column);
}

// A real of a text column as the ODBC source gives it: SQLite's own text (15 significant digits)
// where that reads back as the real, else the real's shortest exact text.
std::string_view RealText(sqlite3_stmt* statement, int column, std::string& buffer) {
  double real = sqlite3_column_double(statement, column);
  if (real == 0) real = 0;  // the driver's path spells a negative zero without its sign
  const std::string_view shown = TextOf(statement, column);
  double shown_real = 0;
  const auto read = std::from_chars(shown.data(), shown.data() + shown.size(), shown_real);
  if (read.ec == std::errc() && read.ptr == shown.data() + shown.size() &&
      std::bit_cast<std::uint64_t>(real) == std::bit_cast<std::uint64_t>(shown_real)) {
    return shown;
  }
  std::array<char, 32> digits{};
  const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), real);
  buffer.assign(digits.data(), written.ptr);
  return buffer;
}

// Reads column `column` of the current row of `stmt` as text into `out`; false when it is NULL or
// cannot be read.
bool ColumnText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& out) {
  std::array<char, 4096> buffer{};
  SQLLEN indicator = 0;
  if (!Succeeded(SQLGetData(stmt, column, SQL_C_CHAR, buffer.data(),
                            static_cast<SQLLEN>(buffer.size()), &indicator)) ||
      indicator == SQL_NULL_DATA || indicator < 0 ||
      indicator >= static_cast<SQLLEN>(buffer.size())) {
    return false;
  }
  out.assign(buffer.data(), static_cast<std::size_t>(indicator));
  return true;
}

}  // namespace

std::string SqliteFileToReadDirectly(SQLHDBC dbc, const std::string& connection) {
  if (const auto code_page = FindOdbcAttribute(connection, "OEMCP");
      code_page && !code_page->empty() && *code_page != "0") {
    return "";
  }
#ifdef _WIN32
  if (FindOdbcAttribute(connection, "DSN")) return "";
#endif
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) return "";
  std::string text = "PRAGMA database_list";  // the call takes a non-const pointer
  std::string file;
  bool others = false;
  if (Succeeded(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
    while (Succeeded(SQLFetch(stmt))) {
      std::string name;
      std::string path;
      if (!ColumnText(stmt, 2, name)) {
        others = true;
        continue;
      }
      const bool has_path = ColumnText(stmt, 3, path) && !path.empty();
      if (name == "main") {
        file = has_path ? path : "";
      } else if (name != "temp" || has_path) {
        others = true;
      }
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return others ? "" : file;
}

std::unique_ptr<SqliteReader> SqliteReader::Open(const std::string& file, const std::string& select,
                                                 std::vector<ColumnKind> kinds,
                                                 long busy_timeout_ms) {
  sqlite3* database = nullptr;
  // Used by one thread at a time (the read-ahead thread once reading starts): no mutexes.
  if (sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(database);
    return nullptr;
  }
  // Preparing reads the schema, which waits for no lock here: a locked file is read through the
  // driver, which says so before it waits.
  sqlite3_stmt* statement = nullptr;
  const int prepared = sqlite3_prepare_v2(database, select.c_str(), static_cast<int>(select.size()),
                                          &statement, nullptr);
  if (prepared != SQLITE_OK || statement == nullptr ||
      sqlite3_column_count(statement) != static_cast<int>(kinds.size())) {
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return nullptr;
  }
  sqlite3_busy_timeout(database, static_cast<int>(std::min<long>(busy_timeout_ms, INT32_MAX)));
  sqlite3_progress_handler(database, 1000, InterruptWhenStopped, nullptr);
  return std::unique_ptr<SqliteReader>(new SqliteReader(database, statement, std::move(kinds)));
}

SqliteReader::SqliteReader(sqlite3* database, sqlite3_stmt* statement,
                           std::vector<ColumnKind> kinds)
    : database_(database), statement_(statement), kinds_(std::move(kinds)), texts_(kinds_.size()) {}

SqliteReader::~SqliteReader() {
  sqlite3_finalize(statement_);
  sqlite3_close_v2(database_);
}

Result<bool> SqliteReader::NextRow(std::vector<Value>& row, bool convert) {
  if (finished_) return false;
  const int stepped = sqlite3_step(statement_);
  if (stepped == SQLITE_DONE) {
    finished_ = true;
    return false;
  }
  if (stepped != SQLITE_ROW) {
    finished_ = true;
    if (stepped == SQLITE_INTERRUPT) {
      if (auto stopped = StopRequested()) return *stopped;
    }
    return SourceError("fetch of row " + std::to_string(rows_ + 1) + " failed: [HY000] [SQLite]" +
                       sqlite3_errmsg(database_) + " (" +
                       std::to_string(sqlite3_errcode(database_)) + ")");
  }
  ++rows_;
  const std::size_t columns = kinds_.size();
  if (row.size() != columns) row.resize(columns);  // the first row only, as a rule
  for (std::size_t c = 0; c < columns; ++c) {
    const int column = static_cast<int>(c);
    const int type = sqlite3_column_type(statement_, column);
    Value& value = row[c];
    if (type == SQLITE_NULL) {
      value = std::monostate{};
      continue;
    }
    const ColumnKind kind = kinds_[c];
    if (kind == ColumnKind::kInteger || kind == ColumnKind::kReal) {
      if (type == SQLITE_INTEGER) {
        const std::int64_t integer = sqlite3_column_int64(statement_, column);
        if (kind == ColumnKind::kInteger) {
          value = integer;
        } else {
          value = static_cast<double>(integer);
        }
        continue;
      }
      if (type == SQLITE_FLOAT) {
        double real = sqlite3_column_double(statement_, column);
        if (std::isfinite(real)) {
          if (real == 0) real = 0;  // the driver's path spells a negative zero without its sign
          std::int64_t integer = 0;
          if (kind == ColumnKind::kInteger && values::AsExactInteger(real, integer)) {
            value = integer;
          } else {
            value = real;
          }
          continue;
        }
        // Inf and -Inf: text, as the driver's path reads them, for the build to report.
      }
    }
    std::string_view text = type == SQLITE_FLOAT && kind == ColumnKind::kText
                                ? RealText(statement_, column, texts_[c])
                                : DriverText(statement_, column, type, texts_[c]);
    if (convert && kind != ColumnKind::kText) {
      value = TextToValue(text, kind);
    } else {
      value = text;
    }
  }
  return true;
}

}  // namespace cubemill::provider::source
