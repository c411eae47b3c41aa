// The grid as an analyst expects it: the row headers frozen while it scrolls sideways, columns
// fitted to their content (a divider's double-click fits one), subtotals of nested row fields
// switched on and off, the measures' column only for several measures, numbers right-aligned
// with grouped thousands.
#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

#include "query/value_format.h"
#include "ui/browse_fields.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

using BrowseGridTest = BrowseWindowTest;

// The width a cell's text needs in bold, as totals show.
int BoldWidth(const QWidget* widget, const QString& text) {
  QFont bold = widget->font();
  bold.setBold(true);
  return QFontMetrics(bold).horizontalAdvance(text);
}

TEST_F(BrowseGridTest, RowHeadersStayWhenTheGridScrollsSideways) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  // Months on columns: wider than the window.
  const std::size_t time = Hierarchy("Time.Calendar");
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  window_->Fields()->Place(window_->Fields()->LevelItem(time, Level(time, "Quarter")), false);
  ASSERT_TRUE(WaitForAnswer(spy));
  BrowseGridView* view = window_->GridView();
  BrowseFrozenColumns* frozen = view->FrozenColumns();
  QApplication::processEvents();
  QScrollBar* sideways = view->horizontalScrollBar();
  ASSERT_GT(sideways->maximum(), 0) << "the grid is not wider than its window";
  sideways->setValue(sideways->maximum());
  QApplication::processEvents();
  // The grid's own row-header column has gone left; the frozen one is where it was.
  EXPECT_LT(view->columnViewportPosition(0), 0);
  ASSERT_TRUE(frozen->isVisible());
  EXPECT_EQ(frozen->geometry().left(), view->viewport()->geometry().left());
  EXPECT_EQ(frozen->width(), view->columnWidth(0));
  EXPECT_EQ(frozen->columnViewportPosition(0), 0);
  const int spain = RowOf("Spain");
  ASSERT_GE(spain, 0);
  EXPECT_TRUE(frozen->viewport()->rect().contains(frozen->visualRect(Grid()->index(spain, 0))));
  // It scrolls up and down with the grid.
  view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
  EXPECT_EQ(frozen->verticalScrollBar()->value(), view->verticalScrollBar()->value());
  view->verticalScrollBar()->setValue(0);
  // Its +/- box drills as the grid's does, and a selection there is the grid's.
  const QRect cell = frozen->visualRect(Grid()->index(spain, 0));
  const QRect box = ExpandBoxRect(cell, 0, view->fontMetrics());
  QTest::mouseClick(frozen->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  EXPECT_EQ(window_->Layout().expanded.size(), 1U);
  QTest::mouseClick(
      frozen->viewport(), Qt::LeftButton, Qt::NoModifier,
      frozen->visualRect(Grid()->index(RowOf("Spain"), 0)).topRight() + QPoint(-3, 3));
  EXPECT_TRUE(view->selectionModel()->isSelected(Grid()->index(RowOf("Spain"), 0)));
  EXPECT_NE(view->SelectionText().find("Spain"), std::string::npos);
}

TEST_F(BrowseGridTest, ColumnsFitTheirContentAndADividerDoubleClickFitsOne) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  BrowseGridView* view = window_->GridView();
  const int total_row = Grid()->rowCount() - 1;
  const int last = Grid()->columnCount() - 1;
  // A new answer's columns hold their texts whole: the grand total (bold), the row field's name.
  for (int c = 0; c < Grid()->columnCount(); ++c) {
    EXPECT_GE(view->columnWidth(c), BoldWidth(view, Text(total_row, c)) + 4) << c;
    EXPECT_GE(view->columnWidth(c), view->horizontalHeader()->sectionSizeHint(c)) << c;
  }
  EXPECT_GE(view->columnWidth(0),
            BoldWidth(view, Grid()->headerData(0, Qt::Horizontal).toString()) + 8);

  // Cut, then fitted again by a double-click on its right divider.
  view->setColumnWidth(last, 12);
  QHeaderView* header = view->horizontalHeader();
  const QPoint divider(header->sectionViewportPosition(last) + header->sectionSize(last) - 1,
                       header->height() / 2);
  QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, divider);
  EXPECT_GE(view->columnWidth(last), BoldWidth(view, Text(total_row, last)) + 4);
  EXPECT_EQ(window_->Layout().sort, std::nullopt) << "a divider's clicks do not sort";
  // The frozen row headers' divider fits the grid's column too.
  view->setColumnWidth(0, 10);
  QTest::mouseDClick(view->FrozenColumns()->ColumnHeader()->viewport(), Qt::LeftButton,
                     Qt::NoModifier, QPoint(view->FrozenColumns()->columnWidth(0) - 1, 5));
  EXPECT_GE(view->columnWidth(0), BoldWidth(view, Text(RowOf("Total"), 0)));
}

