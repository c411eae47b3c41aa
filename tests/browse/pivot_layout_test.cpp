// The pivot layout over the shop cube: its edits and what they refuse, the MDX text it asks, and
// the layout read back from MDX.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "pivot_test_cube.h"

namespace cubemill::browse::test {
namespace {

using PivotLayoutTest = PivotCubeTest;

TEST_F(PivotLayoutTest, EditsMoveFieldsBetweenAxesAndSlicers) {
  PivotLayout layout = DefaultLayout(*model_);
  // Time moves from the columns to the rows, inside Store.
  ASSERT_TRUE(PlaceField(layout, *model_, true, time_, year_, 1));
  EXPECT_EQ(layout.rows, (std::vector<PivotField>{{store_, country_}, {time_, year_}}));
  EXPECT_TRUE(layout.columns.empty());
  // Placed again at another level and first.
  ASSERT_TRUE(PlaceField(layout, *model_, true, store_, city_, 5));
  EXPECT_EQ(layout.rows, (std::vector<PivotField>{{time_, year_}, {store_, city_}}));
  // A slicer takes the hierarchy off its axis; placing it on an axis again ends the slicer.
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2024]")));
  ASSERT_TRUE(SetSlicer(layout, *model_, time_, {Index("[Time].[2024]")}));
  EXPECT_EQ(layout.rows, (std::vector<PivotField>{{store_, city_}}));
  EXPECT_TRUE(layout.expanded.empty()) << "a drill of a hierarchy off the axes is gone";
  ASSERT_TRUE(PlaceField(layout, *model_, false, time_, year_));
  EXPECT_TRUE(layout.slicers.empty());
  ASSERT_TRUE(SetSlicer(layout, *model_, product_, {Index("[Product].[Bikes]")}));
  ASSERT_TRUE(SetSlicer(layout, *model_, product_, {}));
  EXPECT_TRUE(layout.slicers.empty()) << "no members: no slicer";
  ASSERT_TRUE(RemoveField(layout, store_));
  EXPECT_TRUE(layout.rows.empty());
}

TEST_F(PivotLayoutTest, EditsRefuseWhatWouldBreakTheLayout) {
  const PivotLayout before = DefaultLayout(*model_);
  const std::size_t spain = Index("[Store].[España]");
  const std::size_t madrid = Index("[Store].[España].[Madrid]");
  const std::size_t all_time = Index("[Time].[All Time]");
  const std::size_t time_all_level = model_->LevelOf(all_time);
  PivotLayout layout = before;
  const struct {
    const char* what;
    bool done;
  } cases[] = {
      {"an unknown hierarchy", PlaceField(layout, *model_, true, 99, country_)},
      {"a level of another hierarchy", PlaceField(layout, *model_, true, time_, country_)},
      {"the ALL level", PlaceField(layout, *model_, true, time_, time_all_level)},
      {"a field on no axis", RemoveField(layout, product_)},
      {"a member of another hierarchy", SetSlicer(layout, *model_, product_, {spain})},
      {"an unknown member", SetSlicer(layout, *model_, product_, {model_->MemberCount()})},
      {"the last measure", ToggleMeasure(layout, *model_, qty_)},
      {"an unknown measure", ToggleMeasure(layout, *model_, 4)},
      {"a member without children", Expand(layout, *model_, Index("[Time].[2023].[Q1].[01]"))},
      {"a member not shown", Expand(layout, *model_, madrid)},
      {"a member off the axes", Expand(layout, *model_, Index("[Product].[Bikes]"))},
      {"an unknown member", Collapse(layout, *model_, model_->MemberCount())},
  };
  for (const auto& c : cases) EXPECT_FALSE(c.done) << c.what;
  EXPECT_EQ(layout, before);
}

// A catalog of hierarchies with an ALL level and one level of `sizes[h]` members each.
provider::cubefile::CubeCatalog CatalogOfSizes(const std::vector<int>& sizes) {
  provider::cubefile::CubeCatalog catalog;
  catalog.name = "Sizes";
  catalog.measures.push_back({1, "Count", "SUM", "", std::nullopt});
  std::int64_t member = 0;
  for (std::size_t h = 0; h < sizes.size(); ++h) {
    const auto id = static_cast<std::int64_t>(h + 1);
    catalog.dimensions.push_back({id, "D" + std::to_string(h), false});
    catalog.hierarchies.push_back({id, id, ""});
    catalog.levels.push_back({2 * id - 1, id, 0, "All", true, "ALL"});
    catalog.levels.push_back({2 * id, id, 1, "L", false, "REGULAR"});
    const std::int64_t all = ++member;
    catalog.members.push_back({all, 2 * id - 1, 0, std::nullopt, "All", 0});
    for (int i = 0; i < sizes[h]; ++i)
      catalog.members.push_back({++member, 2 * id, all, std::to_string(i), std::to_string(i), i});
  }
  return catalog;
}

TEST(DefaultLayoutTest, OpensOnSmallHierarchiesInTheCubesOrder) {
  const struct {
    std::vector<int> sizes;
    std::vector<PivotField> rows, columns;
  } cases[] = {
      {{3, 4, 2}, {{0, 1}}, {{1, 3}}},       // all small: the first two
      {{100000, 4, 2}, {{1, 3}}, {{2, 5}}},  // the first is large: the next two
      {{3, 5000, 101}, {{0, 1}}, {{2, 5}}},  // one small: then the smaller of the large
      {{5000, 200}, {{1, 3}}, {{0, 1}}},     // none small: the smaller first
      {{7}, {{0, 1}}, {}},                   // one hierarchy: rows only
  };
  for (const auto& c : cases) {
    const provider::cubefile::CubeCatalog catalog = CatalogOfSizes(c.sizes);
    const query::CubeModel model(catalog);  // keeps a reference to the catalog
    const PivotLayout layout = DefaultLayout(model);
    EXPECT_EQ(layout.rows, c.rows) << c.sizes.front();
    EXPECT_EQ(layout.columns, c.columns) << c.sizes.front();
    EXPECT_EQ(layout.measures, std::vector<std::size_t>{0});
  }
}

TEST_F(PivotLayoutTest, TheSortGoesWithItsColumn) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2023]")));
  const PivotSort by_q1{{"[Time].[Year].[2023].[Q1]", "[Measures].[Qty]"}, true};
  layout.sort = by_q1;
  // Drilling elsewhere, another measure, another row field: the column is still there.
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[France]")));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, amount_));
  ASSERT_TRUE(PlaceField(layout, *model_, true, product_, line_));
  EXPECT_EQ(layout.sort, by_q1);
  // Collapsing its year takes the column away.
  ASSERT_TRUE(Collapse(layout, *model_, Index("[Time].[2023]")));
  EXPECT_FALSE(layout.sort);

  for (const auto& edit : std::vector<std::function<void(PivotLayout&)>>{
           [&](PivotLayout& l) { ToggleMeasure(l, *model_, qty_); },
           [&](PivotLayout& l) { RemoveField(l, time_); },
           [&](PivotLayout& l) { SetSlicer(l, *model_, time_, {Index("[Time].[2023]")}); },
           [&](PivotLayout& l) { SwapAxes(l); }}) {
    layout.sort = PivotSort{{"[Time].[Year].[2024]", "[Measures].[Qty]"}, false};
    edit(layout);
    EXPECT_FALSE(layout.sort) << PivotMdx(*model_, layout);
  }
}

