// A set in the WHERE clause over a cube the real engine builds: each measure aggregated over
// the rows under any of the set's tuples, each row once, compared with SQL over the source, from
// rollups made by hand and from the leaf cells.
#include <gtest/gtest.h>

#include "query/query_evaluator.h"
#include "query_test_cube.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::query {
namespace {

constexpr char kCreateCube[] =
    "CREATE CUBE [Shop] ( DIMENSION [Region], LEVEL [All Regions] TYPE ALL, LEVEL [Country], "
    "LEVEL [City], DIMENSION [Product], LEVEL [All Products] TYPE ALL, LEVEL [Category], "
    "DIMENSION [Time], LEVEL [All Years] TYPE ALL, LEVEL [Year], LEVEL [Quarter], "
    "MEASURE [Amount] FUNCTION SUM, MEASURE [Orders] FUNCTION COUNT, "
    "MEASURE [Lowest] FUNCTION MIN, MEASURE [Highest] FUNCTION MAX )";
constexpr char kInsertInto[] =
    "INSERT INTO Shop ( [Region].[Country], [Region].[City], [Product].[Category], "
    "[Time].[Year], [Time].[Quarter], Measures.[Amount], Measures.[Orders], Measures.[Lowest], "
    "Measures.[Highest] ) SELECT country, city, category, year, quarter, amount, amount, amount, "
    "amount FROM sales";

// Porto's Parts sale of 2024 has no amount; Sevilla's is negative.
const std::vector<std::vector<cubemill::test::SqliteCell>> kSales = {
    {"Spain", "Madrid", "Bikes", "2023", "2023-Q1", "100.5"},
    {"Spain", "Madrid", "Parts", "2023", "2023-Q2", "20"},
    {"Spain", "Sevilla", "Bikes", "2024", "2024-Q1", "-5"},
    {"Spain", "Madrid", "Bikes", "2023", "2023-Q1", "9.5"},
    {"Portugal", "Lisbon", "Bikes", "2023", "2023-Q1", "70"},
    {"Portugal", "Porto", "Parts", "2024", "2024-Q3", std::nullopt},
    {"Portugal", "Porto", "Bikes", "2024", "2024-Q2", "33.25"},
    {"France", "Paris", "Bikes", "2023", "2023-Q4", "500"},
    {"France", "Lyon", "Parts", "2024", "2024-Q1", "1"},
    {"Italy", "Rome", "Parts", "2023", "2023-Q1", "8"},
};

constexpr char kSource[] = "source.db";
constexpr char kCube[] = "shop.cub";

// Every measure per `group` (a column list, or '' for none) over the rows `filter` keeps, as
// rows of (group..., measure, value).
std::string MeasuresSql(const std::string& group, const std::string& filter) {
  const std::string head = group.empty() ? "SELECT " : "SELECT " + group + ", ";
  const std::string tail =
      " FROM sales WHERE " + filter + (group.empty() ? "" : " GROUP BY " + group);
  return head + "'Amount', SUM(amount)" + tail + " UNION ALL " + head +
         "'Orders', NULLIF(COUNT(amount), 0)" + tail + " UNION ALL " + head +
         "'Lowest', MIN(amount)" + tail + " UNION ALL " + head + "'Highest', MAX(amount)" + tail;
}

constexpr char kByYear[] =
    "SELECT [Measures].Members ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Shop] ";
constexpr char kByCategory[] =
    "SELECT [Measures].Members ON COLUMNS, [Product].[Category].Members ON ROWS FROM [Shop] ";

class SlicerSetTest : public ::testing::Test {
 protected:
  cubemill::test::TempDir dir_;
  void SetUp() override {
    ASSERT_EQ(cubemill::test::CreateSqliteTable(kSource, "sales",
                                                {"country TEXT", "city TEXT", "category TEXT",
                                                 "year INTEGER", "quarter TEXT", "amount REAL"},
                                                kSales),
              "");
    ASSERT_EQ(test::BuildCube(kSource, kCube, kCreateCube, kInsertInto), "");
  }

