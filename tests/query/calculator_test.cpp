// Queries that compute: calculated members and their solve order, expressions with empty
// operands, sets chosen by value, aggregates, time functions and subselects, each answer
// checked against SQL over the shop's source rows.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "query_test_cube.h"

namespace cubemill::query::test {
namespace {

class CalculatorTest : public ShopCubeTest {
 protected:
  // The row names of `mdx`'s answer, in order.
  std::vector<std::string> RowsOf(const std::string& mdx) const {
    const auto answer = Ask(mdx);
    EXPECT_TRUE(answer.ok()) << (answer.ok() ? "" : answer.error().description);
    std::vector<std::string> names;
    if (answer.ok())
      for (const auto& row : answer->rows) names.push_back(row.front());
    return names;
  }
};

TEST_F(CalculatorTest, CalculatedMeasuresAnswerAsSqlOverTheSourceAndEmptyOperandsGiveEmptyCells) {
  // Lyon sold with no quantity: its price per piece is unknown, not infinite and not 0.
  for (const bool leaf : {false, true}) {
    ExpectSameAsSql(
        "WITH MEMBER [Measures].[Price] AS [Measures].[Amount] / [Measures].[Qty] "
        "SELECT {[Measures].[Price]} ON 0, [Store].[France].Children ON 1 FROM [Shop]",
        "SELECT city, 'Price', SUM(amount) / SUM(qty) FROM sales WHERE country = 'France' "
        "GROUP BY city HAVING SUM(qty) IS NOT NULL",
        {.leaf_cells_only = leaf});
    // A share of the total: the tuple overrides the cell's store with the ALL member.
    ExpectSameAsSql(
        "WITH MEMBER [Measures].[Share] AS [Measures].[Amount] / ([Measures].[Amount], "
        "[Store].[All Stores]) SELECT {[Measures].[Share]} ON 0, [Store].[Country].Members ON 1 "
        "FROM [Shop]",
        "SELECT COALESCE(country, ''), 'Share', SUM(amount) / (SELECT SUM(amount) FROM sales) "
        "FROM sales GROUP BY 1",
        {.leaf_cells_only = leaf});
  }
}

// A number in the query reads the same whatever locale the process runs in (the browser's
// toolkit sets the environment's): 1.5 is not 1 where "," is the decimal point.
TEST_F(CalculatorTest, ReadsNumbersTheSameInEveryLocale) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not generated here";
  const auto answer =
      Ask("WITH MEMBER [Measures].[X] AS 1.5 * 2 + 0.25 SELECT {[Measures].[X]} ON 0 FROM [Shop]");
  std::setlocale(LC_NUMERIC, before.c_str());
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  ASSERT_EQ(answer->cells.size(), 1u);
  EXPECT_EQ(answer->cells[0][0].real, 3.25);
}

TEST_F(CalculatorTest, TheHigherSolveOrderComputesACellOfTwoCalculatedMembers) {
  const std::string both =
      "MEMBER [Time].[Both] AS Aggregate({[Time].[2023], [Time].[2024]}), SOLVE_ORDER = %s "
      "MEMBER [Measures].[Price] AS [Measures].[Amount] / [Measures].[Qty], SOLVE_ORDER = 1 "
      "SELECT {[Measures].[Price]} ON 0, {[Time].[Both]} ON 1 FROM [Shop] "
      "WHERE [Store].[España]";
  auto with_order = [&](const char* order) {
    std::string mdx = "WITH " + both;
    mdx.replace(mdx.find("%s"), 2, order);
    return mdx;
  };
  // The price over both years...
  ExpectSameAsSql(with_order("0"),
                  "SELECT 'Both', 'Price', SUM(amount) / SUM(qty) FROM sales "
                  "WHERE country = 'España'");
  // ...or, when the year member wins, the two years' prices added up.
  ExpectSameAsSql(with_order("2"),
                  "SELECT 'Both', 'Price', SUM(p) FROM (SELECT SUM(amount) / SUM(qty) AS p "
                  "FROM sales WHERE country = 'España' GROUP BY year)");
}

TEST_F(CalculatorTest, SetsChosenAndOrderedByValueComeInTheirOrder) {
  EXPECT_EQ(RowsOf("SELECT {[Measures].[Amount]} ON 0, TopCount([Store].[City].Members, 2, "
                   "[Measures].[Amount]) ON 1 FROM [Shop]"),
            (std::vector<std::string>{"Paris", "Madrid"}));
  EXPECT_EQ(RowsOf("SELECT {[Measures].[Amount]} ON 0, Order([Store].[Country].Members, "
                   "[Measures].[Qty], BASC) ON 1 FROM [Shop]"),
            (std::vector<std::string>{"France", "", "España"}));
  // DESC keeps each country's cities together, the countries in their own order by value.
  EXPECT_EQ(
      RowsOf("SELECT {[Measures].[Amount]} ON 0, Order({[Store].[City].Members}, "
             "[Measures].[Amount], DESC) ON 1 FROM [Shop]"),
      (std::vector<std::string>{"Paris", "Lyon", "Bad]City", "Madrid", "Sevilla", "Nice", ""}));
  ExpectSameAsSql(
      "SELECT {[Measures].[Amount]} ON 0, Filter([Store].[City].Members, [Measures].[Amount] > "
      "50 AND NOT IsEmpty([Measures].[Qty])) ON 1 FROM [Shop]",
      "SELECT city, 'Amount', SUM(amount) FROM sales GROUP BY country, city "
      "HAVING SUM(amount) > 50 AND SUM(qty) IS NOT NULL");
  // A value that needs another chosen set: two rounds of reading.
  EXPECT_EQ(RowsOf("SELECT {[Measures].[Amount]} ON 0, Head(Order(Filter([Store].[City].Members, "
                   "[Measures].[Qty] > 1), [Measures].[Amount], BDESC), 1) ON 1 FROM [Shop]"),
            (std::vector<std::string>{"Madrid"}));
}

TEST_F(CalculatorTest, AggregatesOverSetsFollowEachMeasuresFunction) {
  ExpectSameAsSql(
      "WITH MEMBER [Measures].[Cities] AS Count([Store].CurrentMember.Children * "
      "{[Measures].[Amount]}, EXCLUDEEMPTY) "
      "MEMBER [Measures].[Best] AS Max([Store].CurrentMember.Children, [Measures].[Amount]) "
      "MEMBER [Measures].[Mean] AS Avg([Store].CurrentMember.Children, [Measures].[Amount]) "
      "SELECT {[Measures].[Cities], [Measures].[Best], [Measures].[Mean]} ON 0, "
      "{[Store].[España], [Store].[France]} ON 1 FROM [Shop] WHERE [Time].[2024]",
      "SELECT country, m, v FROM (SELECT country, 'Cities' AS m, COUNT(*) AS v FROM (SELECT "
      "country, city FROM sales WHERE year = 2024 GROUP BY country, city HAVING SUM(amount) IS "
      "NOT NULL) GROUP BY country "
      "UNION ALL SELECT country, 'Best', MAX(a) FROM (SELECT country, SUM(amount) AS a FROM sales "
      "WHERE year = 2024 GROUP BY country, city) GROUP BY country "
      "UNION ALL SELECT country, 'Mean', AVG(a) FROM (SELECT country, SUM(amount) AS a FROM sales "
      "WHERE year = 2024 GROUP BY country, city HAVING SUM(amount) IS NOT NULL) GROUP BY country) "
      "WHERE country IN ('España', 'France')");
  // Aggregate takes the MAX measure's greatest over the set, each row once.
  ExpectSameAsSql(
      "WITH MEMBER [Store].[Two] AS Aggregate({[Store].[España].[Madrid], [Store].[France]}) "
      "SELECT {[Measures].[Top], [Measures].[Qty]} ON 0, {[Store].[Two]} ON 1 FROM [Shop]",
      "SELECT 'Two', 'Top', MAX(amount) FROM sales WHERE city = 'Madrid' OR country = 'France' "
      "UNION ALL SELECT 'Two', 'Qty', SUM(qty) FROM sales "
      "WHERE city = 'Madrid' OR country = 'France'");
}

TEST_F(CalculatorTest, TimeFunctionsFindTheirPeriods) {
  // 2024's first two quarters against the first two of 2023 (ParallelPeriod goes by place: the
  // shop's 2023 has no third quarter, so 2024's third is set against 2023's fourth).
  ExpectSameAsSql(
      "WITH MEMBER [Measures].[Last year] AS ([Measures].[Amount], "
      "ParallelPeriod([Time].[Year], 1, [Time].CurrentMember)) MEMBER [Measures].[To date] AS "
      "Sum(Ytd(), [Measures].[Amount]) SELECT {[Measures].[Last year], [Measures].[To date]} ON 0, "
      "Head([Time].[2024].Children, 2) ON 1 FROM [Shop]",
      "SELECT '2024-Q1', 'Last year', SUM(amount) FROM sales WHERE quarter = '2023-Q1' "
      "UNION ALL SELECT '2024-Q2', 'Last year', SUM(amount) FROM sales WHERE quarter = '2023-Q2' "
      "UNION ALL SELECT '2024-Q1', 'To date', SUM(amount) FROM sales WHERE quarter = '2024-Q1' "
      "UNION ALL SELECT '2024-Q2', 'To date', SUM(amount) FROM sales "
      "WHERE quarter IN ('2024-Q1', '2024-Q2')");
  EXPECT_EQ(RowsOf("SELECT {[Measures].[Qty]} ON 0, {ParallelPeriod([Time].[Year], 1, "
                   "[Time].[2024].[2024-Q3])} ON 1 FROM [Shop]"),
            (std::vector<std::string>{"2023-Q4"}));
  EXPECT_EQ(RowsOf("SELECT {[Measures].[Qty]} ON 0, {OpeningPeriod([Time].[Month], [Time].[2024]), "
                   "ClosingPeriod([Time].[Month], [Time].[2024])} ON 1 FROM [Shop]"),
            (std::vector<std::string>{"2024-01", "2024-08"}));
}

TEST_F(CalculatorTest, SubselectsCountOnlyTheirMembersAlsoInTotals) {
  ExpectSameAsSql(
      "SELECT {[Measures].[Amount]} ON 0, {[Store].[All Stores], [Store].[Country].Members} ON 1 "
      "FROM (SELECT {[Store].[France].[Paris], [Store].[España]} ON 0 FROM [Shop])",
      "SELECT 'All Stores', 'Amount', SUM(amount) FROM sales WHERE city = 'Paris' OR "
      "country = 'España' UNION ALL SELECT country, 'Amount', SUM(amount) FROM sales "
      "WHERE city = 'Paris' OR country = 'España' GROUP BY country");
}

TEST_F(CalculatorTest, StringsTruthValuesAndMistakesAreAnsweredClearly) {
  const auto answer = Ask(
      "WITH MEMBER [Measures].[Who] AS [Store].CurrentMember.Name + \" (\" + "
      "[Store].CurrentMember.Level.Name + \")\" MEMBER [Measures].[Big] AS [Measures].[Amount] > "
      "100 SELECT {[Measures].[Who], [Measures].[Big]} ON 0, {[Store].[France].[Paris]} ON 1 "
      "FROM [Shop]");
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  EXPECT_EQ(answer->texts, (std::vector<std::vector<std::string>>{{"Paris (City)", "True"}}));

  EXPECT_EQ(AskError("WITH MEMBER [Measures].[X] AS [Measures].[X] + 1 SELECT {[Measures].[X]} "
                     "ON 0 FROM [Shop]"),
            "the calculated member [Measures].[X] refers to itself, or its formulas nest deeper "
            "than 64 at 6");
  EXPECT_EQ(
      AskError("WITH MEMBER [Measures].[X] AS [Store].CurrentMember.Name SELECT "
               "{[Measures].[X]} ON 0 FROM [Shop] WHERE {[Store].[España], [Store].[France]}"),
      "[Store] has no current member here: the cell counts a set of its members at 31");
  EXPECT_EQ(AskError("WITH MEMBER [Measures].[X] AS 1 MEMBER [Measures].[X] AS 2 SELECT "
                     "{[Measures].[X]} ON 0 FROM [Shop]"),
            "the member [Measures].[X] is defined twice at 33");
}

}  // namespace
}  // namespace cubemill::query::test

