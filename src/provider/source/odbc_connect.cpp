#include "provider/source/odbc_connect.h"

#include <sqlext.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/ascii_text.h"
#include "provider/source/odbc_connection_string.h"
#include "provider/source/odbc_source.h"

namespace cubemill::provider::source {
namespace {

// The driver the data source `dsn` is registered with (its Driver entry, which the driver manager
// reports as the description of each data source), or "" when there is no such data source.
std::string DataSourceDriver(SQLHENV env, std::string_view dsn) {
  std::array<SQLCHAR, SQL_MAX_DSN_LENGTH + 1> name{};
  std::array<SQLCHAR, 1024> driver{};
  SQLSMALLINT name_length = 0;
  SQLSMALLINT driver_length = 0;
  for (SQLUSMALLINT direction = SQL_FETCH_FIRST; Succeeded(SQLDataSources(
           env, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &name_length,
           driver.data(), static_cast<SQLSMALLINT>(driver.size()), &driver_length));
       direction = SQL_FETCH_NEXT) {
    if (platform::EqualsIgnoringCase(reinterpret_cast<const char*>(name.data()), dsn))
      return reinterpret_cast<const char*>(driver.data());
  }
  return "";
}

// The driver `odbc` connects with, as far as it can be told before connecting: its DRIVER=
// value, else the driver of the data source its DSN= names; "" when neither says.
std::string SourceDriver(SQLHENV env, const std::string& odbc) {
  if (auto driver = FindOdbcAttribute(odbc, "DRIVER")) return *driver;
  if (auto dsn = FindOdbcAttribute(odbc, "DSN")) return DataSourceDriver(env, *dsn);
  return "";
}

// The error of a connection `connection` to `driver` that failed with the diagnostic `failure`.
// The SQLite driver, told NoCreat, says no more than "connect failed" of a database file that is
// not there: that is said, with the file's name (as the connection string has it, found from the
// current directory as the driver finds it), or the data source's.
Error ConnectFailure(const std::string& connection, std::string_view driver,
                     const std::string& failure) {
  if (IsSqliteDriver(driver)) {
    if (const auto file = FindOdbcAttribute(connection, "Database")) {
      std::error_code error;
      if (file->empty()) {
        return SourceError("connect failed: the connection string names no SQLite database file (" +
                           failure + ")");
      }
      if (!file->starts_with("file:") && *file != ":memory:" &&
          !std::filesystem::exists(*file, error) && !error) {
        return SourceError("connect failed: the SQLite database file \"" + *file +
                           "\" does not exist (" + failure + ")");
      }
    } else if (const auto dsn = FindOdbcAttribute(connection, "DSN");
               dsn && failure.ends_with("connect failed")) {
      return SourceError("connect failed: the SQLite database file of the data source \"" + *dsn +
                         "\" does not exist or cannot be opened (" + failure + ")");
    }
  }
  return SourceError("connect failed: " + failure);
}

// True when another connection holds a lock on the SQLite database `connection` opens: a
// connection of its own that waits for no lock cannot read the schema. Any other failure gives
// false and is left to the real connection to report.
bool SqliteDatabaseIsLocked(const std::string& connection) {
  OdbcHandles probe;
  if (!probe.Allocate() ||
      !probe.Connect(ReplaceOdbcAttribute(connection, "Timeout", "1")).empty() ||
      !probe.AllocateStatement().empty()) {
    return false;
  }
  std::string text = "SELECT 1 FROM sqlite_master LIMIT 1";  // the call takes a non-const pointer
  const SQLRETURN rc =
      SQLExecDirect(probe.stmt(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
  if (Succeeded(rc) || rc == SQL_NO_DATA) return false;
  return DiagnosticText(SQL_HANDLE_STMT, probe.stmt()).find("locked") != std::string::npos;
}

// The SQLite database `connection` opens, as a message names it: "the SQLite database "<file>""
// or "the SQLite database of the data source "<name>"".
std::string SqliteDatabaseName(const std::string& connection) {
  if (const auto file = FindOdbcAttribute(connection, "Database"))
    return "the SQLite database \"" + *file + "\"";
  if (const auto dsn = FindOdbcAttribute(connection, "DSN"))
    return "the SQLite database of the data source \"" + *dsn + "\"";
  return "the SQLite database";
}

// Says that the SQLite database `connection` opens is locked, how long the driver will wait for
// it (up to its Timeout while connecting and once more for the SELECT, or for preparing it), and
// which database it is: in `info`, for the list and the run log, and at once as a warning on
// standard error, which a scheduler passes on (the wait may be long, and the driver says nothing).
void AnnounceLockedSqlite(const std::string& connection, const InfoMessage& info) {
  if (!SqliteDatabaseIsLocked(connection)) return;
  const long wait_ms = 2 * SqliteTimeoutMs(connection);
  const std::string wait = "waiting up to " + std::to_string((wait_ms + 999) / 1000) +
                           " s for the lock on " + SqliteDatabaseName(connection);
  std::fprintf(stderr, "cubemill: warning: source busy: %s\n", wait.c_str());
  std::fflush(stderr);
  if (info) info("Source busy: " + wait);
}

// The number that follows `key` in `plan`, if any.
std::optional<double> NumberAfter(std::string_view plan, std::string_view key) {
  const std::size_t at = plan.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view digits = plan.substr(at + key.size());
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end == digits.data()) return std::nullopt;
  return value;
}

// What PostgreSQL's planner expects of `statement`: the rows it gives and its total cost, the
// "rows=" and the number after ".." of the first line of its EXPLAIN, run on the statement
// handle of `handles`. Nothing of what it cannot be asked or does not say.
struct Planned {
  std::optional<double> rows;
  std::optional<double> cost;
};
Planned PlannedEstimates(OdbcHandles& handles, const std::string& statement) {
  std::string text = "EXPLAIN " + statement;
  Planned planned;
  if (Succeeded(SQLExecDirect(handles.stmt(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS)) &&
      Succeeded(SQLFetch(handles.stmt()))) {
    std::array<char, 4096> line{};
    SQLLEN indicator = 0;
    if (Succeeded(SQLGetData(handles.stmt(), 1, SQL_C_CHAR, line.data(),
                             static_cast<SQLLEN>(line.size()), &indicator))) {
      const std::string_view plan(line.data());
      planned.rows = NumberAfter(plan, " rows=");
      planned.cost = NumberAfter(plan, "..");
    }
  }
  SQLFreeStmt(handles.stmt(), SQL_CLOSE);
  return planned;
}

// What SUM over each column of `select` gives: the columns' types as the driver describes them
// for the SELECT run with LIMIT 0, which the server plans but never runs. Empty when it cannot
// be described.
std::vector<SourceSum> SumsOfColumns(OdbcHandles& handles, const std::string& select) {
  // The SELECT on lines of its own: a comment at its end must not swallow the parenthesis.
  std::string text = "SELECT * FROM (\n" + select + "\n) AS q LIMIT 0";
  std::vector<SourceSum> sums;
  SQLSMALLINT columns = 0;
  if (Succeeded(SQLExecDirect(handles.stmt(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS)) &&
      Succeeded(SQLNumResultCols(handles.stmt(), &columns))) {
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(columns, 0));
         ++c) {
      SQLSMALLINT type = SQL_UNKNOWN_TYPE;
      if (!Succeeded(SQLDescribeCol(handles.stmt(), c, nullptr, 0, nullptr, &type, nullptr, nullptr,
                                    nullptr))) {
        sums.clear();
        break;
      }
      switch (type) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_DOUBLE:
        case SQL_FLOAT:  // ODBC's FLOAT is double precision; REAL is single
          sums.push_back(SourceSum::kPrecise);
          break;
        default:
          sums.push_back(SourceSum::kOther);
      }
    }
  }
  SQLFreeStmt(handles.stmt(), SQL_CLOSE);
  return sums;
}

}  // namespace

std::string LoadedDriverName(SQLHDBC dbc) {
  std::array<SQLCHAR, 256> name{};
  SQLSMALLINT length = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_DRIVER_NAME, name.data(),
                            static_cast<SQLSMALLINT>(name.size()), &length))) {
    return "";
  }
  return reinterpret_cast<const char*>(name.data());
}

