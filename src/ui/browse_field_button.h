// A field's button on the Rows, Columns and Slicers bars, and what the bars share to take a
// dropped field: a click opens the button's menu (or clicks it when it has none); a press moved
// past the drag distance drags the field (kFieldMimeType) to another bar, into its own bar at
// another place, or onto the grid. While a drag hovers a bar, a marker shows where the field
// will land.
#pragma once

#include <QFrame>
#include <QList>
#include <QPoint>
#include <QToolButton>

#include "browse/pivot.h"

class QMimeData;

namespace cubemill::ui {

// The drag's data for field (hierarchy, level), shown as `text` where the drop takes text.
QMimeData* FieldMimeData(std::size_t hierarchy, std::size_t level, const QString& text);

class BrowseFieldButton : public QToolButton {
  Q_OBJECT

 public:
  BrowseFieldButton(browse::PivotField field, QWidget* parent = nullptr);
  const browse::PivotField& Field() const { return field_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // The press became a drag: runs it (on most platforms until the drop).
  void Drag();

  browse::PivotField field_;
  QPoint pressed_at_;
  bool pressed_ = false;
};

// The line between two buttons of a bar where a dragged field will land.
class BrowseDropMarker : public QFrame {
  Q_OBJECT

 public:
  explicit BrowseDropMarker(QWidget* bar);
  // Shows the marker in front of `buttons`[gap] (after the last for gap == size), or after
  // `before` when there are no buttons.
  void ShowAt(const QList<QToolButton*>& buttons, int gap, const QWidget* before);
};

// The gap among `buttons` (left to right) that point `x` of their bar falls in: the index of the
// first button whose middle is right of `x`, or the count.
int DropGap(const QList<QToolButton*>& buttons, int x);

}  // namespace cubemill::ui
