// Member navigation, ranges and the set functions over a cube the real engine builds with a
// three-level time hierarchy and a geography: each answer compared with SQL over the source,
// from the stored rollups and from the leaf cells, and each axis's members in their order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/query_evaluator.h"
#include "query_test_cube.h"
#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::query {
namespace {

constexpr char kSource[] = "sales.db";
constexpr char kCube[] = "sales.cub";
using Names = std::vector<std::string>;

class NavigationTest : public ::testing::Test {
 protected:
  cubemill::test::TempDir dir_;

  // Every month of 2022 to 2024 sells twice, in two of four cities, in time order.
  void SetUp() override {
    const char* const places[][2] = {
        {"Spain", "Madrid"}, {"France", "Paris"}, {"Spain", "Sevilla"}, {"Portugal", "Lisbon"}};
    std::vector<std::vector<cubemill::test::SqliteCell>> rows;
    for (int year = 2022; year <= 2024; ++year) {
      for (int month = 1; month <= 12; ++month) {
        const int i = (year - 2022) * 12 + month;
        const std::string quarter = "Q" + std::to_string((month + 2) / 3);
        const std::string name =
            std::to_string(year) + (month < 10 ? "-0" : "-") + std::to_string(month);
        for (int sale = 0; sale < 2; ++sale) {
          const auto& place = places[(i + sale) % 4];
          const int qty = (i * (sale + 3)) % 11 + 1;
          rows.push_back({place[0], place[1], std::to_string(year), quarter, name,
                          std::to_string(qty), std::to_string(qty * 2.5)});
        }
      }
    }
    ASSERT_EQ(cubemill::test::CreateSqliteTable(
                  kSource, "sales",
                  {"country TEXT", "city TEXT", "year INTEGER", "quarter TEXT", "month TEXT",
                   "qty INTEGER", "amount REAL"},
                  rows),
              "");
    ASSERT_EQ(test::BuildCube(
                  kSource, kCube,
                  "CREATE CUBE [Sales] ( DIMENSION [Geography], LEVEL [All Places] TYPE ALL, "
                  "LEVEL [Country], LEVEL [City], DIMENSION [Time], LEVEL [Year], "
                  "LEVEL [Quarter], LEVEL [Month], MEASURE [Qty] FUNCTION SUM, "
                  "MEASURE [Amount] FUNCTION SUM )",
                  "INSERT INTO Sales ( [Geography].[Country], [Geography].[City], [Time].[Year], "
                  "[Time].[Quarter], [Time].[Month], Measures.[Qty], Measures.[Amount] ) "
                  "SELECT country, city, year, quarter, month, qty, amount FROM sales"),
              "");
  }

  // Asks `rows` on ROWS with Qty on COLUMNS, from the rollups and from the leaf cells; checks
  // both against `sql` (rows of name, 'Qty', value) and returns the rows' first names.
  Names Rows(const std::string& rows, const std::string& sql) {
    const std::string mdx = "SELECT [Measures].[Qty] ON COLUMNS, " + rows + " ON ROWS FROM [Sales]";
    const QueryResult from_cells =
        test::AskSameAsSql(kCube, kSource, mdx, sql, {.leaf_cells_only = true});
    const QueryResult answer = test::AskSameAsSql(kCube, kSource, mdx, sql);
    EXPECT_EQ(answer.cells, from_cells.cells) << mdx;
    EXPECT_EQ(answer.rows, from_cells.rows) << mdx;
    Names names;
    for (const auto& tuple : answer.rows) names.push_back(tuple.empty() ? "" : tuple.front());
    return names;
  }

  // The rows `rows` gives, which must hold no value (SQL would find no group).
  Names RowsOnly(const std::string& rows, const QueryOptions& options = {}) {
    const auto answer = test::Ask(
        kCube, "SELECT [Measures].[Qty] ON COLUMNS, " + rows + " ON ROWS FROM [Sales]", options);
    EXPECT_TRUE(answer.ok()) << rows << ": " << answer.error().description;
    Names names;
    if (!answer.ok()) return names;
    for (const auto& tuple : answer->rows) names.push_back(tuple.empty() ? "" : tuple.front());
    return names;
  }