TEST_F(PivotLayoutTest, WritesTheQueryWithUniqueNames) {
  PivotLayout layout = DefaultLayout(*model_);
  EXPECT_EQ(PivotMdx(*model_, layout),
            "SELECT NON EMPTY {CrossJoin([Time].[Year].Members, {[Measures].[Qty]}), "
            "CrossJoin({[Time].[All Time].[All Time]}, {[Measures].[Qty]})} ON COLUMNS,\n"
            "  NON EMPTY {[Store].[Country].Members, [Store].[All Stores].[All Stores]} ON ROWS\n"
            "FROM [Shop]");

  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[France]")));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[España]")));
  ASSERT_TRUE(SetSlicer(layout, *model_, product_,
                        {Index("[Product].[Gear]]Box]"), Index("[Product].[Bikes].[Road]")}));
  layout.sort = PivotSort{{"[Time].[Year].[2024]", "[Measures].[Qty]"}, true};
  layout.non_empty = false;
  EXPECT_EQ(PivotMdx(*model_, layout),
            "SELECT {CrossJoin([Time].[Year].Members, {[Measures].[Qty]}), "
            "CrossJoin({[Time].[All Time].[All Time]}, {[Measures].[Qty]})} ON COLUMNS,\n"
            "  {Order(Hierarchize({[Store].[Country].Members, [Store].[Country].[España].Children, "
            "[Store].[Country].[France].Children}), ([Time].[Year].[2024], [Measures].[Qty]), "
            "DESC), [Store].[All Stores].[All Stores]} ON ROWS\n"
            "FROM [Shop]\n"
            "WHERE {[Product].[Line].[Gear]]Box], [Product].[Line].[Bikes].[Road]}");

  // Nested rows with the measures inside them and no totals, sorted within each country.
  layout = PivotLayout{};
  layout.rows = {{store_, country_}, {product_, line_}};
  layout.columns = {{time_, year_}};
  layout.measures = {qty_, amount_};
  layout.measures_on_rows = true;
  layout.totals = false;
  layout.sort = PivotSort{{"[Time].[Year].[2023]"}, false};
  EXPECT_EQ(PivotMdx(*model_, layout),
            "SELECT NON EMPTY [Time].[Year].Members ON COLUMNS,\n"
            "  NON EMPTY CrossJoin(Generate(Order([Store].[Country].Members, [Time].[Year].[2023], "
            "ASC), CrossJoin({[Store].CurrentMember}, Order([Product].[Line].Members, "
            "[Time].[Year].[2023], ASC))), {[Measures].[Qty], [Measures].[Amount]}) ON ROWS\n"
            "FROM [Shop]");
}

