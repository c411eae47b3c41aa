// The evaluator over a small cube the real engine builds from a SQLite source through the SQLite
// ODBC driver: what an answer says beyond its grid (the measure of each cell). Its answers and
// errors are cases in tests/data/mdx/basics.test.
#include "query/query_evaluator.h"

#include <gtest/gtest.h>

#include "query_test_cube.h"
#include "support/sqlite_fixture.h"
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
};

TEST_F(QueryEvaluatorTest, NamesTheMeasureOfEachCell) {
  const auto answer = test::Ask(
      kCube,
      "SELECT [Measures].Members ON COLUMNS, [Region].[Country].Members ON ROWS FROM [Shop]");
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  EXPECT_EQ(answer->column_measure, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_EQ(answer->row_measure, std::vector<std::size_t>(4, QueryResult::npos));
  EXPECT_EQ(answer->MeasureAt(1, 2), 2u);
}

}  // namespace
}  // namespace cubemill::query
