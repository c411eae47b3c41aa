// The result columns of a statement as the ODBC source sees them: what the SQL type a driver
// reports stands for, how each column is read and how wide its buffers are. Internal to
// provider/source.
#pragma once

#include <sql.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "provider/row_source.h"
#include "provider/source/column_conversion.h"

namespace cubemill::provider::source {

// Returns what a column the driver reports as `sql_type` with `decimal_digits` holds: kInteger
// for the integer types and DECIMAL or NUMERIC without a fraction, kReal for the other numbers,
// kDateTime for dates and timestamps, kText for character types, kAny for the rest (times,
// binary data, types the engine does not know).
ColumnHint HintOfSqlType(SQLSMALLINT sql_type, SQLSMALLINT decimal_digits);

// One result column as the driver describes it.
struct ColumnDescription {
  std::string name;
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;  // characters or digits the driver announces; 0 when unknown
  SQLSMALLINT decimal_digits = 0;
};

// Returns the result columns of the statement prepared or run on `stmt` (none for a statement
// without a result). Fails, numbered kSourceErrorNumber, with "SELECT failed: " and the driver's
// diagnostic.
Result<std::vector<ColumnDescription>> DescribeResultColumns(SQLHSTMT stmt);

// One result column as the source fetches it: how it is read and the buffers bound to it.
struct Column {
  std::string name;
  ColumnKind kind = ColumnKind::kText;
  SQLLEN width = 0;                // bytes per cell, terminating NUL included
  bool may_be_longer = false;      // values may exceed `width`
  std::vector<char> cells;         // width * block rows, column-wise
  std::vector<SQLLEN> indicators;  // length or SQL_NULL_DATA, per row
  std::string whole;               // the current row's value when its cell was cut short
};

// Returns the column to fetch for `description`, read as `hint` asks (as its SQL type says for
// kAny, text when that says nothing more), with cells wide enough for the values its type and
// size announce, at most kMaxCellBytes (odbc_source.h); may_be_longer tells when a value can
// exceed that and must be read again in pieces. The buffers are left empty.
Column ColumnToFetch(const ColumnDescription& description, ColumnHint hint);

// The statement a SQLite source runs so that its reals arrive with all their digits (see
// SqliteSelectWithExactReals).
struct ExactRealsSelect {
  std::string statement;  // "" when no column needs it
  // The text columns whose reals the statement's last, extra column spells out, in order.
  std::vector<std::size_t> text_columns;
};

// Returns the statement to run on a SQLite source instead of `select` so that its reals arrive
// with all their digits: SQLite turns a real into text with 15 significant digits, and the
// SQLite driver hands every value over as that text, whatever C type it is asked for. The
// statement is `WITH q(c1, ..., cn) AS (<select>) SELECT ...` (a closing ";" dropped). A column
// read as a number (kInteger, kReal) becomes `CASE WHEN typeof(ck) = 'real' THEN
// printf('%!.20e', ck) ELSE ck END`, which leaves integers, text (a "n/a" the build reports) and
// NULL as they were. A text column stays as it is, for its text names members; the column
// added at the end holds, for a row where one of them holds a real, the reals of the text
// columns as printf('%!.20e') writes them, each followed by "|" (nothing for a column whose value
// is no real), and NULL for the other rows: SQLite's types belong to values, so a column the
// driver calls text (an expression, a column declared without a type) may hold reals. The other
// columns are read as they are.
ExactRealsSelect SqliteSelectWithExactReals(std::string_view select,
                                            const std::vector<Column>& columns);

}  // namespace cubemill::provider::source
