#include "provider/source/odbc_describe.h"

#include "provider/source/odbc_columns.h"
#include "provider/source/odbc_connect.h"
#include "provider/source/odbc_handles.h"

namespace cubemill::provider::source {

Result<std::vector<SourceColumn>> DescribeOdbcSelect(const std::string& connection,
                                                     const std::string& select,
                                                     const InfoMessage& info) {
  OdbcHandles handles;
  // Connected as a build connects: with the driver's options (a missing SQLite file is not
  // created), a locked SQLite file said before the driver waits.
  if (auto connected = ConnectForStreaming(handles, connection, info); !connected) {
    return connected.error();
  }
  if (auto failure = handles.AllocateStatement(); !failure.empty()) {
    return SourceError("SELECT failed: " + failure);
  }
  SQLHSTMT stmt = handles.stmt();
  std::string text = select;  // the call takes a non-const pointer
  if (!Succeeded(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
    return SourceError("SELECT failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  auto described = DescribeResultColumns(stmt);
  if (!described) return described.error();
  std::vector<SourceColumn> columns;
  for (const ColumnDescription& column : *described) {
    columns.push_back({column.name, HintOfSqlType(column.sql_type, column.decimal_digits)});
  }
  return columns;
}

}  // namespace cubemill::provider::source
