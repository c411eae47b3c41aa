// SQLite through its ODBC driver: a file, not a server, never surveyed; a driver that steps
// through a result when asked, creates a missing database file unless told not to, waits in
// silence for a lock, and gives a real 15 significant digits whether asked for text or a double.
#include <sql.h>
#include <sqlext.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/ascii_text.h"
#include "provider/odbc_text/odbc_pairs.h"
#include "provider/source/odbc_connection_string.h"
#include "provider/source/odbc_handles.h"
#include "provider/source/source_dialect.h"

namespace cubemill::provider::source {
namespace {

bool IsDriver(std::string_view driver) {
  return odbc_text::OdbcKeyName(driver).find("sqlite") != std::string::npos;
}

bool IsDbms(std::string_view dbms) {
  return platform::UpperAscii(dbms).find("SQLITE") != std::string::npos;
}

// The driver reads the whole result into memory unless it steps through it.
constexpr std::array<DriverOption, 1> kStreamingOptions = {{{"StepAPI=1", "stepapi", ""}}};
// A source is only read: a database file that is not there is a mistake to report, not one to
// create (the driver would, and the SELECT then fails with "no such table").
constexpr std::array<DriverOption, 1> kOtherOptions = {{{"NoCreat=1", "nocreat", ""}}};

// True when another connection holds a lock on the SQLite database `connection` opens: a
// connection of its own that waits for no lock cannot read the schema. Any other failure gives
// false and is left to the real connection to report.
bool DatabaseIsLocked(const std::string& connection) {
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
std::string DatabaseName(const std::string& connection) {
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
void AnnounceLock(const std::string& connection, const InfoMessage& info) {
  if (!DatabaseIsLocked(connection)) return;
  const long wait_ms = 2 * SqliteTimeoutMs(connection);
  const std::string wait = "waiting up to " + std::to_string((wait_ms + 999) / 1000) +
                           " s for the lock on " + DatabaseName(connection);
  std::fprintf(stderr, "cubemill: warning: source busy: %s\n", wait.c_str());
  std::fflush(stderr);
  if (info) info("Source busy: " + wait);
}

// The driver, told NoCreat, says no more than "connect failed" of a database file that is not
// there: that is said, with the file's name (as the connection string has it, found from the
// current directory as the driver finds it), or the data source's.
Error ConnectFailure(const std::string& connection, const std::string& failure) {
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
  return SourceError("connect failed: " + failure);
}

// SQLite turns a real into text with 15 significant digits, and its driver hands every value
// over as that text, whatever C type it is asked for; its printf does better. The statement is
// `WITH q(c1, ..., cn) AS (<select>) SELECT ...`: a column read as a number (kInteger, kReal)
// becomes `CASE WHEN typeof(ck) = 'real' THEN printf('%!.20e', ck) ELSE ck END`, which leaves
// integers, text (a "n/a" the build reports) and NULL as they were; text columns stay as they
// are, and one more column spells out their reals (ExactRealsSelect::text_columns), since
// SQLite's types belong to values and a column the driver calls text (an expression, a column
// declared without a type) may hold reals. Twenty digits after the point, figured in long double
// ('!'): read back, every double tried (random bit patterns over the whole range, subnormals and
// the largest included) came back bit for bit, where '%.17g' misses the last digit of some large
// and small ones.
ExactRealsSelect SelectWithExactReals(std::string_view select,
                                      const std::vector<ColumnKind>& kinds) {
  const auto exact = [](const std::string& name) { return "printf('%!.20e', " + name + ")"; };
  const auto is_real = [](const std::string& name) { return "typeof(" + name + ") = 'real'"; };
  ExactRealsSelect result;
  std::string names;
  std::string values;
  std::string any_text_real;
  std::string text_reals;
  bool any_number = false;
  for (std::size_t c = 0; c < kinds.size(); ++c) {
    const std::string name = "c" + std::to_string(c + 1);
    names += (c == 0 ? "" : ", ") + name;
    values += c == 0 ? "" : ", ";
    switch (kinds[c]) {
      case ColumnKind::kInteger:
      case ColumnKind::kReal:
        values += "CASE WHEN " + is_real(name) + " THEN " + exact(name) + " ELSE " + name + " END";
        any_number = true;
        break;
      case ColumnKind::kText:
        values += name;
        any_text_real += (result.text_columns.empty() ? "" : " OR ") + is_real(name);
        text_reals += std::string(result.text_columns.empty() ? "" : " || ") + "CASE WHEN " +
                      is_real(name) + " THEN " + exact(name) + " ELSE '' END || '|'";
        result.text_columns.push_back(c);
        break;
      case ColumnKind::kDateTime:
        values += name;
        break;
    }
  }
  if (!any_number && result.text_columns.empty()) return result;
  if (!result.text_columns.empty())
    values += ", CASE WHEN " + any_text_real + " THEN " + text_reals + " END";
  // The SELECT on lines of its own: a comment at its end must not swallow the parenthesis.
  result.statement = "WITH q(" + names + ") AS (\n" +
                     std::string(WithoutClosingSemicolons(select)) + "\n) SELECT " + values +
                     " FROM q";
  return result;
}

}  // namespace

const SourceDialect& SqliteDialect() {
  static const SourceDialect dialect{
      .name = "SQLite",
      .is_driver = IsDriver,
      .is_dbms = IsDbms,
      .streaming_options = kStreamingOptions,
      .other_options = kOtherOptions,
      .read_whole_option = {},
      .before_connect = AnnounceLock,
      .connect_failure = ConnectFailure,
      // The driver's answer is known (a file, no planner to ask), and a connection to a file
      // another program has locked would wait for it before the build could say so (the build's
      // own connection says so first).
      .surveyed_without_connecting = true,
      .ask_planner = nullptr,
      .exact_real_sum = nullptr,
      .date_truncated = nullptr,
      .select_with_exact_reals = SelectWithExactReals,
  };
  return dialect;
}

}  // namespace cubemill::provider::source
