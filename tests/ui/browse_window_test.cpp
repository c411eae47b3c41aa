#include "ui/browse_window.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"
#include "ui/browse_chart.h"
#include "ui/browse_fields.h"
#include "ui/browse_grid_view.h"
#include "ui/browse_query_runner.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

namespace fs = std::filesystem;

TEST_F(BrowseWindowTest, PlacedFieldsShowTheSourcesNumbers) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(window_->Message(), "");
  CountriesByYear();
  const auto expected = Expected(
      "SELECT c.country, substr(s.sale_date, 1, 4), SUM(s.quantity) FROM sales s "
      "JOIN cities c ON c.city_id = s.city_id GROUP BY 1, 2");
  int checked = 0;
  for (const auto& [key, quantity] : expected) {
    const int row = RowOf(QString::fromStdString(key.first));
    const int column = ColumnOf(QString::fromStdString(key.second));
    ASSERT_GE(row, 0) << key.first;
    ASSERT_GE(column, 0) << key.second;
    EXPECT_EQ(Text(row, column).toStdString(), quantity) << key.first << " " << key.second;
    EXPECT_EQ(Grid()->index(row, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);
    ++checked;
  }
  EXPECT_EQ(checked, 12);  // four countries, three years
  // The grand total, in bold: all 3,000 sales' quantity.
  const int total_row = RowOf("Total");
  const int total_column = ColumnOf("Total");
  ASSERT_GE(total_row, 0);
  ASSERT_GE(total_column, 0);
  // Its thousands grouped as the C locale's fallback groups them.
  EXPECT_EQ(Text(total_row, total_column).toStdString(), "9,000");
  EXPECT_EQ(test::QuerySqlite(Sample().Source(), "SELECT SUM(quantity) FROM sales")[0][0], "9000");
  EXPECT_TRUE(Grid()->index(total_row, 0).data(Qt::FontRole).value<QFont>().bold());
  EXPECT_FALSE(Grid()->index(RowOf("Spain"), 1).data(Qt::FontRole).value<QFont>().bold());
  // The MDX pane shows what was asked, which cubemill-query runs as it is.
  EXPECT_EQ(window_->MdxText().toStdString(), browse::PivotMdx(Model(), window_->Layout()));
  EXPECT_NE(window_->MdxText().indexOf("[Country]"), -1);
}

TEST_F(BrowseWindowTest, ClickingPlusDrillsIntoTheMembersChildren) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  const int spain = RowOf("Spain");
  ASSERT_GE(spain, 0);
  EXPECT_EQ(Grid()->index(spain, 0).data(BrowseGridModel::kExpandRole).toInt(), 1);
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  BrowseGridView* view = window_->GridView();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                    view->BoxRect(spain, 0).center());
  ASSERT_TRUE(WaitForAnswer(spy));
  const auto expected = Expected(
      "SELECT c.city, substr(s.sale_date, 1, 4), SUM(s.quantity) FROM sales s "
      "JOIN cities c ON c.city_id = s.city_id WHERE c.country = 'Spain' GROUP BY 1, 2");
  const int spain_now = RowOf("Spain");
  EXPECT_EQ(Grid()->index(spain_now, 0).data(BrowseGridModel::kExpandRole).toInt(), 2);
  for (const auto& [key, quantity] : expected) {
    // Valencia and Cordoba are cities of two countries: Spain's come right after Spain, named
    // with it.
    const bool namesake = key.first == "Valencia" || key.first == "Cordoba";
    const std::string caption = namesake ? "Spain " + key.first : key.first;
    int row = -1;
    for (int r = spain_now + 1; r < Grid()->rowCount() && r <= spain_now + 3; ++r) {
      if (Grid()->index(r, 0).data(Qt::ToolTipRole).toString().toStdString() == caption) row = r;
    }
    ASSERT_GE(row, 0) << key.first;
    EXPECT_EQ(Grid()->index(row, 0).data(BrowseGridModel::kIndentRole).toInt(), 1);
    EXPECT_EQ(Text(row, ColumnOf(QString::fromStdString(key.second))).toStdString(), quantity)
        << key.first << " " << key.second;
  }
  // The - box closes it again.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                    view->BoxRect(spain_now, 0).center());
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  EXPECT_EQ(RowOf("Madrid"), -1);
  EXPECT_TRUE(window_->Layout().expanded.empty());
}

