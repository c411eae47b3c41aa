// The window of cubemill-browse: the cube's fields on the left; on the right the slicers, the
// fields on rows and columns, the grid and the chart of the answer, and the MDX sent. Every
// change of the layout asks again on the query runner's thread; the newest answer is shown.
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "browse/pivot.h"
#include "browse/pivot_history.h"
#include "ui/browse_cube.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace cubemill::ui {

class BrowseAxisBar;
class BrowseChart;
class BrowseExporter;
class BrowseFieldList;
class BrowseGridView;
class BrowseQueryRunner;
class BrowseSlicerBar;

class BrowseWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit BrowseWindow(QWidget* parent = nullptr);
  ~BrowseWindow() override;

  // Opens the cube file at `path` and asks for `mdx`'s layout (LayoutFromMdx); without `mdx`,
  // for the layout the cube had when it was last closed (if it still fits), else the default
  // one, which also shows when `mdx` cannot be shown as a pivot (the message then says why). The
  // layout of the cube that was open is kept for next time, and Undo starts afresh. On failure
  // shows the message and keeps the cube that was open. Returns whether it opened.
  bool OpenCube(const QString& path, const QString& mdx = {});
  // Changes the layout with `change` (one of the pivot's edits) and asks again when it changed.
  void ChangeLayout(
      const std::function<bool(browse::PivotLayout&, const query::CubeModel&)>& change);
  // Drills into `member` or closes it, as clicking its +/- does.
  void ToggleMember(std::size_t member);
  // Sorts by answer column `column`; the same column again turns the order round.
  void SortByColumn(std::size_t column);
  // Filters the rows (SetFilter), or removes their filter.
  void FilterRows(const browse::PivotFilter& filter);
  void RemoveFilter();
  // Filters the columns (SetColumnFilter), or removes their filter.
  void FilterColumns(const browse::PivotFilter& filter);
  void RemoveColumnFilter();
  // The context menu of answer column `column`'s header (browse_window_filter.cpp): its
  // entries ask for the filter's number in a non-modal dialog ("filter_amount") that applies it.
  QMenu* ColumnMenu(std::size_t column);
  // The context menu of answer row `row`'s header ("row_menu"): the columns' filter by that row.
  QMenu* RowMenu(std::size_t row);
  // Opens the member picker of `hierarchy`'s slicer (non-modal; OK applies it).
  void PickSlicer(std::size_t hierarchy);
  // Cancels the query that runs.
  void CancelQuery();

  // The exports of the grid shown behind the menu's actions, to a chosen file: a complete file
  // or none. Each starts writing on the exporter's thread (progress and Cancel in the status
  // bar) and returns whether it started: not without an answer, nor while another runs (the
  // status bar then says so). Its end shows in the status bar (the file's name) or, failed, in
  // the message bar.
  bool ExportCsv(const QString& path);
  bool ExportWorkbook(const QString& path);
  // The chart as the window shows it, at once; shows its failure and returns false.
  bool ExportChart(const QString& path);
  // Puts the grid's selection on the clipboard as tab-separated text.
  void CopySelection();

  // Layouts that last (browse_window_views.cpp). Undo and Redo step back and forth through the
  // layouts the gestures made since the cube opened, asking again; false when there is none.
  bool Undo();
  bool Redo();
  // Writes the layout as a view file (browse::PivotView), a complete file or none; the status
  // bar names it, the message bar says why it failed.
  bool SaveView(const QString& path);
  // Shows the view file at `path` on the cube open, as one step to undo; with no cube open, on
  // the cube the view names. What the cube lacks is left out and named in the message bar; a
  // file that is no view leaves the layout as it was and says why.
  bool OpenView(const QString& path);
  // Each cube's last layout is kept between sessions in the user's settings (QSettings' INI
  // file in the user's config folder: the array "last-views" of "cube" and "view", the view's
  // text, the newest first, for the last 100 cubes), the cube named by this path of its file.
  // OpenCube without a query shows the one kept for that file, if it still fits the cube.
  static QString KeptCubePath(const QString& cube_path);

  const browse::PivotLayout& Layout() const { return layout_; }
  const BrowseCube* Cube() const { return cube_.get(); }
  bool Busy() const { return pending_ != 0; }
  QString Message() const;
  QString MdxText() const;
  BrowseGridView* GridView() const { return grid_; }
  BrowseChart* Chart() const { return chart_; }
  BrowseFieldList* Fields() const { return fields_; }
  BrowseSlicerBar* Slicers() const { return slicers_; }
  BrowseAxisBar* RowsBar() const { return rows_bar_; }
  BrowseAxisBar* ColumnsBar() const { return columns_bar_; }
  BrowseQueryRunner* Runner() const { return runner_.get(); }
  BrowseExporter* Exporter() const { return exporter_; }
  QCheckBox* SubtotalsBox() const { return subtotals_; }

 signals:
  // An answer (or its failure) has been shown.
  void AnswerShown();

 protected:
  // Keeps the cube's layout for the next time it opens.
  void closeEvent(QCloseEvent* event) override;

 private:
  // The widgets and their places (browse_window.cpp).
  void BuildMdxPane();
  void LayOutWidgets();
  void BuildActions();
  // What the gestures do (browse_window_actions.cpp, browse_window_filter.cpp).
  void ConnectGestures();
  void ConnectColumnMenu();
  void AskFilterAmount(const browse::PivotFilter& filter, bool of_columns = false);
  void Ask();
  void Answered(std::uint64_t request, Result<browse::PivotGrid> answer);
  void ShowLayout();
  void ShowMessage(const QString& text, bool error = true);
  // Enables the actions that need a cube, or an answer, when there is one.
  void EnableActions();
  void ShowGrid(std::shared_ptr<const browse::PivotGrid> grid);
  void OpenWithDialog();
  QString SaveName(const QString& title, const QString& filter, const QString& suffix);
  bool StartExport(const QString& path, bool workbook);
  void Exported(const QString& path, const QString& error);
  void BuildViewActions(QMenu* file, QMenu* edit);
  void RememberLayout() const;
  // The layout kept for the cube open, when there is one and it still fits the cube.
  std::optional<browse::PivotLayout> RememberedLayout() const;

  std::shared_ptr<const BrowseCube> cube_;
  browse::PivotLayout layout_;
  std::shared_ptr<const browse::PivotGrid> grid_answer_;
  // The layout of the answer shown, which a cancelled or failed query goes back to.
  std::optional<browse::PivotLayout> shown_layout_;
  std::uint64_t pending_ = 0;  // the request whose answer is awaited, 0 for none
  // The message shown is older than the layout asked for: its answer clears it.
  bool message_stale_ = false;
  browse::LayoutHistory history_;  // the layouts since the cube opened, for Undo and Redo
  std::unique_ptr<BrowseQueryRunner> runner_;

  BrowseFieldList* fields_;
  BrowseSlicerBar* slicers_;
  BrowseAxisBar* rows_bar_;
  BrowseAxisBar* columns_bar_;
  BrowseGridView* grid_;
  BrowseChart* chart_;
  QTabWidget* tabs_;
  QLabel* message_;
  QLabel* status_;
  QProgressBar* busy_;
  QPushButton* cancel_;
  QCheckBox* non_empty_;
  QCheckBox* totals_;
  QCheckBox* subtotals_;
  QToolButton* mdx_toggle_;
  QWidget* mdx_pane_;
  QPlainTextEdit* mdx_;
  QPushButton* swap_ = nullptr;
  QAction* export_csv_ = nullptr;
  QAction* export_workbook_ = nullptr;
  QAction* copy_ = nullptr;
  QAction* select_all_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QAction* save_view_ = nullptr;
  BrowseExporter* exporter_ = nullptr;
};

}  // namespace cubemill::ui
