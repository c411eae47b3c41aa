#include "provider/source/odbc_source.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "provider/source/column_conversion.h"
#include "provider/source/odbc_columns.h"
#include "provider/source/odbc_connect.h"
#include "provider/source/odbc_connection_string.h"
#include "provider/source/odbc_handles.h"
#include "provider/source/source_dialect.h"
#include "provider/source/sqlite_reader.h"

namespace cubemill::provider::source {
namespace {

// Piece size when a cut value is read again with SQLGetData.
constexpr std::size_t kRereadChunkBytes = 64 * 1024;

}  // namespace

struct OdbcSource::State {
  OdbcHandles handles;
  std::string connection;
  std::vector<Column> columns;
  std::size_t block_rows = 1;
  bool driver_rereads_block_rows = false;            // SQLSetPos + SQLGetData work inside a block
  const SourceDialect* dialect = &GenericDialect();  // of the driver connected to
  std::size_t result_columns = 0;                    // the SELECT's; `columns` may have one more
  std::vector<std::optional<int>> scales;            // per result column: a DECIMAL's digits
  // The text columns whose reals the last of `columns` spells out (ExactRealsSelect), and the
  // text each such real is delivered as.
  std::vector<std::size_t> real_text_columns;
  std::vector<std::string> real_texts;
  std::vector<SQLUSMALLINT> row_status;
  SQLULEN rows_fetched = 0;
  SQLULEN next_in_block = 0;
  std::uint64_t rows_before_block = 0;
  bool finished = false;
  bool convert = true;             // false once the caller converts (DeferConversion)
  std::vector<char> reread_chunk;  // ReadWhole's buffer, allocated on first use
  // The rows of a SQLite database, read through SQLite's library instead of the driver.
  std::unique_ptr<SqliteReader> library;