TEST_F(BrowseGridTest, SubtotalsFollowEachCountryAndSwitchOff) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  const std::size_t product = Hierarchy("Product");
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  window_->Fields()->Place(
      window_->Fields()->LevelItem(product, FieldLevels(Model(), product).front()), true);
  ASSERT_TRUE(WaitForAnswer(spy));
  ASSERT_EQ(Grid()->HeaderColumns(), 2);
  const auto totals = Expected(
      "SELECT c.country, 'Total', SUM(s.quantity) FROM sales s JOIN cities c USING (city_id) "
      "GROUP BY 1");
  const int total_column = Grid()->columnCount() - 1;
  int subtotals = 0;
  for (int r = 0; r < Grid()->rowCount(); ++r) {
    const QString caption = Grid()->index(r, 1).data(Qt::ToolTipRole).toString();
    if (!caption.endsWith(" Total")) continue;
    ++subtotals;
    const QString country = Grid()->index(r, 0).data(Qt::ToolTipRole).toString();
    EXPECT_EQ(caption, country + " Total");
    // After the country's own rows, before the next country's.
    EXPECT_EQ(Grid()->index(r - 1, 0).data(Qt::ToolTipRole).toString(), country);
    EXPECT_TRUE(Grid()->index(r, total_column).data(Qt::FontRole).value<QFont>().bold());
    const auto& cell = Grid()->Grid()->cells[static_cast<std::size_t>(r)]
                                            [static_cast<std::size_t>(total_column - 2)];
    EXPECT_EQ(query::ValueText(cell), totals.at({country.toStdString(), "Total"}))
        << country.toStdString();
  }
  EXPECT_EQ(subtotals, static_cast<int>(totals.size()));
  const int rows = Grid()->rowCount();
  // The export labels each subtotal row in the inner field's column, after its country.
  const std::string csv = dir_.File("subtotals.csv");
  ASSERT_EQ(Export(csv, false), "");
  const std::string text = test::ReadBytes(csv);
  for (const auto& [key, value] : totals) {
    EXPECT_NE(text.find("\r\n" + key.first + "," + key.first + " Total,"), std::string::npos)
        << key.first << "\n"
        << text;
  }

  QCheckBox* box = window_->SubtotalsBox();
  ASSERT_TRUE(box->isChecked());
  QTest::mouseClick(box, Qt::LeftButton);
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  EXPECT_FALSE(window_->Layout().subtotals);
  EXPECT_EQ(Grid()->rowCount(), rows - subtotals);
  for (int r = 0; r < Grid()->rowCount(); ++r)
    EXPECT_FALSE(Grid()->index(r, 1).data(Qt::ToolTipRole).toString().endsWith(" Total")) << r;
  EXPECT_EQ(window_->MdxText().indexOf("Generate"), -1);
}

TEST_F(BrowseGridTest, MeasuresColumnOnlyForSeveralMeasuresAndNumbersAlignRight) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  QTest::mouseClick(window_->findChild<QPushButton*>("swap_axes"), Qt::LeftButton);
  ASSERT_TRUE(WaitForAnswer(spy));
  ASSERT_TRUE(window_->Layout().measures_on_rows);
  EXPECT_EQ(Grid()->HeaderColumns(), 1) << "one measure: no Measures column";
  QTreeWidgetItem* amount = window_->Fields()->MeasureItem(MeasureIndex("Amount"));
  amount->setCheckState(0, Qt::Checked);
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  ASSERT_EQ(Grid()->HeaderColumns(), 2);
  EXPECT_EQ(Grid()->headerData(1, Qt::Horizontal).toString(), "Measures");

  // The values: right-aligned, thousands grouped.
  const QRegularExpression grouped("^-?\\d{1,3}([^\\d]\\d{3})+([^\\d]\\d+)?$");
  int big = 0;
  for (int r = 0; r < Grid()->rowCount(); ++r) {
    for (int c = Grid()->HeaderColumns(); c < Grid()->columnCount(); ++c) {
      const QModelIndex index = Grid()->index(r, c);
      EXPECT_EQ(index.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
                Qt::AlignRight);
      const QString text = index.data().toString();
      const auto& cell =
          Grid()->Grid()->cells[static_cast<std::size_t>(r)]
                               [static_cast<std::size_t>(c - Grid()->HeaderColumns())];
      // Amount has the FORMAT '0.00', which groups nothing; Quantity has none: grouped.
      if (Grid()->Grid()->MeasureAt(static_cast<std::size_t>(r),
                                    static_cast<std::size_t>(c - Grid()->HeaderColumns())) !=
              MeasureIndex("Quantity") ||
          std::abs(std::stod(query::ValueText(cell).empty() ? "0" : query::ValueText(cell))) < 1000)
        continue;
      ++big;
      EXPECT_TRUE(grouped.match(text).hasMatch()) << text.toStdString();
    }
  }
  EXPECT_GT(big, 0);
  const int amount_row = [&] {
    for (int r = 0; r < Grid()->rowCount(); ++r) {
      if (Grid()->Grid()->row_measure[static_cast<std::size_t>(r)] == MeasureIndex("Amount"))
        return r;
    }
    return -1;
  }();
  ASSERT_GE(amount_row, 0);
  EXPECT_TRUE(QRegularExpression("^-?\\d+\\.\\d\\d$")
                  .match(Text(amount_row, Grid()->columnCount() - 1))
                  .hasMatch())
      << Text(amount_row, Grid()->columnCount() - 1).toStdString();
}

}  // namespace
}  // namespace cubemill::ui
