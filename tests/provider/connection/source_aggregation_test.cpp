// Where a build aggregates: the property's values, which sources count as servers, the statement
// that has the source group the rows, and the merging of the groups it hands back.
#include "provider/connection/source_aggregation.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "provider/connection/build_cube_file.h"
#include "provider/connection/engine_connection.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"
#include "provider/engine_error.h"
#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::provider::connection {
namespace {

TEST(SourceAggregationTest, ReadsThePropertyAndKnowsTheServers) {
  EXPECT_EQ(ParseAggregation("client"), Aggregation::kClient);
  EXPECT_EQ(ParseAggregation(" Source\t"), Aggregation::kSource);
  EXPECT_EQ(ParseAggregation("AUTO"), Aggregation::kAuto);
  for (const char* bad : {"", "SERVER", "CLIENTS", "auto matic"})
    EXPECT_EQ(ParseAggregation(bad), std::nullopt) << bad;

  for (const char* server : {"PostgreSQL", "Microsoft SQL Server", "MySQL", "Trino", "Oracle"})
    EXPECT_TRUE(IsServerDbms(server)) << server;
  for (const char* file : {"SQLite", "ACCESS", "EXCEL", "Text", "", "  "})
    EXPECT_FALSE(IsServerDbms(file)) << file;

  // A server groups unless its planner expects fewer than two rows per group, the groups taken
  // as the product of each grouped column's distinct values.
  EXPECT_TRUE(GroupAtSource({"PostgreSQL", {}, {}, {}}));
  EXPECT_TRUE(GroupAtSource({"PostgreSQL", {1e7, 1095, 20, 20}, {}, {}}));
  EXPECT_TRUE(GroupAtSource({"PostgreSQL", {10, 5}, {}, {}}));
  EXPECT_FALSE(GroupAtSource({"PostgreSQL", {1e7, 1095, 20, 400, 20, 300}, {}, {}}));
  EXPECT_FALSE(GroupAtSource({"PostgreSQL", {1e7, 9e6}, {}, {}}));
  EXPECT_TRUE(
      GroupAtSource({"PostgreSQL", {1e7, 1095, std::nullopt}, {}, {}}));  // no estimate: group
  EXPECT_FALSE(GroupAtSource({"SQLite", {1e7, 10}, {}, {}}));
}

const char kCreate[] =
    "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, LEVEL [Year] TYPE YEAR, LEVEL [Month] TYPE "
    "MONTH, DIMENSION [Shop], LEVEL [Country], LEVEL [City], MEASURE [Qty] FUNCTION SUM, MEASURE "
    "[Lines] FUNCTION COUNT, MEASURE [Low] FUNCTION MIN, MEASURE [High] FUNCTION MAX )";
const char kInsert[] =
    "INSERT INTO Sales ( [Time], SKIPONECOLUMN, [Shop].[Country], [Shop].[City], Measures.[Qty], "
    "Measures.[Lines], Measures.[Low], Measures.[High] ) SELECT day, note, country, city, qty, "
    "qty, qty, qty FROM sales -- the shop's own lines\n ; ";

TEST(SourceAggregationTest, GroupsEveryLevelColumnAndAggregatesEveryMeasure) {
  auto schema = ddl::ParseCreateCube(kCreate);
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  auto insert = ddl::ParseInsertInto(kInsert, *schema);
  ASSERT_TRUE(insert.ok()) << insert.error().description;
  EXPECT_EQ(
      SurveyStatements(*insert),
      (std::vector<std::string>{
          "SELECT day, note, country, city, qty, qty, qty, qty FROM sales -- the shop's own "
          "lines",
          "WITH q(c1, c2, c3, c4, c5, c6, c7, c8) AS (\nSELECT day, note, country, city, "
          "qty, qty, qty, qty FROM sales -- the shop's own lines\n) SELECT DISTINCT c1 FROM q",
          "WITH q(c1, c2, c3, c4, c5, c6, c7, c8) AS (\nSELECT day, note, country, city, "
          "qty, qty, qty, qty FROM sales -- the shop's own lines\n) SELECT DISTINCT c3 FROM q",
          "WITH q(c1, c2, c3, c4, c5, c6, c7, c8) AS (\nSELECT day, note, country, city, "
          "qty, qty, qty, qty FROM sales -- the shop's own lines\n) SELECT DISTINCT c4 FROM "
          "q"}));
  const std::string sql = GroupedSelect(*insert, *schema);
  EXPECT_EQ(sql,
            "WITH q(c1, c2, c3, c4, c5, c6, c7, c8) AS (\n"
            "SELECT day, note, country, city, qty, qty, qty, qty FROM sales -- the shop's own "
            "lines\n) SELECT c1, NULL, c3, c4, SUM(c5), COUNT(c6), MIN(c7), MAX(c8), COUNT(*) "
            "FROM q GROUP BY c1, c3, c4");

  // SQLite takes it as written, the comment at the SELECT's end included.
  test::TempDir dir;
  ASSERT_EQ(
      test::CreateSqliteTable("s.db", "sales",
                              {"day DATE", "note TEXT", "country TEXT", "city TEXT", "qty INTEGER"},
                              {{"2024-01-05", "a", "ES", "Madrid", "3"},
                               {"2024-01-05", "b", "ES", "Madrid", std::nullopt},
                               {"2024-01-05", "c", "ES", "Madrid", "5"},
                               {"2024-02-01", "d", "ES", "Madrid", std::nullopt}}),
      "");
  auto source = source::OpenOdbcSource(test::SqliteOdbc("s.db"), sql, {});
  ASSERT_TRUE(source.ok()) << source.error().description;
  std::vector<Value> row;
  std::vector<std::string> groups;
  while (*(*source)->NextRow(row)) {
    std::string text;
    for (const Value& value : row) {
      if (value.index() == 0) text += "NULL ";
      if (const auto* i = std::get_if<std::int64_t>(&value)) text += std::to_string(*i) + " ";
      if (const auto* t = std::get_if<std::string_view>(&value)) text += std::string(*t) + " ";
      if (std::holds_alternative<Date>(value)) text += "date ";
    }
    groups.push_back(text);
  }
  EXPECT_EQ(groups, (std::vector<std::string>{"date NULL ES Madrid 8 2 3 5 3 ",
                                              "date NULL ES Madrid NULL 0 NULL NULL 1 "}));
}

// For PostgreSQL, the SUM of a real measure adds the exact NUMERIC of each real, and a TIME column
// none of whose levels needs the day is grouped again by the first day of its finest calendar
// level, after the rows are grouped as the SELECT gives them; elsewhere the statement stays
// portable.
TEST(SourceAggregationTest, PostgresRegroupsByTheFinestCalendarLevelAndSumsRealsExactly) {
  struct Case {
    const char* time_levels;  // the TIME dimension's levels
    const char* period;       // what its column is grouped again by, "" for not at all
  };
  const Case cases[] = {
      {"LEVEL [Year] TYPE YEAR, LEVEL [Month] TYPE MONTH",
       "CAST(date_trunc('month', CAST(c1 AS TIMESTAMP)) AS DATE)"},
      {"LEVEL [All] TYPE ALL, LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER",
       "CAST(date_trunc('quarter', CAST(c1 AS TIMESTAMP)) AS DATE)"},
      {"LEVEL [Year] TYPE YEAR", "CAST(date_trunc('year', CAST(c1 AS TIMESTAMP)) AS DATE)"},
      {"LEVEL [Year] TYPE YEAR, LEVEL [Month] TYPE MONTH, LEVEL [Day] TYPE DAY", ""},
      {"LEVEL [Year] TYPE YEAR, LEVEL [Week] TYPE WEEK", ""},
      {"LEVEL [Year] TYPE YEAR, LEVEL [Date] TYPE DATE", ""},
      // A second hierarchy that needs the day keeps the day for both.
      {"HIERARCHY [Calendar], LEVEL [Year] TYPE YEAR, HIERARCHY [Days], LEVEL [Year] TYPE YEAR, "
       "LEVEL [Day] TYPE DAY",
       ""},
  };
  const std::string with =
      "WITH q(c1, c2, c3, c4, c5, c6, c7, c8) AS (\nSELECT day, note, shop, qty, amount, amount, "
      "amount, qty FROM t\n)";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time_levels);
    const std::string create = std::string("CREATE CUBE [S] ( DIMENSION [Time] TYPE TIME, ") +
                               c.time_levels +
                               ", DIMENSION [Shop], LEVEL [Shop], MEASURE [Qty] FUNCTION SUM TYPE "
                               "DBTYPE_I4, MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_NUMERIC, "
                               "MEASURE [Top] FUNCTION MAX TYPE DBTYPE_R8, MEASURE [Any] "
                               "FUNCTION SUM, MEASURE [Lines] FUNCTION COUNT )";
    auto schema = ddl::ParseCreateCube(create);
    ASSERT_TRUE(schema.ok()) << schema.error().description;
    auto insert = ddl::ParseInsertInto(
        "INSERT INTO S ( [Time], SKIPONECOLUMN, [Shop].[Shop], Measures.[Qty], Measures.[Amount], "
        "Measures.[Top], Measures.[Any], Measures.[Lines] ) SELECT day, note, shop, qty, amount, "
        "amount, amount, qty FROM t",
        *schema);
    ASSERT_TRUE(insert.ok()) << insert.error().description;
    const std::string period = c.period;
    EXPECT_EQ(GroupedSelect(*insert, *schema, source::DialectOfDbms("PostgreSQL")),
              period.empty()
                  ? with +
                        " SELECT c1, NULL, c3, SUM(c4), SUM(CAST(CAST(CAST(c5 AS DOUBLE PRECISION) "
                        "AS TEXT) AS NUMERIC)), "
                        "MAX(c6), SUM(c7), COUNT(c8), COUNT(*) FROM q GROUP BY c1, c3"
                  : with +
                        ", g AS (SELECT c1, c3, SUM(c4) AS c4, SUM(CAST(CAST(CAST(c5 AS DOUBLE "
                        "PRECISION) AS TEXT) AS NUMERIC)) "
                        "AS c5, MAX(c6) AS c6, SUM(c7) AS c7, COUNT(c8) AS c8, COUNT(*) AS c0 FROM "
                        "q GROUP BY c1, c3) SELECT " +
                        period +
                        ", NULL, c3, SUM(c4), SUM(c5), MAX(c6), SUM(c7), SUM(c8), SUM(c0) FROM g "
                        "GROUP BY " +
                        period + ", c3");
    // Grouped by period at once, in one GROUP BY; the two ways are offered only where they
    // differ.
    const std::string once = period.empty() ? "c1" : period;
    EXPECT_EQ(
        GroupedSelect(*insert, *schema, source::PostgresDialect(), PeriodGrouping::kPeriodsOnly),
        with + " SELECT " + once +
            ", NULL, c3, SUM(c4), SUM(CAST(CAST(CAST(c5 AS DOUBLE PRECISION) AS TEXT) AS "
            "NUMERIC)), MAX(c6), SUM(c7), "
            "COUNT(c8), COUNT(*) FROM q GROUP BY " +
            once + ", c3");
    EXPECT_EQ(PeriodGroupingStatements(*insert, *schema).size(), period.empty() ? 0u : 2u);
    EXPECT_EQ(GroupedSelect(*insert, *schema, source::DialectOfDbms("Trino")),
              with +
                  " SELECT c1, NULL, c3, SUM(c4), SUM(c5), MAX(c6), SUM(c7), COUNT(c8), "
                  "COUNT(*) FROM q GROUP BY c1, c3");
    // A column the server sums exactly (integers, NUMERIC) is summed as it is; DOUBLE PRECISION,
    // REAL or text, or a column the survey did not describe, as the NUMERIC of each real's
    // shortest text.
    std::vector<SourceSum> sums(8, SourceSum::kPrecise);
    EXPECT_EQ(GroupedSelect(*insert, *schema, source::PostgresDialect(),
                            PeriodGrouping::kPeriodsOnly, sums),
              with + " SELECT " + once +
                  ", NULL, c3, SUM(c4), SUM(c5), MAX(c6), SUM(c7), COUNT(c8), COUNT(*) FROM q "
                  "GROUP BY " +
                  once + ", c3");
    for (const auto& other :
         {std::vector<SourceSum>{SourceSum::kPrecise, SourceSum::kPrecise, SourceSum::kPrecise,
                                 SourceSum::kPrecise, SourceSum::kOther},
          std::vector<SourceSum>{SourceSum::kPrecise, SourceSum::kPrecise, SourceSum::kPrecise,
                                 SourceSum::kPrecise, SourceSum::kReal},
          std::vector<SourceSum>(4, SourceSum::kPrecise)}) {
      EXPECT_NE(GroupedSelect(*insert, *schema, source::PostgresDialect(),
                              PeriodGrouping::kPeriodsOnly, other)
                    .find("SUM(CAST(CAST(CAST(c5 AS DOUBLE PRECISION) AS TEXT) AS NUMERIC))"),
                std::string::npos);
    }
    EXPECT_EQ(GroupedSelect(*insert, *schema, source::GenericDialect(), PeriodGrouping::kAfterDates,
                            {SourceSum::kOther}),
              GroupedSelect(*insert, *schema, source::DialectOfDbms("Trino")));
  }
}

