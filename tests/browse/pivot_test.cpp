// The pivot's grids over the shop cube against SQL over the shop's source rows: totals, drills,
// nested fields, measures, slicers, NON EMPTY, sorts and swapped axes.
#include "browse/pivot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "pivot_test_cube.h"
#include "support/sqlite_query.h"

namespace cubemill::browse::test {
namespace {

using PivotGridTest = PivotCubeTest;

TEST_F(PivotGridTest, CountryByYearIsTheSourceWithItsTotals) {
  const PivotLayout layout = DefaultLayout(*model_);
  ASSERT_EQ(layout.rows, (std::vector<PivotField>{{store_, country_}}));
  ASSERT_EQ(layout.columns, (std::vector<PivotField>{{time_, year_}}));
  const PivotGrid grid = Answer(layout);
  ExpectCellsAsSql(
      *model_, grid, kSource,
      PivotSql("country", "year || ' | Qty'", "SUM(qty)", "FROM sales", "Total", "Total | Qty"));
  EXPECT_EQ(RowKeys(*model_, grid),
            (std::vector<std::string>{"España", "France", "Ireland", "Total"}));
  EXPECT_EQ(ColumnKeys(*model_, grid),
            (std::vector<std::string>{"2023 | Qty", "2024 | Qty", "Total | Qty"}));

  const PivotHeader& spain = grid.row_headers[0][0];
  EXPECT_EQ(spain.caption, "España");
  EXPECT_EQ(spain.member, Index("[Store].[España]"));
  EXPECT_EQ(spain.indent, 0);
  EXPECT_TRUE(spain.can_expand);
  EXPECT_FALSE(spain.expanded);
  EXPECT_EQ(grid.row_headers[3][0], (PivotHeader{.caption = "Total", .total = true}));
  EXPECT_EQ(grid.column_headers[0][1], (PivotHeader{.caption = "Qty", .measure = qty_}));
  EXPECT_EQ(grid.column_unique_names[1],
            (std::vector<std::string>{"[Time].[Year].[2024]", "[Measures].[Qty]"}));
  EXPECT_EQ(grid.mdx, PivotMdx(*model_, layout));
}

TEST_F(PivotGridTest, ADrilledMemberShowsItsChildrenUnderIt) {
  PivotLayout layout = DefaultLayout(*model_);
  SwapAxes(layout);  // years on rows, countries on columns, the one measure named on no row
  const std::size_t y2023 = Index("[Time].[2023]"), q1 = Index("[Time].[2023].[Q1]");
  ASSERT_TRUE(Expand(layout, *model_, y2023));
  ASSERT_TRUE(Expand(layout, *model_, q1));
  const PivotGrid grid = Answer(layout);
  EXPECT_EQ(RowKeys(*model_, grid),
            (std::vector<std::string>{"2023", "2023/Q1", "2023/Q1/01", "2023/Q1/02", "2023/Q2",
                                      "2023/Q3", "2023/Q4", "2024", "Total"}));
  const std::string columns = "country";
  ExpectCellsAsSql(*model_, grid, kSource,
                   PivotSql("year", columns, "SUM(qty)", "FROM sales", "Total", "Total") +
                       " UNION ALL " +
                       PivotSql("year || '/' || quarter", columns, "SUM(qty)",
                                "FROM sales WHERE year = 2023", "", "Total") +
                       " UNION ALL " +
                       PivotSql("year || '/' || quarter || '/' || month", columns, "SUM(qty)",
                                "FROM sales WHERE year = 2023 AND quarter = 'Q1'", "", "Total"));
  // The year's row is the sum of its quarters' in every column.
  for (std::size_t c = 0; c < grid.Columns(); ++c) {
    std::int64_t quarters = 0;
    for (std::size_t r : {1, 4, 5, 6}) quarters += grid.cells[r][c].integer;
    EXPECT_EQ(grid.cells[0][c].integer, quarters) << c;
  }
  EXPECT_TRUE(grid.row_headers[0][0].expanded);
  EXPECT_FALSE(grid.row_headers[0][0].can_expand);
  EXPECT_EQ(grid.row_headers[1][0].indent, 1);
  EXPECT_TRUE(grid.row_headers[1][0].expanded);
  EXPECT_EQ(grid.row_headers[2][0].indent, 2);
  EXPECT_FALSE(grid.row_headers[2][0].can_expand);  // a month has no children
  EXPECT_TRUE(grid.row_headers[4][0].can_expand);

  ASSERT_TRUE(Collapse(layout, *model_, y2023));
  EXPECT_TRUE(layout.expanded.empty()) << "the quarter's drill goes with its year's";
  EXPECT_EQ(RowKeys(*model_, Answer(layout)), (std::vector<std::string>{"2023", "2024", "Total"}));
}

TEST_F(PivotGridTest, NestsFieldsAndMeasuresOnEitherAxis) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(PlaceField(layout, *model_, true, product_, line_));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, amount_));
  PivotGrid grid = Answer(layout);
  // Product has no ALL level: the rows, which cross it, have no total; the columns do.
  ExpectCellsAsSql(*model_, grid, kSource,
                   PivotSql("country || ' | ' || line", "year || ' | Qty'", "SUM(qty)",
                            "FROM sales", "", "Total | Qty") +
                       " UNION ALL " +
                       PivotSql("country || ' | ' || line", "year || ' | Amount'", "SUM(amount)",
                                "FROM sales", "", "Total | Amount"));
  EXPECT_EQ(RowKeys(*model_, grid).front(), "España | Bikes");
  EXPECT_EQ(ColumnKeys(*model_, grid),
            (std::vector<std::string>{"2023 | Qty", "2023 | Amount", "2024 | Qty", "2024 | Amount",
                                      "Total | Qty", "Total | Amount"}));
  // España's bikes of 2023: 5 pieces for 521, Amount as its FORMAT shows it.
  EXPECT_EQ(grid.texts[0][0], "5");
  EXPECT_EQ(grid.texts[0][1], "521.00");
  EXPECT_EQ(grid.FormatAt(0, 1), "#,##0.00");
  EXPECT_EQ(grid.FormatAt(0, 0), "");

  layout.measures_on_rows = true;
  grid = Answer(layout);
  EXPECT_EQ(ColumnKeys(*model_, grid), (std::vector<std::string>{"2023", "2024", "Total"}));
  EXPECT_EQ(RowKeys(*model_, grid)[1], "España | Bikes | Amount");
  ExpectCellsAsSql(*model_, grid, kSource,
                   PivotSql("country || ' | ' || line || ' | Qty'", "year", "SUM(qty)",
                            "FROM sales", "", "Total") +
                       " UNION ALL " +
                       PivotSql("country || ' | ' || line || ' | Amount'", "year", "SUM(amount)",
                                "FROM sales", "", "Total"));
  EXPECT_EQ(grid.texts[1][0], "521.00");
  EXPECT_EQ(grid.FormatAt(1, 0), "#,##0.00");
}

