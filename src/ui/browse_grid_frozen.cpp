// The grid's row-header columns frozen at its left while it scrolls sideways, and its columns
// fitted to their content: the cells', the column headers' and a divider's double-click.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <set>

#include "ui/browse_grid_view.h"

namespace cubemill::ui {
namespace {

constexpr int kMargin = kCellMargin;

}  // namespace

// ---- the column headers' sizes

bool BrowseColumnHeader::OnDivider(int x) const {
  const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
  const int section = logicalIndexAt(x);
  if (section < 0) return false;
  const int left = sectionViewportPosition(section);
  const int right = left + sectionSize(section);
  return right - x <= grip || (x - left < grip && visualIndex(section) > 0);
}

QSize BrowseColumnHeader::sectionSizeFromContents(int logicalIndex) const {
  QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
  const browse::PivotGrid* grid = Grid();
  const int header_columns = HeaderColumns();
  const QFontMetrics metrics = fontMetrics();
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics bold_metrics(bold);
  int width = 0;
  if (logicalIndex < header_columns && model() != nullptr) {
    // A row field's name, painted bold.
    width = 2 * kMargin + bold_metrics.horizontalAdvance(
                              model()->headerData(logicalIndex, Qt::Horizontal).toString());
  } else if (grid != nullptr) {
    const auto column = static_cast<std::size_t>(logicalIndex - header_columns);
    if (column < grid->Columns()) {
      for (const auto& header : grid->column_headers[column]) {
        // As paintSection lays it out: the box, the caption and room for the sort's arrow.
        const QFontMetrics& shown = header.total ? bold_metrics : metrics;
        const int box =
            ExpandBoxRect(QRect(0, 0, 100, LineHeight()), header.indent, metrics).right() + 1;
        width =
            std::max(width, box + 3 * kMargin +
                                shown.horizontalAdvance(QString::fromStdString(header.caption)) +
                                metrics.horizontalAdvance(QStringLiteral("\u25BC ")));
      }
    }
  }
  size.setWidth(std::max(size.width(), width));
  size.setHeight(static_cast<int>(Lines()) * LineHeight());
  return size;
}

// ---- the frozen row-header columns

BrowseFrozenColumns::BrowseFrozenColumns(BrowseGridView* grid)
    : QTableView(grid->viewport()->parentWidget()),
      grid_(grid),
      header_(new BrowseColumnHeader(this)) {
  setHorizontalHeader(header_);
  setModel(grid->GridModel());
  // One selection for both views: a row header selected here is selected in the grid.
  QItemSelectionModel* own = selectionModel();
  setSelectionModel(grid->selectionModel());
  delete own;
  setItemDelegate(new BrowseHeaderDelegate(this));
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(grid->verticalHeader()->defaultSectionSize());
  header_->setSectionResizeMode(QHeaderView::Interactive);
  setSelectionMode(grid->selectionMode());
  setSelectionBehavior(grid->selectionBehavior());
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setFrameShape(QFrame::NoFrame);
  // The grid keeps the keyboard and the scroll bars; this view shows only what lies under it.
  setFocusPolicy(Qt::NoFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  setStyleSheet(QStringLiteral("QTableView { border-right: 1px solid palette(mid); }"));

  connect(verticalScrollBar(), &QAbstractSlider::valueChanged, grid->verticalScrollBar(),
          &QAbstractSlider::setValue);
  connect(grid->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
          &QAbstractSlider::setValue);
  // A divider dragged or double-clicked here resizes the grid's column, and the other way.
  connect(header_, &QHeaderView::sectionResized, grid,
          [grid](int section, int, int size) { grid->setColumnWidth(section, size); });
  connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int section, int, int size) {
            if (section < grid_->GridModel()->HeaderColumns()) setColumnWidth(section, size);
            grid_->PlaceFrozenColumns();
          });
  connect(header_, &BrowseColumnHeader::ToggleRequested, grid, &BrowseGridView::ToggleRequested);
  connect(grid->GridModel(), &QAbstractItemModel::modelReset, grid,
          &BrowseGridView::PlaceFrozenColumns, Qt::QueuedConnection);
  hide();
}

