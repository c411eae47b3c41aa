// The speed benchmark's READ command: runs a cube's SELECT through the SQLite ODBC driver and
// fetches every row the way the engine's source does (every column bound as text, column-wise,
// 1024 rows per fetch, text widths capped at 1024 bytes), keeping nothing. It is the floor for
// anything that reads the source through ODBC. Prints the rows and bytes it fetched.
//   cubemill_bench_read_source coarse|fine SOURCE_DB
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/sales_cubes.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"

namespace {

constexpr SQLULEN kBlockRows = 1024;    // rows per SQLFetch, as the engine asks
constexpr SQLLEN kMaxCellBytes = 1024;  // widest text cell, as the engine caps it
constexpr SQLLEN kMinTextCellBytes = 32;
constexpr SQLLEN kNumberCellBytes = 64;

struct Column {
  SQLLEN width = 0;
  std::vector<char> cells;
  std::vector<SQLLEN> indicators;
};

// The first diagnostic record of `handle`, as "[SQLSTATE] message".
std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {};
  SQLCHAR message[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, message,
                                   static_cast<SQLSMALLINT>(sizeof message), &length))) {
    return "(no diagnostic)";
  }
  std::string text = "[";
  text.append(reinterpret_cast<char*>(state)).append("] ").append(reinterpret_cast<char*>(message));
  return text;
}

// Bytes per text cell for a column the driver describes as `sql_type` of `size` characters.
SQLLEN CellWidth(SQLSMALLINT sql_type, SQLULEN size) {
  switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      if (size == 0 || size > static_cast<SQLULEN>(kMaxCellBytes)) return kMaxCellBytes;
      return std::min(kMaxCellBytes,
                      std::max(kMinTextCellBytes, static_cast<SQLLEN>(size * 4 + 1)));
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
      return kNumberCellBytes;
    default:
      return kMaxCellBytes;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const cubemill::bench::SalesCube* cube =
      argc == 3 ? cubemill::bench::FindSalesCube(argv[1]) : nullptr;
  if (cube == nullptr) {
    std::fprintf(stderr, "usage: %s coarse|fine SOURCE_DB\n", argv[0]);
    return 2;
  }
  // The SELECT the engine runs: the one the INSERT INTO parser cuts out of the statement.
  auto schema = cubemill::provider::ddl::ParseCreateCube(cube->create_cube);
  if (!schema.ok()) {
    std::fprintf(stderr, "%s\n", schema.error().description.c_str());
    return 1;
  }
  auto insert = cubemill::provider::ddl::ParseInsertInto(cube->insert_into, *schema);
  if (!insert.ok()) {
    std::fprintf(stderr, "%s\n", insert.error().description.c_str());
    return 1;
  }
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  const auto fail = [&](const char* step, SQLSMALLINT type, SQLHANDLE handle) {
    std::fprintf(stderr, "%s failed: %s\n", step, Diagnostic(type, handle).c_str());
    return 1;
  };
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) ||
      !SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                   reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
      !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
    std::fprintf(stderr, "cannot allocate ODBC handles\n");
    return 1;
  }
  std::string connection = cubemill::bench::SalesSourceDsn(argv[2]) + ";StepAPI=1";
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(connection.data()),
                                      SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
    return fail("connect", SQL_HANDLE_DBC, dbc);
  }
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
    return fail("statement", SQL_HANDLE_DBC, dbc);
  }
  std::string select = insert->select;
  if (!SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(select.data()), SQL_NTS))) {
    return fail("SELECT", SQL_HANDLE_STMT, stmt);
  }
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &count)) || count <= 0) {
    return fail("SELECT", SQL_HANDLE_STMT, stmt);
  }
  SQLULEN fetched = 0;
  std::vector<SQLUSMALLINT> status(kBlockRows);
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                                    reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                                    reinterpret_cast<SQLPOINTER>(kBlockRows), 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0)) ||
      !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0))) {
    return fail("preparing the fetch", SQL_HANDLE_STMT, stmt);
  }
  std::vector<Column> columns(static_cast<std::size_t>(count));
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    SQLCHAR name[256] = {};
    SQLSMALLINT name_length = 0;
    SQLSMALLINT sql_type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    if (!SQL_SUCCEEDED(SQLDescribeCol(stmt, i, name, static_cast<SQLSMALLINT>(sizeof name),
                                      &name_length, &sql_type, &size, &digits, &nullable))) {
      return fail("describing a column", SQL_HANDLE_STMT, stmt);
    }
    Column& column = columns[i - 1u];
    column.width = CellWidth(sql_type, size);
    column.cells.assign(static_cast<std::size_t>(column.width) * kBlockRows, '\0');
    column.indicators.assign(kBlockRows, SQL_NULL_DATA);
    if (!SQL_SUCCEEDED(SQLBindCol(stmt, i, SQL_C_CHAR, column.cells.data(), column.width,
                                  column.indicators.data()))) {
      return fail("binding a column", SQL_HANDLE_STMT, stmt);
    }
  }

  std::uint64_t rows = 0;
  std::uint64_t bytes = 0;  // text bytes delivered, so that every cell is looked at once
  std::uint64_t cut = 0;    // cells longer than their buffer (the engine would read them again)
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) return fail("fetch", SQL_HANDLE_STMT, stmt);
    if (fetched == 0) break;
    for (const Column& column : columns) {
      for (SQLULEN k = 0; k < fetched; ++k) {
        const SQLLEN indicator = column.indicators[k];
        if (indicator == SQL_NULL_DATA) continue;
        if (indicator == SQL_NO_TOTAL || indicator >= column.width) {
          ++cut;
          bytes += static_cast<std::uint64_t>(column.width - 1);
        } else {
          bytes += static_cast<std::uint64_t>(indicator);
        }
      }
    }
    rows += fetched;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::printf("rows %llu bytes %llu cut %llu\n", static_cast<unsigned long long>(rows),
              static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(cut));
  return 0;
}
