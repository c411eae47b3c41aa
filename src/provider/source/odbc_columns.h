// The result columns of a statement as the ODBC source sees them: what the SQL type a driver
// reports stands for, how each column is read and how wide its buffers are. Internal to
// provider/source.
#pragma once

#include <sql.h>

#include <string>
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

}  // namespace cubemill::provider::source