  // Replaces the rollups the engine stored, if any, by two made here: by country, category and
  // year; and the smaller one by category alone.
  void MakeRollups() {
    const cubemill::test::SqliteResult stored =
        cubemill::test::ReadSqlite(kCube, "SELECT table_name FROM rollups");
    for (const auto& row : stored.rows)
      cubemill::test::RunSqlite(kCube, "DROP TABLE \"" + row[0].text + "\"");
    const std::string measures = "SUM(m1) AS m1, SUM(m2) AS m2, MIN(m3) AS m3, MAX(m4) AS m4 ";
    cubemill::test::RunSqlite(
        kCube,
        "DROP TABLE IF EXISTS rollup_levels; DROP TABLE IF EXISTS rollups;"
        "CREATE TABLE rollups (id INTEGER PRIMARY KEY, table_name TEXT, cell_count INTEGER);"
        "CREATE TABLE rollup_levels (rollup INTEGER, hierarchy INTEGER, level INTEGER);"
        "CREATE TABLE rollup_country AS SELECT ROW_NUMBER() OVER (ORDER BY 0) AS id, "
        "  mc.parent AS h1, c.h2 AS h2, mq.parent AS h3, " +
            measures +
            "FROM cells c JOIN members mc ON mc.id = c.h1 JOIN members mq ON mq.id = c.h3 "
            "  GROUP BY 2, 3, 4;"
            "CREATE TABLE rollup_category AS SELECT ROW_NUMBER() OVER (ORDER BY 0) AS id, "
            "  mk.parent AS h1, c.h2 AS h2, my.parent AS h3, " +
            measures +
            "FROM cells c JOIN members mc ON mc.id = c.h1 JOIN members mk ON mk.id = mc.parent "
            "  JOIN members mq ON mq.id = c.h3 JOIN members my ON my.id = mq.parent "
            "  GROUP BY 2, 3, 4;"
            "INSERT INTO rollups VALUES "
            "  (1, 'rollup_country', (SELECT COUNT(*) FROM rollup_country)),"
            "  (2, 'rollup_category', (SELECT COUNT(*) FROM rollup_category));"
            "INSERT INTO rollup_levels SELECT 1, hierarchy, id FROM levels "
            "  WHERE name IN ('Country', 'Category', 'Year');"
            "INSERT INTO rollup_levels SELECT 2, hierarchy, id FROM levels "
            "  WHERE name IN ('All Regions', 'Category', 'All Years');");
  }

  // Asks `mdx` from the rollups and from the leaf cells, compares both with `sql` and returns
  // the table the rollups' answer came from.
  std::string ExpectSameAsSql(const std::string& mdx, const std::string& sql) {
    const QueryResult from_cells =
        test::AskSameAsSql(kCube, kSource, mdx, sql, {.leaf_cells_only = true});
    EXPECT_EQ(from_cells.table, "cells") << mdx;
    const QueryResult answer = test::AskSameAsSql(kCube, kSource, mdx, sql);
    EXPECT_EQ(answer.cells, from_cells.cells) << mdx;
    return answer.table;
  }

