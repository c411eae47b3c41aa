// The browser's figures over sums of prices in cents: the grid, the chart's tooltips and its value
// axis show each total with two decimals and grouped thousands; the workbook keeps the full value
// in a "#,##0.00" number format.
#include <QChartView>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/prices_cube.h"
#include "support/unzip.h"
#include "ui/browse_chart.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

using test::Unzip;

// The texts the chart's scene shows: titles, the axes' labels, the legend.
QStringList ChartTexts(BrowseChart* chart) {
  QStringList texts;
  auto* view = chart->findChild<QChartView*>();
  if (view == nullptr || view->scene() == nullptr) return texts;
  for (QGraphicsItem* item : view->scene()->items()) {
    if (auto* text = dynamic_cast<QGraphicsTextItem*>(item)) texts << text->toPlainText();
    if (auto* simple = dynamic_cast<QGraphicsSimpleTextItem*>(item)) texts << simple->text();
  }
  return texts;
}

TEST_F(BrowseWindowTest, ShowsSumsOfPricesAsTheirDecimalTotals) {
  const test::PricesCube prices = test::BuildPricesCube(dir_.path(), 36);
  ASSERT_EQ(prices.error, "");
  // The families on rows, [Store Sales] the one measure.
  ASSERT_TRUE(Open(prices.cube));
  const int values = Grid()->HeaderColumns();
  for (const auto& [family, cents] : prices.family_cents) {
    const int row = RowOf(QString::fromStdString(family));
    ASSERT_GE(row, 0) << family;
    EXPECT_EQ(Text(row, values).toStdString(), test::CentsText(cents)) << family;
  }
  EXPECT_EQ(Text(RowOf("Total"), values).toStdString(), test::CentsText(prices.total_cents));

  // The chart: one series, a category per family, each tooltip the grid's text.
  BrowseChart* chart = window_->Chart();
  chart->resize(800, 600);
  chart->show();
  QApplication::processEvents();
  ASSERT_EQ(chart->Series(), 1u);
  std::size_t category = 0;
  for (const auto& [family, cents] : prices.family_cents) {
    EXPECT_EQ(chart->ValueTip(0, category++).toStdString(),
              "Store Sales, " + family + ": " + test::CentsText(cents));
  }
  const QRegularExpression grouped("^\\d{1,3}(,\\d{3})+$");
  EXPECT_FALSE(ChartTexts(chart).filter(grouped).isEmpty())
      << ChartTexts(chart).join(" | ").toStdString();

  // The workbook: the full value, shown with two decimals and grouped.
  const std::string book = dir_.File("prices.xlsx");
  ASSERT_EQ(Export(book, true), "");
  EXPECT_NE(Unzip(book, "xl/styles.xml").find("formatCode=\"#,##0.00\""), std::string::npos);
  // The sheet's numbers (libxlsxwriter writes 16 significant digits).
  const std::string sheet = Unzip(book, "xl/worksheets/sheet1.xml");
  std::vector<double> numbers;
  for (auto at = sheet.find("<v>"); at != std::string::npos; at = sheet.find("<v>", at + 3))
    numbers.push_back(std::strtod(sheet.c_str() + at + 3, nullptr));
  const browse::PivotGrid* grid = Grid()->Grid();
  for (std::size_t r = 0; r < grid->Rows(); ++r) {
    const double value = grid->cells[r][0].real;
    EXPECT_TRUE(std::any_of(numbers.begin(), numbers.end(), [value](double n) {
      return std::fabs(n - value) <= 1e-12 * value;
    })) << value;
  }
}

}  // namespace
}  // namespace cubemill::ui