int BrowseFrozenColumns::sizeHintForColumn(int column) const {
  return grid_->sizeHintForColumn(column);
}

void BrowseFrozenColumns::mouseReleaseEvent(QMouseEvent* event) {
  const std::size_t member = event->button() == Qt::LeftButton
                                 ? grid_->ClickedBox(*this, event->position().toPoint())
                                 : browse::npos;
  QTableView::mouseReleaseEvent(event);
  if (member != browse::npos) emit grid_->ToggleRequested(member);
}

void BrowseFrozenColumns::dragEnterEvent(QDragEnterEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseFrozenColumns::dragMoveEvent(QDragMoveEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseFrozenColumns::dropEvent(QDropEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!DroppedField(event->mimeData(), hierarchy, level)) return;
  event->acceptProposedAction();
  // Over the row headers, as over the grid's cells: on rows.
  emit grid_->FieldDropped(true, hierarchy, level);
}

// ---- the grid's side

void BrowseGridView::PlaceFrozenColumns() {
  if (frozen_ == nullptr) return;
  const int columns = model_->HeaderColumns();
  int width = 0;
  for (int c = 0; c < columns; ++c) {
    if (frozen_->columnWidth(c) != columnWidth(c)) frozen_->setColumnWidth(c, columnWidth(c));
    width += columnWidth(c);
  }
  // Frozen columns that take most of the grid would leave no room to scroll the others into.
  if (columns == 0 || width > viewport()->width() * 2 / 3) {
    frozen_->hide();
    return;
  }
  frozen_->ColumnHeader()->setFixedHeight(horizontalHeader()->height());
  frozen_->setGeometry(viewport()->x(), horizontalHeader()->y(), width,
                       horizontalHeader()->height() + viewport()->height());
  frozen_->verticalScrollBar()->setValue(verticalScrollBar()->value());
  frozen_->show();
  frozen_->raise();
}

void BrowseGridView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  PlaceFrozenColumns();
}

void BrowseGridView::updateGeometries() {
  QTableView::updateGeometries();
  if (frozen_ != nullptr) PlaceFrozenColumns();
}

int BrowseGridView::sizeHintForColumn(int column) const {
  const int rows = model_->rowCount();
  if (column < 0 || column >= model_->columnCount() || rows == 0) return -1;
  std::set<int> sampled;
  for (int r = 0; r < std::min(rows, kFittedRows); ++r) sampled.insert(r);
  const int first_shown = std::max(0, rowAt(0));
  const int last_shown = rowAt(viewport()->height()) < 0 ? rows - 1 : rowAt(viewport()->height());
  for (int r = first_shown; r <= last_shown && r < first_shown + kFittedRows; ++r)
    sampled.insert(r);
  for (int r = std::max(0, rows - 3); r < rows; ++r) sampled.insert(r);  // the grand total

  QStyleOptionViewItem option;
  initViewItemOption(&option);
  // A total is bold: every cell is measured bold, so that a total further down fits too.
  QFont bold = option.font;
  bold.setBold(true);
  option.font = bold;
  option.fontMetrics = QFontMetrics(bold);
  int width = 0;
  for (int r : sampled) {
    const QModelIndex index = model_->index(r, column);
    width = std::max(width, itemDelegateForIndex(index)->sizeHint(option, index).width());
  }
  return width + 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) +
         (showGrid() ? 1 : 0);
}

void BrowseGridView::FitColumns() {
  const int columns = std::min(model_->columnCount(), kFittedColumns);
  for (int c = 0; c < columns; ++c) {
    const int fitted = std::max(sizeHintForColumn(c), header_->sectionSizeHint(c));
    setColumnWidth(c, std::min(fitted, kMostFitted));
  }
  PlaceFrozenColumns();
}

}  // namespace cubemill::ui
