#include "ui/browse_grid_model.h"

#include <QFont>
#include <utility>

namespace cubemill::ui {
namespace {

int ExpandState(const browse::PivotHeader& header) {
  if (header.expanded) return 2;
  return header.can_expand ? 1 : 0;
}

bool AnyTotal(const std::vector<browse::PivotHeader>& headers) {
  for (const auto& header : headers) {
    if (header.total) return true;
  }
  return false;
}

}  // namespace

BrowseGridModel::BrowseGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void BrowseGridModel::SetGrid(std::shared_ptr<const browse::PivotGrid> grid,
                              QStringList row_field_names) {
  beginResetModel();
  grid_ = std::move(grid);
  row_field_names_ = std::move(row_field_names);
  endResetModel();
}

int BrowseGridModel::HeaderColumns() const {
  if (grid_ == nullptr) return 0;
  if (!grid_->row_headers.empty()) return static_cast<int>(grid_->row_headers.front().size());
  return static_cast<int>(row_field_names_.size());
}

int BrowseGridModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || grid_ == nullptr) return 0;
  return static_cast<int>(grid_->Rows());
}

int BrowseGridModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || grid_ == nullptr) return 0;
  return HeaderColumns() + static_cast<int>(grid_->Columns());
}

bool BrowseGridModel::RepeatsAbove(std::size_t row, std::size_t k) const {
  if (row == 0) return false;
  const auto& here = grid_->row_headers[row];
  const auto& above = grid_->row_headers[row - 1];
  for (std::size_t i = 0; i <= k; ++i) {
    if (i >= here.size() || i >= above.size()) return false;
    if (here[i].member != above[i].member || here[i].measure != above[i].measure ||
        here[i].total != above[i].total || here[i].caption != above[i].caption)
      return false;
  }
  // The innermost header is shown on every row: it is what the row is.
  return k + 1 < here.size();
}

QVariant BrowseGridModel::data(const QModelIndex& index, int role) const {
  if (grid_ == nullptr || !index.isValid()) return {};
  const auto row = static_cast<std::size_t>(index.row());
  const int header_columns = HeaderColumns();
  if (row >= grid_->Rows()) return {};
  if (index.column() < header_columns) {
    const auto k = static_cast<std::size_t>(index.column());
    const auto& headers = grid_->row_headers[row];
    if (k >= headers.size()) return {};
    const browse::PivotHeader& header = headers[k];
    const bool hidden = RepeatsAbove(row, k);
    switch (role) {
      case Qt::DisplayRole:
        return hidden ? QString() : QString::fromStdString(header.caption);
      case Qt::ToolTipRole:
        return QString::fromStdString(header.caption);
      case Qt::FontRole:
        if (header.total) {
          QFont bold;
          bold.setBold(true);
          return bold;
        }
        return {};
      case kIndentRole:
        return header.indent;
      case kExpandRole:
        return hidden ? 0 : ExpandState(header);
      case kMemberRole:
        return header.member == browse::npos ? QVariant(-1)
                                             : QVariant(static_cast<qulonglong>(header.member));
      case kHeaderRole:
        return true;
      default:
        return {};
    }
  }
  const auto column = static_cast<std::size_t>(index.column() - header_columns);
  if (column >= grid_->Columns()) return {};
  switch (role) {
    case Qt::DisplayRole:
      if (row < grid_->texts.size() && column < grid_->texts[row].size())
        return QString::fromStdString(grid_->texts[row][column]);
      return {};
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    case Qt::FontRole:
      if (AnyTotal(grid_->row_headers[row]) || AnyTotal(grid_->column_headers[column])) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
    case kHeaderRole:
      return false;
    default:
      return {};
  }
}

QVariant BrowseGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || grid_ == nullptr) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const int header_columns = HeaderColumns();
  if (section < header_columns) {
    if (role == Qt::DisplayRole && section < row_field_names_.size())
      return row_field_names_[section];
    return {};
  }
  const auto column = static_cast<std::size_t>(section - header_columns);
  if (column >= grid_->Columns()) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    QStringList lines;
    for (const auto& header : grid_->column_headers[column])
      lines << QString::fromStdString(header.caption);
    return lines.join('\n');
  }
  return {};
}

Qt::ItemFlags BrowseGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace cubemill::ui