  std::string AskError(const std::string& mdx, const QueryOptions& options = {}) {
    const auto answer = test::Ask(kCube, mdx, options);
    EXPECT_FALSE(answer.ok()) << mdx;
    return answer.ok() ? "" : answer.error().description;
  }
};

TEST_F(SlicerSetTest, AggregatesEachMeasureOverTheSet) {
  MakeRollups();
  const std::string two_countries = MeasuresSql("year", "country IN ('Spain', 'Portugal')");
  // The slicer's countries need the country rollup, though the smaller one by category would
  // do for the axes alone.
  EXPECT_EQ(ExpectSameAsSql(std::string(kByYear) + "WHERE {[Region].[Spain], [Region].[Portugal]}",
                            two_countries),
            "rollup_country");
  EXPECT_EQ(ExpectSameAsSql(std::string(kByCategory) +
                                "WHERE {[Region].[Spain], [Region].[Portugal], [Region].[Italy]}",
                            MeasuresSql("category", "country IN ('Spain', 'Portugal', 'Italy')")),
            "rollup_country");
  // Without a slicer the smaller rollup answers.
  EXPECT_EQ(test::AskSameAsSql(kCube, kSource, kByCategory, MeasuresSql("category", "1")).table,
            "rollup_category");
  // A city beside a country needs the cells.
  EXPECT_EQ(ExpectSameAsSql(
                std::string(kByCategory) + "WHERE {[Region].[Portugal].[Porto], [Region].[France]}",
                MeasuresSql("category", "city = 'Porto' OR country = 'France'")),
            "cells");
  // A set of one, and a set whose rows hold no value at all.
  ExpectSameAsSql(std::string(kByYear) + "WHERE {[Region].[Italy]}",
                  MeasuresSql("year", "country = 'Italy'"));
  ExpectSameAsSql(
      "SELECT [Measures].Members ON COLUMNS FROM [Shop] WHERE "
      "{[Region].[Portugal].[Porto], [Region].[Spain].[Sevilla]}",
      MeasuresSql("", "city IN ('Porto', 'Sevilla')"));
}

TEST_F(SlicerSetTest, CountsARowUnderTwoOfTheSetsTuplesOnce) {
  MakeRollups();
  const std::string year_2023 = MeasuresSql("category", "year = 2023");
  // A year and one of its quarters: the quarter's rows are in the year already.
  ExpectSameAsSql(std::string(kByCategory) + "WHERE {[Time].[2023], [Time].[2023].[2023-Q1]}",
                  year_2023);
  ExpectSameAsSql(std::string(kByCategory) + "WHERE {[Time].[2023].[2023-Q1], [Time].[2023]}",
                  year_2023);
  // The same member twice, and a country beside its city and the ALL member.
  EXPECT_EQ(ExpectSameAsSql(std::string(kByYear) + "WHERE {[Region].[Spain], [Region].[Spain]}",
                            MeasuresSql("year", "country = 'Spain'")),
            "rollup_country");
  ExpectSameAsSql(std::string(kByYear) + "WHERE {[Region].[Spain].[Madrid], [Region].[Spain]}",
                  MeasuresSql("year", "country = 'Spain'"));
  ExpectSameAsSql(std::string(kByYear) + "WHERE {[Region].[France], [Region]}",
                  MeasuresSql("year", "1"));
}

TEST_F(SlicerSetTest, CrossesTheSetWithOtherDimensions) {
  MakeRollups();
  const std::string bikes_2023 =
      "category = 'Bikes' AND year = 2023 AND country IN ('Spain', 'Portugal')";
  const std::string by_measure = "SELECT [Measures].Members ON COLUMNS FROM [Shop] WHERE ";
  for (const char* where : {
           "({[Region].[Spain], [Region].[Portugal]}, [Time].[2023], [Product].[Bikes])",
           "CrossJoin({[Region].[Spain], [Region].[Portugal]}, ([Time].[2023], "
           "[Product].[Bikes]))",
           "{[Region].[Spain], [Region].[Portugal]} * {[Time].[2023]} * [Product].[Bikes]",
           "{([Region].[Spain], [Time].[2023], [Product].[Bikes]), ([Region].[Portugal], "
           "[Time].[2023], [Product].[Bikes])}",
       }) {
    EXPECT_EQ(ExpectSameAsSql(by_measure + where, MeasuresSql("", bikes_2023)), "rollup_country")
        << where;
  }
  // Tuples of the set that differ in more than one dimension: Spain in 2023 and Portugal in 2024.
  ExpectSameAsSql(std::string(kByCategory) +
                      "WHERE {([Region].[Spain], [Time].[2023]), ([Region].[Portugal], "
                      "[Time].[2024].[2024-Q2]), ([Region].[Spain], [Time].[2023].[2023-Q1])}",
                  MeasuresSql("category",
                              "(country = 'Spain' AND year = 2023) OR "
                              "(country = 'Portugal' AND quarter = '2024-Q2')"));
  // One measure crossed with the set is the cells' measure.
  const auto lowest = test::AskSameAsSql(
      kCube, kSource,
      "SELECT [Time].[Year].Members ON COLUMNS FROM [Shop] WHERE ([Measures].[Lowest], "
      "{[Region].[Spain], [Region].[Portugal]})",
      "SELECT year, MIN(amount) FROM sales WHERE country IN ('Spain', 'Portugal') GROUP BY 1");
  EXPECT_EQ(lowest.table, "rollup_country");
}

TEST_F(SlicerSetTest, AnEmptySetLeavesEveryCellNull) {
  const auto answer = test::Ask(kCube, std::string(kByYear) + "WHERE {}");
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  ASSERT_EQ(answer->rows.size(), 2U);
  for (const auto& row : answer->cells)
    for (const auto& cell : row) EXPECT_EQ(cell.kind, provider::cubefile::CellValue::Kind::kNull);
}

TEST_F(SlicerSetTest, RefusesMeasuresAndHierarchiesTwiceAndTooManyTuples) {
  const std::string from = "SELECT [Time].[Year].Members ON COLUMNS FROM [Shop] WHERE ";
  EXPECT_EQ(AskError(from + "{[Measures].[Amount], [Measures].[Highest]}"),
            "WHERE names more than one measure ([Amount], [Highest]): a cell shows one measure, "
            "so put the measures on an axis at 59");
  EXPECT_EQ(AskError(from + "CrossJoin([Region].[Spain], {[Measures].[Amount], "
                            "[Measures].[Orders]})"),
            "WHERE names more than one measure ([Amount], [Orders]): a cell shows one measure, "
            "so put the measures on an axis at 59");
  EXPECT_EQ(AskError(from + "{[Time].[2023], [Time].[2024]}"), "[Time] appears on two axes at 59");
  EXPECT_EQ(AskError(from + "({[Region].[Spain], [Region].[Italy]}, [Region].[France])"),
            "hierarchy [Region] appears twice in a tuple at 98");
  EXPECT_EQ(AskError(from + "{[Region].[Spain], [Product].[Bikes]}"),
            "the tuples of a set differ in their dimensions at 78");
  QueryOptions small;
  small.max_axis_tuples = 2;
  EXPECT_EQ(AskError(from + "[Region].[City].Members", small),
            "WHERE has 7 tuples, more than the limit of 2 at 59");
}

}  // namespace
}  // namespace cubemill::query