TEST_F(PivotLayoutTest, ReadsBackTheLayoutOfItsQuery) {
  const std::size_t spain = Index("[Store].[España]");
  std::vector<PivotLayout> layouts;
  PivotLayout layout = DefaultLayout(*model_);
  layouts.push_back(layout);
  ASSERT_TRUE(Expand(layout, *model_, spain));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[France]")));
  layouts.push_back(layout);
  ASSERT_TRUE(PlaceField(layout, *model_, false, product_, line_, 0));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Product].[Gear]]Box]")));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, high_));
  layouts.push_back(layout);
  layout.measures_on_rows = true;
  layout.non_empty = false;
  ASSERT_TRUE(
      SetSlicer(layout, *model_, time_, {Index("[Time].[2024].[Q3]"), Index("[Time].[2023]")}));
  layouts.push_back(layout);
  SwapAxes(layout);
  layout.totals = false;
  layouts.push_back(layout);
  layout = DefaultLayout(*model_);
  ASSERT_TRUE(PlaceField(layout, *model_, true, store_, city_));
  ASSERT_TRUE(PlaceField(layout, *model_, true, time_, year_));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2023]")));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2023].[Q4]")));
  ASSERT_TRUE(SetSlicer(layout, *model_, product_, {Index("[Product].[Gear]]Box].[Lock]")}));
  layouts.push_back(layout);
  layout.sort = PivotSort{{"[Measures].[Qty]"}, true};
  layouts.push_back(layout);
  layout = PivotLayout{};
  layout.measures = {amount_};
  layouts.push_back(layout);

  for (const PivotLayout& l : layouts) {
    const std::string mdx = PivotMdx(*model_, l);
    const auto read = LayoutFromMdx(*model_, mdx);
    ASSERT_TRUE(read.ok()) << read.error().description << "\n" << mdx;
    EXPECT_EQ(*read, l) << mdx << "\nreads back as\n" << PivotMdx(*model_, *read);
  }
}

