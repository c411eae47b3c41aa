// Field buttons dragged between the Rows, Columns and Slicers bars and within a bar, with the
// marker where the field will land and the hint of an empty bar; the menus offering only what
// applies; messages that go once the next action has succeeded; actions that wait for a cube.
#include "ui/browse_drag.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <future>

#include "ui/browse_chart.h"
#include "ui/browse_field_button.h"
#include "ui/browse_query_runner.h"
#include "ui/browse_slicers.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

using Fields = std::vector<browse::PivotField>;

QString Plain(QString text) { return text.remove('&'); }

class BrowseDragTest : public BrowseWindowTest {
 protected:
  browse::PivotField Field(const QString& hierarchy, const std::string& level) const {
    const std::size_t h = Hierarchy(hierarchy);
    return {h, Level(h, level)};
  }
  // Sets the layout and waits for its answer.
  void Lay(const Fields& rows, const Fields& columns) {
    QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
    window_->ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel&) {
      layout.rows = rows;
      layout.columns = columns;
      return true;
    });
    ASSERT_TRUE(WaitForAnswer(spy));
  }
  bool Settle() {
    QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
    return !window_->Busy() || WaitForAnswer(spy);
  }
  // The point of `bar` in the gap in front of its button `index` (after the last for the count).
  static QPoint Gap(QWidget* bar, const QList<QToolButton*>& buttons, int index) {
    const int x = index < buttons.size() ? buttons[index]->geometry().left() + 2
                                         : buttons.back()->geometry().right() + 8;
    return {x, bar->height() / 2};
  }
  // The entries of the field list's context menu on `item`, read while it is open.
  QStringList ListMenu(QTreeWidgetItem* item) {
    BrowseFieldList* list = window_->Fields();
    list->scrollToItem(item);
    const QPoint point = list->visualItemRect(item).center();
    QStringList entries;
    QTimer::singleShot(0, window_.get(), [&entries] { ReadPopup(entries, 200); });
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, list->viewport()->mapToGlobal(point));
    QApplication::sendEvent(list->viewport(), &event);
    return entries;
  }
  static void ReadPopup(QStringList& entries, int tries_left) {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) {
      if (tries_left > 0)
        QTimer::singleShot(5, [&entries, tries_left] { ReadPopup(entries, tries_left - 1); });
      return;
    }
    for (QAction* action : menu->actions()) entries << Plain(action->text());
    menu->close();
  }
  static QStringList MenuOf(BrowseAxisBar* bar, int index) {
    QStringList entries;
    for (QAction* action : bar->Buttons().at(index)->menu()->actions())
      entries << Plain(action->text());
    return entries;
  }
  // Triggers `entry` of the menu of `bar`'s button `index`.
  static bool Trigger(BrowseAxisBar* bar, int index, const QString& entry) {
    for (QAction* action : bar->Buttons().at(index)->menu()->actions()) {
      if (Plain(action->text()) != entry) continue;
      action->trigger();
      return true;
    }
    return false;
  }
  QAction* Action(const QString& text) const {
    for (QAction* action : window_->findChildren<QAction*>()) {
      if (Plain(action->text()) == text) return action;
    }
    ADD_FAILURE() << "no action " << text.toStdString();
    return nullptr;
  }
};

TEST_F(BrowseDragTest, ButtonsDragWithinAndBetweenTheBarsWhereTheMarkerShows) {
  ASSERT_TRUE(Open());
  const auto country = Field("Geography", "Country");
  const auto category = Field("Product", "Category");
  const auto year = Field("Time.Calendar", "Year");
  Lay({country, category}, {year});
  BrowseAxisBar* rows = window_->RowsBar();
  BrowseAxisBar* columns = window_->ColumnsBar();
  EXPECT_FALSE(rows->Hint()->isVisible());

  // Country dragged right of Category: the marker stands after Category, then the order turns.
  auto mime = DragOut(rows->Buttons().at(0));
  ASSERT_NE(mime, nullptr) << "pressing and moving the button started no drag";
  ASSERT_TRUE(DragOver(rows, *mime, Gap(rows, rows->Buttons(), 2)));
  ASSERT_TRUE(rows->Marker()->isVisible());
  EXPECT_GT(rows->Marker()->geometry().left(), rows->Buttons().at(1)->geometry().right() - 2);
  // Back over the gap between them (its own place: it would stay), then off the bar.
  ASSERT_TRUE(DragOver(rows, *mime, Gap(rows, rows->Buttons(), 1)));
  EXPECT_LT(rows->Marker()->geometry().right(), rows->Buttons().at(1)->geometry().left() + 2);
  DragAway(rows);
  EXPECT_FALSE(rows->Marker()->isVisible());
  // Dropped in its own place: nothing to ask.
  ASSERT_TRUE(DropOn(rows, *mime, Gap(rows, rows->Buttons(), 1)));
  EXPECT_FALSE(window_->Busy());
  ASSERT_TRUE(DropOn(rows, *mime, Gap(rows, rows->Buttons(), 2)));
  EXPECT_FALSE(rows->Marker()->isVisible());
  EXPECT_EQ(window_->Layout().rows, (Fields{category, country}));
  ASSERT_TRUE(Settle());

  // Year from columns to rows, in front of the first: the columns bar is empty and says so.
  mime = DragOut(columns->Buttons().at(0));
  ASSERT_NE(mime, nullptr);
  ASSERT_TRUE(DropOn(rows, *mime, Gap(rows, rows->Buttons(), 0)));
  EXPECT_EQ(window_->Layout().rows, (Fields{year, category, country}));
  EXPECT_TRUE(window_->Layout().columns.empty());
  ASSERT_TRUE(Settle());
  EXPECT_TRUE(columns->Buttons().isEmpty());
  EXPECT_TRUE(columns->Hint()->isVisible());
}

