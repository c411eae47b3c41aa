// The executor's answers on cubes the real engine builds, each compared with SQL over the
// source: sets that mix levels, cross joins on both axes, the WHERE tuple, NON EMPTY on both
// axes, stored rollups against the leaf cells, and a large axis.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "query/execution/evaluation.h"
#include "query/parser/mdx_parser.h"
#include "query/query_failure.h"
#include "query_test_cube.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"

namespace cubemill::query {
namespace {

using provider::cubefile::CellValue;
using ExecutorTest = test::ShopCubeTest;

TEST_F(ExecutorTest, AnswersSetsThatMixLevels) {
  ExpectSameAsSql(
      "SELECT {[Measures].[Qty], [Measures].[Top]} ON COLUMNS, {[Time].[2023], "
      "[Time].[2023].[2023-Q1], [Time].[2024].[2024-Q1].[2024-02], [Time].[2024], "
      "[Time].[2023].[2023-Q1]} ON ROWS FROM [Shop]",
      "SELECT year, 'Qty', SUM(qty) FROM sales GROUP BY 1 UNION ALL "
      "SELECT year, 'Top', MAX(amount) FROM sales GROUP BY 1 UNION ALL "
      "SELECT quarter, 'Qty', SUM(qty) FROM sales WHERE quarter = '2023-Q1' UNION ALL "
      "SELECT quarter, 'Top', MAX(amount) FROM sales WHERE quarter = '2023-Q1' UNION ALL "
      "SELECT month, 'Qty', SUM(qty) FROM sales WHERE month = '2024-02' UNION ALL "
      "SELECT month, 'Top', MAX(amount) FROM sales WHERE month = '2024-02'");
  // Countries and the cities of one of them, crossed with lines, on one axis.
  ExpectSameAsSql(
      "SELECT {[Store].[España], [Store].[France].Children, [Store].[France]} * "
      "[Product].[Line].Members ON COLUMNS FROM [Shop] WHERE [Measures].[Amount]",
      "SELECT country, line, SUM(amount) FROM sales WHERE country IN ('España', 'France') "
      "GROUP BY 1, 2 UNION ALL SELECT city, line, SUM(amount) FROM sales "
      "WHERE country = 'France' GROUP BY 1, 2");
}

TEST_F(ExecutorTest, CrossesOnBothAxesUnderAWhereTuple) {
  const QueryResult answer = ExpectSameAsSql(
      "SELECT CrossJoin([Time].[Year].Members, {[Measures].[Qty], [Measures].[Top]}) ON COLUMNS, "
      "[Store].[Country].Members * [Product].[Line].[Bikes].Children ON ROWS FROM [Shop]",
      "SELECT COALESCE(country, ''), item, year, 'Qty', SUM(qty) FROM sales "
      "WHERE line = 'Bikes' GROUP BY 1, 2, 3 UNION ALL "
      "SELECT COALESCE(country, ''), item, year, 'Top', MAX(amount) FROM sales "
      "WHERE line = 'Bikes' GROUP BY 1, 2, 3");
  EXPECT_EQ(answer.column_measure, (std::vector<std::size_t>{0, 2, 0, 2}));
  EXPECT_EQ(answer.rows.size(), 3u * 2);
  ExpectSameAsSql(
      "SELECT [Product].[Item].Members ON COLUMNS, [Store].[Country].Members ON ROWS "
      "FROM [Shop] WHERE ([Time].[2024], [Measures].[Amount])",
      "SELECT COALESCE(country, ''), item, SUM(amount) FROM sales WHERE year = 2024 "
      "GROUP BY 1, 2");
  const QueryResult sliced = ExpectSameAsSql(
      "SELECT [Time].[2023].Children ON COLUMNS FROM [Shop] WHERE ([Measures].[Top], "
      "[Store].[España].[Madrid], [Product].[Bikes])",
      "SELECT quarter, MAX(amount) FROM sales WHERE year = 2023 AND city = 'Madrid' "
      "AND line = 'Bikes' GROUP BY 1");
  EXPECT_EQ(sliced.slicer_measure, 2u);
  EXPECT_EQ(sliced.MeasureAt(0, 0), 2u);
}

TEST_F(ExecutorTest, NonEmptyDropsEmptyTuplesOnBothAxes) {
  const QueryResult answer = ExpectSameAsSql(
      "SELECT NON EMPTY [Store].[City].Members * {[Measures].[Qty]} ON COLUMNS, "
      "NON EMPTY [Time].[Quarter].Members ON ROWS FROM [Shop] WHERE [Product].[Gear]]Box]",
      "SELECT quarter, COALESCE(city, ''), 'Qty', SUM(qty) FROM sales WHERE line = 'Gear]Box' "
      "GROUP BY 1, 2 HAVING SUM(qty) IS NOT NULL");
  EXPECT_EQ(answer.rows, (std::vector<std::vector<std::string>>{
                             {"2023-Q1"}, {"2023-Q4"}, {"2024-Q1"}, {"2024-Q3"}}));
  EXPECT_EQ(answer.columns.size(), 4u);
  EXPECT_EQ(answer.column_measure, std::vector<std::size_t>(4, 0));
  // Lyon's only sale has an Amount but no Qty: NON EMPTY looks at the measure each cell shows.
  const QueryResult amounts = ExpectSameAsSql(
      "SELECT NON EMPTY {[Measures].[Qty], [Measures].[Amount]} * [Store].[France].Children "
      "ON COLUMNS FROM [Shop]",
      "SELECT 'Qty', city, SUM(qty) FROM sales WHERE country = 'France' GROUP BY 2 "
      "HAVING SUM(qty) IS NOT NULL UNION ALL SELECT 'Amount', city, SUM(amount) FROM sales "
      "WHERE country = 'France' GROUP BY 2");
  EXPECT_EQ(amounts.columns.size(), 2u + 3);
  // Nothing kept: no column, and no row either.
  const auto nothing =
      Ask("SELECT NON EMPTY [Time].[2023].Children ON COLUMNS, NON EMPTY [Store].[France].Children "
          "ON ROWS FROM [Shop] WHERE ([Product].[Bikes].[City], [Measures].[Qty])");
  ASSERT_TRUE(nothing.ok()) << nothing.error().description;
  EXPECT_TRUE(nothing->columns.empty());
  EXPECT_TRUE(nothing->rows.empty());
}

// Every answer read from a stored rollup equals the one read from the leaf cells.
TEST_F(ExecutorTest, RollupsAnswerAsTheLeafCellsDo) {
  const char* const queries[] = {
      "SELECT [Measures].Members ON COLUMNS, [Store].[Country].Members ON ROWS FROM [Shop]",
      "SELECT [Measures].Members ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Shop]",
      "SELECT [Product].[Line].Members ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Shop]",
      "SELECT [Product].[Line].Members * [Measures].Members ON COLUMNS FROM [Shop]",
      "SELECT [Time].[Quarter].Members ON COLUMNS, [Store].[Country].Members ON ROWS FROM [Shop] "
      "WHERE [Measures].[Top]",
      "SELECT {[Time].[2023], [Time].[2024].[2024-Q1]} ON COLUMNS FROM [Shop]",
      "SELECT NON EMPTY [Store].Members ON COLUMNS, NON EMPTY [Product].[Line].Members ON ROWS "
      "FROM [Shop] WHERE ([Time].[2024], [Measures].[Amount])",
      "SELECT [Store].[All Stores] ON COLUMNS FROM [Shop] WHERE [Measures].[Top]",
      "SELECT [Measures].[Amount] ON COLUMNS FROM [Shop]",
  };
  QueryOptions leaf_only;
  leaf_only.leaf_cells_only = true;
  int from_rollups = 0;
  for (const char* mdx : queries) {
    SCOPED_TRACE(mdx);
    const auto answer = Ask(mdx);
    const auto leaf = Ask(mdx, leaf_only);
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    ASSERT_TRUE(leaf.ok()) << leaf.error().description;
    EXPECT_EQ(leaf->table, "cells");
    from_rollups += answer->table != "cells";
    EXPECT_EQ(answer->columns, leaf->columns);
    EXPECT_EQ(answer->rows, leaf->rows);
    EXPECT_EQ(answer->column_measure, leaf->column_measure);
    ASSERT_EQ(answer->cells.size(), leaf->cells.size());
    for (std::size_t r = 0; r < leaf->cells.size(); ++r) {
      ASSERT_EQ(answer->cells[r].size(), leaf->cells[r].size());
      for (std::size_t c = 0; c < leaf->cells[r].size(); ++c) {
        const CellValue& x = answer->cells[r][c];
        const CellValue& y = leaf->cells[r][c];
        EXPECT_EQ(x.kind, y.kind) << r << ", " << c;
        if (x.kind == CellValue::Kind::kReal && y.kind == CellValue::Kind::kReal) {
          EXPECT_NEAR(x.real, y.real, 1e-9 * std::max(1.0, std::fabs(y.real)));
        } else {
          EXPECT_EQ(x, y) << r << ", " << c;
        }
      }
    }
  }
  EXPECT_GT(from_rollups, 0) << "the cube has no rollup these queries can use";
}

// 20,000 customers, each with an order number of its own, in 20 regions and 5 lines.
class LargeAxisTest : public ::testing::Test {
 protected:
  static constexpr int kCustomers = 20000;
  void SetUp() override {
    // The last 500 customers buy a second time; every 97th sale has no Qty.
    cubemill::test::RunSqlite(
        kSource,
        "CREATE TABLE sales AS WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < " +
            std::to_string(kCustomers + 499) + "), s(i, c) AS (SELECT i, i % " +
            std::to_string(kCustomers) +
            " FROM n) SELECT printf('R%02d', c % 20) AS region, printf('C%05d', c) AS customer, "
            "printf('O%05d', (c * 7919) % " +
            std::to_string(kCustomers) +
            ") AS ordno, printf('L%d', i % 5) AS line, CASE WHEN i % 97 = 0 THEN NULL "
            "ELSE i % 7 END AS qty, (i % 1000) / 4.0 AS amount FROM s");
    ASSERT_EQ(cubemill::test::QuerySqlite(kSource, "SELECT COUNT(*) FROM sales"),
              (cubemill::test::Rows{{std::to_string(kCustomers + 500)}}));
    ASSERT_EQ(test::BuildCube(kSource, kCube,
                              "CREATE CUBE [Big] ( DIMENSION [Customer], LEVEL [Region], "
                              "LEVEL [Name], DIMENSION [Order], LEVEL [No], DIMENSION [Product], "
                              "LEVEL [Line], MEASURE [Qty] FUNCTION SUM, "
                              "MEASURE [Amount] FUNCTION SUM )",
                              "INSERT INTO Big ( [Customer].[Region], [Customer].[Name], "
                              "[Order].[No], [Product].[Line], Measures.[Qty], "
                              "Measures.[Amount] ) SELECT region, customer, ordno, line, qty, "
                              "amount FROM sales"),
              "");
  }
  static constexpr char kSource[] = "big.db";
  static constexpr char kCube[] = "big.cub";
  cubemill::test::TempDir dir_;
};

TEST_F(LargeAxisTest, AnswersTwentyThousandMembersByTwoMeasures) {
  const auto answer = test::Ask(kCube,
                                "SELECT {[Measures].[Qty], [Measures].[Amount]} ON COLUMNS, "
                                "[Customer].[Name].Members ON ROWS FROM [Big]");
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  EXPECT_EQ(answer->rows.size(), static_cast<std::size_t>(kCustomers));
  test::ExpectSameAsSql(*answer, kSource,
                        "SELECT customer, 'Qty', SUM(qty) FROM sales GROUP BY 1 UNION ALL "
                        "SELECT customer, 'Amount', SUM(amount) FROM sales GROUP BY 1");
  // 100,000 row tuples, of which NON EMPTY keeps those with a Qty.
  const auto crossed = test::Ask(kCube,
                                 "SELECT [Measures].[Qty] ON COLUMNS, NON EMPTY "
                                 "[Customer].[Name].Members * [Product].[Line].Members ON ROWS "
                                 "FROM [Big]");
  ASSERT_TRUE(crossed.ok()) << crossed.error().description;
  test::ExpectSameAsSql(*crossed, kSource,
                        "SELECT customer, line, 'Qty', SUM(qty) FROM sales GROUP BY 1, 2 "
                        "HAVING SUM(qty) IS NOT NULL");
}

TEST_F(LargeAxisTest, RefusesAHugeCrossJoinAtOnce) {
  // 20,000 x 20,000 x 5 tuples would take tens of gigabytes: the count alone refuses them.
  const auto answer = test::Ask(kCube,
                                "SELECT [Customer].[Name].Members * [Order].[No].Members * "
                                "[Product].[Line].Members ON COLUMNS FROM [Big]");
  ASSERT_FALSE(answer.ok());
  EXPECT_EQ(answer.error().description,
            "the columns axis has 2,000,000,000 tuples, more than the limit of 1,000,000");
  EXPECT_EQ(answer.error().number, 1);
  // Within the axis limit, 20,000 rows x 20,000 columns are still too many cells.
  const auto grid = test::Ask(kCube,
                              "SELECT [Order].[No].Members ON COLUMNS, [Customer].[Name].Members "
                              "ON ROWS FROM [Big]");
  ASSERT_FALSE(grid.ok());
  EXPECT_EQ(grid.error().description,
            "the answer has 400,000,000 cells (20,000 rows x 20,000 columns), more than the "
            "limit of 10,000,000");
}

TEST_F(LargeAxisTest, ACancelledQueryStopsReadingAndSaysSo) {
  // Set before the query: the engine does not start, on either path.
  std::atomic<bool> cancel = true;
  QueryOptions options;
  options.cancel = &cancel;
  for (const char* mdx : {"SELECT [Customer].[Name].Members ON COLUMNS FROM [Big]",
                          "WITH MEMBER [Measures].[Twice] AS [Measures].[Qty] * 2 "
                          "SELECT [Measures].[Twice] ON COLUMNS FROM [Big]"}) {
    const auto answer = test::Ask(kCube, mdx, options);
    ASSERT_FALSE(answer.ok()) << mdx;
    EXPECT_EQ(answer.error().description, "Cancelled") << mdx;
  }
  // Set while the executor reads the 20,500 leaf cells: it stops within the next 1,024 rows.
  const auto reader = provider::cubefile::CubeReader::Open(kCube);
  ASSERT_TRUE(reader.ok()) << reader.error().description;
  const CubeModel model((*reader)->Catalog());
  const auto query = ParseMdx("SELECT [Customer].[Name].Members ON COLUMNS FROM [Big]");
  ASSERT_TRUE(query.ok());
  const BoundQuery bound = Bind(model, *query);
  const QueryPlan plan = PlanQuery(bound, /*leaf_cells_only=*/true);
  EXPECT_THROW(Evaluation(**reader, model, bound, options).Answer(plan), QueryFailure);
  cancel = false;
  EXPECT_EQ(Evaluation(**reader, model, bound, options).Answer(plan).columns.size(),
            static_cast<std::size_t>(kCustomers));
}

}  // namespace
}  // namespace cubemill::query
