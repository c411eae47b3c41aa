// Views over the shop cube: a layout written as a view and read back is the same layout, on the
// same cube or one rebuilt; a view written by hand or of another cube opens with what the cube
// has and names the rest; the damaged views of tests/data/browse_view/damaged each give their
// one message; and the layout history that Undo and Redo walk.
#include "browse/pivot_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "browse/pivot_history.h"
#include "browse/pivot_members.h"
#include "pivot_test_cube.h"

namespace cubemill::browse::test {
namespace {

namespace fs = std::filesystem;

const fs::path kViews = fs::path(CUBEMILL_TEST_DATA_DIR) / "browse_view";

using PivotViewTest = PivotCubeTest;

TEST_F(PivotViewTest, LayoutsComeBackFromTheirViewFiles) {
  using Kind = PivotFilter::Kind;
  std::vector<PivotLayout> layouts;
  PivotLayout layout = DefaultLayout(*model_);
  layouts.push_back(layout);
  // Nested rows, drills two deep, two measures on rows, a slicer of two members, sorted.
  ASSERT_TRUE(PlaceField(layout, *model_, true, time_, year_));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Store].[España]")));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2024]")));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2024].[Q1]")));
  ASSERT_TRUE(ToggleMeasure(layout, *model_, amount_));
  ASSERT_TRUE(SetSlicer(layout, *model_, product_,
                        {Index("[Product].[Bikes]"), Index("[Product].[Gear]]Box]")}));
  layout.measures_on_rows = true;
  layout.non_empty = false;
  layout.sort = PivotSort{{"[Measures].[Amount]"}, false};
  layouts.push_back(layout);
  // Swapped; then rows filtered by a column of the answer, no totals, a fractional bound; cities
  // under their countries without subtotals.
  SwapAxes(layout);
  layouts.push_back(layout);
  PivotLayout filtered = DefaultLayout(*model_);
  ASSERT_TRUE(RemoveField(filtered, time_));
  filtered.totals = false;
  ASSERT_TRUE(SetFilter(filtered, *model_, PivotFilter{Kind::kTop, {"[Measures].[Qty]"}, 2}));
  layouts.push_back(filtered);
  ASSERT_TRUE(SetFilter(filtered, *model_, PivotFilter{Kind::kBelow, {"[Measures].[Qty]"}, 0.1}));
  layouts.push_back(filtered);
  // Cities whose names need escaping in MDX, drilled.
  PivotLayout cities = DefaultLayout(*model_);
  ASSERT_TRUE(PlaceField(cities, *model_, false, store_, city_));
  ASSERT_TRUE(SetSlicer(cities, *model_, time_, {Index("[Time].[2023].[Q1]")}));
  layouts.push_back(cities);
  PivotLayout nested = cities;
  ASSERT_TRUE(PlaceField(nested, *model_, true, product_, line_));
  nested.subtotals = false;
  layouts.push_back(nested);

  for (std::size_t i = 0; i < layouts.size(); ++i) {
    PivotLayout expected = layouts[i];
    KeepShownDrills(*model_, expected);
    const std::string path = dir_.File("view" + std::to_string(i) + kViewSuffix);
    ASSERT_EQ(WriteViewFile(ViewOfLayout(*model_, layouts[i], "shop.cub"), path), std::nullopt);
    auto read = ReadViewFile(path);
    ASSERT_TRUE(read) << read.error().description;
    EXPECT_EQ(read->cube, "shop.cub");
    EXPECT_EQ(read->mdx, PivotMdx(*model_, expected)) << "the MDX, line breaks and all";
    const ViewLayout opened = LayoutOfView(*model_, *read);
    EXPECT_EQ(opened.dropped, std::vector<std::string>{}) << i;
    EXPECT_EQ(opened.layout, expected) << i;
    EXPECT_EQ(ViewText(*read), ViewText(ViewOfLayout(*model_, expected, "shop.cub")));
  }
}

TEST_F(PivotViewTest, AViewWrittenByHandOpensAsItSays) {
  auto view = ReadViewFile((kViews / "by_hand.cmview").string());
  ASSERT_TRUE(view) << view.error().description;
  EXPECT_EQ(view->mdx, "SELECT\n  {[Measures].[Amount]} ON COLUMNS\nFROM [Shop]");
  const ViewLayout opened = LayoutOfView(*model_, *view);
  EXPECT_EQ(opened.dropped, std::vector<std::string>{});
  EXPECT_EQ(opened.layout.rows, (std::vector<PivotField>{{store_, country_}}));
  EXPECT_EQ(opened.layout.columns, (std::vector<PivotField>{{time_, year_}}));
  EXPECT_EQ(opened.layout.measures, (std::vector<std::size_t>{amount_, qty_}));
  EXPECT_EQ(opened.layout.expanded, (std::set<std::size_t>{Index("[Store].[España]")}));
  EXPECT_EQ(opened.layout.slicers,
            (std::vector<PivotSlicer>{{product_, {Index("[Product].[Bikes]")}}}));
  EXPECT_FALSE(opened.layout.totals);
  EXPECT_FALSE(opened.layout.subtotals);
  ASSERT_TRUE(opened.layout.sort);
  EXPECT_FALSE(opened.layout.sort->descending);
  EXPECT_EQ(opened.layout.sort->column,
            (std::vector<std::string>{"[Time].[Year].[2024]", "[Measures].[Qty]"}));
  EXPECT_FALSE(Answer(opened.layout).row_headers.empty());
}

