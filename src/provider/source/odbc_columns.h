// The result columns of a statement as the ODBC source sees them: what the SQL type a driver
// reports for a column stands for. Internal to provider/source.
#pragma once

#include <sql.h>

#include "provider/row_source.h"

namespace cubemill::provider::source {

// Returns what a column the driver reports as `sql_type` with `decimal_digits` holds: kInteger
// for the integer types and DECIMAL or NUMERIC without a fraction, kReal for the other numbers,
// kDateTime for dates and timestamps, kText for character types, kAny for the rest (times,
// binary data, types the engine does not know).
ColumnHint HintOfSqlType(SQLSMALLINT sql_type, SQLSMALLINT decimal_digits);

}  // namespace cubemill::provider::source