// Grouping by date first where the planner finds it much cheaper (a partitioned table's
// partitions group their own rows), else by period at once; by date first where it cannot tell.
TEST(SourceAggregationTest, ChoosesThePeriodGroupingByThePlannersCosts) {
  const struct {
    std::optional<double> after_dates, periods_only;
    PeriodGrouping expected;
  } cases[] = {
      {48815, 152578, PeriodGrouping::kAfterDates},  // a coordinator and its two shards
      {71908, 72491, PeriodGrouping::kPeriodsOnly},  // a plain table
      {1000, 1499, PeriodGrouping::kPeriodsOnly},
      {1000, 1500, PeriodGrouping::kAfterDates},
      {5000, 900, PeriodGrouping::kPeriodsOnly},
      {std::nullopt, 900, PeriodGrouping::kAfterDates},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChoosePeriodGrouping({"PostgreSQL", {1, 1}, {c.after_dates, c.periods_only}, {}}),
              c.expected);
  }
  EXPECT_EQ(ChoosePeriodGrouping({"PostgreSQL", {}, {}, {}}), PeriodGrouping::kAfterDates);
}

// A PostgreSQL source is read without a cursor where its planner expects few enough groups for
// the driver to hold them all; without an estimate, or from another server, through a cursor.
TEST(SourceAggregationTest, ReadsFewGroupsOfPostgresWhole) {
  EXPECT_TRUE(ReadGroupsWhole({"PostgreSQL", {1e7, 1095, 20, 20}, {}, {}}));
  EXPECT_TRUE(ReadGroupsWhole({"PostgreSQL", {1e9, kMaxGroupsReadWhole}, {}, {}}));
  EXPECT_FALSE(ReadGroupsWhole({"PostgreSQL", {1e9, kMaxGroupsReadWhole + 1}, {}, {}}));
  EXPECT_FALSE(ReadGroupsWhole({"PostgreSQL", {1e9, 1095, 400, 300}, {}, {}}));
  EXPECT_FALSE(ReadGroupsWhole({"PostgreSQL", {}, {}, {}}));
  EXPECT_FALSE(ReadGroupsWhole({"PostgreSQL", {1e7, 20, std::nullopt}, {}, {}}));
  EXPECT_FALSE(ReadGroupsWhole({"Microsoft SQL Server", {1e7, 20, 20}, {}, {}}));
}

