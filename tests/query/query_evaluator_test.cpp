// The evaluator over a small cube the real engine builds from a SQLite source through the SQLite
// ODBC driver: every answer is compared with the same question asked of the source in SQL
// (GROUP BY), and stored rollups made by hand answer what they can.
#include "query/query_evaluator.h"

#include <gtest/gtest.h>

#include "query/result_format.h"
#include "query_test_cube.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::query {
namespace {

// Region has an ALL level, Product has none, Year has one. Valencia is a city of two countries;
// Germany sold nothing with an amount in 2024, and Lima's only sale has none.
constexpr char kCreateCube[] =
    "CREATE CUBE [Shop] ( DIMENSION [Region], LEVEL [All Regions] TYPE ALL, LEVEL [Country], "
    "LEVEL [City], DIMENSION [Product], LEVEL [Category], LEVEL [Item], DIMENSION [Year], "
    "LEVEL [All Years] TYPE ALL, LEVEL [Year], MEASURE [Amount] FUNCTION SUM, "
    "MEASURE [Orders] FUNCTION COUNT, MEASURE [Lowest] FUNCTION MIN, "
    "MEASURE [Highest] FUNCTION MAX )";
constexpr char kInsertInto[] =
    "INSERT INTO Shop ( [Region].[Country], [Region].[City], [Product].[Category], "
    "[Product].[Item], [Year].[Year], Measures.[Amount], Measures.[Orders], Measures.[Lowest], "
    "Measures.[Highest] ) SELECT country, city, category, item, year, amount, amount, amount, "
    "amount FROM sales";

const std::vector<std::vector<cubemill::test::SqliteCell>> kSales = {
    {"Spain", "Madrid", "Bikes", "Road", "2023", "100.5"},
    {"Spain", "Madrid", "Bikes", "City", "2024", "200"},
    {"Spain", "Valencia", "Parts", "Lock", "2023", "12.25"},
    {"Spain", "Valencia", "Bikes", "Road", "2024", "80"},
    {"Venezuela", "Valencia", "Parts", "Bell", "2023", "7"},
    {"Venezuela", "Caracas", "Parts", "Lock", "2024", "13"},
    {"Venezuela", "Caracas", "Bikes", "City", "2024", "-5.5"},
    {"Germany", "Berlin", "Bikes", "Road", "2023", "300"},
    {"Germany", "Berlin", "Parts", "Bell", "2024", std::nullopt},
    {"Germany", "Hamburg", "Parts", "Lock", "2023", "4"},
    {"Peru", "Lima", "Parts", "Bell", "2024", std::nullopt},
    {"Spain", "Madrid", "Bikes", "Road", "2023", "99.5"},
};

constexpr char kSource[] = "source.db";
constexpr char kCube[] = "shop.cub";

class QueryEvaluatorTest : public ::testing::Test {
 protected:
  cubemill::test::TempDir dir_;
  void SetUp() override {
    ASSERT_EQ(cubemill::test::CreateSqliteTable(kSource, "sales",
                                                {"country TEXT", "city TEXT", "category TEXT",
                                                 "item TEXT", "year INTEGER", "amount REAL"},
                                                kSales),
              "");
    ASSERT_EQ(test::BuildCube(kSource, kCube, kCreateCube, kInsertInto), "");
  }

  Result<QueryResult> Ask(const std::string& mdx, const QueryOptions& options = {}) {
    return test::Ask(kCube, mdx, options);
  }

  // Asks `mdx` and compares every cell with `sql` over the source (test::ExpectSameAsSql).
  // Returns the answer.
  QueryResult ExpectSameAsSql(const std::string& mdx, const std::string& sql,
                              const QueryOptions& options = {}) {
    return test::AskSameAsSql(kCube, kSource, mdx, sql, options);
  }

