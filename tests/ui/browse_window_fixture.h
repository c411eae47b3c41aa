// What the tests of cubemill-browse's window share: one QApplication on Qt's offscreen platform,
// the sample's cube built once by the real engine, and a fixture with a window and the helpers
// that find fields, rows and columns, wait for answers and drop fields.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "browse/pivot.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"
#include "ui/browse_export.h"
#include "ui/browse_fields.h"
#include "ui/browse_grid_view.h"
#include "ui/browse_window.h"

namespace cubemill::ui {

// The sample's database and cube, built once for all the tests of the program by the real engine
// from the sample's SQL and its OQY file's statements.
class SampleCube {
 public:
  SampleCube();
  ~SampleCube();
  const std::string& Folder() const { return folder_; }
  const std::string& Source() const { return source_; }
  const std::string& Cube() const { return cube_; }
  const std::string& BuildError() const { return error_; }

 private:
  std::string folder_, source_, cube_, error_;
};

const SampleCube& Sample();

// The folder of the windows' settings (QSettings' user scope and XDG_CONFIG_HOME), removed when
// the test program ends; each test starts with no settings.
const std::string& SettingsFolder();

// The names of the files in `folder`, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

// Runs cubemill-browse with `arguments` and no display; its exit status, and what it wrote on
// stderr in `errors`.
int RunProgram(const std::string& arguments, std::string* errors = nullptr);

// `text` quoted for the shell RunProgram runs.
std::string ShellQuoted(const std::string& text);

class BrowseWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Sample().BuildError(), "");
    QSettings(QSettings::IniFormat, QSettings::UserScope, "cubemill", "cubemill-browse").clear();
    window_ = std::make_unique<BrowseWindow>();
    window_->show();
  }

  // Waits for the next answer the window shows.
  bool WaitForAnswer(QSignalSpy& spy, int count = 1) {
    while (spy.count() < count) {
      if (!spy.wait(20000)) return false;
    }
    return true;
  }
  // Exports the grid shown as the menu's action does and waits for the export to end: its error,
  // "" when the file is complete.
  QString Export(const std::string& path, bool workbook) {
    QSignalSpy spy(window_->Exporter(), &BrowseExporter::Finished);
    const QString file = QString::fromStdString(path);
    if (!(workbook ? window_->ExportWorkbook(file) : window_->ExportCsv(file)))
      return "not started";
    if (spy.isEmpty() && !spy.wait(60000)) return "did not end";
    return spy.takeFirst().at(1).toString();
  }
  // Opens the context menu named `menu_name` as a right click at `at` over `viewport` does,
  // triggers its entry `entry`, gives a number the entry asks for as `amount` and waits for the
  // answer; false when the menu or an enabled entry of that text is missing.
  bool FromContextMenu(QWidget* viewport, QPoint at, const QString& menu_name, const QString& entry,
                       double amount) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    QMenu* menu = nullptr;
    for (QMenu* shown : window_->findChildren<QMenu*>(menu_name))
      if (shown->isVisible()) menu = shown;
    if (menu == nullptr) return false;
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions())
      if (action->text() == entry) chosen = action;
    if (chosen == nullptr || !chosen->isEnabled()) {
      menu->close();
      return false;
    }
    QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
    chosen->trigger();
    menu->close();
    for (QInputDialog* dialog : window_->findChildren<QInputDialog*>("filter_amount")) {
      if (!dialog->isVisible()) continue;
      if (dialog->inputMode() == QInputDialog::IntInput)
        dialog->setIntValue(static_cast<int>(amount));
      else
        dialog->setDoubleValue(amount);
      dialog->accept();
    }
    return WaitForAnswer(spy);
  }
  bool Open(const std::string& path = Sample().Cube(), const QString& mdx = {}) {
    QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
    if (!window_->OpenCube(QString::fromStdString(path), mdx)) return false;
    return WaitForAnswer(spy);
  }
  const query::CubeModel& Model() const { return *window_->Cube()->model; }
  std::size_t Hierarchy(const QString& caption) const {
    for (std::size_t h = 0; h < Model().HierarchyCount(); ++h) {
      if (HierarchyCaption(Model(), h) == caption) return h;
    }
    ADD_FAILURE() << "no hierarchy " << caption.toStdString();
    return 0;
  }
  std::size_t Level(std::size_t hierarchy, const std::string& name) const {
    for (std::size_t level : FieldLevels(Model(), hierarchy)) {
      if (Model().Catalog().levels[level].name == name) return level;
    }
    ADD_FAILURE() << "no level " << name;
    return 0;
  }
  std::size_t MeasureIndex(const std::string& name) const {
    const auto& measures = Model().Catalog().measures;
    for (std::size_t m = 0; m < measures.size(); ++m) {
      if (measures[m].name == name) return m;
    }
    ADD_FAILURE() << "no measure " << name;
    return 0;
  }
  BrowseGridModel* Grid() const { return window_->GridView()->GridModel(); }
  QString Text(int row, int column) const { return Grid()->index(row, column).data().toString(); }
  // The row whose row header `column` is `caption` (-1 for none).
  int RowOf(const QString& caption, int column = 0) const {
    for (int r = 0; r < Grid()->rowCount(); ++r) {
      if (Grid()->index(r, column).data(Qt::ToolTipRole).toString() == caption) return r;
    }
    return -1;
  }
  // The model column of the first answer column whose outermost header is `caption` (-1 for
  // none). The measure's header is the innermost.
  int ColumnOf(const QString& caption) const {
    const browse::PivotGrid* grid = Grid()->Grid();
    for (std::size_t c = 0; c < grid->Columns(); ++c) {
      if (grid->column_headers[c].front().caption == caption.toStdString())
        return Grid()->HeaderColumns() + static_cast<int>(c);
    }
    return -1;
  }
  // Quantity per (row key, column key) from the source, by `sql` returning key, key, value.
  std::map<std::pair<std::string, std::string>, std::string> Expected(const std::string& sql) {
    std::map<std::pair<std::string, std::string>, std::string> expected;
    for (const auto& row : test::QuerySqlite(Sample().Source(), sql))
      expected[{row[0], row[1]}] = row[2];
    return expected;
  }
  // Drops the field (hierarchy, level) on `target` as a drag from the field list does.
  void Drop(QWidget* target, std::size_t hierarchy, std::size_t level) {
    QMimeData mime;
    mime.setData(kFieldMimeType, QString("%1 %2").arg(hierarchy).arg(level).toUtf8());
    const QPointF point(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(point.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_TRUE(drop.isAccepted());
  }
  // Country on rows (the field list's menu), Year on columns (dropped on the column headers),
  // Quantity the one measure: the layout most tests start from.
  void CountriesByYear() {
    QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
    const std::size_t geography = Hierarchy("Geography");
    const std::size_t time = Hierarchy("Time.Calendar");
    window_->Fields()->Place(window_->Fields()->LevelItem(geography, Level(geography, "Country")),
                             true);
    ASSERT_TRUE(WaitForAnswer(spy, 1));
    Drop(window_->GridView()->horizontalHeader()->viewport(), time, Level(time, "Year"));
    ASSERT_TRUE(WaitForAnswer(spy, 2));
    ASSERT_EQ(window_->Layout().rows,
              (std::vector<browse::PivotField>{{geography, Level(geography, "Country")}}));
    ASSERT_EQ(window_->Layout().columns,
              (std::vector<browse::PivotField>{{time, Level(time, "Year")}}));
    ASSERT_EQ(window_->Layout().measures, std::vector<std::size_t>{MeasureIndex("Quantity")});
  }

  test::TempDir dir_;
  std::unique_ptr<BrowseWindow> window_;
};

}  // namespace cubemill::ui
