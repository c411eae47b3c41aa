#include "provider/source/odbc_source.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "provider/engine_error.h"
#include "provider/source/column_conversion.h"
#include "provider/source/odbc_columns.h"
#include "provider/source/odbc_connection_string.h"
#include "provider/source/odbc_handles.h"

namespace cubemill::provider::source {
namespace {

// Numbers, dates and times as text never need more than this.
constexpr SQLLEN kNumberCellBytes = 64;
// Smallest buffer for a text column, whatever width the driver announces.
constexpr SQLLEN kMinTextCellBytes = 32;
// Piece size when a cut value is read again with SQLGetData.
constexpr std::size_t kRereadChunkBytes = 64 * 1024;

struct Column {
  std::string name;
  SQLSMALLINT sql_type = 0;
  ColumnKind kind = ColumnKind::kText;
  SQLLEN width = 0;                // bytes per cell, terminating NUL included
  bool may_be_longer = false;      // values may exceed `width`
  std::vector<char> cells;         // width * block rows, column-wise
  std::vector<SQLLEN> indicators;  // length or SQL_NULL_DATA, per row
  std::string whole;               // the current row's value when its cell was cut short
};

Error SourceError(std::string description) {
  return EngineError("source: " + std::move(description), kSourceErrorNumber);
}

// Returns how a column is read: as `hint` asks, or for kAny as its reported type says (text
// when that says nothing more).
ColumnKind KindFor(ColumnHint hint, SQLSMALLINT sql_type, SQLSMALLINT decimal_digits) {
  if (hint == ColumnHint::kAny) hint = HintOfSqlType(sql_type, decimal_digits);
  switch (hint) {
    case ColumnHint::kInteger:
      return ColumnKind::kInteger;
    case ColumnHint::kReal:
      return ColumnKind::kReal;
    case ColumnHint::kDateTime:
      return ColumnKind::kDateTime;
    case ColumnHint::kText:
    case ColumnHint::kAny:
      break;
  }
  return ColumnKind::kText;
}

// Chooses the cell width from the announced type and size, which drivers get wrong (the
// SQLite driver announces every TEXT column as 65,536 characters), so the width is capped
// and a cut value is read again.
void ChooseWidth(Column& column, SQLULEN size) {
  const SQLLEN cap = static_cast<SQLLEN>(kMaxCellBytes);
  const auto text_width = [&](SQLULEN bytes_per_unit) {
    if (size == 0 || size > static_cast<SQLULEN>(cap)) return cap + 1;  // +1: surely long
    return std::max(kMinTextCellBytes, static_cast<SQLLEN>(size * bytes_per_unit + 1));
  };
  switch (column.sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      column.width = text_width(4);  // UTF-8 needs up to four bytes per character
      break;
    case SQL_BINARY:
    case SQL_VARBINARY:
      column.width = text_width(2);  // two hex digits per byte
      break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARBINARY:
      column.width = cap + 1;
      break;
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
      column.width = kNumberCellBytes;
      break;
    default:
      column.width = cap + 1;
      break;
  }
  column.may_be_longer = column.width > cap;
  column.width = std::min(column.width, cap);
}

// True when another connection holds a lock on the SQLite database `connection` opens: a
// connection of its own that waits for no lock cannot read the schema. Any other failure gives
// false and is left to the real connection to report.
bool SqliteDatabaseIsLocked(const std::string& connection) {
  OdbcHandles probe;
  if (!probe.Allocate() ||
      !probe.Connect(ReplaceOdbcAttribute(connection, "Timeout", "1")).empty() ||
      !probe.AllocateStatement().empty()) {
    return false;
  }
  std::string text = "SELECT 1 FROM sqlite_master LIMIT 1";  // the call takes a non-const pointer
  const SQLRETURN rc =
      SQLExecDirect(probe.stmt(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
  if (Succeeded(rc) || rc == SQL_NO_DATA) return false;
  return DiagnosticText(SQL_HANDLE_STMT, probe.stmt()).find("locked") != std::string::npos;
}

// Says in `info` that the SQLite database `connection` opens is locked and how long the driver
// will wait for it: up to its Timeout while connecting and once more for the SELECT.
void AnnounceLockedSqlite(const std::string& connection, const InfoMessage& info) {
  if (!info || !SqliteDatabaseIsLocked(connection)) return;
  const long wait_ms = 2 * SqliteTimeoutMs(connection);
  info("Source busy: waiting up to " + std::to_string((wait_ms + 999) / 1000) + " s for the lock");
}

std::string DriverName(SQLHDBC dbc) {
  std::array<SQLCHAR, 256> name{};
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_DRIVER_NAME, name.data(),
                            static_cast<SQLSMALLINT>(name.size()), &length))) {
    return "";
  }
  return reinterpret_cast<const char*>(name.data());
}

}  // namespace