// A source that hands over fixed rows, whatever statement it is given; it keeps the statement.
struct FixedRows : RowSource {
  std::vector<std::vector<Value>> rows;
  std::size_t columns = 0;
  std::size_t next = 0;
  std::size_t ColumnCount() const override { return columns; }
  Result<bool> NextRow(std::vector<Value>& row) override {
    if (next == rows.size()) return false;
    row = rows[next++];
    return true;
  }
};

const char kConnection[] =
    "LOCATION=cube.cub; SOURCE_DSN=\"DSN=Sales\"; CreateCube=CREATE CUBE [C] ( DIMENSION "
    "[Region], LEVEL [Country], MEASURE [Amount] FUNCTION SUM, MEASURE [Lines] FUNCTION COUNT "
    "); InsertInto=INSERT INTO C([Region].[Country], Measures.[Amount], Measures.[Lines]) "
    "SELECT country, amount, amount FROM sales ";
const test::FixedClock kClock(platform::MakeDateTime(2024, 3, 7, 9, 5, 2));

// Groups as a source gives them: several for one member (names that differ in their blanks, or
// a source that groups in parts), counts of 0 where every value was NULL.
TEST(SourceAggregationTest, MergesTheGroupsIntoTheCellsAndCountsTheSourceRows) {
  test::TempDir dir;
  std::string statement;
  const SourceOpener open =
      [&statement](const std::string&, const std::string& select,
                   const std::vector<ColumnHint>& hints) -> Result<std::unique_ptr<RowSource>> {
    statement = select;
    EXPECT_EQ(hints, (std::vector<ColumnHint>{ColumnHint::kAny, ColumnHint::kAny,
                                              ColumnHint::kInteger, ColumnHint::kInteger}));
    auto source = std::make_unique<FixedRows>();
    source->columns = 4;
    source->rows = {{std::string_view("Spain"), std::int64_t{10}, std::int64_t{2}, std::int64_t{3}},
                    {std::string_view("Chile"), std::monostate{}, std::int64_t{0}, std::int64_t{4}},
                    {std::string_view("Spain"), 2.5, std::string_view("1"), std::int64_t{1}}};
    return std::unique_ptr<RowSource>(std::move(source));
  };
  std::vector<std::string> said;
  BuildOptions options;
  options.aggregation = Aggregation::kSource;
  options.info = [&said](const std::string& line) { said.push_back(line); };
  ASSERT_FALSE(BuildCube(kConnection, open, {}, kClock, options));
  EXPECT_EQ(statement.substr(0, 7), "WITH q(");
  EXPECT_EQ(said, std::vector<std::string>{"Aggregation: source"});
  EXPECT_EQ(
      test::QuerySqlite("cube.cub",
                        "SELECT \"Region.Country\", ifnull(Amount, 'NULL'), "
                        "ifnull(Lines, 'NULL') FROM cube_flat ORDER BY 1"),
      (std::vector<std::vector<std::string>>{{"Chile", "NULL", "NULL"}, {"Spain", "12.5", "3"}}));
  EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT source_rows FROM cube"),
            (std::vector<std::vector<std::string>>{{"8"}}));
}

