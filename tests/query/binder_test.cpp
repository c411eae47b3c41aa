// The binder on a cube the real engine builds: names with an empty caption, with a "]" and
// with letters beyond ASCII, the errors for what a query names wrongly, and the limits on the
// size of an axis and of an answer.
#include "query/binder/binder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "query_test_cube.h"

namespace cubemill::query {
namespace {

using BinderTest = test::ShopCubeTest;

TEST_F(BinderTest, EmptyBracketsNameTheMemberWithAnEmptyName) {
  // Store's hierarchy has no name: [Store].[] is the country made from NULL, not the ALL member.
  const QueryResult country =
      ExpectSameAsSql("SELECT [Store].[] ON COLUMNS FROM [Shop]",
                      "SELECT '', SUM(qty) FROM sales WHERE country IS NULL");
  EXPECT_EQ(country.columns, (std::vector<std::vector<std::string>>{{""}}));
  ExpectSameAsSql("SELECT [Store].[].[] ON COLUMNS FROM [Shop]",
                  "SELECT '', SUM(qty) FROM sales WHERE country IS NULL AND city IS NULL");
  ExpectSameAsSql("SELECT [Store].[].Children ON COLUMNS FROM [Shop]",
                  "SELECT COALESCE(city, ''), SUM(qty) FROM sales WHERE country IS NULL "
                  "GROUP BY 1");
  EXPECT_EQ(AskError("SELECT [Time].[] ON COLUMNS FROM [Shop]"),
            "unknown level or member [Time].[] (no level [] in [Time]; its levels: Year, "
            "Quarter, Month; no member [] in its level Year) at 8");
}

TEST_F(BinderTest, DoublesAClosingBracketInEveryNameItWrites) {
  const QueryResult answer = ExpectSameAsSql(
      "SELECT {[Store].[France].[Bad]]City]} * {[Measures].[Qty]} ON COLUMNS, "
      "[Product].[Gear]]Box].[Bell].Parent ON ROWS FROM [Shop]",
      "SELECT 'Gear]Box', 'Bad]City', 'Qty', SUM(qty) FROM sales WHERE city = 'Bad]City' "
      "AND line = 'Gear]Box'");
  EXPECT_EQ(answer.columns, (std::vector<std::vector<std::string>>{{"Bad]City", "Qty"}}));
  EXPECT_EQ(AskError("SELECT [Product].[Gear]]Box].Parent ON COLUMNS FROM [Shop]"),
            "[Gear]]Box] has no parent at 8");
  EXPECT_EQ(AskError("SELECT [Store].[France] ON COLUMNS FROM [Sh]]op]"),
            "unknown cube [Sh]]op] (the file holds [Shop]) at 41");
  EXPECT_EQ(AskError("SELECT [Store].[France].[Bad]]Town] ON COLUMNS FROM [Shop]"),
            "unknown member [Store].[France].[Bad]]Town] (no member [Bad]]Town] under "
            "[Store].[France]) at 8");
}

TEST_F(BinderTest, ComparesNamesWithoutRegardToCaseBeyondAscii) {
  ExpectSameAsSql("SELECT {[STORE].[ESPAÑA], [store].[españa].[MADRID]} ON COLUMNS FROM [shop]",
                  "SELECT 'España', SUM(qty) FROM sales WHERE country = 'España' UNION ALL "
                  "SELECT 'Madrid', SUM(qty) FROM sales WHERE city = 'Madrid'");
  ExpectSameAsSql("SELECT [Measures].[QTY] ON COLUMNS, [TIME].[YEAR].MEMBERS ON ROWS FROM [Shop]",
                  "SELECT year, 'Qty', SUM(qty) FROM sales GROUP BY 1");
}

TEST_F(BinderTest, SaysWhatIsUnknownWhereItIs) {
  const struct {
    const char* mdx;
    const char* error;
  } cases[] = {
      {"SELECT [Time].[Yaer].Members ON COLUMNS FROM [Shop]",
       "unknown level or member [Time].[Yaer] (no level [Yaer] in [Time]; its levels: Year, "
       "Quarter, Month; no member [Yaer] in its level Year) at 8"},
      {"SELECT [Time].[2023].[2023-Q3] ON COLUMNS FROM [Shop]",
       "unknown member [Time].[2023].[2023-Q3] (no member [2023-Q3] under [Time].[2023]) at 8"},
      {"SELECT [Time].[Month].[2025-01] ON COLUMNS FROM [Shop]",
       "unknown member [Time].[Month].[2025-01] (no member [2025-01] in the level "
       "[Time].[Month]) at 8"},
      {"SELECT [Measures].[Qty].Parent ON COLUMNS FROM [Shop]",
       ".Parent of a measure ([Measures].[Qty]): only a member has a parent at 8"},
      {"SELECT [Measures].[Qty].Children ON COLUMNS FROM [Shop]",
       ".Children of a measure ([Measures].[Qty]): only a member has children at 8"},
      {"SELECT [Measures].[Qty].Members ON COLUMNS FROM [Shop]",
       ".Members needs a level or a dimension, not a measure at 8"},
      {"SELECT [Time].[Year].Parent ON COLUMNS FROM [Shop]", ".Parent needs a member at 8"},
      {"SELECT [Measures].[Qtty] ON COLUMNS FROM [Shop]",
       "unknown measure [Measures].[Qtty] (the measures: Qty, Amount, Top) at 8"},
      {"SELECT ([Time].[2023], [Time].[Year]) ON COLUMNS FROM [Shop]",
       "a tuple takes one member of each dimension at 24"},
  };
  for (const auto& c : cases) EXPECT_EQ(AskError(c.mdx), c.error) << c.mdx;
}

TEST_F(BinderTest, RefusesAnAxisBeyondItsLimitBeforeBuildingIt) {
  QueryOptions options;
  options.max_axis_tuples = 20;
  // 7 cities ("" and Nice under the NULL country) x 8 months.
  EXPECT_EQ(AskError("SELECT [Store].[City].Members * [Time].[Month].Members ON COLUMNS "
                     "FROM [Shop]",
                     options),
            "the columns axis has 56 tuples, more than the limit of 20");
  EXPECT_EQ(AskError("SELECT [Measures].[Qty] ON COLUMNS, {[Time].[Month].Members, "
                     "[Store].[City].Members * [Product].[Item].Members} ON ROWS FROM [Shop]",
                     options),
            "the rows axis has 36 tuples, more than the limit of 20");
  options.max_axis_tuples = 56;
  EXPECT_TRUE(Ask("SELECT [Store].[City].Members * [Time].[Month].Members ON COLUMNS "
                  "FROM [Shop]",
                  options)
                  .ok());
}

TEST_F(BinderTest, RefusesAnAnswerBeyondItsLimit) {
  QueryOptions options;
  options.max_cells = 50;
  const char kCitiesByMonth[] =
      "SELECT %s[Store].[City].Members ON COLUMNS, %s[Time].[Month].Members ON ROWS "
      "FROM [Shop]";
  const auto query = [&](const char* columns, const char* rows) {
    char text[256];
    std::snprintf(text, sizeof text, kCitiesByMonth, columns, rows);
    return std::string(text);
  };
  // Without NON EMPTY the answer is rows x columns, known before the cells are read.
  EXPECT_EQ(AskError(query("", ""), options),
            "the answer has 56 cells (8 rows x 7 columns), more than the limit of 50");
  // With NON EMPTY only what is kept counts: 7 months x 6 cities have a Qty (Lyon's one sale,
  // the only one of 2024-01, has none).
  options.max_cells = 42;
  ExpectSameAsSql(query("NON EMPTY ", "NON EMPTY "),
                  "SELECT month, COALESCE(city, ''), SUM(qty) FROM sales GROUP BY 1, 2 "
                  "HAVING SUM(qty) IS NOT NULL",
                  options);
  options.max_cells = 41;
  EXPECT_EQ(AskError(query("NON EMPTY ", "NON EMPTY "), options),
            "the answer has 42 cells (7 rows x 6 columns), more than the limit of 41");
  // More cells with a value than the limit: known while reading, which stops there.
  options.max_cells = 5;
  EXPECT_EQ(AskError(query("NON EMPTY ", "NON EMPTY "), options),
            "the answer has more cells with a value than the limit of 5");
  EXPECT_EQ(AskError(query("", "NON EMPTY "), options),
            "the answer has more cells with a value than the limit of 5");
}

}  // namespace
}  // namespace cubemill::query