Result<std::string> ConnectForStreaming(OdbcHandles& handles, const std::string& requested,
                                        const InfoMessage& info) {
  if (!handles.Allocate()) {
    return SourceError("connect failed: the ODBC driver manager could not allocate a handle");
  }
  // The driver's options where the DRIVER= name or the data source's entry tells the driver ...
  std::string connection = requested;
  const std::string driver = SourceDriver(handles.env(), requested);
  if (!driver.empty()) {
    connection = AddDriverOptions(requested, driver);
    if (IsSqliteDriver(driver)) AnnounceLockedSqlite(connection, info);
  }
  if (auto failure = handles.Connect(connection); !failure.empty()) {
    return ConnectFailure(connection, driver, failure);
  }
  // ... and otherwise once the driver manager has said which driver it loaded: the options are
  // added to the string and the connection made again.
  const std::string driver_name = LoadedDriverName(handles.dbc());
  const std::string with_options = AddDriverOptions(connection, driver_name);
  if (with_options != connection) {
    handles.Disconnect();
    connection = with_options;
    if (IsSqliteDriver(driver_name)) AnnounceLockedSqlite(connection, info);
    if (auto failure = handles.Connect(connection); !failure.empty()) {
      return ConnectFailure(connection, driver_name, failure);
    }
  }
  return connection;
}