  std::optional<Error> Connect(const std::string& requested, const InfoMessage& info);
  std::optional<Error> Execute(const std::string& select, const std::vector<ColumnHint>& hints,
                               SqliteReading reading);
  bool ReadThroughLibrary(const std::string& select);
  std::optional<Error> DescribeColumns(const std::vector<ColumnHint>& hints);
  void UseRealTexts(const std::vector<std::size_t>& text_columns);
  void TakeRealTexts(SQLULEN row_in_block, std::vector<Value>& row);
  std::optional<Error> Bind();
  Result<std::string_view> ReadWhole(std::size_t column_index, SQLULEN row_in_block,
                                     std::uint64_t row_number);
};

std::optional<Error> OdbcSource::State::Connect(const std::string& requested,
                                                const InfoMessage& info) {
  auto connected = ConnectForStreaming(handles, requested, info);
  if (!connected) return connected.error();
  connection = std::move(*connected);
  driver_rereads_block_rows = DriverRereadsBlockRows(handles.dbc());
  dialect = &DialectOfDriver(LoadedDriverName(handles.dbc()));
  return std::nullopt;
}

std::optional<Error> OdbcSource::State::Execute(const std::string& select,
                                                const std::vector<ColumnHint>& hints,
                                                SqliteReading reading) {
  if (auto failure = handles.AllocateStatement(); !failure.empty()) {
    return SourceError("SELECT failed: " + failure);
  }
  SQLHSTMT stmt = handles.stmt();
  const auto failed = [&] {
    return SourceError("SELECT failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  };
  const auto prepare = [&](const std::string& statement) {
    std::string text = statement;  // the call takes a non-const pointer
    return Succeeded(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS));
  };
  // A source whose dialect rewrites the statement for exact reals (SQLite) is prepared first:
  // its columns tell which are read as numbers, and then the statement that hands their reals
  // over with every digit runs instead (a statement the source does not take so runs as
  // written). The SQLite driver prepares only what it takes for a SELECT: anything else shows
  // no columns, and runs as written, failing as it does.
  if (dialect->select_with_exact_reals) {
    if (!prepare(select)) return failed();
    if (!DescribeColumns(hints)) {
      // SQLite's own library gives every real as it is, with nothing to rewrite; the driver's
      // connection has said which file it reads, how its columns are read, and that it takes
      // the statement (or how it fails).
      if (reading == SqliteReading::kLibrary && dialect == &SqliteDialect() &&
          ReadThroughLibrary(select)) {
        return std::nullopt;
      }
      std::vector<ColumnKind> kinds;
      for (const Column& column : columns) kinds.push_back(column.kind);
      const ExactRealsSelect exact = dialect->select_with_exact_reals(select, kinds);
      if (!exact.statement.empty()) {
        if (prepare(exact.statement)) {
          UseRealTexts(exact.text_columns);
        } else if (!prepare(select)) {
          return failed();
        }
      }
      const SQLRETURN rc = SQLExecute(stmt);
      if (!Succeeded(rc) && rc != SQL_NO_DATA) return failed();
      return Bind();
    }
  }
  columns.clear();
  scales.clear();
  std::string text = select;  // the call takes a non-const pointer
  const SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
  if (!Succeeded(rc) && rc != SQL_NO_DATA) return failed();
  if (auto error = DescribeColumns(hints)) return *error;
  return Bind();
}

bool OdbcSource::State::ReadThroughLibrary(const std::string& select) {
  const std::string file = SqliteFileToReadDirectly(handles.dbc(), connection);
  if (file.empty()) return false;
  std::vector<ColumnKind> kinds;
  for (const Column& column : columns) kinds.push_back(column.kind);
  library = SqliteReader::Open(file, select, std::move(kinds), SqliteTimeoutMs(connection));
  if (!library) return false;
  handles.Disconnect();  // the driver's connection has told all it had to
  return true;
}

void OdbcSource::State::UseRealTexts(const std::vector<std::size_t>& text_columns) {
  if (text_columns.empty()) return;
  real_text_columns = text_columns;
  Column texts;
  texts.name = "reals of text columns";
  // Up to 28 characters and a "|" for each.
  texts.width = static_cast<SQLLEN>(30 * text_columns.size() + 1);
  columns.push_back(std::move(texts));
}

std::optional<Error> OdbcSource::State::DescribeColumns(const std::vector<ColumnHint>& hints) {
  auto described = DescribeResultColumns(handles.stmt());
  if (!described) return described.error();
  if (described->empty()) {
    return SourceError("SELECT failed: the statement returns no result columns");
  }
  for (std::size_t i = 0; i < described->size(); ++i) {
    const ColumnDescription& column = (*described)[i];
    columns.push_back(ColumnToFetch(column, i < hints.size() ? hints[i] : ColumnHint::kAny));
    const bool decimal = column.sql_type == SQL_DECIMAL || column.sql_type == SQL_NUMERIC;
    scales.push_back(decimal && column.decimal_digits >= 0
                         ? std::optional<int>(column.decimal_digits)
                         : std::nullopt);
  }
  result_columns = columns.size();
  return std::nullopt;
}

void OdbcSource::State::TakeRealTexts(SQLULEN row_in_block, std::vector<Value>& row) {
  const Column& texts = columns.back();
  const SQLLEN indicator = texts.indicators[row_in_block];
  if (indicator == SQL_NULL_DATA || indicator >= texts.width) return;
  std::string_view rest(texts.cells.data() + row_in_block * static_cast<SQLULEN>(texts.width),
                        static_cast<std::size_t>(indicator));
  real_texts.resize(real_text_columns.size());
  for (std::size_t i = 0; i < real_text_columns.size(); ++i) {
    const std::size_t bar = rest.find('|');
    if (bar == std::string_view::npos) return;
    const std::string_view exact = rest.substr(0, bar);
    rest.remove_prefix(bar + 1);
    Value& value = row[real_text_columns[i]];
    const auto* shown = std::get_if<std::string_view>(&value);
    if (exact.empty() || shown == nullptr) continue;
    // SQLite's own text of the real names it where it holds the real exactly (a member keeps
    // its name); otherwise the shortest text that does.
    double real = 0;
    double shown_real = 0;
    if (std::from_chars(exact.data(), exact.data() + exact.size(), real).ec != std::errc())
      continue;
    const auto read = std::from_chars(shown->data(), shown->data() + shown->size(), shown_real);
    if (read.ec == std::errc() && read.ptr == shown->data() + shown->size() &&
        std::bit_cast<std::uint64_t>(real) == std::bit_cast<std::uint64_t>(shown_real)) {
      continue;
    }
    std::array<char, 32> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), real);
    real_texts[i].assign(digits.data(), written.ptr);
    value = std::string_view(real_texts[i]);
  }
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
                                                     const InfoMessage& info,
                                                     SqliteReading reading) {
  auto state = std::make_unique<State>();
  if (auto error = state->Connect(connection, info)) return *error;
  if (auto error = state->Execute(select, hints, reading)) return *error;
  return std::unique_ptr<OdbcSource>(new OdbcSource(std::move(state)));
}

std::size_t OdbcSource::ColumnCount() const { return state_->result_columns; }

std::vector<std::optional<int>> OdbcSource::DeclaredScales() const { return state_->scales; }

std::size_t OdbcSource::FetchBlockRows() const { return state_->block_rows; }

const std::string& OdbcSource::ConnectionString() const { return state_->connection; }

bool OdbcSource::ReadsThroughSqliteLibrary() const { return state_->library != nullptr; }

Result<bool> OdbcSource::NextRow(std::vector<Value>& row) {
  State& s = *state_;
  if (s.library) return s.library->NextRow(row, s.convert);
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
  const std::size_t columns = s.result_columns;
  if (row.size() != columns) row.resize(columns);  // the first row only, as a rule
  for (std::size_t c = 0; c < columns; ++c) {
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
    if (s.convert && column.kind != ColumnKind::kText) {
      row[c] = TextToValue(text, column.kind);
    } else {
      row[c] = text;
    }
  }
  if (!s.real_text_columns.empty()) s.TakeRealTexts(k, row);
  return true;
}

RowConversion OdbcSource::DeferConversion() {
  state_->convert = false;
  std::vector<ColumnKind> kinds;
  for (std::size_t c = 0; c < state_->result_columns; ++c) kinds.push_back(state_->columns[c].kind);
  return [kinds = std::move(kinds)](std::span<Value> row) { ConvertRow(row, kinds); };
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
