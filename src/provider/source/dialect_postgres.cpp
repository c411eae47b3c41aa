// PostgreSQL through psqlODBC: a cursor to stream a result, no cursor for a small one, its
// planner asked what a statement gives and costs, reals summed in double precision, dates grouped
// by month, quarter or year in the server. Its text of a double is exact (the shortest that
// reads back, since PostgreSQL 12).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <system_error>

#include "platform/ascii_text.h"
#include "provider/odbc_text/odbc_pairs.h"
#include "provider/source/odbc_handles.h"
#include "provider/source/source_dialect.h"

namespace cubemill::provider::source {
namespace {

bool IsDriver(std::string_view driver) {
  const std::string name = odbc_text::OdbcKeyName(driver);
  return name.find("psql") != std::string::npos || name.find("postgres") != std::string::npos;
}

bool IsDbms(std::string_view dbms) {
  return platform::EqualsIgnoringCase(platform::TrimBlanks(dbms), "PostgreSQL");
}

// psqlODBC reads the whole result into memory unless it reads through a cursor; B6 and A7 are
// the short names of the two options.
constexpr std::array<DriverOption, 2> kStreamingOptions = {{
    {"UseDeclareFetch=1", "usedeclarefetch", "b6"},
    {"Fetch=10000", "fetch", "a7"},
}};

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
          sums.push_back(SourceSum::kPrecise);
          break;
        case SQL_DOUBLE:
        case SQL_FLOAT:  // ODBC's FLOAT is double precision; REAL is single
          sums.push_back(SourceSum::kReal);
          break;
        default:
          sums.push_back(SourceSum::kOther);
      }
    }
  }
  SQLFreeStmt(handles.stmt(), SQL_CLOSE);
  return sums;
}

// The estimates tell a build whether grouping in the source makes many fewer rows to read, and
// which of two ways of grouping costs the source less.
void AskPlanner(OdbcHandles& handles, const std::vector<std::string>& statements,
                SourceFacts& facts) {
  if (!handles.AllocateStatement().empty()) return;
  for (std::size_t i = 0; i < statements.size(); ++i) {
    const Planned planned = PlannedEstimates(handles, statements[i]);
    facts.rows[i] = planned.rows;
    facts.costs[i] = planned.cost;
  }
  if (!statements.empty()) facts.sums = SumsOfColumns(handles, statements.front());
}

std::string ExactRealSum(std::string_view column) {
  return "CAST(CAST(CAST(" + std::string(column) + " AS DOUBLE PRECISION) AS TEXT) AS NUMERIC)";
}

std::string DateTruncated(std::string_view date, std::string_view unit) {
  return "CAST(date_trunc('" + std::string(unit) + "', CAST(" + std::string(date) +
         " AS TIMESTAMP)) AS DATE)";
}

}  // namespace

const SourceDialect& PostgresDialect() {
  static const SourceDialect dialect{
      .name = "PostgreSQL",
      .is_driver = IsDriver,
      .is_dbms = IsDbms,
      .streaming_options = kStreamingOptions,
      .other_options = {},
      // Without a cursor the server plans a statement as for any client, parallel workers
      // included, which it runs none of for a cursor.
      .read_whole_option = {"UseDeclareFetch=0", "usedeclarefetch", "b6"},
      .before_connect = nullptr,
      .connect_failure = nullptr,
      .surveyed_without_connecting = false,
      .ask_planner = AskPlanner,
      // PostgreSQL adds REAL in single precision, DOUBLE PRECISION rounding at every step, and
      // cannot add text; NUMERIC it adds exactly. A real's text is the shortest that reads back
      // as the same double (extra_float_digits above 0, as from version 12 on by default), the
      // decimal a price column was given, whose exact sum the engine then rounds once.
      .exact_real_sum = ExactRealSum,
      .date_truncated = DateTruncated,
      .select_with_exact_reals = nullptr,
  };
  return dialect;
}

}  // namespace cubemill::provider::source
