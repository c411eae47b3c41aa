// The table model of the pivot grid: one column per row field (the row headers), then one per
// column of the answer. Every value comes from the PivotGrid when the view asks, so that a view
// over 100,000 rows scrolls without anything prepared per row.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <memory>

#include "browse/pivot.h"

namespace cubemill::ui {

class BrowseGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The roles beyond Qt's that the header delegate and header view read.
  enum Role {
    kIndentRole = Qt::UserRole + 1,  // int: PivotHeader::indent
    kExpandRole,                     // int: 0 none, 1 can expand (+), 2 expanded (-)
    kMemberRole,                     // qulonglong: the CubeModel member, or -1
    kHeaderRole,                     // bool: a row-header cell
  };

  explicit BrowseGridModel(QObject* parent = nullptr);

  // Shows `grid` (nullptr: nothing); `row_field_names` label the row-header columns.
  void SetGrid(std::shared_ptr<const browse::PivotGrid> grid, QStringList row_field_names);
  const browse::PivotGrid* Grid() const { return grid_.get(); }
  // Row-header columns before the answer's columns.
  int HeaderColumns() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Horizontal: a row field's name over its column; a column's tuple, one line per member.
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // Whether the row header at (row, k) repeats the one above it with all its outer headers, and
  // so shows blank, as a pivot shows a group's caption once.
  bool RepeatsAbove(std::size_t row, std::size_t k) const;

  std::shared_ptr<const browse::PivotGrid> grid_;
  QStringList row_field_names_;
};

}  // namespace cubemill::ui