struct OdbcSource::State {
  OdbcHandles handles;
  std::string connection;
  std::vector<Column> columns;
  std::size_t block_rows = 1;
  bool driver_rereads_block_rows = false;  // SQLSetPos + SQLGetData work inside a block
  std::vector<SQLUSMALLINT> row_status;
  SQLULEN rows_fetched = 0;
  SQLULEN next_in_block = 0;
  std::uint64_t rows_before_block = 0;
  bool finished = false;
  std::vector<char> reread_chunk;  // ReadWhole's buffer, allocated on first use

  std::optional<Error> Connect(const std::string& requested, const InfoMessage& info);
  std::optional<Error> Execute(const std::string& select, const std::vector<ColumnHint>& hints);
  std::optional<Error> Bind();
  Result<std::string_view> ReadWhole(std::size_t column_index, SQLULEN row_in_block,
                                     std::uint64_t row_number);
};

std::optional<Error> OdbcSource::State::Connect(const std::string& requested,
                                                const InfoMessage& info) {
  if (!handles.Allocate()) {
    return SourceError("connect failed: the ODBC driver manager could not allocate a handle");
  }
  // Ask for streaming where the DRIVER= name tells the driver ...
  connection = requested;
  if (const auto driver = FindOdbcAttribute(requested, "DRIVER")) {
    connection = AddStreamingOptions(requested, *driver);
    if (IsSqliteDriver(*driver)) AnnounceLockedSqlite(connection, info);
  }
  if (auto failure = handles.Connect(connection); !failure.empty()) {
    return SourceError("connect failed: " + failure);
  }
  // ... and, for a data source name, once the driver manager has said which driver it loaded:
  // the option is added to the string and the connection made again.
  const std::string driver_name = DriverName(handles.dbc());
  const std::string with_options = AddStreamingOptions(connection, driver_name);
  if (with_options != connection) {
    handles.Disconnect();
    connection = with_options;
    if (IsSqliteDriver(driver_name)) AnnounceLockedSqlite(connection, info);
    if (auto failure = handles.Connect(connection); !failure.empty()) {
      return SourceError("connect failed: " + failure);
    }
  }
  SQLUINTEGER getdata = 0;
  if (Succeeded(
          SQLGetInfo(handles.dbc(), SQL_GETDATA_EXTENSIONS, &getdata, sizeof getdata, nullptr))) {
    driver_rereads_block_rows = (getdata & SQL_GD_BLOCK) != 0 && (getdata & SQL_GD_BOUND) != 0;
  }
  return std::nullopt;
}