bool DriverRereadsBlockRows(SQLHDBC dbc) {
  SQLUINTEGER getdata = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &getdata, sizeof getdata, nullptr))) {
    return false;
  }
  return (getdata & SQL_GD_BLOCK) != 0 && (getdata & SQL_GD_BOUND) != 0;
}

Result<SourceFacts> SurveySource(const std::string& connection,
                                 const std::vector<std::string>& statements) {
  OdbcHandles handles;
  if (!handles.Allocate()) {
    return SourceError("connect failed: the ODBC driver manager could not allocate a handle");
  }
  SourceFacts facts;
  facts.rows.assign(statements.size(), std::nullopt);
  facts.costs.assign(statements.size(), std::nullopt);
  // A SQLite source is not asked: the driver's answer is known (a file, no planner to ask), and
  // a connection to a file another program has locked would wait for it before the build could
  // say so (the build's own connection says so first).
  const std::string driver = SourceDriver(handles.env(), connection);
  if (IsSqliteDriver(driver)) {
    facts.dbms = kSqliteDbmsName;
    return facts;
  }
  if (auto failure = handles.Connect(connection); !failure.empty()) {
    return ConnectFailure(connection, driver, failure);
  }
  std::array<SQLCHAR, 256> name{};
  SQLSMALLINT length = 0;
  if (Succeeded(SQLGetInfo(handles.dbc(), SQL_DBMS_NAME, name.data(),
                           static_cast<SQLSMALLINT>(name.size()), &length))) {
    facts.dbms = reinterpret_cast<const char*>(name.data());
  }
  // The estimates tell a build whether grouping in the source makes many fewer rows to read,
  // and which of two ways of grouping costs the source less.
  if (facts.dbms == "PostgreSQL" && handles.AllocateStatement().empty()) {
    for (std::size_t i = 0; i < statements.size(); ++i) {
      const Planned planned = PlannedEstimates(handles, statements[i]);
      facts.rows[i] = planned.rows;
      facts.costs[i] = planned.cost;
    }
    if (!statements.empty()) facts.sums = SumsOfColumns(handles, statements.front());
  }
  return facts;
}

}  // namespace cubemill::provider::source