namespace cubemill::query::test {
namespace {

TEST_F(CalculatorTest, UniqueNamesAndDimensionPropertiesFindTheMembersAgain) {
  for (const std::string with : {"", "WITH MEMBER [Measures].[Twice] AS [Measures].[Qty] * 2 "}) {
    const auto answer =
        Ask(with +
                "SELECT {[Measures].[Qty]} ON 0, Descendants([Store].[France], [Store].[City], "
                "SELF_AND_BEFORE) DIMENSION PROPERTIES parent_unique_name, LEVEL_NUMBER, "
                "CHILDREN_CARDINALITY ON 1 FROM [Shop] CELL PROPERTIES VALUE, FORMATTED_VALUE",
            {.unique_names = true});
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    EXPECT_EQ(answer->cell_properties, (std::vector<std::string>{"VALUE", "FORMATTED_VALUE"}));
    EXPECT_EQ(
        answer->row_property_names,
        (std::vector<std::string>{"PARENT_UNIQUE_NAME", "LEVEL_NUMBER", "CHILDREN_CARDINALITY"}));
    ASSERT_EQ(answer->row_properties.size(), 4u);
    EXPECT_EQ(answer->row_properties[0][0],
              (std::vector<std::string>{"[Store].[All Stores].[All Stores]", "1", "3"}));
    EXPECT_EQ(answer->row_properties[1][0],
              (std::vector<std::string>{"[Store].[Country].[France]", "2", "0"}));
    // Each row's unique name, sent back, answers the same cell.
    for (std::size_t r = 0; r < answer->rows.size(); ++r) {
      const auto again = Ask("SELECT {[Measures].[Qty]} ON 0, {" +
                             answer->row_unique_names[r].front() + "} ON 1 FROM [Shop]");
      ASSERT_TRUE(again.ok()) << again.error().description;
      EXPECT_EQ(again->rows, (std::vector<std::vector<std::string>>{answer->rows[r]}));
      EXPECT_EQ(again->cells.front(), answer->cells[r]);
    }
  }
  EXPECT_EQ(AskError("SELECT {[Measures].[Qty]} ON 0 FROM [Shop] CELL PROPERTIES COLOR"),
            "unknown cell property COLOR (known: VALUE, FORMATTED_VALUE, FORMAT_STRING, "
            "CELL_ORDINAL) at 60");
}

}  // namespace
}  // namespace cubemill::query::test

