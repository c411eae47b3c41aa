// Where a build aggregates its source rows: in the engine, or in the source database, which then
// hands over one row per group of the leaf level.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/cube_schema.h"
#include "provider/row_source.h"

namespace cubemill::provider::connection {

enum class Aggregation {
  kAuto,    // the source when it is a database server and every measure can be grouped there
  kClient,  // the engine reads every source row
  kSource,  // the source groups the rows; a measure it cannot group fails the build
};

// Reads a value of the connection property kAggregateProperty: "AUTO", "CLIENT" or "SOURCE" in
// any letter case, blanks around it ignored. Returns nothing for any other text.
std::optional<Aggregation> ParseAggregation(std::string_view text);

// True when `dbms`, the name an ODBC driver reports for its database (SQL_DBMS_NAME), is a
// database server that groups rows faster than the engine can read them: anything but the
// single-file and desktop engines (SQLite, Access, Excel, text files, dBASE and its kin).
bool IsServerDbms(std::string_view dbms);

// Fewer source rows per group than this on average and reading every row is faster than having
// the source group them: grouping costs the source about a third of what reading a row through
// its ODBC driver costs the engine, and every group is read like a row.
inline constexpr double kMinRowsPerGroup = 2.0;

// The statements whose planned rows tell whether grouping at the source pays (see
// GroupAtSource): the SELECT, then the distinct values of each column the source would group.
std::vector<std::string> SurveyStatements(const InsertInto& insert);

// True when an AUTO build should have the source group the rows: it is a database server and,
// where its planner gave the estimates of SurveyStatements, the groups it makes are expected to
// hold at least kMinRowsPerGroup rows each. The groups are estimated as if the columns were
// independent (the product of their distinct values, at most one per row), which overstates
// them where columns go together (a city and its country) and so leans to reading every row,
// the way that does not depend on the source's GROUP BY.
bool GroupAtSource(const SourceFacts& facts);

// The statement that has the source group the rows of `insert.select` at the leaf level of the
// cube: `WITH q(c1, ..., cn) AS (<the SELECT>) SELECT ... FROM q GROUP BY ...`, the SELECT kept
// as written (a closing ";" dropped). Column k of the result is column k of the SELECT: grouped
// for a level or TIME target, SUM, COUNT, MIN or MAX of it for a measure, NULL for a skipped
// column; one more column at the end counts the source rows of each group. Plain SQL that
// PostgreSQL, SQLite, SQL Server, MySQL and Trino accept. Every measure function (SUM, COUNT,
// MIN, MAX) can be grouped so, and merged again from the groups.
std::string GroupedSelect(const InsertInto& insert, const CubeSchema& schema);

}  // namespace cubemill::provider::connection