  std::string AskError(const std::string& rows, const QueryOptions& options = {}) {
    const auto answer = test::Ask(
        kCube, "SELECT [Measures].[Qty] ON COLUMNS, " + rows + " ON ROWS FROM [Sales]", options);
    EXPECT_FALSE(answer.ok()) << rows;
    return answer.ok() ? "" : answer.error().description;
  }
};

// "SELECT <name>, 'Qty', SUM(qty) FROM sales WHERE <filter> GROUP BY 1".
std::string Qty(const std::string& name, const std::string& filter) {
  return "SELECT " + name + ", 'Qty', SUM(qty) FROM sales WHERE " + filter + " GROUP BY 1";
}

Names Months(int year, int first, int last) {
  Names names;
  for (int m = first; m <= last; ++m)
    names.push_back(std::to_string(year) + (m < 10 ? "-0" : "-") + std::to_string(m));
  return names;
}

Names Joined(Names a, const Names& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(NavigationTest, StepsToNeighboursWithinTheLevelAcrossParents) {
  EXPECT_EQ(
      Rows("{[Time].[2023].[Q2].PrevMember}", Qty("quarter", "year = 2023 AND quarter = 'Q1'")),
      Names{"Q1"});
  EXPECT_EQ(Rows("[Time].[2023].[Q1].PrevMember", Qty("quarter", "year = 2022 AND quarter = 'Q4'")),
            Names{"Q4"});
  EXPECT_EQ(Rows("[Time].[2023].[Q4].NextMember", Qty("quarter", "year = 2024 AND quarter = 'Q1'")),
            Names{"Q1"});
  const std::string q3_2022 = Qty("quarter", "year = 2022 AND quarter = 'Q3'");
  EXPECT_EQ(Rows("[Time].[2023].[Q1].Lag(2)", q3_2022), Names{"Q3"});
  EXPECT_EQ(Rows("[Time].[2023].[Q1].Lead(-2)", q3_2022), Names{"Q3"});
  EXPECT_EQ(Rows("[Time].[2022].[Q1].Lag(-2)", q3_2022), Names{"Q3"});
  EXPECT_EQ(Rows("[Time].[2023].[Q1].[2023-01].Lag(0)", Qty("month", "month = '2023-01'")),
            Names{"2023-01"});
  EXPECT_EQ(Rows("[Time].[2022].[Q1].[2022-01].Lead(35)", Qty("month", "month = '2024-12'")),
            Names{"2024-12"});
}

TEST_F(NavigationTest, FindsChildrenSiblingsLevelsAndAncestors) {
  EXPECT_EQ(Rows("{[Time].[2023].FirstChild, [Time].[2023].LastChild}",
                 Qty("quarter", "year = 2023 AND quarter IN ('Q1', 'Q4')")),
            (Names{"Q1", "Q4"}));
  EXPECT_EQ(Rows("[Time].[2023].[Q2].FirstChild", Qty("month", "month = '2023-04'")),
            Names{"2023-04"});
  EXPECT_EQ(Rows("[Time].[2023].[Q2].Siblings", Qty("quarter", "year = 2023")),
            (Names{"Q1", "Q2", "Q3", "Q4"}));
  // Members of the top level have no parent: their siblings are the whole level.
  EXPECT_EQ(Rows("[Time].[2023].Siblings", Qty("year", "1")), (Names{"2022", "2023", "2024"}));
  Names all_months;
  for (int year = 2022; year <= 2024; ++year) all_months = Joined(all_months, Months(year, 1, 12));
  EXPECT_EQ(Rows("[Time].[2023].[Q2].[2023-05].Level.Members", Qty("month", "1")), all_months);
  EXPECT_EQ(Rows("[Time].[2023].[Q2].[2023-05].Level", Qty("month", "1")), all_months);
  const std::string may = "[Time].[2023].[Q2].[2023-05]";
  EXPECT_EQ(Rows("Ancestor(" + may + ", [Time].[Year])", Qty("year", "year = 2023")),
            Names{"2023"});
  EXPECT_EQ(Rows("Ancestor(" + may + ", 2)", Qty("year", "year = 2023")), Names{"2023"});
  EXPECT_EQ(Rows("Ancestor(" + may + ", 1)", Qty("quarter", "year = 2023 AND quarter = 'Q2'")),
            Names{"Q2"});
  EXPECT_EQ(Rows("Ancestor(" + may + ", " + may + ".Level)", Qty("month", "month = '2023-05'")),
            Names{"2023-05"});
  EXPECT_EQ(Rows("[Geography].[Spain].[Madrid].Parent.Siblings", Qty("country", "1")).size(), 3U);
}

TEST_F(NavigationTest, DropsTheNullMemberANavigationRunsInto) {
  // In a set the null member is no tuple; on its own it leaves the axis empty.
  EXPECT_EQ(Rows("{[Time].[2022].[Q1].PrevMember, [Time].[2023]}", Qty("year", "year = 2023")),
            Names{"2023"});
  for (const char* nothing :
       {"[Time].[2022].[Q1].PrevMember", "[Time].[2024].[Q4].[2024-12].NextMember",
        "[Time].[2023].Lag(2)", "[Time].[2023].Lead(5).Children",
        "[Time].[2023].[Q1].[2023-01].FirstChild", "Ancestor([Time].[2023], 1)",
        "Ancestor([Time].[2023], [Time].[Month])", "[Time].[2022].PrevMember.Siblings",
        "Descendants([Time].[2022].Lag(1), [Time].[Month])",
        "([Time].[2022].PrevMember, [Geography].[Spain])"}) {
    for (bool leaf : {false, true})
      EXPECT_EQ(RowsOnly(nothing, {.leaf_cells_only = leaf}), Names{}) << nothing;
  }
  // A range with a null end runs to the end of the level.
  EXPECT_EQ(Rows("[Time].[2022].[Q1].[2022-01].Lag(5) : [Time].[2022].[Q1].[2022-03]",
                 Qty("month", "month <= '2022-03'")),
            Months(2022, 1, 3));
  EXPECT_EQ(Rows("[Time].[2024].[Q4].[2024-11] : [Time].[2024].Lead(1)",
                 Qty("month", "month >= '2024-11'")),
            Months(2024, 11, 12));
}

TEST_F(NavigationTest, RangesRunInLevelOrderAcrossParents) {
  const Names winter = Joined(Months(2022, 11, 12), Months(2023, 1, 2));
  const std::string sql = Qty("month", "month BETWEEN '2022-11' AND '2023-02'");
  EXPECT_EQ(Rows("{[Time].[2022].[Q4].[2022-11] : [Time].[2023].[Q1].[2023-02]}", sql), winter);
  // Written the other way round, the same range in level order.
  EXPECT_EQ(Rows("[Time].[2023].[Q1].[2023-02] : [Time].[2022].[Q4].[2022-11]", sql), winter);
  EXPECT_EQ(Rows("[Time].[2022].[Q4] : [Time].[2023].[Q2]",
                 Qty("quarter",
                     "(year = 2022 AND quarter = 'Q4') OR "
                     "(year = 2023 AND quarter IN ('Q1', 'Q2'))")),
            (Names{"Q4", "Q1", "Q2"}));
  EXPECT_EQ(Rows("[Time].[2023] : [Time].[2023]", Qty("year", "year = 2023")), Names{"2023"});
  EXPECT_EQ(AskError("[Time].[2023] : [Time].[2023].[Q1]"),
            "a range takes two members of one level, not [2023] and [Q1] at 51");
}

TEST_F(NavigationTest, DescendsToALevelWithEachFlag) {
  const std::string months_2023 = Qty("month", "year = 2023");
  EXPECT_EQ(Rows("Descendants([Time].[2023], [Time].[Month])", months_2023), Months(2023, 1, 12));
  EXPECT_EQ(Rows("Descendants([Time].[2023], 2, SELF)", months_2023), Months(2023, 1, 12));
  EXPECT_EQ(Rows("Descendants([Time].[2023], [Time].[Quarter], AFTER)", months_2023),
            Months(2023, 1, 12));
  EXPECT_EQ(Rows("Descendants([Time].[2023], [Time].[Month], LEAVES)", months_2023),
            Months(2023, 1, 12));
  EXPECT_EQ(Rows("Descendants([Time].[2023], 1)", Qty("quarter", "year = 2023")),
            (Names{"Q1", "Q2", "Q3", "Q4"}));
  EXPECT_EQ(
      Rows("Descendants([Time].[2023], [Time].[Quarter], BEFORE)", Qty("year", "year = 2023")),
      Names{"2023"});
  const std::string year_and_quarters =
      Qty("year", "year = 2023") + " UNION ALL " + Qty("quarter", "year = 2023");
  EXPECT_EQ(
      Rows("Descendants([Time].[2023], [Time].[Quarter], SELF_AND_BEFORE)", year_and_quarters),
      (Names{"2023", "Q1", "Q2", "Q3", "Q4"}));
  // The member and all below it, in hierarchy order.
  EXPECT_EQ(Rows("Descendants([Time].[2023].[Q2])",
                 Qty("quarter", "year = 2023 AND quarter = 'Q2'") + " UNION ALL " +
                     Qty("month", "year = 2023 AND quarter = 'Q2'")),
            Joined({"Q2"}, Months(2023, 4, 6)));
  const Names everything =
      RowsOnly("Descendants([Time].[2023], [Time].[Quarter], SELF_BEFORE_AFTER)");
  ASSERT_EQ(everything.size(), 17U);
  EXPECT_EQ(Names(everything.begin(), everything.begin() + 6),
            (Names{"2023", "Q1", "2023-01", "2023-02", "2023-03", "Q2"}));
  EXPECT_EQ(RowsOnly("Descendants([Time].[2023], [Time].[Quarter], SELF_AND_AFTER)").size(), 16U);
  EXPECT_EQ(RowsOnly("Descendants([Time].[2023].[Q1], [Time].[Year])"), Names{});
  EXPECT_EQ(RowsOnly("Descendants([Geography], [Geography].[City])").size(), 4U);
}

TEST_F(NavigationTest, HeadTailAndSubsetCountFromTheEnds) {
  const std::string months = "[Time].[Month].Members";
  EXPECT_EQ(Rows("Head(" + months + ", 3)", Qty("month", "month < '2022-04'")), Months(2022, 1, 3));
  EXPECT_EQ(Rows("Head(" + months + ")", Qty("month", "month = '2022-01'")), Months(2022, 1, 1));
  EXPECT_EQ(Rows("Tail(" + months + ", 2)", Qty("month", "month > '2024-10'")),
            Months(2024, 11, 12));
  EXPECT_EQ(
      Rows("Subset(" + months + ", 12, 3)", Qty("month", "month BETWEEN '2023-01' AND '2023-03'")),
      Months(2023, 1, 3));
  EXPECT_EQ(Rows("Subset(" + months + ", 34)", Qty("month", "month > '2024-10'")),
            Months(2024, 11, 12));
  EXPECT_EQ(RowsOnly("Tail(" + months + ", 100)").size(), 36U);
  for (const std::string& none : {"Head(" + months + ", 0)", "Tail(" + months + ", -3)",
                                  "Subset(" + months + ", 36)", "Subset(" + months + ", 0, 0)"})
    EXPECT_EQ(RowsOnly(none), Names{}) << none;
}

TEST_F(NavigationTest, CombinesSetsAsUnionExceptIntersectAndDistinct) {
  const std::string years = Qty("year", "1");
  EXPECT_EQ(Rows("Union({[Time].[2022], [Time].[2023]}, {[Time].[2023], [Time].[2024]})", years),
            (Names{"2022", "2023", "2024"}));
  EXPECT_EQ(
      Rows("Union({[Time].[2022], [Time].[2023]}, {[Time].[2023], [Time].[2024]}, ALL)", years),
      (Names{"2022", "2023", "2023", "2024"}));
  EXPECT_EQ(
      Rows("Union({[Time].[2024], [Time].[2024]}, {}, [Time].[2022])", Qty("year", "year <> 2023")),
      (Names{"2024", "2022"}));
  EXPECT_EQ(Rows("Except([Time].[Year].Members, {[Time].[2023]})", Qty("year", "year <> 2023")),
            (Names{"2022", "2024"}));
  EXPECT_EQ(Rows("Intersect({[Time].[2024], [Time].[2023], [Time].[2024]}, [Time].[Year])",
                 Qty("year", "year >= 2023")),
            (Names{"2024", "2023"}));
  EXPECT_EQ(
      Rows("Distinct({[Time].[2023], [Time].[2022], [Time].[2023]})", Qty("year", "year <= 2023")),
      (Names{"2023", "2022"}));
  EXPECT_EQ(RowsOnly("Except([Time].[Year].Members, [Time].[Year].Members)"), Names{});
}

TEST_F(NavigationTest, HierarchizesParentsBeforeChildrenInTheCubesOrder) {
  EXPECT_EQ(Rows("Hierarchize({[Time].[2023].[Q2], [Time].[2022], [Time].[2023], "
                 "[Time].[2022].[Q4].[2022-12], [Time].[2022].[Q1]})",
                 Qty("year", "year IN (2022, 2023)") + " UNION ALL " +
                     Qty("quarter",
                         "(year = 2022 AND quarter = 'Q1') OR "
                         "(year = 2023 AND quarter = 'Q2')") +
                     " UNION ALL " + Qty("month", "month = '2022-12'")),
            (Names{"2022", "Q1", "2022-12", "2023", "Q2"}));
  // Tuples by their first member, then their second.
  const auto answer = test::Ask(
      kCube,
      "SELECT [Measures].[Qty] ON COLUMNS, Hierarchize(CrossJoin({[Time].[2024], [Time].[2022]},"
      " {[Geography].[Spain], [Geography]})) ON ROWS FROM [Sales]");
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  EXPECT_EQ(
      answer->rows,
      (std::vector<Names>{
          {"2022", "All Places"}, {"2022", "Spain"}, {"2024", "All Places"}, {"2024", "Spain"}}));
}

TEST_F(NavigationTest, CrossJoinsAnyNumberOfSetsAndExtractsHierarchies) {
  test::AskSameAsSql(
      kCube, kSource,
      "SELECT CrossJoin({[Time].[2023]}, [Geography].[Country].Members, [Measures].Members) "
      "ON COLUMNS FROM [Sales]",
      "SELECT '2023', country, 'Qty', SUM(qty) FROM sales WHERE year = 2023 GROUP BY 2 "
      "UNION ALL SELECT '2023', country, 'Amount', SUM(amount) FROM sales WHERE year = 2023 "
      "GROUP BY 2",
      {.leaf_cells_only = true});
  EXPECT_EQ(Rows("Extract(CrossJoin([Time].[Year].Members, [Geography].[Country].Members), "
                 "[Time])",
                 Qty("year", "1")),
            (Names{"2022", "2023", "2024"}));
  EXPECT_EQ(Rows("Extract([Geography].[Country].Members * {[Time].[2024], [Time].[2022]}, "
                 "[Time])",
                 Qty("year", "year <> 2023")),
            (Names{"2024", "2022"}));
}

TEST_F(NavigationTest, NamesTheFunctionThatCannotBeAnswered) {
  const struct {
    std::string rows;
    std::string error;
  } cases[] = {
      {"Union([Time].[Year].Members, [Geography].[Country].Members)",
       "Union takes sets of the same hierarchies, found ([Geography]) after ([Time]) at 66"},
      {"Except([Time].[Year].Members, CrossJoin([Time].[2023], [Geography]))",
       "Except takes sets of the same hierarchies, found ([Time], [Geography]) after ([Time]) at "
       "67"},
      {"Extract([Time].[Year].Members, [Geography])",
       "Extract: the set holds no [Geography] at 68"},
      {"Extract([Time].[Year].Members, [Time].[2023])", "Extract needs a hierarchy at 68"},
      {"Ancestor([Time].[2023].[Q1], [Geography].[Country])",
       "Ancestor: the level [Country] is not of [Time] at 66"},
      {"Ancestor([Time].[2023].[Q1], -1)", "Ancestor needs a distance of 0 or more at 66"},
      {"Ancestor([Time].[Year], 1)", "Ancestor needs a member at 46"},
      {"Descendants([Time].[2023], [Time].[2023])",
       "Descendants needs a level or a distance at 64"},
      {"[Measures].[Qty].PrevMember",
       ".PrevMember needs a member, not a measure ([Measures].[Qty]) at 37"},
      {"Subset([Time].[Year].Members, -1)", "Subset needs a start of 0 or more at 67"},
      {"Head([Measures])",
       "[Measures] alone is no set: use [Measures].Members or name a measure at 42"},
  };
  for (const auto& c : cases) EXPECT_EQ(AskError(c.rows), c.error) << c.rows;
  // A set a function holds whole is bound by the axis limit too.
  QueryOptions small;
  small.max_axis_tuples = 5;
  EXPECT_EQ(AskError("Head([Time].[Month].Members, 2)", small),
            "Head takes a set of 36 tuples, more than the limit of 5 at 42");
  EXPECT_EQ(AskError("Union([Time].[Year].Members, [Time].[2022].Children)", small),
            "Union makes a set of more than 5 tuples at 37");
}

}  // namespace
}  // namespace cubemill::query
