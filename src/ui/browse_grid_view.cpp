#include "ui/browse_grid_view.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <algorithm>
#include <set>

#include "browse/pivot_export.h"

namespace cubemill::ui {
namespace {

constexpr int kMargin = kCellMargin;

int IndentWidth(const QFontMetrics& metrics) { return metrics.height(); }

// Draws a +/- box: + for a member that can expand (state 1), - for one expanded (state 2).
void DrawBox(QPainter* painter, const QRect& box, int state, const QPalette& palette) {
  painter->save();
  painter->setPen(palette.color(QPalette::Mid));
  painter->setBrush(palette.color(QPalette::Base));
  painter->drawRect(box.adjusted(0, 0, -1, -1));
  painter->setPen(QPen(palette.color(QPalette::Text), 1));
  const int middle_y = box.top() + box.height() / 2;
  const int middle_x = box.left() + box.width() / 2;
  painter->drawLine(box.left() + 2, middle_y, box.right() - 2, middle_y);
  if (state == 1) painter->drawLine(middle_x, box.top() + 2, middle_x, box.bottom() - 2);
  painter->restore();
}

bool SameHeader(const browse::PivotHeader& a, const browse::PivotHeader& b) {
  return a.member == b.member && a.measure == b.measure && a.total == b.total &&
         a.caption == b.caption;
}

int ExpandState(const browse::PivotHeader& header) {
  if (header.expanded) return 2;
  return header.can_expand ? 1 : 0;
}

}  // namespace

QRect ExpandBoxRect(const QRect& cell, int indent, const QFontMetrics& metrics) {
  const int size = std::max(9, metrics.height() * 6 / 10) | 1;  // odd: a centred cross
  const int left = cell.left() + kMargin + indent * IndentWidth(metrics);
  return QRect(left, cell.top() + (cell.height() - size) / 2, size, size);
}

bool DroppedField(const QMimeData* mime, std::size_t& hierarchy, std::size_t& level) {
  if (mime == nullptr || !mime->hasFormat(kFieldMimeType)) return false;
  const QStringList parts = QString::fromUtf8(mime->data(kFieldMimeType)).split(' ');
  if (parts.size() != 2) return false;
  bool ok_hierarchy = false;
  bool ok_level = false;
  hierarchy = parts[0].toULongLong(&ok_hierarchy);
  level = parts[1].toULongLong(&ok_level);
  return ok_hierarchy && ok_level;
}

// ---- the column headers

BrowseColumnHeader::BrowseColumnHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(true);
  setHighlightSections(false);
  setAcceptDrops(true);
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

const browse::PivotGrid* BrowseColumnHeader::Grid() const {
  const auto* grid_model = qobject_cast<const BrowseGridModel*>(model());
  return grid_model == nullptr ? nullptr : grid_model->Grid();
}

int BrowseColumnHeader::HeaderColumns() const {
  const auto* grid_model = qobject_cast<const BrowseGridModel*>(model());
  return grid_model == nullptr ? 0 : grid_model->HeaderColumns();
}

int BrowseColumnHeader::LineHeight() const { return fontMetrics().height() + 6; }

std::size_t BrowseColumnHeader::Lines() const {
  const browse::PivotGrid* grid = Grid();
  if (grid == nullptr || grid->column_headers.empty()) return 1;
  return std::max<std::size_t>(1, grid->column_headers.front().size());
}

void BrowseColumnHeader::SetSorted(std::size_t column, bool descending) {
  sorted_ = column;
  descending_ = descending;
  viewport()->update();
}

bool BrowseColumnHeader::RepeatsLeft(std::size_t column, std::size_t line) const {
  const browse::PivotGrid* grid = Grid();
  if (column == 0 || line + 1 >= Lines()) return false;
  for (std::size_t k = 0; k <= line; ++k) {
    if (!SameHeader(grid->column_headers[column][k], grid->column_headers[column - 1][k]))
      return false;
  }
  return true;
}

QRect BrowseColumnHeader::BoxRect(std::size_t column, std::size_t line) const {
  const browse::PivotGrid* grid = Grid();
  if (grid == nullptr || column >= grid->Columns() || line >= grid->column_headers[column].size())
    return {};
  const int section = HeaderColumns() + static_cast<int>(column);
  const QRect cell(sectionViewportPosition(section), static_cast<int>(line) * LineHeight(),
                   sectionSize(section), LineHeight());
  return ExpandBoxRect(cell, grid->column_headers[column][line].indent, fontMetrics());
}

void BrowseColumnHeader::paintSection(QPainter* painter, const QRect& rect,
                                      int logicalIndex) const {
  QStyleOptionHeader option;
  initStyleOption(&option);
  option.rect = rect;
  option.section = logicalIndex;
  option.text.clear();
  style()->drawControl(QStyle::CE_Header, &option, painter, this);

  const browse::PivotGrid* grid = Grid();
  const int header_columns = HeaderColumns();
  const int line_height = LineHeight();
  const QFontMetrics metrics = fontMetrics();
  painter->save();
  painter->setClipRect(rect);
  if (grid == nullptr || logicalIndex < header_columns) {
    // A row field's name, on the last line, above its column of row headers.
    const QString name = model() != nullptr
                             ? model()->headerData(logicalIndex, Qt::Horizontal).toString()
                             : QString();
    const QRect line(rect.left() + kMargin, rect.bottom() - line_height + 1,
                     rect.width() - 2 * kMargin, line_height);
    QFont bold = painter->font();
    bold.setBold(true);
    painter->setFont(bold);
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter, name);
    painter->restore();
    return;
  }
  const auto column = static_cast<std::size_t>(logicalIndex - header_columns);
  if (column >= grid->Columns()) {
    painter->restore();
    return;
  }
  const auto& headers = grid->column_headers[column];
  for (std::size_t k = 0; k < headers.size(); ++k) {
    if (RepeatsLeft(column, k)) continue;
    const browse::PivotHeader& header = headers[k];
    const QRect cell(rect.left(), rect.top() + static_cast<int>(k) * line_height, rect.width(),
                     line_height);
    const QRect box = ExpandBoxRect(cell, header.indent, metrics);
    const int state = ExpandState(header);
    if (state != 0) DrawBox(painter, box, state, palette());
    QFont font = painter->font();
    font.setBold(header.total);
    painter->setFont(font);
    QRect text = cell;
    text.setLeft(box.right() + kMargin);
    text.setRight(cell.right() - kMargin);
    const bool last = k + 1 == headers.size();
    if (last && column == sorted_) {
      painter->drawText(text, Qt::AlignRight | Qt::AlignVCenter,
                        descending_ ? QStringLiteral("\u25BC") : QStringLiteral("\u25B2"));
      text.setRight(text.right() - metrics.horizontalAdvance(QStringLiteral("\u25BC ")));
    }
    painter->drawText(
        text, Qt::AlignLeft | Qt::AlignVCenter,
        metrics.elidedText(QString::fromStdString(header.caption), Qt::ElideRight, text.width()));
  }
  painter->restore();
}