// Names holding "]" go into the query doubled and come back whole: the members drilled into,
// the slicer's and those of the column the sort names, taken from the answer as the window
// takes them.
TEST_F(PivotLayoutTest, NamesHoldingABracketComeBackWhole) {
  PivotLayout layout = DefaultLayout(*model_);
  ASSERT_TRUE(PlaceField(layout, *model_, false, product_, line_, 0));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Product].[Gear]]Box]")));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[France]")));
  ASSERT_TRUE(SetSlicer(layout, *model_, time_, {Index("[Time].[2023]")}));
  const PivotGrid grid = Answer(layout);
  const std::vector<std::string> lock{"[Product].[Line].[Gear]]Box].[Lock]", "[Measures].[Qty]"};
  ASSERT_NE(std::find(grid.column_unique_names.begin(), grid.column_unique_names.end(), lock),
            grid.column_unique_names.end());
  layout.sort = PivotSort{lock, true};

  const std::string mdx = PivotMdx(*model_, layout);
  EXPECT_NE(mdx.find("[Store].[Country].[France].Children"), std::string::npos) << mdx;
  const auto read = LayoutFromMdx(*model_, mdx);
  ASSERT_TRUE(read.ok()) << read.error().description << "\n" << mdx;
  EXPECT_EQ(*read, layout) << mdx << "\nreads back as\n" << PivotMdx(*model_, *read);
  // Sorted by Lock's Qty in 2023, descending: Bad]City (3) comes first among France's cities.
  const std::vector<std::string> rows = RowKeys(*model_, Answer(*read));
  const auto bad_city = std::find(rows.begin(), rows.end(), "France/Bad]City");
  ASSERT_NE(bad_city, rows.end());
  EXPECT_EQ(bad_city[-1], "France");
}

TEST_F(PivotLayoutTest, ReadsAQueryWrittenByHand) {
  const auto read = LayoutFromMdx(*model_,
                                  "select {[Store].[España].[Madrid], [Store].[España]} on rows, "
                                  "[Time].[Year] * [Measures].Members on columns from shop "
                                  "where ([Product].[Bikes].children, [Time].[2023].[Q1]) ");
  ASSERT_FALSE(read.ok()) << "Time is on an axis and in WHERE";
  EXPECT_EQ(read.error().description, "[Time] is on an axis and in WHERE at 154");

  const auto layout =
      LayoutFromMdx(*model_,
                    "SELECT NON EMPTY {[Store].[España].[Madrid], [Store].[Ireland]} ON ROWS, "
                    "[Time].[Year] ON COLUMNS FROM [Shop] "
                    "WHERE ([Product].[Bikes].Children, [Measures].[Amount])");
  ASSERT_TRUE(layout.ok()) << layout.error().description;
  PivotLayout expected;
  expected.rows = {{store_, country_}};  // the highest level named; Madrid shown by a drill
  expected.expanded = {Index("[Store].[España]")};
  expected.columns = {{time_, year_}};
  expected.measures = {amount_};
  expected.slicers = {
      {product_, {Index("[Product].[Bikes].[City]"), Index("[Product].[Bikes].[Road]")}}};
  expected.totals = false;
  EXPECT_EQ(*layout, expected);
}

TEST_F(PivotLayoutTest, ReadsAFilterWrittenByHand) {
  // [Time] and its ALL level stand for the ALL member, as the engine takes them.
  for (const char* all : {"[Time]", "[Time].[All Time]", "[Time].[All Time].[All Time]"}) {
    const std::string mdx = std::string(
                                "SELECT [Time].[Year] ON 0, TopCount([Store].[City].Members, "
                                "3, (") +
                            all + ", [Measures].[Amount])) ON 1 FROM [Shop]";
    const auto layout = LayoutFromMdx(*model_, mdx);
    ASSERT_TRUE(layout.ok()) << layout.error().description << "\n" << mdx;
    EXPECT_EQ(layout->filter, (PivotFilter{PivotFilter::Kind::kTop,
                                           {"[Time].[All Time].[All Time]", "[Measures].[Amount]"},
                                           3}))
        << mdx;
  }
}

