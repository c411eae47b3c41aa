#include "provider/source/odbc_columns.h"

#include <sqlext.h>

namespace cubemill::provider::source {

ColumnHint HintOfSqlType(SQLSMALLINT sql_type, SQLSMALLINT decimal_digits) {
  switch (sql_type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ColumnHint::kInteger;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return decimal_digits == 0 ? ColumnHint::kInteger : ColumnHint::kReal;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ColumnHint::kReal;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIMESTAMP:
      return ColumnHint::kDateTime;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return ColumnHint::kText;
    default:
      return ColumnHint::kAny;
  }
}

}  // namespace cubemill::provider::source