TEST_F(BrowseWindowTest, ColumnHeadersDrillAndSort) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  BrowseColumnHeader* header = window_->GridView()->ColumnHeader();
  const int year_2024 = ColumnOf("2024") - Grid()->HeaderColumns();
  ASSERT_GE(year_2024, 0);
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    header->BoxRect(static_cast<std::size_t>(year_2024), 0).center());
  ASSERT_TRUE(WaitForAnswer(spy));
  // 2024's quarters are columns now, beside the years.
  const std::size_t time = Hierarchy("Time.Calendar");
  EXPECT_EQ(window_->Layout().expanded.size(), 1u);
  const std::size_t quarters = FieldLevels(Model(), time).size() > 1 ? 4 : 0;
  EXPECT_EQ(Grid()->Grid()->Columns(), 3 + quarters + 1);  // years, 2024's quarters, total

  // A click on a column's header sorts the rows by it, largest first; again, smallest first.
  const int column = ColumnOf("2023");
  const int section_x = header->sectionViewportPosition(column) + header->sectionSize(column) - 8;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(section_x, header->height() - 4));
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  ASSERT_TRUE(window_->Layout().sort.has_value());
  EXPECT_TRUE(window_->Layout().sort->descending);
  auto values = [&] {
    std::vector<long long> found;
    const int c = ColumnOf("2023");
    for (int r = 0; r < Grid()->rowCount(); ++r) {
      if (Grid()->index(r, 0).data(Qt::ToolTipRole).toString() != "Total")
        found.push_back(Text(r, c).toLongLong());
    }
    return found;
  };
  auto descending = values();
  EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(section_x, header->height() - 4));
  ASSERT_TRUE(WaitForAnswer(spy, 3));
  EXPECT_FALSE(window_->Layout().sort->descending);
  auto ascending = values();
  EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
  EXPECT_EQ(ascending.size(), 4u);
}

TEST_F(BrowseWindowTest, CopyGivesTheSelectionAsTabSeparatedText) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  BrowseGridView* view = window_->GridView();
  const int spain = RowOf("Spain");
  const int y2023 = ColumnOf("2023");
  const int y2024 = ColumnOf("2024");
  // Cells alone.
  view->selectionModel()->select(Grid()->index(spain, y2023), QItemSelectionModel::Select);
  view->selectionModel()->select(Grid()->index(spain, y2024), QItemSelectionModel::Select);
  window_->CopySelection();
  EXPECT_EQ(QApplication::clipboard()->text(),
            Text(spain, y2023) + "\t" + Text(spain, y2024) + "\n");
  // With the row header: the column headers come along. Ctrl+C in the grid copies the
  // selection, not only the current cell as a table view would.
  view->selectionModel()->select(Grid()->index(spain, 0), QItemSelectionModel::Select);
  QApplication::clipboard()->clear();
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  view->setFocus();
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "\t2023\t2024\n\tQuantity\tQuantity\nSpain\t" +
                                                   Text(spain, y2023) + "\t" + Text(spain, y2024) +
                                                   "\n");
}

TEST_F(BrowseWindowTest, CancelEndsTheQueryAndOnlyTheNewestAnswerIsShown) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  const std::size_t rows_before = Grid()->Grid()->Rows();
  // Hold the query thread so that the requests wait, as they would behind a slow query.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  QMetaObject::invokeMethod(
      window_->Runner()->Worker(), [released] { released.wait(); }, Qt::QueuedConnection);
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  const std::size_t geography = Hierarchy("Geography");
  window_->ToggleMember(Model().MembersOf(Level(geography, "Country")).front());
  EXPECT_TRUE(window_->Busy());
  window_->CancelQuery();
  release.set_value();
  ASSERT_TRUE(WaitForAnswer(spy));
  EXPECT_FALSE(window_->Busy());
  EXPECT_NE(window_->Message().indexOf("Cancelled"), -1) << window_->Message().toStdString();
  // The answer before stays, and so does its layout.
  EXPECT_EQ(Grid()->Grid()->Rows(), rows_before);
  EXPECT_TRUE(window_->Layout().expanded.empty());

  // Two changes while the thread is held: only the second's answer comes.
  std::promise<void> release_again;
  std::shared_future<void> released_again = release_again.get_future().share();
  QMetaObject::invokeMethod(
      window_->Runner()->Worker(), [released_again] { released_again.wait(); },
      Qt::QueuedConnection);
  QSignalSpy second(window_.get(), &BrowseWindow::AnswerShown);
  window_->ChangeLayout([](browse::PivotLayout& layout, const query::CubeModel&) {
    layout.totals = false;
    return true;
  });
  window_->ChangeLayout([](browse::PivotLayout& layout, const query::CubeModel&) {
    browse::SwapAxes(layout);
    return true;
  });
  release_again.set_value();
  ASSERT_TRUE(WaitForAnswer(second));
  QTest::qWait(200);
  EXPECT_EQ(second.count(), 1);
  EXPECT_EQ(window_->Message(), "");
  EXPECT_EQ(Grid()->Grid()->Rows(), 3u);     // the years, no total
  EXPECT_EQ(Grid()->Grid()->Columns(), 4u);  // the countries
}