TEST_F(BrowseDragTest, ButtonsDragToAndFromTheSlicersAndOntoTheGrid) {
  ASSERT_TRUE(Open());
  const auto country = Field("Geography", "Country");
  const auto category = Field("Product", "Category");
  const auto year = Field("Time.Calendar", "Year");
  Lay({year, category, country}, {});
  BrowseAxisBar* rows = window_->RowsBar();
  BrowseAxisBar* columns = window_->ColumnsBar();
  BrowseSlicerBar* slicers = window_->Slicers();
  std::unique_ptr<QMimeData> mime;

  // The sample's three hierarchies all on an axis: no slicer, and the slicers' bar says what a
  // drop there does.
  ASSERT_TRUE(slicers->Buttons().isEmpty());
  EXPECT_TRUE(slicers->Hint()->isVisible());
  // Category to the slicers: it leaves rows and gets a slicer button.
  mime = DragOut(rows->Buttons().at(1));
  ASSERT_NE(mime, nullptr);
  ASSERT_TRUE(DragOver(slicers, *mime, QPoint(slicers->width() / 2, slicers->height() / 2)));
  EXPECT_TRUE(slicers->Marker()->isVisible());
  ASSERT_TRUE(DropOn(slicers, *mime, QPoint(slicers->width() / 2, slicers->height() / 2)));
  EXPECT_EQ(window_->Layout().rows, (Fields{year, country}));
  ASSERT_TRUE(Settle());
  ASSERT_EQ(slicers->Buttons().size(), 1);
  EXPECT_FALSE(slicers->Hint()->isVisible());
  // A field on no axis dropped on the slicers is refused: it is a slicer already.
  EXPECT_FALSE(DropOn(slicers, *DragOut(slicers->Buttons().at(0)), QPoint(4, 4)));

  // The slicer's button dragged onto the empty columns bar: the marker after its label.
  mime = DragOut(slicers->Buttons().at(0));
  ASSERT_NE(mime, nullptr);
  ASSERT_TRUE(DragOver(columns, *mime, QPoint(columns->width() / 2, columns->height() / 2)));
  EXPECT_TRUE(columns->Marker()->isVisible());
  ASSERT_TRUE(DropOn(columns, *mime, QPoint(columns->width() / 2, columns->height() / 2)));
  EXPECT_EQ(window_->Layout().columns, Fields{category});
  ASSERT_TRUE(Settle());
  EXPECT_FALSE(columns->Hint()->isVisible());

  // A button dropped on the grid's cells goes on rows, last.
  mime = DragOut(columns->Buttons().at(0));
  ASSERT_NE(mime, nullptr);
  ASSERT_TRUE(DropOn(window_->GridView()->viewport(), *mime, QPoint(8, 8)));
  EXPECT_EQ(window_->Layout().rows, (Fields{year, country, category}));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Grid()->Grid()->mdx, browse::PivotMdx(Model(), window_->Layout()));
  EXPECT_EQ(window_->Message(), "");

  // A click, not a drag, still opens the button's menu.
  QStringList entries;
  QTimer::singleShot(0, window_.get(), [&entries] { ReadPopup(entries, 200); });
  QTest::mouseClick(rows->Buttons().at(0), Qt::LeftButton);
  EXPECT_EQ(entries, MenuOf(rows, 0));
  EXPECT_FALSE(window_->Busy());
}