TEST_F(PivotGridTest, TotalsTakeEachMeasuresOwnFunction) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(ToggleMeasure(layout, *model_, low_));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, high_));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, qty_));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, amount_));
  EXPECT_EQ(layout.measures, (std::vector<std::size_t>{low_, high_, amount_}));
  const PivotGrid grid = Answer(layout);
  ExpectCellsAsSql(
      *model_, grid, kSource,
      PivotSql("country", "year || ' | Low'", "MIN(price)", "FROM sales", "Total", "Total | Low") +
          " UNION ALL " +
          PivotSql("country", "year || ' | High'", "MAX(price)", "FROM sales", "Total",
                   "Total | High") +
          " UNION ALL " +
          PivotSql("country", "year || ' | Amount'", "SUM(amount)", "FROM sales", "Total",
                   "Total | Amount"));
  // The grand total of everything, as Amount's FORMAT shows it.
  EXPECT_EQ(grid.texts.back().back(), "2,285.75");
}

TEST_F(PivotGridTest, SlicersCountEachRowOnce) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(SetSlicer(layout, *model_, product_, {Index("[Product].[Bikes]")}));
  ExpectCellsAsSql(*model_, Answer(layout), kSource,
                   PivotSql("country", "year || ' | Qty'", "SUM(qty)",
                            "FROM sales WHERE line = 'Bikes'", "Total", "Total | Qty"));

  // Madrid lies in España: its rows count once. Paris adds France's Paris alone.
  layout = PivotLayout{};
  ASSERT_TRUE(PlaceField(layout, *model_, true, product_, line_));
  layout.measures = {qty_};
  ASSERT_TRUE(SetSlicer(layout, *model_, store_,
                        {Index("[Store].[España]"), Index("[Store].[España].[Madrid]"),
                         Index("[Store].[France].[Paris]")}));
  ASSERT_TRUE(
      SetSlicer(layout, *model_, time_, {Index("[Time].[2023].[Q1]"), Index("[Time].[2024]")}));
  const PivotGrid grid = Answer(layout);
  EXPECT_EQ(ColumnKeys(*model_, grid), (std::vector<std::string>{"Qty"}));
  ExpectCellsAsSql(*model_, grid, kSource,
                   PivotSql("line", "'Qty'", "SUM(qty)",
                            "FROM sales WHERE (country = 'España' OR city IN ('Madrid', 'Paris')) "
                            "AND ((year = 2023 AND quarter = 'Q1') OR year = 2024)"));
}