TEST_F(PivotLayoutTest, RefusesWhatThePivotCannotShow) {
  const struct {
    const char* mdx;
    const char* error;
  } cases[] = {
      {"WITH MEMBER [Measures].[Two] AS 2 SELECT [Measures].[Two] ON 0 FROM [Shop]",
       "the pivot cannot show calculated members or named sets (WITH) at 6"},
      {"SELECT [Time].[Year] ON 0 FROM (SELECT [Store].[France] ON 0 FROM [Shop])",
       "the pivot cannot show a subselect: use WHERE at 40"},
      {"SELECT [Time].[Year] ON 0 FROM [Other]",
       "unknown cube [Other] (the file holds [Shop]) at 32"},
      {"SELECT [Time].[Year] ON 0, TopCount([Store].[City].Members, 2) ON 1 FROM [Shop]",
       "the pivot keeps a count (from 1) of rows by a column's value at 28"},
      {"SELECT [Time].[Year] ON 0, TopCount([Store].[City].Members, 1.5, [Measures].[Qty]) ON 1 "
       "FROM [Shop]",
       "TopCount needs a whole number at 61"},
      {"SELECT [Time].[Year] ON 0, Filter([Store].[City].Members, [Measures].[Qty] = 2) ON 1 "
       "FROM [Shop]",
       "the pivot filters rows by a column's value > or < a number at 76"},
      {"SELECT [Time].[Year] ON 0, {[Store].[City].Members} ON 1 FROM [Shop] WHERE "
       "TopCount([Product].[Line].Members, 1, [Measures].[Qty])",
       "the pivot filters its rows or its columns only at 76"},
      {"SELECT [Time].[Year] ON 0, Head([Store].[City].Members, 2) ON 1 FROM [Shop]",
       "the pivot cannot lay out Head (it shows levels, members, .Members, .Children, "
       "CrossJoin, Hierarchize, Order, TopCount, BottomCount and Filter) at 28"},
      {"SELECT [Store].Members ON 0 FROM [Shop]",
       "[Store].Members holds every level: the pivot shows one level, as "
       "[Store].[Level].Members at 8"},
      {"SELECT [Time].[Year] ON 0, Order([Store].[Country].Members, [Measures].[Qty], BDESC) "
       "ON 1 FROM [Shop]",
       "the pivot sorts within each parent (ASC or DESC), not by value alone (BDESC) at 79"},
      {"SELECT Order([Store].[Country].Members, [Measures].[Qty], DESC) ON 0 FROM [Shop]",
       "the pivot sorts its rows only, not its columns at 8"},
      {"SELECT [Measures].[Qty] ON 0, [Measures].[Low] ON 1 FROM [Shop]",
       "the measures are on both axes at 8"},
      {"SELECT [Time].[Year] ON 0 FROM [Shop] WHERE {([Store].[France], [Product].[Bikes])}",
       "a set of tuples in WHERE: the pivot slices each hierarchy by itself at 45"},
      {"SELECT {[Time].[Year].Members, ([Time].[All Time])} * {[Store].[France], "
       "[Store].[All Stores]} ON 0 FROM [Shop]",
       "an ALL member beside other members (a subtotal): the pivot shows the grand total only "
       "at 74"},
      {"SELECT {([Store].[France], [Time].[2023]), [Time].[2024]} ON 0 FROM [Shop]",
       "the axis's tuples cross different hierarchies, which the pivot cannot lay out at 8"},
      {"SELECT [Store].[Nowhere] ON 0 FROM [Shop]",
       "unknown level or member [Store].[Nowhere] (no level [Nowhere] in [Store]; its levels: "
       "All Stores, Country, City; no member [Nowhere] in its level Country) at 8"},
      {"SELECT [Time].[Year] ON 0 FROM [Shop] WHERE ([Store].[France], [Store].[España])",
       "WHERE names [Store] twice at 64"},
      {"SELECT [Time].[Year] ON 0, [Time].[2023] ON 1 FROM [Shop]",
       "[Time] is placed twice: on an axis or as a slicer"},
      {"SELECT [Time].[Year] ON 0 FROM",
       "expected the cube's name, found the end of the query at 31"},
  };
  for (const auto& c : cases) {
    const auto read = LayoutFromMdx(*model_, c.mdx);
    if (!read.ok())
      EXPECT_EQ(read.error().description, c.error) << c.mdx;
    else
      ADD_FAILURE() << "read: " << c.mdx << "\nas " << PivotMdx(*model_, *read);
  }
}

}  // namespace
}  // namespace cubemill::browse::test
