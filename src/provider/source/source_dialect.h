// What the engine knows of each kind of source database, in one place: how its driver and the
// name of its DBMS are told, the options it adds to a connection string, what a connection says
// before it waits and when it fails, how it is surveyed and its planner asked, the forms of a
// grouped statement it takes, and how its reals arrive with every digit. One file per kind:
// dialect_sqlite.cpp, dialect_postgres.cpp, and dialect_generic.cpp for every other; another kind
// is another file and its line in source_dialect.cpp.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "provider/row_source.h"
#include "provider/source/column_conversion.h"

namespace cubemill::provider::source {

class OdbcHandles;

// An option a dialect adds to a connection string unless the string sets it already, to any
// value.
struct DriverOption {
  std::string_view pair;        // what is appended: "StepAPI=1"
  std::string_view name;        // its key as odbc_text::OdbcKeyName writes it: "stepapi"
  std::string_view other_name;  // another key the driver takes for it ("b6"), or ""
};

// The statement a source runs instead of its SELECT so that its reals arrive with every digit.
struct ExactRealsSelect {
  std::string statement;  // "" when the SELECT runs as it is
  // The text columns whose reals the statement's last, extra column spells out, in order: each
  // as the real's exact text followed by "|" (only the "|" for a value that is no real), the
  // column NULL where none of them holds a real. A text column keeps its value as the source
  // gives it (it may name members); the source then delivers a real there as that text where it
  // holds the real exactly, else as the real's shortest exact text.
  std::vector<std::size_t> text_columns;
};

struct SourceDialect {
  std::string_view name;  // "SQLite", "PostgreSQL", "generic"

  // True when `driver` names this kind's ODBC driver: a DRIVER= value, the Driver entry of a data
  // source, or the file name the driver manager reports (SQL_DRIVER_NAME).
  bool (*is_driver)(std::string_view driver);
  // True when `dbms`, the name a driver reports for its DBMS (SQL_DBMS_NAME), is this kind's.
  bool (*is_dbms)(std::string_view dbms);

  // Connecting. The options that make the driver deliver rows as they are read instead of
  // loading the whole result into memory first, and those every connection gets besides.
  std::span<const DriverOption> streaming_options;
  std::span<const DriverOption> other_options;
  // The option that has the driver read a result whole, without a cursor ("pair" empty: none).
  DriverOption read_whole_option;
  // Called before connecting with `connection` (the driver's options added): says in `info`
  // what the connection will wait for. Nothing to say: nullptr.
  void (*before_connect)(const std::string& connection, const InfoMessage& info);
  // The error of a connection with `connection` that failed with the driver's diagnostic
  // `failure`: "connect failed: ..." as the kind can explain it. nullptr: "connect failed: "
  // and the diagnostic.
  Error (*connect_failure)(const std::string& connection, const std::string& failure);

  // The survey before a build chooses where to aggregate. True when the source is not connected
  // to for it: its DBMS is `name`, without estimates.
  bool surveyed_without_connecting;
  // Asks the planner of the connected `handles` what each of `statements` gives and costs and
  // what SUM gives over the columns of the first, into `facts` (SourceFacts); nullptr: a DBMS
  // without a planner to ask.
  void (*ask_planner)(OdbcHandles& handles, const std::vector<std::string>& statements,
                      SourceFacts& facts);

  // The grouped statement (connection/source_aggregation.h). What a SUM of reals adds instead of
  // `column` so that the sum is exact; nullptr: the column's own SUM.
  std::string (*exact_real_sum)(std::string_view column);
  // `date` (a column of dates or timestamps) as the DATE that starts its `unit` ("month",
  // "quarter", "year"); nullptr where dates are not grouped by period in the source.
  std::string (*date_truncated)(std::string_view date, std::string_view unit);

  // The statement to run instead of `select`, whose columns are read as `kinds` ask, so that its
  // reals arrive with all their digits; nullptr where the driver's text of a real is exact.
  ExactRealsSelect (*select_with_exact_reals)(std::string_view select,
                                              const std::vector<ColumnKind>& kinds);
};

// `select` without the ";" (and blanks) that may close it, as the body of a WITH takes it.
std::string_view WithoutClosingSemicolons(std::string_view select);

const SourceDialect& SqliteDialect();
const SourceDialect& PostgresDialect();
// Any other source: the connection string as written, plain SQL, the driver's text of a real.
const SourceDialect& GenericDialect();

// The dialect whose driver `driver` is (SourceDialect::is_driver); GenericDialect when none.
const SourceDialect& DialectOfDriver(std::string_view driver);
// The dialect whose DBMS `dbms` is (SourceDialect::is_dbms); GenericDialect when none.
const SourceDialect& DialectOfDbms(std::string_view dbms);

}  // namespace cubemill::provider::source