QSize BrowseColumnHeader::sizeHint() const {
  QSize size = QHeaderView::sizeHint();
  size.setHeight(static_cast<int>(Lines()) * LineHeight());
  return size;
}

void BrowseColumnHeader::mousePressEvent(QMouseEvent* event) {
  // On a divider, QHeaderView's: it resizes the column. Elsewhere not: a press there selects the
  // column, and here a click sorts.
  resizing_ = event->button() == Qt::LeftButton && OnDivider(event->position().toPoint().x());
  if (resizing_) {
    pressed_ = -1;
    QHeaderView::mousePressEvent(event);
    return;
  }
  pressed_ = event->button() == Qt::LeftButton ? logicalIndexAt(event->position().toPoint()) : -1;
  event->accept();
}

void BrowseColumnHeader::mouseReleaseEvent(QMouseEvent* event) {
  if (resizing_) {
    resizing_ = false;
    QHeaderView::mouseReleaseEvent(event);
    return;
  }
  const QPoint point = event->position().toPoint();
  const int section = logicalIndexAt(point);
  const int pressed = pressed_;
  pressed_ = -1;
  event->accept();
  const browse::PivotGrid* grid = Grid();
  if (grid == nullptr || section != pressed || section < HeaderColumns()) return;
  const auto column = static_cast<std::size_t>(section - HeaderColumns());
  if (column >= grid->Columns()) return;
  const auto line = static_cast<std::size_t>(point.y() / LineHeight());
  const auto& headers = grid->column_headers[column];
  if (line < headers.size() && !RepeatsLeft(column, line) && ExpandState(headers[line]) != 0 &&
      BoxRect(column, line).adjusted(-2, -2, 2, 2).contains(point)) {
    emit ToggleRequested(headers[line].member);
    return;
  }
  emit SortRequested(column);
}

void BrowseColumnHeader::dragEnterEvent(QDragEnterEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseColumnHeader::dragMoveEvent(QDragMoveEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseColumnHeader::dropEvent(QDropEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!DroppedField(event->mimeData(), hierarchy, level)) return;
  event->acceptProposedAction();
  emit FieldDropped(hierarchy, level);
}

// ---- the row headers

void BrowseHeaderDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  if (!index.data(BrowseGridModel::kHeaderRole).toBool()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  const QString caption = item.text;
  item.text.clear();
  const QWidget* widget = option.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

  const int indent = index.data(BrowseGridModel::kIndentRole).toInt();
  const int state = index.data(BrowseGridModel::kExpandRole).toInt();
  const QFontMetrics metrics(item.font);
  const QRect box = ExpandBoxRect(option.rect, indent, metrics);
  if (state != 0) DrawBox(painter, box, state, option.palette);
  painter->save();
  painter->setFont(item.font);
  painter->setPen(option.state & QStyle::State_Selected
                      ? option.palette.color(QPalette::HighlightedText)
                      : option.palette.color(QPalette::Text));
  QRect text = option.rect;
  text.setLeft(box.right() + kMargin);
  text.setRight(option.rect.right() - kMargin);
  painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                    metrics.elidedText(caption, Qt::ElideRight, text.width()));
  painter->restore();
}