TEST_F(BrowseWindowTest, SlicerRestrictsTheAnswerToThePickedMembers) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  const std::size_t product = Hierarchy("Product");
  window_->PickSlicer(product);
  auto* picker = window_->findChild<QDialog*>("member_picker");
  ASSERT_NE(picker, nullptr);
  auto* filter = picker->findChild<QLineEdit*>();
  auto* list = picker->findChild<QListWidget*>();
  ASSERT_NE(filter, nullptr);
  ASSERT_NE(list, nullptr);
  const std::string category =
      test::QuerySqlite(Sample().Source(), "SELECT MIN(category) FROM products")[0][0];
  QTest::keyClicks(filter, QString::fromStdString(category).left(4));
  int shown = 0;
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    if (item->isHidden()) continue;
    ++shown;
    if (item->text().trimmed() == QString::fromStdString(category))
      item->setCheckState(Qt::Checked);
  }
  EXPECT_GE(shown, 1);
  EXPECT_LT(shown, list->count());
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  picker->accept();
  ASSERT_TRUE(WaitForAnswer(spy));
  ASSERT_EQ(window_->Layout().slicers.size(), 1u);
  const auto expected = Expected(
      "SELECT c.country, substr(s.sale_date, 1, 4), SUM(s.quantity) FROM sales s "
      "JOIN cities c ON c.city_id = s.city_id JOIN products p ON p.product_id = s.product_id "
      "WHERE p.category = '" +
      category + "' GROUP BY 1, 2");
  for (const auto& [key, quantity] : expected) {
    EXPECT_EQ(
        Text(RowOf(QString::fromStdString(key.first)), ColumnOf(QString::fromStdString(key.second)))
            .toStdString(),
        quantity)
        << key.first << " " << key.second;
  }
  // A picker still open when another cube opens goes: its members are the old cube's.
  window_->PickSlicer(product);
  ASSERT_TRUE(Open());
  QTest::qWait(50);
  EXPECT_TRUE(window_->findChildren<QDialog*>("member_picker").isEmpty());
}

TEST_F(BrowseWindowTest, QueryFromTheCommandLineOpensAsItsPivot) {
  const QString mdx =
      "SELECT {[Time].[Year].Members, [Time].[2024].Children} ON COLUMNS, "
      "[Geography].[Country].Members ON ROWS FROM [OCWCube]";
  ASSERT_TRUE(Open(Sample().Cube(), mdx));
  EXPECT_EQ(window_->Message(), "") << window_->Message().toStdString();
  const std::size_t time = Hierarchy("Time.Calendar");
  ASSERT_EQ(window_->Layout().columns.size(), 1u);
  EXPECT_EQ(window_->Layout().columns[0].hierarchy, time);
  EXPECT_EQ(window_->Layout().expanded.size(), 1u);
  EXPECT_GE(RowOf("Germany"), 0);

  // A query the pivot cannot lay out: the reason, and the default layout.
  ASSERT_TRUE(Open(Sample().Cube(),
                   "WITH MEMBER [Measures].[Avg] AS [Measures].[Amount] / [Measures].[Quantity] "
                   "SELECT [Measures].[Avg] ON COLUMNS FROM [OCWCube]"));
  EXPECT_NE(window_->Message().indexOf("cannot be shown as a pivot"), -1)
      << window_->Message().toStdString();
  EXPECT_EQ(window_->Layout(), browse::DefaultLayout(Model()));
}

TEST_F(BrowseWindowTest, BadFilesAreSaidPlainlyAndTheOpenCubeStays) {
  ASSERT_TRUE(Open());
  const browse::PivotLayout layout = window_->Layout();
  const fs::path folder = dir_.path();
  { std::ofstream(folder / "notes.cub") << "not a database at all, just some text to read\n"; }
  test::RunSqlite((folder / "other.db").string(), "CREATE TABLE t(x); INSERT INTO t VALUES (1);");
  fs::copy_file(Sample().Cube(), folder / "newer.cub");
  test::RunSqlite((folder / "newer.cub").string(), "PRAGMA user_version = 99;");
  fs::copy_file(Sample().Cube(), folder / ".sales.cub.tmp-a1B2c3");
  const auto files_before = std::distance(fs::directory_iterator(folder), fs::directory_iterator());

  const struct {
    std::string file;
    const char* says;
  } cases[] = {
      {(folder / "missing.cub").string(), "There is no file"},
      {(folder / "notes.cub").string(), "is not a Cubemill cube file"},
      {(folder / "other.db").string(), "is not a Cubemill cube file"},
      {(folder / "newer.cub").string(), "was written by a newer Cubemill"},
      {(folder / ".sales.cub.tmp-a1B2c3").string(), "temporary file of a cube being written"},
      {folder.string(), "is a folder"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(window_->OpenCube(QString::fromStdString(c.file))) << c.file;
    EXPECT_NE(window_->Message().indexOf(c.says), -1)
        << c.file << ": " << window_->Message().toStdString();
    EXPECT_EQ(window_->Cube()->path, Sample().Cube());
    EXPECT_EQ(window_->Layout(), layout);
  }
  EXPECT_TRUE(window_->OpenCube(QString::fromStdString(Sample().Cube())));
  window_->OpenCube(QString::fromStdString((folder / ".sales.cub.tmp-a1B2c3").string()));
  EXPECT_NE(window_->Message().indexOf("Open sales.cub once the job has finished"), -1)
      << window_->Message().toStdString();
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), files_before);
}

