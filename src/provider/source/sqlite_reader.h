// Reads the rows of a SELECT from a SQLite database file through SQLite's own library, as the
// SQLite ODBC driver hands them over (each value as text) and the ODBC source reads that text,
// but without the text: a real arrives as the double SQLite holds, every bit of it, instead of
// being printed and parsed again. Internal to provider/source (OdbcSource reads through it).
#pragma once

#include <sql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "provider/row_source.h"
#include "provider/source/column_conversion.h"

struct sqlite3;
struct sqlite3_stmt;

namespace cubemill::provider::source {

// The database file that the SQLite driver's connection `dbc`, made with `connection`, has open
// (PRAGMA database_list: the connection string's Database or its data source's), where its rows
// can be read through SQLite's library with the values the driver would hand over; "" where they
// cannot: a database in memory or a temporary one, other databases attached, a connection string
// whose options change the text the driver hands over (OEMCP, a code page on Windows), or, on
// Windows, a data source, whose options are not seen.
std::string SqliteFileToReadDirectly(SQLHDBC dbc, const std::string& connection);

class SqliteReader {
 public:
  // Opens the database file `file` read-only and prepares `select` on it, its columns to be read
  // as `kinds` say (one per column, as the ODBC source chose them from the driver's description).
  // Waits up to `busy_timeout_ms` for a lock while stepping. Returns nullptr when it cannot: no
  // such file, a statement SQLite's library does not take as the driver's connection did (a
  // function of an extension it loaded), another number of columns, or a lock held on the file
  // right now; the ODBC source then reads through the driver, which reports what went wrong as
  // it always has.
  static std::unique_ptr<SqliteReader> Open(const std::string& file, const std::string& select,
                                            std::vector<ColumnKind> kinds, long busy_timeout_ms);
  ~SqliteReader();
  SqliteReader(const SqliteReader&) = delete;
  SqliteReader& operator=(const SqliteReader&) = delete;

  // The next row, with the values the ODBC source delivers for it: NULL as monostate; in a text
  // column the driver's text (a real as SQLite writes it where that holds it exactly, else its
  // shortest exact text; a blob as X'<hex>'); in a number column an integer as int64 (a double
  // for kReal), a real as its double (an integral one as int64 for kInteger; zero without a
  // sign, as the driver's path prints it), anything else as TextToValue reads its text; in a
  // date column TextToValue of the driver's text. With `convert` false, text stays text in every
  // column (DefersConversion). A failure of SQLite is an error "fetch of row <n> failed: ...".
  Result<bool> NextRow(std::vector<Value>& row, bool convert);

 private:
  SqliteReader(sqlite3* database, sqlite3_stmt* statement, std::vector<ColumnKind> kinds);

  sqlite3* database_;
  sqlite3_stmt* statement_;
  std::vector<ColumnKind> kinds_;
  std::vector<std::string> texts_;  // per column, text made for the current row
  std::uint64_t rows_ = 0;
  bool finished_ = false;
};

}  // namespace cubemill::provider::source
