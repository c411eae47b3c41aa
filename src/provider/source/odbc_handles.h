// Owns the ODBC handles of one source (environment, connection, statement) and reads their
// diagnostics. Internal to provider/source: the only header outside it that names ODBC types.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

#include "common/error.h"

namespace cubemill::provider::source {

// Returns the error "source: <description>", numbered kSourceErrorNumber, that every failure of
// the ODBC source is.
Error SourceError(const std::string& description);

// Returns "[SQLSTATE] message" from the first diagnostic record of `handle`, or a note that the
// driver gave none. Only the first record is read: some drivers crash when asked for more. The
// message is made one line (OneLineDiagnostic).
std::string DiagnosticText(SQLSMALLINT handle_type, SQLHANDLE handle);

// Returns a driver's `message` as one line, as every error's description is: its lines (split at
// CR, LF or both) with the blanks around them trimmed and the empty ones dropped, joined with
// "; "; any other control character (a tab) becomes a blank. psqlODBC's messages, say, put a
// hint on a line of its own.
std::string OneLineDiagnostic(std::string_view message);

// Returns the SQLSTATE of the first diagnostic record of `handle`, or "" when there is none.
std::string DiagnosticState(SQLSMALLINT handle_type, SQLHANDLE handle);

// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The three handles, freed in reverse order (statement, disconnect, connection, environment)
// whatever state they are in.
class OdbcHandles {
 public:
  OdbcHandles() = default;
  ~OdbcHandles();
  OdbcHandles(const OdbcHandles&) = delete;
  OdbcHandles& operator=(const OdbcHandles&) = delete;

  // Allocates the environment (ODBC 3) and the connection handle; false when out of memory or
  // when the driver manager refuses.
  bool Allocate();
  // Connects with `connection` without any prompt. Returns "" or the diagnostic text.
  std::string Connect(const std::string& connection);
  // Frees the statement and disconnects, keeping the connection handle for a new Connect.
  void Disconnect();
  // Allocates the statement handle. Returns "" or the diagnostic text.
  std::string AllocateStatement();

  SQLHENV env() const { return env_; }
  SQLHDBC dbc() const { return dbc_; }
  SQLHSTMT stmt() const { return stmt_; }

 private:
  void FreeStatement();

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  bool connected_ = false;
};

}  // namespace cubemill::provider::source
