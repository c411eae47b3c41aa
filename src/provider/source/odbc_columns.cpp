#include "provider/source/odbc_columns.h"

#include <sqlext.h>

#include <algorithm>
#include <array>

#include "provider/source/odbc_handles.h"
#include "provider/source/odbc_source.h"

namespace cubemill::provider::source {
namespace {

// Numbers, dates and times as text never need more than this.
constexpr SQLLEN kNumberCellBytes = 64;
// Smallest buffer for a text column, whatever width the driver announces.
constexpr SQLLEN kMinTextCellBytes = 32;

ColumnKind KindFor(ColumnHint hint, const ColumnDescription& description) {
  if (hint == ColumnHint::kAny)
    hint = HintOfSqlType(description.sql_type, description.decimal_digits);
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
void ChooseWidth(Column& column, SQLSMALLINT sql_type, SQLULEN size) {
  const SQLLEN cap = static_cast<SQLLEN>(kMaxCellBytes);
  const auto text_width = [&](SQLULEN bytes_per_unit) {
    if (size == 0 || size > static_cast<SQLULEN>(cap)) return cap + 1;  // +1: surely long
    return std::max(kMinTextCellBytes, static_cast<SQLLEN>(size * bytes_per_unit + 1));
  };
  switch (sql_type) {
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

}  // namespace

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

Result<std::vector<ColumnDescription>> DescribeResultColumns(SQLHSTMT stmt) {
  SQLSMALLINT count = 0;
  if (!Succeeded(SQLNumResultCols(stmt, &count))) {
    return SourceError("SELECT failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  std::vector<ColumnDescription> columns;
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    ColumnDescription column;
    std::array<SQLCHAR, 256> name{};
    SQLSMALLINT name_length = 0;
    SQLSMALLINT nullable = 0;
    if (!Succeeded(SQLDescribeCol(
            stmt, static_cast<SQLUSMALLINT>(i), name.data(), static_cast<SQLSMALLINT>(name.size()),
            &name_length, &column.sql_type, &column.size, &column.decimal_digits, &nullable))) {
      return SourceError("SELECT failed: describing column " + std::to_string(i) + ": " +
                         DiagnosticText(SQL_HANDLE_STMT, stmt));
    }
    column.name = reinterpret_cast<const char*>(name.data());
    columns.push_back(std::move(column));
  }
  return columns;
}

Column ColumnToFetch(const ColumnDescription& description, ColumnHint hint) {
  Column column;
  column.name = description.name;
  column.kind = KindFor(hint, description);
  ChooseWidth(column, description.sql_type, description.size);
  return column;
}

}  // namespace cubemill::provider::source
