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
class QLabel;
class QLineEdit;
class QListWidget;
class QMimeData;
class QToolButton;

namespace cubemill::ui {

class BrowseDropMarker;

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

// "Slicers: [Gender: F] [Product: All]": a button per hierarchy on no axis, which picks its
// members or drags it onto an axis. A field of an axis dropped here leaves its axis.
class BrowseSlicerBar : public QWidget {
  Q_OBJECT

 public:
  explicit BrowseSlicerBar(QWidget* parent = nullptr);
  // One button per hierarchy of `model` on neither axis of `layout`.
  void ShowLayout(const query::CubeModel* model, const browse::PivotLayout& layout);
  const QList<QToolButton*>& Buttons() const { return buttons_; }
  BrowseDropMarker* Marker() const { return marker_; }
  QLabel* Hint() const { return hint_; }

 signals:
  void PickRequested(std::size_t hierarchy);
  // A field on an axis was dropped here.
  void FieldDropped(std::size_t hierarchy);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The hierarchy a drag carries when it is on an axis (else npos).
  std::size_t AxisField(const QMimeData* mime) const;

  QHBoxLayout* layout_;
  QLabel* label_;
  QLabel* hint_;
  BrowseDropMarker* marker_;
  std::vector<std::size_t> on_axes_;  // the hierarchies on rows or columns
  QList<QToolButton*> buttons_;
};

}  // namespace cubemill::ui
