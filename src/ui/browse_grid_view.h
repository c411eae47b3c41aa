// The pivot grid's view: the row headers drawn with their indent and a +/- box, the column
// headers one line per member of a column's tuple with their boxes too, the sorted column
// marked. Clicking a box asks to expand or collapse that member; clicking a column header asks
// to sort by that column; a field dropped on the column headers goes on columns, on the cells on
// rows.
#pragma once

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <cstddef>
#include <string>
#include <vector>

#include "ui/browse_grid_model.h"

namespace cubemill::ui {

// The MIME type of a dragged field: "<hierarchy index> <level index>" as text.
inline constexpr char kFieldMimeType[] = "application/x-cubemill-field";

// The room left and right of a header's text, and between its +/- box and its text.
inline constexpr int kCellMargin = 4;

// Where the +/- box of a header sits in `cell` for a header `indent` levels down.
QRect ExpandBoxRect(const QRect& cell, int indent, const QFontMetrics& metrics);

class BrowseColumnHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit BrowseColumnHeader(QWidget* parent = nullptr);
  // Marks answer column `column` (npos: none) as the sorted one.
  void SetSorted(std::size_t column, bool descending);
  // The box of answer column `column`'s header `line`, in this header's coordinates.
  QRect BoxRect(std::size_t column, std::size_t line) const;

 signals:
  void ToggleRequested(std::size_t member);
  void SortRequested(std::size_t column);
  void FieldDropped(std::size_t hierarchy, std::size_t level);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  QSize sectionSizeFromContents(int logicalIndex) const override;
  QSize sizeHint() const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Whether `x` is on a divider between sections, where a press resizes (and a double-click
  // fits) the section before it.
  bool OnDivider(int x) const;
  const browse::PivotGrid* Grid() const;
  int HeaderColumns() const;
  int LineHeight() const;
  std::size_t Lines() const;
  bool RepeatsLeft(std::size_t column, std::size_t line) const;

  std::size_t sorted_ = browse::npos;
  bool descending_ = true;
  int pressed_ = -1;       // the section a press began on, for a click
  bool resizing_ = false;  // a press on a divider, which QHeaderView handles
};

// Paints the row-header cells: indent, +/- box, caption.
class BrowseHeaderDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class BrowseGridView;

// The row-header columns kept in place over the left of the grid while it scrolls sideways: a
// second view of the same model and selection, as wide as the row-header columns, scrolled up and
// down with the grid, its column widths the grid's. Its clicks, boxes and drops are the grid's.
class BrowseFrozenColumns : public QTableView {
  Q_OBJECT

 public:
  explicit BrowseFrozenColumns(BrowseGridView* grid);
  BrowseColumnHeader* ColumnHeader() const { return header_; }

 protected:
  int sizeHintForColumn(int column) const override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  BrowseGridView* grid_;
  BrowseColumnHeader* header_;
};

class BrowseGridView : public QTableView {
  Q_OBJECT

 public:
  explicit BrowseGridView(QWidget* parent = nullptr);
  BrowseGridModel* GridModel() const { return model_; }
  BrowseColumnHeader* ColumnHeader() const { return header_; }
  // The selected cells as tab-separated text: the rectangle of selected rows and columns, with
  // the column headers above when a row header is among the selected cells.
  std::string SelectionText() const;
  // The box of the row header at (row, column) in the viewport's coordinates.
  QRect BoxRect(int row, int column) const;
  BrowseFrozenColumns* FrozenColumns() const { return frozen_; }
  // Fits each column to its content (see sizeHintForColumn), within kMostFitted pixels; after
  // the first kFittedColumns columns the others keep their width.
  void FitColumns();
  // The width column `column`'s cells need: those of the first rows, the rows in sight and the
  // last rows (the grand total), so that an answer of 100,000 rows is not measured row by row.
  int sizeHintForColumn(int column) const override;
  // Keeps the frozen row-header columns over the grid's left, as wide as those columns (none
  // when they would take most of the grid).
  void PlaceFrozenColumns();

  static constexpr int kMostFitted = 480;
  static constexpr int kFittedColumns = 500;
  static constexpr int kFittedRows = 200;

 signals:
  void ToggleRequested(std::size_t member);
  void FieldDropped(bool on_rows, std::size_t hierarchy, std::size_t level);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void updateGeometries() override;

 private:
  friend class BrowseFrozenColumns;
  // The member of the row header whose box is at `point` in `view` (this view or the frozen
  // one), or npos.
  std::size_t ClickedBox(const QTableView& view, const QPoint& point) const;

  BrowseGridModel* model_;
  BrowseColumnHeader* header_;
  BrowseFrozenColumns* frozen_;
};

// The field a drag carries, when it carries one.
bool DroppedField(const QMimeData* mime, std::size_t& hierarchy, std::size_t& level);

}  // namespace cubemill::ui