std::optional<Error> OdbcSource::State::Execute(const std::string& select,
                                                const std::vector<ColumnHint>& hints) {
  if (auto failure = handles.AllocateStatement(); !failure.empty()) {
    return SourceError("SELECT failed: " + failure);
  }
  SQLHSTMT stmt = handles.stmt();
  std::string text = select;  // the call takes a non-const pointer
  const SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
  if (!Succeeded(rc) && rc != SQL_NO_DATA) {
    return SourceError("SELECT failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  SQLSMALLINT count = 0;
  if (!Succeeded(SQLNumResultCols(stmt, &count))) {
    return SourceError("SELECT failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  if (count <= 0) return SourceError("SELECT failed: the statement returns no result columns");

  columns.resize(static_cast<std::size_t>(count));
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    Column& column = columns[static_cast<std::size_t>(i - 1)];
    std::array<SQLCHAR, 256> name{};
    SQLSMALLINT name_length = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    if (!Succeeded(SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(i), name.data(),
                                  static_cast<SQLSMALLINT>(name.size()), &name_length,
                                  &column.sql_type, &size, &digits, &nullable))) {
      return SourceError("SELECT failed: describing column " + std::to_string(i) + ": " +
                         DiagnosticText(SQL_HANDLE_STMT, stmt));
    }
    column.name = reinterpret_cast<const char*>(name.data());
    const std::size_t index = static_cast<std::size_t>(i - 1);
    column.kind =
        KindFor(index < hints.size() ? hints[index] : ColumnHint::kAny, column.sql_type, digits);
    ChooseWidth(column, size);
  }
  return Bind();
}

std::optional<Error> OdbcSource::State::Bind() {
  SQLHSTMT stmt = handles.stmt();
  // Blocks only where a cut value can be read again: with a driver that cannot position on one
  // row of a block, columns that may hold long values are read one row at a time (for the
  // SQLite driver that is as fast as blocks).
  const bool any_long = std::any_of(columns.begin(), columns.end(),
                                    [](const Column& column) { return column.may_be_longer; });
  SQLULEN wanted = any_long && !driver_rereads_block_rows ? 1 : kFetchBlockRows;
  if (!Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                                reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
      !Succeeded(
          SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(wanted), 0))) {
    wanted = 1;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(wanted), 0);
  }
  SQLULEN granted = wanted;
  if (!Succeeded(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)) ||
      granted == 0 || granted > wanted) {
    granted = wanted;
  }
  block_rows = granted;
  row_status.assign(block_rows, SQL_ROW_SUCCESS);
  if (!Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, row_status.data(), 0)) ||
      !Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows_fetched, 0))) {
    return SourceError("SELECT failed: preparing the fetch: " +
                       DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  for (std::size_t i = 0; i < columns.size(); ++i) {
    Column& column = columns[i];
    column.cells.assign(static_cast<std::size_t>(column.width) * block_rows, '\0');
    column.indicators.assign(block_rows, SQL_NULL_DATA);
    if (!Succeeded(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_C_CHAR,
                              column.cells.data(), column.width, column.indicators.data()))) {
      return SourceError("SELECT failed: binding column " + std::to_string(i + 1) + " \"" +
                         column.name + "\": " + DiagnosticText(SQL_HANDLE_STMT, stmt));
    }
  }
  return std::nullopt;
}

Result<std::string_view> OdbcSource::State::ReadWhole(std::size_t column_index,
                                                      SQLULEN row_in_block,
                                                      std::uint64_t row_number) {
  SQLHSTMT stmt = handles.stmt();
  Column& column = columns[column_index];
  const auto where = [&] {
    return "fetch of row " + std::to_string(row_number) + " failed: column " +
           std::to_string(column_index + 1) + " \"" + column.name + "\"";
  };
  if (block_rows > 1) {
    const std::string_view start(column.cells.data() + row_in_block * column.width,
                                 static_cast<std::size_t>(column.width - 1));
    if (!driver_rereads_block_rows) {
      return SourceError(where() + " holds a value longer than the " +
                         std::to_string(column.width - 1) +
                         " bytes the driver announced, which the driver cannot read again "
                         "(it begins \"" +
                         std::string(start.substr(0, 40)) + "\")");
    }
    if (!Succeeded(SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(row_in_block + 1), SQL_POSITION,
                             SQL_LOCK_NO_CHANGE))) {
      return SourceError(where() + ": " + DiagnosticText(SQL_HANDLE_STMT, stmt));
    }
  }
  column.whole.clear();
  std::vector<char>& chunk = reread_chunk;
  chunk.resize(kRereadChunkBytes);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, static_cast<SQLUSMALLINT>(column_index + 1), SQL_C_CHAR,
                                    chunk.data(), static_cast<SQLLEN>(chunk.size()), &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!Succeeded(rc)) return SourceError(where() + ": " + DiagnosticText(SQL_HANDLE_STMT, stmt));
    if (indicator == SQL_NULL_DATA) break;
    const bool cut = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(chunk.size());
    const std::size_t length = cut ? chunk.size() - 1 : static_cast<std::size_t>(indicator);
    column.whole.append(chunk.data(), length);
    if (rc == SQL_SUCCESS || !cut) break;
  }
  return std::string_view(column.whole);
}