  std::string AskError(const std::string& mdx) {
    auto answer = Ask(mdx);
    EXPECT_FALSE(answer.ok()) << mdx;
    return answer.ok() ? "" : answer.error().description;
  }
};

// The four measures per country in one SQL statement, long form.
constexpr char kMeasuresByCountry[] =
    "SELECT country, 'Amount', SUM(amount) FROM sales GROUP BY 1 UNION ALL "
    "SELECT country, 'Orders', NULLIF(COUNT(amount), 0) FROM sales GROUP BY 1 UNION ALL "
    "SELECT country, 'Lowest', MIN(amount) FROM sales GROUP BY 1 UNION ALL "
    "SELECT country, 'Highest', MAX(amount) FROM sales GROUP BY 1";

TEST_F(QueryEvaluatorTest, AggregatesEachMeasureAsItsFunctionSays) {
  const QueryResult answer = ExpectSameAsSql(
      "SELECT [Measures].Members ON COLUMNS, [Region].[Country].Members ON ROWS FROM [Shop]",
      kMeasuresByCountry);
  EXPECT_EQ(answer.columns, (std::vector<std::vector<std::string>>{
                                {"Amount"}, {"Orders"}, {"Lowest"}, {"Highest"}}));
  // Members in the cube's order: by name within the level.
  EXPECT_EQ(answer.rows, (std::vector<std::vector<std::string>>{
                             {"Germany"}, {"Peru"}, {"Spain"}, {"Venezuela"}}));
  EXPECT_EQ(answer.table, "cells");
  EXPECT_EQ(answer.column_measure, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_EQ(answer.row_measure, std::vector<std::size_t>(4, QueryResult::npos));
  EXPECT_EQ(answer.MeasureAt(1, 2), 2u);
}

TEST_F(QueryEvaluatorTest, CrossesAxesAndSlices) {
  ExpectSameAsSql(
      "SELECT [Year].[Year].Members ON COLUMNS, [Region].[Country].Members * "
      "[Product].[Category].Members ON ROWS FROM [Shop]",
      "SELECT country, category, year, SUM(amount) FROM sales GROUP BY 1, 2, 3");
  ExpectSameAsSql(
      "SELECT CrossJoin({[Year].[2023], [Year].[2024]}, {[Measures].[Orders]}) ON COLUMNS, "
      "[Region].[Spain].Children ON ROWS FROM [Shop] WHERE ([Product].[Bikes])",
      "SELECT city, year, 'Orders', NULLIF(COUNT(amount), 0) FROM sales "
      "WHERE country = 'Spain' AND category = 'Bikes' GROUP BY 1, 2");
  ExpectSameAsSql(
      "SELECT {[Region].[Venezuela].[Valencia], [Region].[Spain].[Valencia].Parent} "
      "ON COLUMNS FROM [Shop] "
      "WHERE ([Measures].[Highest], [Year].&[2023])",
      "SELECT city, MAX(amount) FROM sales WHERE city = 'Valencia' AND year = 2023 "
      "AND country = 'Venezuela' UNION ALL "
      "SELECT 'Spain', MAX(amount) FROM sales WHERE country = 'Spain' AND year = 2023");
}

TEST_F(QueryEvaluatorTest, LeavesUnnamedDimensionsAtTheirTotal) {
  // Product has no ALL level: all its members count; Region and Year at their ALL member.
  const QueryResult total =
      ExpectSameAsSql("SELECT {[Measures].[Amount], [Measures].[Orders]} ON COLUMNS FROM [Shop]",
                      "SELECT 'Amount', SUM(amount) FROM sales UNION ALL SELECT 'Orders', "
                      "COUNT(amount) FROM sales");
  EXPECT_EQ(total.rows, (std::vector<std::vector<std::string>>{{}}));
  ExpectSameAsSql("SELECT [Region].[All Regions] ON COLUMNS, [Year] ON ROWS FROM [Shop]",
                  "SELECT 'All Years', 'All Regions', SUM(amount) FROM sales");
  // A dimension's members at every level in hierarchy order, each country followed by its
  // cities (two cities named Valencia: the comparison goes by place, not by name).
  const auto all = Ask("SELECT [Region].Members ON COLUMNS FROM [Shop]");
  ASSERT_TRUE(all.ok()) << all.error().description;
  const auto source = cubemill::test::QuerySqlite(
      kSource,
      "SELECT 'All Regions', SUM(amount) FROM sales UNION ALL SELECT * FROM (SELECT name, total "
      "FROM (SELECT country AS k1, 0 AS k2, NULL AS k3, country AS name, SUM(amount) AS total "
      "FROM sales GROUP BY country UNION ALL SELECT country, 1, city, city, SUM(amount) "
      "FROM sales GROUP BY country, city) ORDER BY k1, k2, k3)");
  ASSERT_EQ(all->columns.size(), source.size());
  for (std::size_t c = 0; c < source.size(); ++c) {
    EXPECT_EQ(all->columns[c], std::vector<std::string>{source[c][0]}) << c;
    const std::string value = ValueText(all->cells[0][c]);
    if (source[c][1] == "NULL") {
      EXPECT_EQ(value, "") << c;
    } else {
      EXPECT_NEAR(std::stod(value), std::stod(source[c][1]), 1e-9) << c;
    }
  }
}

TEST_F(QueryEvaluatorTest, NonEmptyDropsRowsAndColumnsWithoutValues) {
  const QueryResult answer = ExpectSameAsSql(
      "SELECT NON EMPTY [Region].[Country].Members ON COLUMNS, "
      "NON EMPTY [Product].[Item].Members ON ROWS FROM [Shop] WHERE [Year].[2024]",
      "SELECT item, country, SUM(amount) FROM sales WHERE year = 2024 GROUP BY 1, 2 "
      "HAVING SUM(amount) IS NOT NULL");
  EXPECT_EQ(answer.columns, (std::vector<std::vector<std::string>>{{"Spain"}, {"Venezuela"}}));
  EXPECT_EQ(answer.rows, (std::vector<std::vector<std::string>>{{"City"}, {"Road"}, {"Lock"}}));
  const QueryResult kept = ExpectSameAsSql(
      "SELECT [Region].[Country].Members ON COLUMNS FROM [Shop] WHERE [Year].[2024]",
      "SELECT country, SUM(amount) FROM sales WHERE year = 2024 GROUP BY 1");
  EXPECT_EQ(kept.columns.size(), 4u);
}

TEST_F(QueryEvaluatorTest, FindsMembersByKeyNameAndLevel) {
  ExpectSameAsSql(
      "select {[Region].&[Germany].&[Berlin], [region].[city].[Madrid], [Region].[City].&[Lima], "
      "[Region].[Country].&[Venezuela].Children} on columns from [SHOP]",
      "SELECT city, SUM(amount) FROM sales WHERE city IN ('Berlin', 'Madrid', 'Lima') "
      "OR country = 'Venezuela' GROUP BY country, city");
}

TEST_F(QueryEvaluatorTest, NamesWhatItCannotAnswerAndWhere) {
  const struct {
    const char* mdx;
    const char* error;
  } cases[] = {
      {"SELECT [Region].[Spian] ON COLUMNS FROM [Shop]",
       "unknown level or member [Region].[Spian] (no level [Spian] in [Region]; its "
       "levels: All Regions, Country, City; no member [Spian] in its level Country) at 8"},
      {"SELECT {[Region].[Spain].[Nowhere]} ON COLUMNS FROM [Shop]",
       "unknown member [Region].[Spain].[Nowhere] (no member [Nowhere] under "
       "[Region].[Spain]) at 9"},
      {"SELECT [Regio].[Spain] ON COLUMNS FROM [Shop]",
       "unknown dimension [Regio] (the dimensions: Region, Product, Year) at 8"},
      {"SELECT [Measures].[Amout] ON COLUMNS FROM [Shop]",
       "unknown measure [Measures].[Amout] (the measures: Amount, Orders, Lowest, "
       "Highest) at 8"},
      {"SELECT [Region].[City].[Valencia] ON COLUMNS FROM [Shop]",
       "ambiguous member [Region].[City].[Valencia] (2 members): name its parents at 8"},
      {"SELECT [Region].[Spain] ON COLUMNS FROM [Shops]",
       "unknown cube [Shops] (the file holds [Shop]) at 41"},
      {"SELECT [Region].[Spain] ON COLUMNS, [Region].[Peru] ON ROWS FROM [Shop]",
       "[Region] appears on two axes at 37"},
      {"SELECT [Measures].[Amount] ON COLUMNS FROM [Shop] WHERE [Measures].[Orders]",
       "[Measures] appears on two axes at 57"},
      {"SELECT [Region].[Spain] * [Region].[Peru] ON COLUMNS FROM [Shop]",
       "hierarchy [Region] appears twice in a tuple at 25"},
      {"SELECT {[Region].[Spain], [Year].[2023]} ON COLUMNS FROM [Shop]",
       "the tuples of a set differ in their dimensions at 27"},
      {"SELECT [Region].[Spain].Members ON COLUMNS FROM [Shop]",
       ".Members needs a level or a dimension, not a member at 8"},
      {"SELECT [Region].[All Regions].Parent ON COLUMNS FROM [Shop]",
       "[All Regions] has no parent at 8"},
      {"SELECT [Region].[Country].Children ON COLUMNS FROM [Shop]",
       ".Children needs a member at 8"},
      {"SELECT [Product] ON COLUMNS FROM [Shop]",
       "[Product] has no ALL member: use .Members or name a member at 8"},
      {"SELECT [Measures] ON COLUMNS FROM [Shop]",
       "[Measures] alone is no set: use [Measures].Members or name a measure at 8"},
      {"SELECT [Year].[2023] ON COLUMNS FROM [Shop] WHERE [Measures].Members",
       "WHERE names more than one measure ([Amount], [Orders]): a cell shows one measure, so put "
       "the measures on an axis at 51"},
      {"SELECT ([Region].[Country], [Product].[Bikes]) ON COLUMNS FROM [Shop]",
       "a tuple takes one member of each dimension at 9"},
      {"SELECT [Year].[2023] ON COLUMNS FROM [Shop] WHER",
       "expected the end of the query, found \"WHER\" at 45"},
  };
  for (const auto& c : cases) EXPECT_EQ(AskError(c.mdx), c.error) << c.mdx;
}

// Rollups made by hand as the contract describes them: by country, category and all years; by
// category alone. Each answers the queries it holds the detail for, the smallest first.
TEST_F(QueryEvaluatorTest, AnswersFromTheSmallestRollupThatHoldsTheDetail) {
  // Rollups the engine stored, if it did, make way for these.
  const cubemill::test::SqliteResult stored =
      cubemill::test::ReadSqlite(kCube, "SELECT table_name FROM rollups");
  for (const auto& row : stored.rows)
    cubemill::test::RunSqlite(kCube, "DROP TABLE \"" + row[0].text + "\"");
  cubemill::test::RunSqlite(kCube,
                            "DROP TABLE IF EXISTS rollup_levels; DROP TABLE IF EXISTS rollups;");
  cubemill::test::RunSqlite(
      kCube,
      "CREATE TABLE rollups (id INTEGER PRIMARY KEY, table_name TEXT, cell_count INTEGER);"
      "CREATE TABLE rollup_levels (rollup INTEGER, hierarchy INTEGER, level INTEGER);"
      "CREATE TABLE rollup_101 AS SELECT ROW_NUMBER() OVER (ORDER BY 0) AS id, mc.parent AS h1, "
      "  mi.parent AS h2, my.parent AS h3, SUM(m1) AS m1, SUM(m2) AS m2, MIN(m3) AS m3, "
      "  MAX(m4) AS m4 FROM cells c JOIN members mc ON mc.id = c.h1 "
      "  JOIN members mi ON mi.id = c.h2 JOIN members my ON my.id = c.h3 GROUP BY 2, 3, 4;"
      "CREATE TABLE rollup_102 AS SELECT ROW_NUMBER() OVER (ORDER BY 0) AS id, mk.parent AS h1, "
      "  mi.parent AS h2, my.parent AS h3, SUM(m1) AS m1, SUM(m2) AS m2, MIN(m3) AS m3, "
      "  MAX(m4) AS m4 FROM cells c JOIN members mc ON mc.id = c.h1 "
      "  JOIN members mk ON mk.id = mc.parent "
      "  JOIN members mi ON mi.id = c.h2 JOIN members my ON my.id = c.h3 GROUP BY 2, 3, 4;"
      "INSERT INTO rollups VALUES (1, 'rollup_101', (SELECT COUNT(*) FROM rollup_101)),"
      "  (2, 'rollup_102', (SELECT COUNT(*) FROM rollup_102));"
      "INSERT INTO rollup_levels SELECT 1, hierarchy, id FROM levels "
      "  WHERE name IN ('Country', 'Category', 'All Years');"
      "INSERT INTO rollup_levels SELECT 2, hierarchy, id FROM levels "
      "  WHERE name IN ('All Regions', 'Category', 'All Years');");
  const QueryResult by_country = ExpectSameAsSql(
      "SELECT [Measures].Members ON COLUMNS, [Region].[Country].Members ON ROWS FROM [Shop]",
      kMeasuresByCountry);
  EXPECT_EQ(by_country.table, "rollup_101");
  const QueryResult by_category = ExpectSameAsSql(
      "SELECT [Product].[Category].Members ON COLUMNS FROM [Shop] WHERE [Measures].[Lowest]",
      "SELECT category, MIN(amount) FROM sales GROUP BY 1");
  EXPECT_EQ(by_category.table, "rollup_102");
  // Cities, items and years need the leaf cells.
  EXPECT_EQ(ExpectSameAsSql("SELECT [Region].[Spain].Children ON COLUMNS FROM [Shop]",
                            "SELECT city, SUM(amount) FROM sales WHERE country = 'Spain' "
                            "GROUP BY 1")
                .table,
            "cells");
  EXPECT_EQ(ExpectSameAsSql("SELECT [Year].[2024] ON COLUMNS FROM [Shop]",
                            "SELECT year, SUM(amount) FROM sales WHERE year = 2024 GROUP BY 1")
                .table,
            "cells");
}

}  // namespace
}  // namespace cubemill::query