TEST(SourceAggregationTest, AGroupWithoutRowsOrABadCountFailsNamingTheGroups) {
  for (const Value count : {Value(std::int64_t{0}), Value(std::string_view("many"))}) {
    test::TempDir dir;
    const SourceOpener open =
        [&count](const std::string&, const std::string&,
                 const std::vector<ColumnHint>&) -> Result<std::unique_ptr<RowSource>> {
      auto source = std::make_unique<FixedRows>();
      source->columns = 4;
      source->rows = {{std::string_view("Spain"), std::int64_t{1}, std::int64_t{1}, count}};
      return std::unique_ptr<RowSource>(std::move(source));
    };
    BuildOptions options;
    options.aggregation = Aggregation::kSource;
    const auto error = BuildCube(kConnection, open, {}, kClock, options);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, kDataErrorNumber);
    EXPECT_NE(error->description.find("as the group's number of rows (in a row of the groups"),
              std::string::npos)
        << error->description;
    EXPECT_FALSE(std::filesystem::exists("cube.cub"));
  }
}

TEST(SourceAggregationTest, TheEngineConnectionTakesTheAggregateProperty) {
  auto connection = NewEngineConnection();
  EXPECT_FALSE(connection->SetProperty(kAggregateProperty, " client "));
  EXPECT_FALSE(connection->SetProperty("AGGREGATE", "Source"));
  const auto bad = connection->SetProperty(kAggregateProperty, "FAST");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->description, "AGGREGATE must be CLIENT, SOURCE or AUTO, not \"FAST\"");
  EXPECT_EQ(bad->number, kPropertyErrorNumber);
  const auto unknown = connection->SetProperty("Compression", "on");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->number, kItemNotFoundNumber);
  EXPECT_EQ(unknown->source, kPropertiesSource);
}

}  // namespace
}  // namespace cubemill::provider::connection