OdbcSource::OdbcSource(std::unique_ptr<State> state) : state_(std::move(state)) {}

OdbcSource::~OdbcSource() = default;

Result<std::unique_ptr<OdbcSource>> OdbcSource::Open(const std::string& connection,
                                                     const std::string& select,
                                                     const std::vector<ColumnHint>& hints,
                                                     const InfoMessage& info) {
  auto state = std::make_unique<State>();
  if (auto error = state->Connect(connection, info)) return *error;
  if (auto error = state->Execute(select, hints)) return *error;
  return std::unique_ptr<OdbcSource>(new OdbcSource(std::move(state)));
}

std::size_t OdbcSource::ColumnCount() const { return state_->columns.size(); }

std::size_t OdbcSource::FetchBlockRows() const { return state_->block_rows; }

const std::string& OdbcSource::ConnectionString() const { return state_->connection; }

Result<bool> OdbcSource::NextRow(std::vector<Value>& row) {
  State& s = *state_;
  if (s.finished) return false;
  SQLHSTMT stmt = s.handles.stmt();
  if (s.next_in_block >= s.rows_fetched) {
    s.rows_before_block += s.rows_fetched;
    s.rows_fetched = 0;
    s.next_in_block = 0;
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA || (Succeeded(rc) && s.rows_fetched == 0)) {
      s.finished = true;
      return false;
    }
    if (!Succeeded(rc)) {
      s.finished = true;
      const std::string text = DiagnosticText(SQL_HANDLE_STMT, stmt);
      if (s.block_rows == 1) {
        return SourceError("fetch of row " + std::to_string(s.rows_before_block + 1) +
                           " failed: " + text);
      }
      return SourceError("fetch failed after row " + std::to_string(s.rows_before_block) + ": " +
                         text);
    }
  }
  const SQLULEN k = s.next_in_block++;
  const std::uint64_t row_number = s.rows_before_block + k + 1;
  if (s.row_status[k] == SQL_ROW_ERROR) {
    s.finished = true;
    return SourceError("fetch of row " + std::to_string(row_number) +
                       " failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  row.resize(s.columns.size());
  for (std::size_t c = 0; c < s.columns.size(); ++c) {
    const Column& column = s.columns[c];
    const SQLLEN indicator = column.indicators[k];
    if (indicator == SQL_NULL_DATA) {
      row[c] = std::monostate{};
      continue;
    }
    std::string_view text;
    if (indicator == SQL_NO_TOTAL || indicator >= column.width) {
      auto whole = s.ReadWhole(c, k, row_number);
      if (!whole) {
        s.finished = true;
        return whole.error();
      }
      text = *whole;
    } else {
      text = std::string_view(column.cells.data() + k * static_cast<SQLULEN>(column.width),
                              static_cast<std::size_t>(indicator));
    }
    row[c] = TextToValue(text, column.kind);
  }
  return true;
}

Result<std::unique_ptr<RowSource>> OpenOdbcSource(const std::string& connection,
                                                  const std::string& select,
                                                  const std::vector<ColumnHint>& hints,
                                                  const InfoMessage& info) {
  auto source = OdbcSource::Open(connection, select, hints, info);
  if (!source) return source.error();
  return std::unique_ptr<RowSource>(std::move(*source));
}

}  // namespace cubemill::provider::source
