// The column header's context menu of the browser's window: keep the top or bottom rows by that
// column's values, or the rows above or below a value, each asking its number in a small
// dialog; and remove the filter. A row header's menu does the same for the columns by that
// row's values. The filters become part of the MDX (TopCount, BottomCount, Filter), which the
// MDX pane shows.
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <limits>
#include <string>
#include <vector>

#include "browse/pivot_members.h"
#include "ui/browse_grid_view.h"
#include "ui/browse_window.h"

namespace cubemill::ui {

namespace {

using Kind = browse::PivotFilter::Kind;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void BrowseWindow::FilterRows(const browse::PivotFilter& filter) {
  ChangeLayout([&filter](browse::PivotLayout& layout, const query::CubeModel& model) {
    return browse::SetFilter(layout, model, filter);
  });
}

void BrowseWindow::RemoveFilter() {
  ChangeLayout([](browse::PivotLayout& layout, const query::CubeModel& model) {
    return browse::SetFilter(layout, model, std::nullopt);
  });
}

void BrowseWindow::FilterColumns(const browse::PivotFilter& filter) {
  ChangeLayout([&filter](browse::PivotLayout& layout, const query::CubeModel& model) {
    return browse::SetColumnFilter(layout, model, filter);
  });
}

void BrowseWindow::RemoveColumnFilter() {
  ChangeLayout([](browse::PivotLayout& layout, const query::CubeModel& model) {
    return browse::SetColumnFilter(layout, model, std::nullopt);
  });
}

void BrowseWindow::AskFilterAmount(const browse::PivotFilter& filter, bool of_columns) {
  // Non-modal, as the slicer's picker: the window keeps answering while it is open; OK applies
  // the filter to the column named when it opened, which SetFilter refuses once it has gone.
  auto* dialog = new QInputDialog(this);
  dialog->setObjectName("filter_amount");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(of_columns ? tr("Filter columns") : tr("Filter rows"));
  const QString what = of_columns ? tr("columns") : tr("rows");
  const bool counts = filter.kind == Kind::kTop || filter.kind == Kind::kBottom;
  if (counts) {
    dialog->setInputMode(QInputDialog::IntInput);
    dialog->setIntRange(1, 1000000);
    dialog->setIntValue(static_cast<int>(filter.amount));
    dialog->setLabelText(filter.kind == Kind::kTop
                             ? tr("Keep the %1 with the largest values:").arg(what)
                             : tr("Keep the %1 with the smallest values:").arg(what));
  } else {
    dialog->setInputMode(QInputDialog::DoubleInput);
    dialog->setDoubleRange(-std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    dialog->setDoubleDecimals(6);
    dialog->setDoubleValue(filter.amount);
    dialog->setLabelText(filter.kind == Kind::kAbove
                             ? tr("Keep the %1 whose value is above:").arg(what)
                             : tr("Keep the %1 whose value is below:").arg(what));
  }
  connect(dialog, &QDialog::accepted, this, [this, dialog, filter, counts, of_columns] {
    browse::PivotFilter chosen = filter;
    chosen.amount = counts ? dialog->intValue() : dialog->doubleValue();
    if (of_columns)
      FilterColumns(chosen);
    else
      FilterRows(chosen);
  });
  dialog->open();
}

QMenu* BrowseWindow::ColumnMenu(std::size_t column) {
  auto* menu = new QMenu(this);
  menu->setObjectName("column_menu");
  const bool measure_on_columns = !layout_.measures_on_rows || layout_.columns.empty();
  std::vector<std::string> names;
  if (grid_answer_ != nullptr && column < grid_answer_->column_unique_names.size())
    names = grid_answer_->column_unique_names[column];
  // A filter compares one measure's values: the column's, which it has when the measures are
  // on the columns.
  const bool can_filter = !names.empty() && !layout_.rows.empty() && measure_on_columns;
  const struct {
    QString text;
    Kind kind;
    double amount;
  } entries[] = {
      {tr("Top rows by this column..."), Kind::kTop, 10},
      {tr("Bottom rows by this column..."), Kind::kBottom, 10},
      {tr("Rows above a value..."), Kind::kAbove, 0},
      {tr("Rows below a value..."), Kind::kBelow, 0},
  };
  for (const auto& entry : entries) {
    QAction* action = menu->addAction(entry.text);
    action->setEnabled(can_filter);
    browse::PivotFilter filter{entry.kind, names, entry.amount};
    if (layout_.filter && layout_.filter->kind == entry.kind && layout_.filter->column == names)
      filter.amount = layout_.filter->amount;  // the dialog starts from the filter's number
    connect(action, &QAction::triggered, this, [this, filter] { AskFilterAmount(filter); });
  }
  menu->addSeparator();
  QAction* remove = menu->addAction(tr("Remove the filter"), this, &BrowseWindow::RemoveFilter);
  remove->setEnabled(layout_.filter.has_value());
  if (layout_.filter) {
    std::string by;
    for (const std::string& name : layout_.filter->column) by += (by.empty() ? "" : ", ") + name;
    remove->setToolTip(Text(by));
  }
  return menu;
}

QMenu* BrowseWindow::RowMenu(std::size_t row) {
  auto* menu = new QMenu(this);
  menu->setObjectName("row_menu");
  const bool measures_on_rows = layout_.measures_on_rows && !layout_.columns.empty();
  std::vector<std::string> names;
  if (grid_answer_ != nullptr && cube_ != nullptr && row < grid_answer_->row_unique_names.size())
    names = grid_answer_->row_unique_names[row];
  // A row's values are of one measure: its own when the measures are on the rows, else the one
  // measure shown (several on the columns give a row no one value).
  if (!measures_on_rows && !names.empty()) {
    if (layout_.measures.size() == 1)
      names.push_back(browse::MeasureName(*cube_->model, layout_.measures.front()));
    else
      names.clear();
  }
  const bool can_filter = !names.empty() && !layout_.columns.empty();
  const struct {
    QString text;
    Kind kind;
    double amount;
  } entries[] = {
      {tr("Top columns by this row..."), Kind::kTop, 10},
      {tr("Bottom columns by this row..."), Kind::kBottom, 10},
      {tr("Columns above a value..."), Kind::kAbove, 0},
      {tr("Columns below a value..."), Kind::kBelow, 0},
  };
  const auto& current = layout_.column_filter;
  for (const auto& entry : entries) {
    QAction* action = menu->addAction(entry.text);
    action->setEnabled(can_filter);
    browse::PivotFilter filter{entry.kind, names, entry.amount};
    if (current && current->kind == entry.kind && current->column == names)
      filter.amount = current->amount;
    connect(action, &QAction::triggered, this, [this, filter] { AskFilterAmount(filter, true); });
  }
  menu->addSeparator();
  QAction* remove =
      menu->addAction(tr("Remove the columns' filter"), this, &BrowseWindow::RemoveColumnFilter);
  remove->setEnabled(current.has_value());
  if (current) {
    std::string by;
    for (const std::string& name : current->column) by += (by.empty() ? "" : ", ") + name;
    remove->setToolTip(Text(by));
  }
  return menu;
}

void BrowseWindow::ConnectColumnMenu() {
  QHeaderView* header = grid_->horizontalHeader();
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& at) {
    const int column = header->logicalIndexAt(at) - grid_->GridModel()->HeaderColumns();
    if (cube_ == nullptr || column < 0) return;
    QMenu* menu = ColumnMenu(static_cast<std::size_t>(column));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(header->viewport()->mapToGlobal(at));
  });
  // The row headers are the grid's first columns; a scroll area's menu position is the
  // viewport's.
  grid_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const QModelIndex index = grid_->indexAt(at);
    if (cube_ == nullptr || !index.isValid() ||
        index.column() >= grid_->GridModel()->HeaderColumns())
      return;
    QMenu* menu = RowMenu(static_cast<std::size_t>(index.row()));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(grid_->viewport()->mapToGlobal(at));
  });
}

}  // namespace cubemill::ui
