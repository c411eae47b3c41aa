// The slicers above the grid: one button per hierarchy that is on no axis, showing which of its
// members the answer is restricted to, and the dialog that picks them (a checkable list of the
// hierarchy's members with a filter box).
#pragma once

#include <QDialog>
#include <QWidget>
#include <cstddef>
#include <vector>

#include "browse/pivot.h"

class QHBoxLayout;
class QLineEdit;
class QListWidget;

namespace cubemill::ui {

class BrowseMemberPicker : public QDialog {
  Q_OBJECT

 public:
  // Lists the members of `hierarchy` below ALL in hierarchy order, indented by level, those of
  // `checked` checked.
  BrowseMemberPicker(const query::CubeModel& model, std::size_t hierarchy,
                     const std::vector<std::size_t>& checked, QWidget* parent = nullptr);
  std::size_t Hierarchy() const { return hierarchy_; }
  // The checked members, in hierarchy order; empty for "all".
  std::vector<std::size_t> Checked() const;
  // Shows only the members whose name contains `text` (without regard to letter case).
  void Filter(const QString& text);
  QListWidget* List() const { return list_; }
  QLineEdit* FilterBox() const { return filter_; }

 private:
  std::size_t hierarchy_;
  QLineEdit* filter_;
  QListWidget* list_;
};

class BrowseSlicerBar : public QWidget {
  Q_OBJECT

 public:
  explicit BrowseSlicerBar(QWidget* parent = nullptr);
  // One button per hierarchy of `model` on neither axis of `layout`.
  void ShowLayout(const query::CubeModel* model, const browse::PivotLayout& layout);

 signals:
  void PickRequested(std::size_t hierarchy);

 private:
  QHBoxLayout* layout_;
  QList<QWidget*> buttons_;
};

}  // namespace cubemill::ui