TEST_F(BrowseDragTest, MenusOfferOnlyWhatApplies) {
  ASSERT_TRUE(Open());
  const auto country = Field("Geography", "Country");
  const auto city = Field("Geography", "City");
  const auto category = Field("Product", "Category");
  const auto year = Field("Time.Calendar", "Year");
  const auto month = Field("Time.Calendar", "Month");
  Lay({country, year}, {});
  BrowseFieldList* list = window_->Fields();
  // On rows at this level: no Add to Rows. At another level of it: both. On no axis: no Remove.
  EXPECT_EQ(ListMenu(list->LevelItem(country.hierarchy, country.level)),
            (QStringList{"Add to Columns", "Remove", "Slice..."}));
  EXPECT_EQ(ListMenu(list->LevelItem(city.hierarchy, city.level)),
            (QStringList{"Add to Rows", "Add to Columns", "Remove", "Slice..."}));
  EXPECT_EQ(ListMenu(list->LevelItem(category.hierarchy, category.level)),
            (QStringList{"Add to Rows", "Add to Columns", "Slice..."}));
  // A double-click on a field on rows at its level leaves it where it is.
  emit list->itemDoubleClicked(list->LevelItem(country.hierarchy, country.level), 0);
  EXPECT_FALSE(window_->Busy());
  EXPECT_EQ(window_->Layout().rows, (Fields{country, year}));

  // The bars: no Move Left for the first field, no Move Right for the last, no Show from the
  // level it shows.
  BrowseAxisBar* rows = window_->RowsBar();
  EXPECT_EQ(MenuOf(rows, 0),
            (QStringList{"Move Right", "Move to Columns", "Show from City", "Remove"}));
  QStringList year_menu{"Move Left", "Move to Columns"};
  for (std::size_t level : FieldLevels(Model(), year.hierarchy)) {
    if (level != year.level)
      year_menu << "Show from " + QString::fromStdString(Model().Catalog().levels[level].name);
  }
  year_menu << "Remove";
  EXPECT_EQ(MenuOf(rows, 1), year_menu);
  ASSERT_TRUE(Trigger(rows, 1, "Move Left"));
  EXPECT_EQ(window_->Layout().rows, (Fields{year, country}));
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(Trigger(window_->RowsBar(), 0, "Move Right"));
  EXPECT_EQ(window_->Layout().rows, (Fields{country, year}));
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(Trigger(window_->RowsBar(), 1, "Show from Month"));
  EXPECT_EQ(window_->Layout().rows, (Fields{country, month}));
  ASSERT_TRUE(Settle());
  ASSERT_TRUE(Trigger(window_->RowsBar(), 0, "Move to Columns"));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(MenuOf(window_->ColumnsBar(), 0),
            (QStringList{"Move to Rows", "Show from City", "Remove"}));
}

TEST_F(BrowseDragTest, ActionsWaitForACubeAndMessagesGoOnceTheNextActionSucceeds) {
  // No cube: nothing to copy, swap, export or chart.
  auto* swap = window_->findChild<QPushButton*>("swap_axes");
  auto* export_chart = window_->Chart()->findChild<QPushButton*>("export_chart");
  ASSERT_NE(swap, nullptr);
  ASSERT_NE(export_chart, nullptr);
  const QStringList actions{"Copy", "Select All", "Export CSV...", "Export workbook (.xlsx)..."};
  const auto expect_enabled = [&](bool on) {
    for (const QString& text : actions) {
      QAction* action = Action(text);
      ASSERT_NE(action, nullptr);
      EXPECT_EQ(action->isEnabled(), on) << text.toStdString();
    }
    EXPECT_EQ(swap->isEnabled(), on);
    EXPECT_EQ(export_chart->isEnabled(), on);
    for (QCheckBox* box : window_->findChildren<QCheckBox*>())
      EXPECT_EQ(box->isEnabled(), on) << box->text().toStdString();
  };
  expect_enabled(false);
  QTest::mouseClick(swap, Qt::LeftButton);
  EXPECT_EQ(window_->Cube(), nullptr);
  ASSERT_TRUE(Open());
  expect_enabled(true);

  const auto swap_and_wait = [&] {
    QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
    QTest::mouseClick(swap, Qt::LeftButton);
    return WaitForAnswer(spy);
  };
  // A cube that fails to open: the red banner, until the next change is answered.
  EXPECT_FALSE(window_->OpenCube(QString::fromStdString(dir_.File("missing.cub"))));
  EXPECT_NE(window_->Message().indexOf("There is no file"), -1);
  ASSERT_TRUE(swap_and_wait());
  EXPECT_EQ(window_->Message(), "");

  // A failed export, then one that succeeds.
  EXPECT_NE(Export(dir_.File("none/pivot.csv"), false), "");
  EXPECT_NE(window_->Message().indexOf("Cannot export"), -1);
  EXPECT_EQ(Export(dir_.File("pivot.csv"), false), "");
  EXPECT_EQ(window_->Message(), "");

  // Cancelled, then the next change answered.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  QMetaObject::invokeMethod(
      window_->Runner()->Worker(), [released] { released.wait(); }, Qt::QueuedConnection);
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  QTest::mouseClick(swap, Qt::LeftButton);
  window_->CancelQuery();
  release.set_value();
  ASSERT_TRUE(WaitForAnswer(spy));
  EXPECT_NE(window_->Message().indexOf("Cancelled"), -1);
  ASSERT_TRUE(swap_and_wait());
  EXPECT_EQ(window_->Message(), "");

  // A query that cannot be a pivot: its message stays with the answer of the opening, and goes
  // with the next.
  ASSERT_TRUE(Open(Sample().Cube(), "SELECT FROM [OCWCube] WHERE [Nothing].[Here]"));
  EXPECT_NE(window_->Message().indexOf("cannot be shown as a pivot"), -1)
      << window_->Message().toStdString();
  ASSERT_TRUE(swap_and_wait());
  EXPECT_EQ(window_->Message(), "");
}

}  // namespace
}  // namespace cubemill::ui
