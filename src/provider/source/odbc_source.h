// Reads the rows of one SELECT from an ODBC data source, block by block, as typed values.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "provider/row_source.h"
#include "provider/source/column_conversion.h"

namespace cubemill::provider::source {

// Rows asked for per fetch when the columns can be bound in arrays.
inline constexpr std::size_t kFetchBlockRows = 1024;
// Largest buffer bound for one value; a longer value is read again in pieces.
inline constexpr std::size_t kMaxCellBytes = 1024;

// How the rows of a source whose driver is the SQLite driver are read.
enum class SqliteReading {
  // Through SQLite's own library, from the file the driver's connection opened, where it can
  // be (SqliteReader): every real as the double it is, at the speed of the library.
  kLibrary,
  // Through the driver, each real spelled out in full by the statement of the dialect's
  // select_with_exact_reals.
  kDriver,
};

// A RowSource over ODBC. Every column is bound as text in arrays of kFetchBlockRows rows and
// read per hint: this is exact for integers and shows values the driver could not convert
// (the SQLite driver turns "n/a" in an integer column into NULL when asked for a number, and
// "12abc" into 12). Reals arrive with every digit: psqlODBC hands over PostgreSQL's shortest
// exact text, and a source whose driver does not (SQLite's gives 15 significant digits whether
// asked for text or a double) runs the statement of its dialect's select_with_exact_reals.
class OdbcSource final : public RowSource, public DefersConversion {
 public:
  // Connects with `connection` (adding the driver's streaming option, see AddStreamingOptions),
  // runs `select` (inside the statement of its dialect's select_with_exact_reals where it has
  // one, as on a SQLite source, or unchanged where the source does not take that) and prepares
  // the fetch. From a SQLite source, with `reading` kLibrary, the statement is prepared and
  // described through the driver (its errors, the kinds of its columns) and then read through
  // SQLite's library where it can be (ReadsThroughSqliteLibrary), with the same values. Column k is
  // read as `hints[k]` asks (kAny for missing hints, and then by the type the driver reports).
  // Every failure is an error numbered kSourceErrorNumber whose text names the step, the SQLSTATE
  // and the driver's message. Before it connects to a SQLite database that another connection has
  // locked, it tells `info` "Source busy: waiting up to <n> s for the lock on the SQLite database
  // "<file>"", and standard error the same as a warning (the driver waits without a word).
  static Result<std::unique_ptr<OdbcSource>> Open(const std::string& connection,
                                                  const std::string& select,
                                                  const std::vector<ColumnHint>& hints,
                                                  const InfoMessage& info = {},
                                                  SqliteReading reading = SqliteReading::kLibrary);
  ~OdbcSource() override;

  std::size_t ColumnCount() const override;
  // Delivers the next row. Integers as int64, numbers as double (int64 for an integral value
  // of a kInteger column), DATE and TIMESTAMP as Date and Timestamp, NULL as monostate, other
  // text as a view valid until the next call (a SQLite real in a text column as SQLite writes
  // it where that text holds it exactly, else as its shortest exact text). A value that cannot be
  // read as its column's hint asks is delivered as text, for the caller to report with its row and
  // column.
  Result<bool> NextRow(std::vector<Value>& row) override;
  // The decimal digits the driver reports for each DECIMAL or NUMERIC result column.
  std::vector<std::optional<int>> DeclaredScales() const override;
  // From now on NextRow delivers text (and NULL) only, or, read through SQLite's library, the
  // numbers it holds as numbers and everything else as text; the function returned reads each
  // text as its column's kind asks, as NextRow did.
  RowConversion DeferConversion() override;

  // Rows fetched per call to the driver: kFetchBlockRows, or 1 when a column may hold values
  // longer than kMaxCellBytes and the driver cannot re-read one row of a block (SQLite).
  std::size_t FetchBlockRows() const;
  // The connection string sent to the driver, with any streaming option added.
  const std::string& ConnectionString() const;
  // True when the rows are read through SQLite's library, not the driver.
  bool ReadsThroughSqliteLibrary() const;

 private:
  struct State;
  explicit OdbcSource(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Connects with `connection` and returns the name the driver reports for its DBMS
// (SQL_DBMS_NAME, "PostgreSQL" or "SQLite" say) and, from a DBMS whose dialect asks its planner
// (SourceDialect::ask_planner; PostgreSQL: EXPLAIN), its estimate of the rows and the cost of
// each of `statements`; an estimate it does not give stays empty, and what SUM gives over each
// column of the first statement (SourceFacts::sums), which stays empty for other DBMSs. Returns
// the error "connect failed: ..." when it cannot connect. A source whose dialect is surveyed
// without connecting (SQLite, by its DRIVER= or its data source's driver) is not connected to:
// its DBMS is its dialect's name ("SQLite"), without estimates.
Result<SourceFacts> SurveySource(const std::string& connection,
                                 const std::vector<std::string>& statements);

// OdbcSource::Open as the engine's SourceOpener.
Result<std::unique_ptr<RowSource>> OpenOdbcSource(const std::string& connection,
                                                  const std::string& select,
                                                  const std::vector<ColumnHint>& hints,
                                                  const InfoMessage& info = {});

}  // namespace cubemill::provider::source