QSize BrowseHeaderDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  if (index.data(BrowseGridModel::kHeaderRole).toBool()) {
    const QFontMetrics metrics(option.font);
    const int indent = index.data(BrowseGridModel::kIndentRole).toInt();
    size.setWidth(size.width() + 2 * kMargin + (indent + 1) * IndentWidth(metrics));
  }
  return size;
}

// ---- the view

BrowseGridView::BrowseGridView(QWidget* parent)
    : QTableView(parent),
      model_(new BrowseGridModel(this)),
      header_(new BrowseColumnHeader(this)),
      frozen_(nullptr) {
  setHorizontalHeader(header_);
  setModel(model_);
  setItemDelegate(new BrowseHeaderDelegate(this));
  verticalHeader()->hide();
  // Every row as high as the first: the view never measures 100,000 rows.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  header_->setSectionResizeMode(QHeaderView::Interactive);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  // Per pixel: the columns slide under the frozen row headers rather than jump a column at a time.
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  frozen_ = new BrowseFrozenColumns(this);
  connect(header_, &BrowseColumnHeader::ToggleRequested, this, &BrowseGridView::ToggleRequested);
  connect(header_, &BrowseColumnHeader::FieldDropped, this,
          [this](std::size_t hierarchy, std::size_t level) {
            emit FieldDropped(false, hierarchy, level);
          });
}

QRect BrowseGridView::BoxRect(int row, int column) const {
  const QModelIndex index = model_->index(row, column);
  const QRect cell = visualRect(index);
  return ExpandBoxRect(cell, index.data(BrowseGridModel::kIndentRole).toInt(), fontMetrics());
}

std::size_t BrowseGridView::ClickedBox(const QTableView& view, const QPoint& point) const {
  const QModelIndex index = view.indexAt(point);
  if (!index.isValid() || !index.data(BrowseGridModel::kHeaderRole).toBool() ||
      index.data(BrowseGridModel::kExpandRole).toInt() == 0)
    return browse::npos;
  const QRect box = ExpandBoxRect(view.visualRect(index),
                                  index.data(BrowseGridModel::kIndentRole).toInt(), fontMetrics());
  if (!box.adjusted(-2, -2, 2, 2).contains(point)) return browse::npos;
  const QVariant member = index.data(BrowseGridModel::kMemberRole);
  return member.toLongLong() < 0 ? browse::npos : static_cast<std::size_t>(member.toULongLong());
}

void BrowseGridView::mouseReleaseEvent(QMouseEvent* event) {
  const std::size_t member = event->button() == Qt::LeftButton
                                 ? ClickedBox(*this, event->position().toPoint())
                                 : browse::npos;
  QTableView::mouseReleaseEvent(event);
  if (member != browse::npos) emit ToggleRequested(member);
}

std::string BrowseGridView::SelectionText() const {
  const browse::PivotGrid* grid = model_->Grid();
  if (grid == nullptr || selectionModel() == nullptr) return "";
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  if (selected.isEmpty()) return "";
  std::set<std::size_t> rows;
  std::set<std::size_t> columns;
  bool row_header = false;
  for (const QModelIndex& index : selected) {
    rows.insert(static_cast<std::size_t>(index.row()));
    columns.insert(static_cast<std::size_t>(index.column()));
    row_header = row_header || index.column() < model_->HeaderColumns();
  }
  // The table puts the column headers' lines above the grid's rows; the model's columns are the
  // table's.
  const std::size_t header_lines = browse::ColumnHeaderLines(*grid);
  std::vector<std::size_t> lines;
  if (row_header) {
    for (std::size_t k = 0; k < header_lines; ++k) lines.push_back(k);
  }
  for (std::size_t row : rows) lines.push_back(header_lines + row);
  return browse::TabSeparated(*grid, lines,
                              std::vector<std::size_t>(columns.begin(), columns.end()));
}

void BrowseGridView::dragEnterEvent(QDragEnterEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseGridView::dragMoveEvent(QDragMoveEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (DroppedField(event->mimeData(), hierarchy, level)) event->acceptProposedAction();
}

void BrowseGridView::dropEvent(QDropEvent* event) {
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  if (!DroppedField(event->mimeData(), hierarchy, level)) return;
  event->acceptProposedAction();
  emit FieldDropped(true, hierarchy, level);
}

}  // namespace cubemill::ui
