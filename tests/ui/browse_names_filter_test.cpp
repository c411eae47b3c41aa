// The window's members named in their context (quarters with their year in the grid, the CSV
// and the chart) and its column header's menu, which filters the rows (top, bottom, above,
// below a value) as the source's SQL does, shows the filter in the MDX and removes it.
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <algorithm>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"
#include "ui/browse_chart.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

class BrowseNamesFilterTest : public BrowseWindowTest {
 protected:
  // The row headers' captions, the total's too.
  std::vector<std::string> RowCaptions() const {
    std::vector<std::string> captions;
    for (const auto& headers : Grid()->Grid()->row_headers)
      captions.push_back(headers.front().caption);
    return captions;
  }
  // Opens the column header's context menu over answer column `column` as a right click does,
  // and triggers its entry `entry`; a number the entry asks for is given as `amount`.
  bool FromColumnMenu(int column, const QString& entry, double amount = 0) {
    QHeaderView* header = window_->GridView()->horizontalHeader();
    const int section = Grid()->HeaderColumns() + column;
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, 4);
    return FromContextMenu(header->viewport(), at, "column_menu", entry, amount);
  }
};

TEST_F(BrowseNamesFilterTest, QuartersAreNamedWithTheirYearInGridCsvAndChart) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  const std::size_t time = Hierarchy("Time.Calendar");
  window_->ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel& model) {
    return browse::PlaceField(layout, model, false, time, Level(time, "Quarter"));
  });
  ASSERT_TRUE(WaitForAnswer(spy));
  const browse::PivotGrid& grid = *Grid()->Grid();
  ASSERT_GE(grid.Columns(), 12u);
  EXPECT_EQ(grid.column_headers[0][0].caption, "2023 Quarter 1");
  EXPECT_EQ(grid.column_headers[11][0].caption, "2025 Quarter 4");
  ASSERT_EQ(Export(dir_.File("quarters.csv"), false), "");
  const std::string csv = test::ReadBytes(dir_.File("quarters.csv"));
  EXPECT_NE(csv.find(",2023 Quarter 1,2023 Quarter 2"), std::string::npos) << csv;
  EXPECT_NE(window_->Chart()->ValueTip(0, 0).indexOf("2023 Quarter 1"), -1)
      << window_->Chart()->ValueTip(0, 0).toStdString();

  // A city of two countries is named with its country; one of a single country is not.
  window_->ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel& model) {
    const std::size_t geography = Hierarchy("Geography");
    return browse::PlaceField(layout, model, true, geography, Level(geography, "City"));
  });
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  const std::vector<std::string> cities = RowCaptions();
  EXPECT_NE(std::find(cities.begin(), cities.end(), "Spain Valencia"), cities.end());
  EXPECT_NE(std::find(cities.begin(), cities.end(), "Madrid"), cities.end());
}

TEST_F(BrowseNamesFilterTest, TheColumnMenuFiltersTheRowsAsTheSourceDoes) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  const int y2024 = ColumnOf("2024") - Grid()->HeaderColumns();
  ASSERT_GE(y2024, 0);
  const auto countries = [](const std::string& having_or_order) {
    std::vector<std::string> names;
    for (const auto& row : test::QuerySqlite(
             Sample().Source(),
             "SELECT c.country FROM sales s JOIN cities c ON c.city_id = s.city_id WHERE "
             "substr(s.sale_date, 1, 4) = '2024' GROUP BY 1 " +
                 having_or_order))
      names.push_back(row[0]);
    names.push_back("Total");
    return names;
  };
  ASSERT_TRUE(FromColumnMenu(y2024, "Top rows by this column...", 2));
  EXPECT_EQ(RowCaptions(), countries("ORDER BY SUM(s.quantity) DESC LIMIT 2"));
  EXPECT_NE(window_->MdxText().indexOf("TopCount("), -1) << window_->MdxText().toStdString();
  auto* status = window_->findChild<QLabel*>("status");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->text(), "3 rows (filtered), 4 columns");
  // The MDX pane's query reads back as the layout, its filter included.
  auto read = browse::LayoutFromMdx(Model(), window_->MdxText().toStdString());
  ASSERT_TRUE(read.ok()) << read.error().description;
  EXPECT_EQ(*read, window_->Layout());

  ASSERT_TRUE(FromColumnMenu(y2024, "Bottom rows by this column...", 1));
  EXPECT_EQ(RowCaptions(), countries("ORDER BY SUM(s.quantity) LIMIT 1"));
  // Above a value: the countries over 750 in 2024, in their order.
  const auto sorted = [](std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  };
  ASSERT_TRUE(FromColumnMenu(y2024, "Rows above a value...", 750));
  EXPECT_EQ(sorted(RowCaptions()), sorted(countries("HAVING SUM(s.quantity) > 750")));
  EXPECT_NE(window_->MdxText().indexOf("> 750)"), -1) << window_->MdxText().toStdString();
  ASSERT_TRUE(FromColumnMenu(y2024, "Rows below a value...", 0));
  EXPECT_EQ(RowCaptions(), std::vector<std::string>{"Total"});

  ASSERT_TRUE(FromColumnMenu(y2024, "Remove the filter"));
  EXPECT_FALSE(window_->Layout().filter);
  EXPECT_EQ(RowCaptions().size(), 5u);  // four countries and the total
  EXPECT_EQ(status->text(), "5 rows, 4 columns");
  EXPECT_FALSE(FromColumnMenu(y2024, "Remove the filter")) << "nothing to remove";
}

}  // namespace
}  // namespace cubemill::ui
