#include "provider/source/odbc_describe.h"

#include <array>

#include "provider/engine_error.h"
#include "provider/source/odbc_columns.h"
#include "provider/source/odbc_handles.h"

namespace cubemill::provider::source {
namespace {

Error Failed(const std::string& what) { return EngineError("source: " + what, kSourceErrorNumber); }

}  // namespace

Result<std::vector<SourceColumn>> DescribeOdbcSelect(const std::string& connection,
                                                     const std::string& select) {
  OdbcHandles handles;
  if (!handles.Allocate()) {
    return Failed("connect failed: the ODBC driver manager could not allocate a handle");
  }
  if (auto failure = handles.Connect(connection); !failure.empty()) {
    return Failed("connect failed: " + failure);
  }
  if (auto failure = handles.AllocateStatement(); !failure.empty()) {
    return Failed("SELECT failed: " + failure);
  }
  SQLHSTMT stmt = handles.stmt();
  std::string text = select;  // the call takes a non-const pointer
  if (!Succeeded(SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
    return Failed("SELECT failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  SQLSMALLINT count = 0;
  if (!Succeeded(SQLNumResultCols(stmt, &count))) {
    return Failed("SELECT failed: " + DiagnosticText(SQL_HANDLE_STMT, stmt));
  }
  std::vector<SourceColumn> columns;
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    std::array<SQLCHAR, 256> name{};
    SQLSMALLINT name_length = 0;
    SQLSMALLINT sql_type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    if (!Succeeded(SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(i), name.data(),
                                  static_cast<SQLSMALLINT>(name.size()), &name_length, &sql_type,
                                  &size, &digits, &nullable))) {
      return Failed("SELECT failed: describing column " + std::to_string(i) + ": " +
                    DiagnosticText(SQL_HANDLE_STMT, stmt));
    }
    columns.push_back(
        {reinterpret_cast<const char*>(name.data()), HintOfSqlType(sql_type, digits)});
  }
  return columns;
}

}  // namespace cubemill::provider::source