TEST_F(BrowseWindowTest, ExportsWriteCompleteFilesAndTheChartFollowsTheRows) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  // Countries are no periods: bars.
  EXPECT_FALSE(window_->Chart()->ShowsLines());
  EXPECT_EQ(window_->Chart()->Categories(), 4u);
  EXPECT_EQ(window_->Chart()->Series(), 3u);
  ASSERT_EQ(Export(dir_.File("pivot.csv"), false), "");
  ASSERT_EQ(Export(dir_.File("pivot.xlsx"), true), "");
  ASSERT_TRUE(window_->ExportChart(QString::fromStdString(dir_.File("chart.png"))));
  const std::string csv = test::ReadBytes(dir_.File("pivot.csv"));
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "Cube," + fs::path(Sample().Cube()).filename().string());
  EXPECT_NE(csv.find("\r\nYear,2023,2024,2025,Total\r\n"), std::string::npos) << csv;
  EXPECT_EQ(test::ReadBytes(dir_.File("pivot.xlsx")).substr(0, 2), "PK");
  EXPECT_EQ(test::ReadBytes(dir_.File("chart.png")).substr(1, 3), "PNG");
  // A folder that is not there: the message, no file.
  EXPECT_NE(Export(dir_.File("none/pivot.csv"), false), "");
  EXPECT_NE(window_->Message().indexOf("Cannot export"), -1);
  EXPECT_FALSE(fs::exists(dir_.File("none")));

  // Years on rows: lines.
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  window_->ChangeLayout([](browse::PivotLayout& layout, const query::CubeModel&) {
    browse::SwapAxes(layout);
    return true;
  });
  ASSERT_TRUE(WaitForAnswer(spy));
  EXPECT_TRUE(window_->Chart()->ShowsLines());
  EXPECT_EQ(window_->Chart()->Categories(), 3u);
}

TEST_F(BrowseWindowTest, MeasuresAreCheckedAndTheLastOneStays) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  QTreeWidgetItem* amount = window_->Fields()->MeasureItem(MeasureIndex("Amount"));
  QTreeWidgetItem* quantity = window_->Fields()->MeasureItem(MeasureIndex("Quantity"));
  ASSERT_NE(amount, nullptr);
  amount->setCheckState(0, Qt::Checked);
  ASSERT_TRUE(WaitForAnswer(spy));
  EXPECT_EQ(window_->Layout().measures.size(), 2u);
  quantity->setCheckState(0, Qt::Unchecked);
  ASSERT_TRUE(WaitForAnswer(spy, 2));
  EXPECT_EQ(window_->Layout().measures, std::vector<std::size_t>{MeasureIndex("Amount")});
  // Amount's FORMAT '0.00'.
  EXPECT_TRUE(
      Text(RowOf("Spain"), ColumnOf("2023")).contains(QRegularExpression("^[0-9]+\\.[0-9]{2}$")))
      << Text(RowOf("Spain"), ColumnOf("2023")).toStdString();
  // The last measure cannot go: it stays checked.
  amount->setCheckState(0, Qt::Unchecked);
  EXPECT_EQ(amount->checkState(0), Qt::Checked);
  EXPECT_EQ(window_->Layout().measures, std::vector<std::size_t>{MeasureIndex("Amount")});
}

// The program's options are read before Qt starts: no display is needed for them.
TEST(BrowseProgramTest, AnswersItsOptionsAndRefusesWrongOnes) {
  auto run = [](const std::string& arguments, std::string* output = nullptr) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " +
                                std::string(CUBEMILL_BROWSE_BINARY) + " " + arguments +
                                " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string output;
  EXPECT_EQ(run("--version", &output), 0);
  EXPECT_EQ(output.substr(0, 16), "cubemill-browse ");
  EXPECT_EQ(run("-h", &output), 0);
  EXPECT_NE(output.find("Usage: cubemill-browse [OPTION]... [CUBE [MDX | VIEW.cmview]]"),
            std::string::npos);
  EXPECT_EQ(run("--no-such-option"), 2);
  EXPECT_EQ(run("a.cub 'SELECT' third"), 2);
}

}  // namespace
}  // namespace cubemill::ui
