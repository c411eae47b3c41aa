// Drags made as a user makes them, on Qt's offscreen platform: the press and the move past the
// drag distance go to the field's button as real mouse events, which start its QDrag. The
// offscreen platform ends a drag at once without delivering it, so the drag's data is taken from
// the QDrag (alive until the event loop runs again) and the hover and the drop are delivered to
// the target as the platform would deliver them.
#pragma once

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace cubemill::ui {

// Presses `button`, moves the mouse past the drag distance and releases it; returns a copy of
// the data of the drag that started (nullptr for none).
inline std::unique_ptr<QMimeData> DragOut(QToolButton* button) {
  const QPoint start = button->rect().center();
  QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, start);
  QTest::mouseMove(button, start + QPoint(QApplication::startDragDistance() + 4, 2));
  std::unique_ptr<QMimeData> copy;
  if (auto* drag = button->findChild<QDrag*>(); drag != nullptr && drag->mimeData() != nullptr) {
    copy = std::make_unique<QMimeData>();
    for (const QString& format : drag->mimeData()->formats())
      copy->setData(format, drag->mimeData()->data(format));
  }
  QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, start);
  return copy;
}

// The drag enters `target` and moves to `point`; returns whether the target takes it there.
inline bool DragOver(QWidget* target, const QMimeData& mime, QPoint point) {
  QDragEnterEvent enter(point, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDragMoveEvent move(point, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
  return move.isAccepted();
}

// The drag leaves `target` without a drop.
inline void DragAway(QWidget* target) {
  QDragLeaveEvent leave;
  QApplication::sendEvent(target, &leave);
}

// The drag hovers `target` at `point` and drops there; returns whether the drop was taken.
inline bool DropOn(QWidget* target, const QMimeData& mime, QPoint point) {
  if (!DragOver(target, mime, point)) {
    DragAway(target);
    return false;
  }
  QDropEvent drop(QPointF(point), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

}  // namespace cubemill::ui