namespace cubemill::query::test {
namespace {

TEST_F(CalculatorTest, FormulasThatNestTooDeepFailWithoutRunningTheStackOut) {
  // Two formulas, each as deep as the parser allows, that refer to each other: the computation
  // stops at its bound, well before the stack's end (this runs under the sanitizers too).
  const auto nested = [](const std::string& inner) {
    std::string text = inner;
    for (int i = 0; i < 95; ++i) text = "(1 + " + text + ")";
    return text;
  };
  const std::string mdx = "WITH MEMBER [Measures].[A] AS " + nested("[Measures].[B]") +
                          " MEMBER [Measures].[B] AS " + nested("[Measures].[A]") +
                          " SELECT {[Measures].[A]} ON 0 FROM [Shop]";
  const std::string error = AskError(mdx);
  EXPECT_TRUE(error.find("levels deep") != std::string::npos ||
              error.find("refers to itself") != std::string::npos)
      << error;
  // Sets chosen by value within one another as deep as the parser allows are answered.
  std::string set = "[Store].[City].Members";
  for (int i = 0; i < 150; ++i) set = "Filter(" + set + ", [Measures].[Qty] > 1)";
  EXPECT_EQ(RowsOf("SELECT {[Measures].[Qty]} ON 0, " + set + " ON 1 FROM [Shop]"),
            RowsOf("SELECT {[Measures].[Qty]} ON 0, Filter([Store].[City].Members, "
                   "[Measures].[Qty] > 1) ON 1 FROM [Shop]"));
}

}  // namespace
}  // namespace cubemill::query::test