TEST_F(PivotGridTest, NonEmptyDropsTheRowsWithoutValues) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(PlaceField(layout, *model_, false, product_, line_));
  ASSERT_TRUE(SetSlicer(layout, *model_, time_, {Index("[Time].[2023].[Q1]")}));
  const std::string sql = PivotSql("country", "line || ' | Qty'", "SUM(qty)",
                                   "FROM sales WHERE year = 2023 AND quarter = 'Q1'", "Total");
  PivotGrid grid = Answer(layout);
  ExpectCellsAsSql(*model_, grid, kSource, sql);
  EXPECT_EQ(RowKeys(*model_, grid), (std::vector<std::string>{"España", "France", "Total"}));

  layout.non_empty = false;
  grid = Answer(layout);
  ExpectCellsAsSql(*model_, grid, kSource, sql);
  EXPECT_EQ(RowKeys(*model_, grid),
            (std::vector<std::string>{"España", "France", "Ireland", "Total"}));
  EXPECT_EQ(grid.texts[2], (std::vector<std::string>{"", ""}));
  EXPECT_EQ(grid.mdx.find("NON EMPTY"), std::string::npos) << grid.mdx;
}

// The keys the rows of a sort by 2024's Qty must come in: countries by their 2024 quantity, each
// drilled country's cities right after it by theirs, the total last.
std::vector<std::string> SortedBy2024(bool descending) {
  const std::string order = descending ? " DESC" : " ASC";
  const std::string value = "SUM(CASE WHEN year = 2024 THEN qty ELSE 0 END)";
  std::vector<std::string> keys;
  for (const auto& country : cubemill::test::QuerySqlite(
           PivotCubeTest::kSource,
           "SELECT country FROM sales GROUP BY 1 ORDER BY " + value + order)) {
    keys.push_back(country[0]);
    if (country[0] == "Ireland") continue;  // not drilled
    for (const auto& city : cubemill::test::QuerySqlite(
             PivotCubeTest::kSource, "SELECT city FROM sales WHERE country = '" + country[0] +
                                         "' GROUP BY 1 ORDER BY " + value + order))
      keys.push_back(country[0] + "/" + city[0]);
  }
  keys.push_back("Total");
  return keys;
}

TEST_F(PivotGridTest, SortsKeepDrilledChildrenUnderTheirParent) {
  PivotLayout layout = DefaultLayout(*model_);
  layout.measures_on_rows = true;  // the columns are plain years; one measure shows on no row
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[España]")));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[France]")));
  const PivotGrid unsorted = Answer(layout);
  ASSERT_EQ(ColumnKeys(*model_, unsorted)[1], "2024");
  for (const bool descending : {true, false}) {
    layout.sort = PivotSort{unsorted.column_unique_names[1], descending};
    const PivotGrid grid = Answer(layout);
    EXPECT_EQ(RowKeys(*model_, grid), SortedBy2024(descending)) << grid.mdx;
    ExpectCellsAsSql(*model_, grid, kSource,
                     PivotSql("country", "year", "SUM(qty)", "FROM sales", "Total", "Total") +
                         " UNION ALL " +
                         PivotSql("country || '/' || city", "year", "SUM(qty)",
                                  "FROM sales WHERE country <> 'Ireland'", "", "Total"));
  }

  // Nested fields: countries by their total, each country's lines by theirs within it.
  layout = DefaultLayout(*model_);
  ASSERT_TRUE(PlaceField(layout, *model_, true, product_, line_));
  const PivotGrid nested = Answer(layout);
  layout.sort = PivotSort{nested.column_unique_names.back(), true};
  std::vector<std::string> expected;
  for (const auto& country : cubemill::test::QuerySqlite(
           kSource, "SELECT country FROM sales GROUP BY 1 ORDER BY SUM(qty) DESC")) {
    for (const auto& line : cubemill::test::QuerySqlite(
             kSource, "SELECT line FROM sales WHERE country = '" + country[0] +
                          "' GROUP BY 1 ORDER BY SUM(qty) DESC"))
      expected.push_back(country[0] + " | " + line[0]);
  }
  EXPECT_EQ(RowKeys(*model_, Answer(layout)), expected);
}

