// The rows' filter: the top and bottom rows by a column's values and the rows above or below a
// bound, each compared with SQL over the shop's source, read back from its MDX, and dropped with
// the column it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "pivot_test_cube.h"
#include "support/sqlite_query.h"

namespace cubemill::browse::test {
namespace {

using PivotFilterTest = PivotCubeTest;
using Kind = PivotFilter::Kind;

// Cities on rows, years on columns, the amount: the layout the cases filter.
PivotLayout CitiesByYear(std::size_t store, std::size_t city, std::size_t time, std::size_t year,
                         std::size_t amount) {
  PivotLayout layout;
  layout.rows = {{store, city}};
  layout.columns = {{time, year}};
  layout.measures = {amount};
  return layout;
}

TEST_F(PivotFilterTest, KeepsTheRowsTheSourceKeeps) {
  const std::vector<std::string> in_2023{"[Time].[Year].[2023]", "[Measures].[Amount]"};
  const std::vector<std::string> in_all{"[Time].[All Time].[All Time]", "[Measures].[Amount]"};
  const struct {
    PivotFilter filter;
    const char* sql;  // the cities kept, in the order shown (ORDER BY) or in any (no ORDER BY)
    const char* mdx;  // what the query asks of the rows
  } cases[] = {
      {{Kind::kTop, in_2023, 2},
       "SELECT city FROM sales WHERE year = 2023 GROUP BY city ORDER BY SUM(amount) DESC LIMIT 2",
       "TopCount([Store].[City].Members, 2, ([Time].[Year].[2023], [Measures].[Amount]))"},
      {{Kind::kBottom, in_all, 3},
       "SELECT city FROM sales GROUP BY city ORDER BY SUM(amount) LIMIT 3",
       "BottomCount([Store].[City].Members, 3, ([Time].[All Time].[All Time], "
       "[Measures].[Amount]))"},
      {{Kind::kAbove, in_2023, 100},
       "SELECT city FROM sales WHERE year = 2023 GROUP BY city HAVING SUM(amount) > 100",
       "Filter([Store].[City].Members, ([Time].[Year].[2023], [Measures].[Amount]) > 100)"},
      {{Kind::kBelow, in_all, 12.5},
       "SELECT city FROM sales GROUP BY city HAVING SUM(amount) < 12.5",
       "Filter([Store].[City].Members, ([Time].[All Time].[All Time], [Measures].[Amount]) < "
       "12.5)"},
      {{Kind::kAbove, in_all, -0.25},
       "SELECT DISTINCT city FROM sales",
       "Filter([Store].[City].Members, ([Time].[All Time].[All Time], [Measures].[Amount]) > "
       "-0.25)"},
  };
  for (const auto& c : cases) {
    PivotLayout layout = CitiesByYear(store_, city_, time_, year_, amount_);
    ASSERT_TRUE(SetFilter(layout, *model_, c.filter)) << c.mdx;
    const std::string mdx = PivotMdx(*model_, layout);
    EXPECT_NE(mdx.find(c.mdx), std::string::npos) << mdx;
    const auto read = LayoutFromMdx(*model_, mdx);
    ASSERT_TRUE(read.ok()) << read.error().description << "\n" << mdx;
    EXPECT_EQ(*read, layout) << mdx;

    std::vector<std::string> rows = RowKeys(*model_, Answer(layout)), expected;
    ASSERT_FALSE(rows.empty()) << mdx;
    EXPECT_EQ(rows.back(), "Total") << "the total stays, last";
    rows.pop_back();
    for (const auto& line : cubemill::test::QuerySqlite(kSource, c.sql))
      expected.push_back(line[0]);
    if (std::string(c.sql).find("ORDER BY") == std::string::npos) {
      std::sort(rows.begin(), rows.end());
      std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(rows, expected) << mdx;
  }
}

TEST_F(PivotFilterTest, SortedAndFilteredRowsReadBack) {
  PivotLayout layout = CitiesByYear(store_, country_, time_, year_, amount_);
  ASSERT_TRUE(PlaceField(layout, *model_, true, product_, line_));
  layout.sort = PivotSort{{"[Time].[Year].[2024]", "[Measures].[Amount]"}, true};
  ASSERT_TRUE(
      SetFilter(layout, *model_,
                PivotFilter{Kind::kAbove, {"[Time].[Year].[2024]", "[Measures].[Amount]"}, 20}));
  const std::string mdx = PivotMdx(*model_, layout);
  EXPECT_NE(mdx.find("Filter(Generate(Order("), std::string::npos) << mdx;
  const auto read = LayoutFromMdx(*model_, mdx);
  ASSERT_TRUE(read.ok()) << read.error().description << "\n" << mdx;
  EXPECT_EQ(*read, layout);
  // The countries by their 2024 amount, in each its lines sold for more than 20 in 2024; no
  // total, as Product has no ALL member.
  EXPECT_EQ(RowKeys(*model_, Answer(layout)),
            (std::vector<std::string>{"France | Bikes", "España | Bikes", "España | Gear]Box",
                                      "Ireland | Bikes"}));
}

TEST_F(PivotFilterTest, TheFilterGoesWithItsColumnOrItsRows) {
  const PivotFilter top{Kind::kTop, {"[Time].[Year].[2023]", "[Measures].[Amount]"}, 2};
  PivotLayout layout = CitiesByYear(store_, city_, time_, year_, amount_);
  const PivotLayout before = layout;
  // What does not fit changes nothing.
  for (const PivotFilter& bad : std::vector<PivotFilter>{
           {Kind::kTop, top.column, 0},
           {Kind::kBottom, top.column, 2.5},
           {Kind::kAbove, top.column, std::numeric_limits<double>::infinity()},
           {Kind::kTop, {"[Time].[Year].[2023]", "[Measures].[Qty]"}, 2},  // not shown
           {Kind::kTop, {"[Store].[Country].[France]", "[Measures].[Amount]"}, 2}}) {
    EXPECT_FALSE(SetFilter(layout, *model_, bad)) << bad.amount;
  }
  EXPECT_EQ(layout, before);

  for (const auto& edit : std::vector<std::function<void(PivotLayout&)>>{
           [&](PivotLayout& l) { RemoveField(l, time_); },
           [&](PivotLayout& l) { RemoveField(l, store_); },
           [&](PivotLayout& l) { SetSlicer(l, *model_, time_, {Index("[Time].[2023]")}); },
           [&](PivotLayout& l) {
             ToggleMeasure(l, *model_, qty_);
             ToggleMeasure(l, *model_, amount_);
           },
           [&](PivotLayout& l) { SwapAxes(l); }}) {
    layout = before;
    ASSERT_TRUE(SetFilter(layout, *model_, top));
    edit(layout);
    EXPECT_FALSE(layout.filter) << PivotMdx(*model_, layout);
  }
  // Another row field or another measure keeps it; no filter removes it.
  layout = before;
  ASSERT_TRUE(SetFilter(layout, *model_, top));
  ASSERT_TRUE(PlaceField(layout, *model_, true, product_, line_));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, qty_));
  EXPECT_EQ(layout.filter, top);
  ASSERT_TRUE(SetFilter(layout, *model_, std::nullopt));
  EXPECT_FALSE(layout.filter);
}

// The columns' filter: quarters kept by a row's values, compared with SQL over the source, read
// back from its MDX, beside a filter of the rows.
TEST_F(PivotFilterTest, KeepsTheColumnsTheSourceKeeps) {
  const std::vector<std::string> espana{"[Store].[Country].[España]", "[Measures].[Amount]"};
  const std::vector<std::string> all{"[Store].[All Stores].[All Stores]", "[Measures].[Amount]"};
  // The quarters' keys as the grid shows a field at the quarter level ("Q3 | Amount"); the
  // cases' quarters are each one year's.
  const std::string key = "quarter || ' | Amount'";
  const struct {
    PivotFilter filter;
    std::string sql;  // the quarters kept, in the order shown (ORDER BY) or in any
    const char* mdx;  // what the query asks of the columns
  } cases[] = {
      {{Kind::kTop, espana, 2},
       "SELECT " + key +
           " FROM sales WHERE country = 'España' GROUP BY year, quarter ORDER BY SUM(amount) "
           "DESC LIMIT 2",
       "TopCount([Time].[Quarter].Members, 2, ([Store].[Country].[España], "
       "[Measures].[Amount]))"},
      {{Kind::kBottom, all, 3},
       "SELECT " + key + " FROM sales GROUP BY year, quarter ORDER BY SUM(amount) LIMIT 3",
       "BottomCount([Time].[Quarter].Members, 3, ([Store].[All Stores].[All Stores], "
       "[Measures].[Amount]))"},
      {{Kind::kAbove, {"[Store].[Country].[France]", "[Measures].[Amount]"}, 100},
       "SELECT " + key +
           " FROM sales WHERE country = 'France' GROUP BY year, quarter HAVING SUM(amount) > 100",
       "Filter([Time].[Quarter].Members, ([Store].[Country].[France], [Measures].[Amount]) > "
       "100)"},
  };
  for (const auto& c : cases) {
    PivotLayout layout = CitiesByYear(store_, country_, time_, Index("[Time].[Quarter]"), amount_);
    ASSERT_TRUE(SetColumnFilter(layout, *model_, c.filter)) << c.mdx;
    const std::string mdx = PivotMdx(*model_, layout);
    EXPECT_NE(mdx.find(c.mdx), std::string::npos) << mdx;
    const auto read = LayoutFromMdx(*model_, mdx);
    ASSERT_TRUE(read.ok()) << read.error().description << "\n" << mdx;
    EXPECT_EQ(*read, layout) << mdx;

    std::vector<std::string> columns = ColumnKeys(*model_, Answer(layout)), expected;
    ASSERT_FALSE(columns.empty()) << mdx;
    EXPECT_EQ(columns.back(), "Total | Amount") << "the total stays, last";
    columns.pop_back();
    for (const auto& line : cubemill::test::QuerySqlite(kSource, c.sql))
      expected.push_back(line[0]);
    if (c.sql.find("ORDER BY") == std::string::npos) {
      std::sort(columns.begin(), columns.end());
      std::sort(expected.begin(), expected.end());
    }
    EXPECT_EQ(columns, expected) << mdx;
  }

  // Rows and columns filtered at once read back as both.
  PivotLayout both = CitiesByYear(store_, country_, time_, year_, amount_);
  ASSERT_TRUE(SetColumnFilter(both, *model_, PivotFilter{Kind::kTop, espana, 1}));
  ASSERT_TRUE(SetFilter(
      both, *model_, PivotFilter{Kind::kTop, {"[Time].[Year].[2024]", "[Measures].[Amount]"}, 2}));
  const auto read = LayoutFromMdx(*model_, PivotMdx(*model_, both));
  ASSERT_TRUE(read.ok()) << read.error().description;
  EXPECT_EQ(*read, both);
  EXPECT_EQ(ColumnKeys(*model_, Answer(both)),
            (std::vector<std::string>{"2024 | Amount", "Total | Amount"}));
}

// With the measures on the rows, a row's names hold its measure, which the filter compares.
TEST_F(PivotFilterTest, TheColumnsFilterTakesTheRowsMeasure) {
  PivotLayout layout = CitiesByYear(store_, country_, time_, year_, qty_);
  ASSERT_TRUE(ToggleMeasure(layout, *model_, amount_));
  layout.measures_on_rows = true;
  const PivotGrid grid = Answer(layout);
  std::vector<std::string> espana_amount;
  for (const auto& names : grid.row_unique_names) {
    if (names == std::vector<std::string>{"[Store].[Country].[España]", "[Measures].[Amount]"})
      espana_amount = names;
  }
  ASSERT_FALSE(espana_amount.empty());
  ASSERT_TRUE(SetColumnFilter(layout, *model_, PivotFilter{Kind::kBottom, espana_amount, 1}));
  const auto read = LayoutFromMdx(*model_, PivotMdx(*model_, layout));
  ASSERT_TRUE(read.ok()) << read.error().description;
  EXPECT_EQ(*read, layout);
  // España sold for 521 in 2023 and 638.25 in 2024.
  EXPECT_EQ(ColumnKeys(*model_, Answer(layout)), (std::vector<std::string>{"2023", "Total"}));
}

TEST_F(PivotFilterTest, TheColumnsFilterGoesWithItsRowOrItsColumns) {
  const PivotFilter top{Kind::kTop, {"[Store].[Country].[France]", "[Measures].[Amount]"}, 1};
  PivotLayout layout = CitiesByYear(store_, country_, time_, year_, amount_);
  const PivotLayout before = layout;
  for (const PivotFilter& bad : std::vector<PivotFilter>{
           {Kind::kTop, top.column, 0},
           {Kind::kTop, {"[Store].[Country].[France]"}, 1},                       // no measure
           {Kind::kTop, {"[Store].[Country].[France]", "[Measures].[Qty]"}, 1},   // not shown
           {Kind::kTop, {"[Store].[France].[Paris]", "[Measures].[Amount]"}, 1},  // not drilled
           {Kind::kTop, {"[Time].[Year].[2023]", "[Measures].[Amount]"}, 1}}) {   // a column
    EXPECT_FALSE(SetColumnFilter(layout, *model_, bad)) << bad.column.front();
  }
  EXPECT_EQ(layout, before);
  for (const auto& edit : std::vector<std::function<void(PivotLayout&)>>{
           [&](PivotLayout& l) { RemoveField(l, time_); },
           [&](PivotLayout& l) { RemoveField(l, store_); },
           [&](PivotLayout& l) { PlaceField(l, *model_, false, store_, country_); },
           [&](PivotLayout& l) { SwapAxes(l); }}) {
    layout = before;
    ASSERT_TRUE(SetColumnFilter(layout, *model_, top));
    edit(layout);
    EXPECT_FALSE(layout.column_filter) << PivotMdx(*model_, layout);
  }
  layout = before;
  ASSERT_TRUE(SetColumnFilter(layout, *model_, top));
  ASSERT_TRUE(PlaceField(layout, *model_, true, product_, line_));
  EXPECT_EQ(layout.column_filter, top);
  ASSERT_TRUE(SetColumnFilter(layout, *model_, std::nullopt));
  EXPECT_FALSE(layout.column_filter);
}

}  // namespace
}  // namespace cubemill::browse::test