TEST_F(PivotViewTest, AViewOfAnotherCubeOpensWhatItCanAndNamesTheRest) {
  auto view = ReadViewFile((kViews / "other_cube.cmview").string());
  ASSERT_TRUE(view) << view.error().description;
  const ViewLayout opened = LayoutOfView(*model_, *view);
  EXPECT_EQ(opened.dropped, (std::vector<std::string>{
                                "measure [Measures].[Revenue]",
                                "row field [Customer].[Segment]",
                                "column field [Time].[Week]",
                                "slicer member [Product].[Skis]",
                                "slicer [Channel]",
                                "drilled member [Store].[Atlantis]",
                                "the filter",
                            }));
  EXPECT_EQ(opened.layout.measures, std::vector<std::size_t>{qty_});
  EXPECT_EQ(opened.layout.rows, (std::vector<PivotField>{{store_, city_}}));
  EXPECT_TRUE(opened.layout.columns.empty());
  EXPECT_EQ(opened.layout.slicers,
            (std::vector<PivotSlicer>{{product_, {Index("[Product].[Bikes]")}}}));
  EXPECT_EQ(CheckLayout(*model_, opened.layout), std::nullopt);
}

TEST(PivotViewFileTest, DamagedViewsSayWhatIsWrongWithThem) {
  std::ifstream list(kViews / "damaged" / "errors.txt");
  std::map<std::string, std::string> expected;
  for (std::string line; std::getline(list, line);) {
    if (line.empty() || line.front() == '#') continue;
    const auto colon = line.find(": ");
    expected[line.substr(0, colon)] = line.substr(colon + 2);
  }
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(kViews / "damaged")) {
    if (entry.path().extension() != kViewSuffix) continue;
    ++files;
    const std::string name = entry.path().filename().string();
    ASSERT_EQ(expected.count(name), 1U) << name << " has no message in errors.txt";
    auto read = ReadViewFile(entry.path().string());
    ASSERT_FALSE(read) << name;
    EXPECT_EQ(read.error().description,
              "the view " + entry.path().string() + ": " + expected[name]);
  }
  EXPECT_EQ(files, expected.size());
  auto missing = ReadViewFile((kViews / "no such view.cmview").string());
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().description.find("no such view.cmview"), std::string::npos);
}

TEST(PivotViewFileTest, ValuesKeepEveryCharacter) {
  PivotView view;
  view.cube = " /a b/c\\d.cub ";
  view.mdx = "SELECT\r\n\t{[A]}\nFROM [B] ";
  view.rows = {"[a] = [b]", "#[c]"};
  auto read = ParseView(ViewText(view));
  ASSERT_TRUE(read) << read.error().description;
  EXPECT_EQ(*read, view);
}

TEST(LayoutHistoryTest, UndoAndRedoWalkTheSteps) {
  auto step = [](std::size_t n) {
    PivotLayout layout;
    layout.measures = {n};
    return layout;
  };
  LayoutHistory history;
  history.Reset(step(0));
  EXPECT_FALSE(history.CanUndo());
  history.Push(step(1));
  history.Push(step(1));  // the same layout again: no step
  history.Push(step(2));
  EXPECT_EQ(history.Undo(), step(1));
  EXPECT_EQ(history.Undo(), step(0));
  EXPECT_EQ(history.Undo(), std::nullopt);
  EXPECT_EQ(history.Redo(), step(1));
  history.Push(step(3));  // a new step after an undo: the undone ones go
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(history.Undo(), step(1));
  EXPECT_EQ(history.Redo(), step(3));

  // Two steps asked, the second's query cancelled: back to the one shown, both gone.
  history.Push(step(4));
  history.Push(step(5));
  history.Revert(step(3));
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(history.Undo(), step(1));
  // An undo whose query failed: the step is there to undo again.
  history.Revert(step(3));
  EXPECT_EQ(history.Undo(), step(1));
  // A layout out of reach replaces the current step.
  history.Revert(step(9));
  EXPECT_EQ(history.Redo(), step(3));
  EXPECT_EQ(history.Undo(), step(9));
  // The oldest steps go past the limit.
  for (std::size_t n = 0; n < LayoutHistory::kLimit + 10; ++n) history.Push(step(100 + n));
  std::size_t undone = 0;
  while (history.Undo()) ++undone;
  EXPECT_EQ(undone, LayoutHistory::kLimit - 1);
}

}  // namespace
}  // namespace cubemill::browse::test
