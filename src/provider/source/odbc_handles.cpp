#include "provider/source/odbc_handles.h"

#include <algorithm>
#include <array>

#include "platform/ascii_text.h"
#include "provider/engine_error.h"

namespace cubemill::provider::source {
namespace {

struct FirstRecord {
  bool found = false;
  std::string state;
  std::string message;
};

FirstRecord ReadFirstRecord(SQLSMALLINT handle_type, SQLHANDLE handle) {
  FirstRecord record;
  if (handle == SQL_NULL_HANDLE) return record;
  std::array<SQLCHAR, 6> state{};
  std::array<SQLCHAR, 1024> message{};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  const SQLRETURN rc = SQLGetDiagRec(handle_type, handle, 1, state.data(), &native, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
  if (!Succeeded(rc)) return record;
  record.found = true;
  record.state = reinterpret_cast<const char*>(state.data());
  record.message = OneLineDiagnostic(reinterpret_cast<const char*>(message.data()));
  return record;
}

}  // namespace

std::string OneLineDiagnostic(std::string_view message) {
  std::string line;
  while (!message.empty()) {
    const std::size_t end = std::min(message.find_first_of("\r\n"), message.size());
    std::string_view piece = message.substr(0, end);
    message.remove_prefix(std::min(end + 1, message.size()));
    while (!piece.empty() && platform::IsBlank(piece.front())) piece.remove_prefix(1);
    while (!piece.empty() && platform::IsBlank(piece.back())) piece.remove_suffix(1);
    if (piece.empty()) continue;
    if (!line.empty()) line += "; ";
    for (const char c : piece) line += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
  }
  return line;
}

Error SourceError(const std::string& description) {
  return EngineError("source: " + description, kSourceErrorNumber);
}

std::string DiagnosticText(SQLSMALLINT handle_type, SQLHANDLE handle) {
  const FirstRecord record = ReadFirstRecord(handle_type, handle);
  if (!record.found) return "the driver gave no diagnostic";
  return "[" + record.state + "] " + record.message;
}

std::string DiagnosticState(SQLSMALLINT handle_type, SQLHANDLE handle) {
  return ReadFirstRecord(handle_type, handle).state;
}

OdbcHandles::~OdbcHandles() {
  Disconnect();
  if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

bool OdbcHandles::Allocate() {
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    env_ = SQL_NULL_HENV;
    return false;
  }
  if (!Succeeded(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    return false;
  }
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
    dbc_ = SQL_NULL_HDBC;
    return false;
  }
  return true;
}

std::string OdbcHandles::Connect(const std::string& connection) {
  std::string text = connection;  // the call takes a non-const pointer
  const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) return DiagnosticText(SQL_HANDLE_DBC, dbc_);
  connected_ = true;
  return "";
}

std::string OdbcHandles::AllocateStatement() {
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_))) {
    stmt_ = SQL_NULL_HSTMT;
    return DiagnosticText(SQL_HANDLE_DBC, dbc_);
  }
  return "";
}

void OdbcHandles::FreeStatement() {
  if (stmt_ == SQL_NULL_HSTMT) return;
  SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  stmt_ = SQL_NULL_HSTMT;
}

void OdbcHandles::Disconnect() {
  FreeStatement();
  if (!connected_) return;
  if (!Succeeded(SQLDisconnect(dbc_))) {
    // A driver that read through a cursor may still hold a transaction open: end it and retry.
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
  }
  connected_ = false;
}

}  // namespace cubemill::provider::source
