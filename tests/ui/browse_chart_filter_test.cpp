// The window's chart of a drilled and sliced answer (its title, subtitle, categories and series,
// "Other" past twelve columns) and the row header's menu, which filters the columns (top,
// bottom, above a value) as the source's SQL does, shows it in the MDX and removes it.
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "support/sqlite_query.h"
#include "ui/browse_chart.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

class BrowseChartFilterTest : public BrowseWindowTest {
 protected:
  // The member of `hierarchy`'s level `level` named `name`.
  std::size_t MemberNamed(std::size_t hierarchy, const std::string& level,
                          const std::string& name) const {
    for (std::size_t m : Model().MembersOf(Level(hierarchy, level)))
      if (Model().Member(m).name == name) return m;
    ADD_FAILURE() << "no member " << name;
    return 0;
  }
  std::vector<std::string> ColumnCaptions() const {
    std::vector<std::string> captions;
    for (const auto& headers : Grid()->Grid()->column_headers)
      captions.push_back(headers.front().caption);
    return captions;
  }
  // Opens the row header's context menu over grid row `row` as a right click does and triggers
  // its entry `entry`; a number the entry asks for is given as `amount`.
  bool FromRowMenu(int row, const QString& entry, double amount = 0) {
    BrowseGridView* grid = window_->GridView();
    const QPoint at = grid->visualRect(Grid()->index(row, 0)).center();
    return FromContextMenu(grid->viewport(), at, "row_menu", entry, amount);
  }
};

TEST_F(BrowseChartFilterTest, TheChartShowsTheDrilledCitiesAndNamesTheSlice) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  const std::size_t geography = Hierarchy("Geography");
  const std::size_t product = Hierarchy("Product");
  window_->ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel& model) {
    return browse::SetSlicer(layout, model, product, {MemberNamed(product, "Category", "Bikes")});
  });
  ASSERT_TRUE(WaitForAnswer(spy, 1));
  window_->ToggleMember(MemberNamed(geography, "Country", "Spain"));
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  BrowseChart* chart = window_->Chart();
  EXPECT_EQ(chart->Title(), "Quantity by Country and Year, Product: Bikes");
  EXPECT_EQ(chart->Subtitle(), "Rows: City in Spain");
  EXPECT_EQ(chart->Categories(), 3u) << "Spain's cities, not Spain beside them";
  EXPECT_EQ(chart->LegendNames(), (QStringList{"2023", "2024", "2025"}));
  EXPECT_NE(chart->ValueTip(0, 0).indexOf("Spain Cordoba"), -1)
      << chart->ValueTip(0, 0).toStdString();

  // 36 months on the columns: the 11 largest and Other, legend names whole.
  const std::size_t time = Hierarchy("Time.Calendar");
  window_->ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel& model) {
    return browse::PlaceField(layout, model, false, time, Level(time, "Month"));
  });
  ASSERT_TRUE(WaitForAnswer(spy, 3));
  EXPECT_EQ(chart->Series(), 12u);
  ASSERT_EQ(chart->LegendNames().size(), 12);
  EXPECT_EQ(chart->LegendNames().back(), "Other");
  EXPECT_EQ(chart->Subtitle(), "Rows: City in Spain; top 11 of 36 columns, the rest as Other");
  auto* legend = chart->findChild<QLabel*>("chart_legend");
  ASSERT_NE(legend, nullptr);
  for (const QString& name : chart->LegendNames()) {
    QString whole = name.toHtmlEscaped();
    whole.replace(' ', "&nbsp;");
    EXPECT_NE(legend->text().indexOf(whole), -1) << name.toStdString();
  }
  // The picture holds the title and the legend with the chart.
  ASSERT_TRUE(window_->ExportChart(QString::fromStdString(dir_.File("months.png"))));
}

TEST_F(BrowseChartFilterTest, TheRowMenuFiltersTheColumnsAsTheSourceDoes) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  const int spain = RowOf("Spain");
  ASSERT_GE(spain, 0);
  const auto years = [](const std::string& having_or_order) {
    std::vector<std::string> names;
    for (const auto& row : test::QuerySqlite(
             Sample().Source(),
             "SELECT substr(s.sale_date, 1, 4) FROM sales s JOIN cities c ON c.city_id = "
             "s.city_id WHERE c.country = 'Spain' GROUP BY 1 " +
                 having_or_order))
      names.push_back(row[0]);
    names.push_back("Total");
    return names;
  };
  ASSERT_TRUE(FromRowMenu(spain, "Top columns by this row...", 1));
  EXPECT_EQ(ColumnCaptions(), years("ORDER BY SUM(s.quantity) DESC LIMIT 1"));
  EXPECT_NE(window_->MdxText().indexOf("TopCount([Time]"), -1) << window_->MdxText().toStdString();
  auto* status = window_->findChild<QLabel*>("status");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->text(), "5 rows, 2 columns (filtered)");
  auto read = browse::LayoutFromMdx(Model(), window_->MdxText().toStdString());
  ASSERT_TRUE(read.ok()) << read.error().description;
  EXPECT_EQ(*read, window_->Layout());

  ASSERT_TRUE(FromRowMenu(RowOf("Spain"), "Bottom columns by this row...", 2));
  EXPECT_EQ(ColumnCaptions(), years("ORDER BY SUM(s.quantity) LIMIT 2"));
  ASSERT_TRUE(FromRowMenu(RowOf("Spain"), "Columns above a value...", 1e9));
  EXPECT_EQ(ColumnCaptions(), std::vector<std::string>{"Total"});

  ASSERT_TRUE(FromRowMenu(RowOf("Spain"), "Remove the columns' filter"));
  EXPECT_FALSE(window_->Layout().column_filter);
  EXPECT_EQ(ColumnCaptions().size(), 4u);  // three years and the total
  EXPECT_EQ(status->text(), "5 rows, 4 columns");
  EXPECT_FALSE(FromRowMenu(RowOf("Spain"), "Remove the columns' filter")) << "nothing to remove";
}

}  // namespace
}  // namespace cubemill::ui
