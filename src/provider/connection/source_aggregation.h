// Where a build aggregates its source rows: in the engine, or in the source database, which then
// hands over one row per group of the leaf level.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "provider/cube_schema.h"
#include "provider/row_source.h"
#include "provider/source/source_dialect.h"

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

// More groups than this expected and a source read without a cursor would hold too many rows in
// the driver's memory at once (psqlODBC keeps about 400 bytes a row of a grouped statement).
inline constexpr double kMaxGroupsReadWhole = 500000;

// True when the grouped statement may be read whole, without a cursor: the source's dialect has
// an option for that (source::SourceDialect::read_whole_option: PostgreSQL) and its planner
// expects at most kMaxGroupsReadWhole groups (the same product of distinct
// values as GroupAtSource, which overstates them). PostgreSQL runs no parallel workers for a
// cursor, so a statement read through one groups the rows on one core, and a coordinator
// under a cursor fetches its shards' rows rather than their groups.
bool ReadGroupsWhole(const SourceFacts& facts);

// The statement that has the source group the rows of `insert.select` at the leaf level of the
// cube: `WITH q(c1, ..., cn) AS (<the SELECT>) SELECT ... FROM q GROUP BY ...`, the SELECT kept
// as written (a closing ";" dropped). Column k of the result is column k of the SELECT: grouped
// for a level or TIME target, SUM, COUNT, MIN or MAX of it for a measure, NULL for a skipped
// column; one more column at the end counts the source rows of each group. Plain SQL that
// PostgreSQL, SQLite, SQL Server, MySQL and Trino accept. Every measure function (SUM, COUNT,
// MIN, MAX) can be grouped so, and merged again from the groups.
// Where `dialect` has the forms, two changes make the server's work lighter without changing the
// cube (PostgreSQL has both):
// - a SUM of a column of doubles, or of a measure that takes reals (DBTYPE_R8, DBTYPE_NUMERIC
//   ...), adds the dialect's exact_real_sum of the values (PostgreSQL: the NUMERIC of each real's
//   shortest text), so that the group's sum is exact and the engine rounds it once, unless `sums`
//   (what the survey found, column by column, SourceFacts::sums) says the column's own SUM is
//   exact: PostgreSQL adds REAL in single precision, DOUBLE PRECISION rounding at every step,
//   and cannot add text, but adds integers and NUMERIC exactly;
// - where a TIME column's levels go no deeper than MONTH (QUARTER, YEAR), the groups are grouped
//   again by the dialect's date_truncated, `g AS (<the groups above>) SELECT
//   CAST(date_trunc('month', CAST(c1 AS TIMESTAMP)) AS DATE), ..., SUM(c0) FROM g GROUP BY ...`:
//   the same members from one group a month instead of one a day. The first grouping keeps the
//   SELECT's own date, so a table partitioned by that date still has each partition (each shard
//   of a coordinator) group its own rows.
// kPeriodsOnly (a dialect with date_truncated) groups such a TIME column by period at once, in
// one GROUP BY, which costs a single server less but has a partitioned table's partitions no
// longer group their own rows (see ChoosePeriodGrouping).
enum class PeriodGrouping { kAfterDates, kPeriodsOnly };
std::string GroupedSelect(const InsertInto& insert, const CubeSchema& schema,
                          const source::SourceDialect& dialect = source::GenericDialect(),
                          PeriodGrouping periods = PeriodGrouping::kAfterDates,
                          const std::vector<SourceSum>& sums = {});

// The two ways of grouping by period (kAfterDates, then kPeriodsOnly) of a PostgreSQL build whose
// TIME column is grouped by period; empty when none is. The survey sends them before it knows the
// source, and only a dialect that asks its planner (PostgreSQL's) is asked about them.
std::vector<std::string> PeriodGroupingStatements(const InsertInto& insert,
                                                  const CubeSchema& schema,
                                                  const std::vector<SourceSum>& sums = {});

// The planner finds grouping by date first this many times cheaper than by period at once where
// that lets the partitions of a table (the shards behind a coordinator) group their own rows.
// On a plain table it rates the two about the same, though grouping by period at once runs
// about twice as fast there (its groups stay few, where the groups by date spill to disk).
inline constexpr double kAfterDatesCheaper = 1.5;

// Which of the two statements of PeriodGroupingStatements (`facts` surveyed them, in that order)
// to send: kAfterDates where its planner expects it to cost kAfterDatesCheaper times less, else
// kPeriodsOnly; kAfterDates where it did not say, which runs well everywhere.
PeriodGrouping ChoosePeriodGrouping(const SourceFacts& facts);

}  // namespace cubemill::provider::connection
