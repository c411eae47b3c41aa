// Subtotals of nested row fields over the shop cube against SQL over its source: each outer
// member's rows followed by its total, at each nesting, with a sort, and none when switched off
// or while a filter is set; the query that asks for them reads back as the layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/pivot.h"
#include "pivot_test_cube.h"

namespace cubemill::browse::test {
namespace {

using PivotSubtotalTest = PivotCubeTest;

// The keys of the rows that are subtotals: a total after a member.
std::vector<std::string> SubtotalKeys(const query::CubeModel& model, const PivotGrid& grid) {
  std::vector<std::string> keys;
  const std::vector<std::string> all = RowKeys(model, grid);
  for (std::size_t r = 0; r < grid.Rows(); ++r) {
    const auto& headers = grid.row_headers[r];
    if (headers.size() > 1 && !headers[0].total && headers.back().total) keys.push_back(all[r]);
  }
  return keys;
}

TEST_F(PivotSubtotalTest, EachCountryIsFollowedByItsTotal) {
  PivotLayout layout;
  layout.rows = {{store_, country_}, {time_, year_}};
  layout.measures = {qty_};
  const PivotGrid grid = Answer(layout);
  ExpectCellsAsSql(*model_, grid, kSource,
                   PivotSql("country || ' | ' || year", "'Qty'", "SUM(qty)", "FROM sales") +
                       " UNION ALL " +
                       PivotSql("country || ' | Total'", "'Qty'", "SUM(qty)", "FROM sales") +
                       " UNION ALL SELECT 'Total | Total', 'Qty', SUM(qty) FROM sales");
  EXPECT_EQ(
      RowKeys(*model_, grid),
      (std::vector<std::string>{"España | 2023", "España | 2024", "España | Total", "France | 2023",
                                "France | 2024", "France | Total", "Ireland | 2023",
                                "Ireland | 2024", "Ireland | Total", "Total | Total"}));
  // The subtotal names the member it totals, and is a total (bold, left out of charts).
  const PivotHeader& spain_total = grid.row_headers[2][1];
  EXPECT_EQ(spain_total.caption, "España Total");
  EXPECT_TRUE(spain_total.total);
  EXPECT_EQ(grid.row_headers[2][0].member, Index("[Store].[España]"));
  EXPECT_EQ(grid.row_headers[9][0].caption, "Total");
  EXPECT_EQ(grid.row_headers[9][1].caption, "");

  layout.subtotals = false;
  EXPECT_EQ(SubtotalKeys(*model_, Answer(layout)), std::vector<std::string>{});
  // A filter keeps rows out of sight that a subtotal would count: no subtotals.
  layout.subtotals = true;
  layout.filter = PivotFilter{PivotFilter::Kind::kTop, {"[Measures].[Qty]"}, 3};
  EXPECT_EQ(SubtotalKeys(*model_, Answer(layout)), std::vector<std::string>{});
}

TEST_F(PivotSubtotalTest, EveryOuterFieldHasItsSubtotalsAlsoSorted) {
  // Product has no ALL level: lines get no grand total, but their subtotals over the countries
  // and years inside them do.
  PivotLayout layout;
  layout.rows = {{product_, line_}, {store_, country_}, {time_, year_}};
  layout.measures = {qty_, amount_};
  const std::string keys = "line || ' | ' || country || ' | ' || year";
  const std::string sql =
      PivotSql(keys, "'Qty'", "SUM(qty)", "FROM sales") + " UNION ALL " +
      PivotSql(keys, "'Amount'", "SUM(amount)", "FROM sales") + " UNION ALL " +
      PivotSql("line || ' | ' || country || ' | Total'", "'Qty'", "SUM(qty)", "FROM sales") +
      " UNION ALL " +
      PivotSql("line || ' | ' || country || ' | Total'", "'Amount'", "SUM(amount)", "FROM sales") +
      " UNION ALL " + PivotSql("line || ' | Total | Total'", "'Qty'", "SUM(qty)", "FROM sales") +
      " UNION ALL " +
      PivotSql("line || ' | Total | Total'", "'Amount'", "SUM(amount)", "FROM sales");
  ExpectCellsAsSql(*model_, Answer(layout), kSource, sql);

  // Sorted, each subtotal still follows the rows of its member.
  layout.sort = PivotSort{{"[Measures].[Qty]"}, true};
  const PivotGrid sorted = Answer(layout);
  ExpectCellsAsSql(*model_, sorted, kSource, sql);
  const std::vector<std::string> rows = RowKeys(*model_, sorted);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const auto& headers = sorted.row_headers[r];
    if (!headers[2].total) continue;
    ASSERT_GT(r, 0U);
    // The row above is of the same outer members.
    const std::size_t outer = headers[1].total ? 1 : 2;
    for (std::size_t k = 0; k < outer; ++k)
      EXPECT_EQ(sorted.row_headers[r - 1][k].member, headers[k].member) << rows[r];
  }
}

TEST_F(PivotSubtotalTest, TheQueryAsksForThemAndReadsBack) {
  PivotLayout layout;
  layout.rows = {{store_, country_}, {time_, year_}};
  layout.measures = {qty_};
  EXPECT_EQ(PivotMdx(*model_, layout),
            "SELECT NON EMPTY {[Measures].[Qty]} ON COLUMNS,\n"
            "  NON EMPTY {Generate([Store].[Country].Members, {CrossJoin({[Store].CurrentMember}, "
            "[Time].[Year].Members), ([Store].CurrentMember, [Time].[All Time].[All Time])}), "
            "([Store].[All Stores].[All Stores], [Time].[All Time].[All Time])} ON ROWS\n"
            "FROM [Shop]");
  for (bool subtotals : {true, false}) {
    for (bool measures_on_rows : {true, false}) {
      PivotLayout l = layout;
      l.subtotals = subtotals;
      l.columns = {{product_, line_}};
      l.measures = {qty_, amount_};
      l.measures_on_rows = measures_on_rows;
      const std::string mdx = PivotMdx(*model_, l);
      const auto read = LayoutFromMdx(*model_, mdx);
      ASSERT_TRUE(read.ok()) << read.error().description << "\n" << mdx;
      EXPECT_EQ(*read, l) << mdx << "\nreads back as\n" << PivotMdx(*model_, *read);
    }
  }
  // A subtotal of another shape than the pivot's is still refused.
  const auto odd = LayoutFromMdx(*model_,
                                 "SELECT {[Measures].[Qty]} ON 0, {CrossJoin([Store].[Country]."
                                 "Members, [Time].[Year].Members), ([Store].[All Stores], "
                                 "[Time].[2023])} ON 1 FROM [Shop]");
  EXPECT_FALSE(odd.ok());
}

}  // namespace
}  // namespace cubemill::browse::test