TEST_F(PivotGridTest, SwappedAxesTransposeTheGrid) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(ToggleMeasure(layout, *model_, amount_));  // two: named on either axis
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[France]")));
  const PivotGrid before = Answer(layout);
  SwapAxes(layout);
  const PivotGrid after = Answer(layout);
  EXPECT_EQ(RowKeys(*model_, after), ColumnKeys(*model_, before));
  EXPECT_EQ(ColumnKeys(*model_, after), RowKeys(*model_, before));
  ASSERT_EQ(after.Rows(), before.Columns());
  ASSERT_EQ(after.Columns(), before.Rows());
  for (std::size_t r = 0; r < after.Rows(); ++r) {
    for (std::size_t c = 0; c < after.Columns(); ++c)
      EXPECT_EQ(after.cells[r][c], before.cells[c][r]) << r << ", " << c;
  }
}

TEST_F(PivotGridTest, NamesWithBracketsAndQuotesFindTheirMembers) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(PlaceField(layout, *model_, true, store_, city_));
  ASSERT_TRUE(SetSlicer(layout, *model_, product_, {Index("[Product].[Gear]]Box]")}));
  const PivotGrid grid = Answer(layout);
  for (const auto& headers : grid.row_headers) {
    EXPECT_TRUE(headers[0].total || headers[0].member != npos) << headers[0].caption;
  }
  ExpectCellsAsSql(*model_, grid, kSource,
                   PivotSql("city", "year || ' | Qty'", "SUM(qty)",
                            "FROM sales WHERE line = 'Gear]Box'", "Total", "Total | Qty"));
}

TEST_F(PivotGridTest, FailsForABadLayoutOrACancelledQuery) {
  PivotLayout layout = DefaultLayout(*model_);
  std::atomic<bool> cancel = true;
  auto grid = AnswerPivot(*reader_, *model_, layout, &cancel);
  ASSERT_FALSE(grid.ok());
  EXPECT_EQ(grid.error().description, "Cancelled");

  // A layout of Qty with one change.
  const auto with = [&](const std::function<void(PivotLayout&)>& change) {
    PivotLayout bad;
    bad.measures = {qty_};
    change(bad);
    return bad;
  };
  const std::size_t y2024 = Index("[Time].[2024]"), beyond = model_->MemberCount();
  const struct {
    PivotLayout layout;
    std::string error;
  } bad[] = {
      {with([](PivotLayout& l) {
         l.rows = {{99, 0}};
       }),
       "the layout names hierarchy 99; the cube has 3"},
      {with([&](PivotLayout& l) {
         l.rows = {{store_, year_}};
       }),
       "[Store] has no level " + std::to_string(year_) + " below ALL"},
      {with([&](PivotLayout& l) {
         l.slicers = {{store_, {y2024}}};
       }),
       "the slicer of [Store] names member " + std::to_string(y2024) + ", not one of its members"},
      {with([](PivotLayout& l) { l.measures = {99}; }),
       "the layout names measure 99; the cube has 4"},
      {with([&](PivotLayout& l) {
         l.measures = {qty_, qty_};
       }),
       "[Measures].[Qty] is shown twice"},
      {with([&](PivotLayout& l) { l.expanded = {beyond}; }),
       "the layout drills into member " + std::to_string(beyond) + ", not in the cube"},
      // A sort column goes into the query as it is: only unique names may.
      {with([&](PivotLayout& l) {
         l.rows = {{store_, country_}};
         l.sort = PivotSort{{"[Measures].[Qty]) ON 0 FROM [Shop] --"}, true};
       }),
       "the sort column names \"[Measures].[Qty]) ON 0 FROM [Shop] --\", which is no unique "
       "name"},
  };
  for (const auto& c : bad) {
    grid = AnswerPivot(*reader_, *model_, c.layout);
    ASSERT_FALSE(grid.ok()) << c.error;
    EXPECT_EQ(grid.error().description, c.error);
    // The query text leaves out what does not fit the cube, and the engine answers it.
    const std::string mdx = PivotMdx(*model_, c.layout);
    EXPECT_TRUE(query::EvaluateMdx(*reader_, mdx).ok()) << mdx;
  }
}

}  // namespace
}  // namespace cubemill::browse::test
