#include "ui/browse_field_button.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include "ui/browse_grid_view.h"

namespace cubemill::ui {

QMimeData* FieldMimeData(std::size_t hierarchy, std::size_t level, const QString& text) {
  auto* mime = new QMimeData;
  mime->setData(kFieldMimeType, QString("%1 %2").arg(hierarchy).arg(level).toUtf8());
  mime->setText(text);
  return mime;
}

BrowseFieldButton::BrowseFieldButton(browse::PivotField field, QWidget* parent)
    : QToolButton(parent), field_(field) {
  setCursor(Qt::OpenHandCursor);
  // A click opens the menu; a held press does not (QToolButton's delayed popup would open it
  // under a drag that has not moved yet).
  connect(this, &QToolButton::clicked, this, [this] {
    if (menu() != nullptr) showMenu();
  });
}

void BrowseFieldButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QToolButton::mousePressEvent(event);
    return;
  }
  pressed_ = true;
  pressed_at_ = event->position().toPoint();
  setDown(true);
  event->accept();
}

void BrowseFieldButton::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_ || !(event->buttons() & Qt::LeftButton)) {
    QToolButton::mouseMoveEvent(event);
    return;
  }
  if ((event->position().toPoint() - pressed_at_).manhattanLength() <
      QApplication::startDragDistance())
    return;
  pressed_ = false;
  setDown(false);
  Drag();
}

void BrowseFieldButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) {
    QToolButton::mouseReleaseEvent(event);
    return;
  }
  pressed_ = false;
  setDown(false);
  // The menu may change the layout, which replaces the bar's buttons: this one is deleted only
  // once control is back in the window's event loop, and nothing here touches it after.
  if (rect().contains(event->position().toPoint())) emit clicked();
}

void BrowseFieldButton::contextMenuEvent(QContextMenuEvent* event) {
  if (menu() != nullptr) {
    event->accept();
    showMenu();
  }
}

void BrowseFieldButton::Drag() {
  // Owned by the button; Qt deletes it once the drag has ended.
  auto* drag = new QDrag(this);
  drag->setMimeData(FieldMimeData(field_.hierarchy, field_.level, text()));
  // The button's picture, faded, below and right of the pointer: the marker at the pointer
  // stays in sight.
  const QPixmap shot = grab();
  QPixmap faded(shot.size());
  faded.setDevicePixelRatio(shot.devicePixelRatio());
  faded.fill(Qt::transparent);
  {
    QPainter painter(&faded);
    painter.setOpacity(0.7);
    painter.drawPixmap(0, 0, shot);
  }
  drag->setPixmap(faded);
  drag->setHotSpot(QPoint(-12, -12));
  // A drop that changes the layout replaces the bar's buttons with deleteLater, so this button
  // outlives the drag's own event loop.
  drag->exec(Qt::MoveAction);
}

BrowseDropMarker::BrowseDropMarker(QWidget* bar) : QFrame(bar) {
  setObjectName("drop_marker");
  setFixedWidth(3);
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Highlight));
  setPalette(colours);
  hide();
}

void BrowseDropMarker::ShowAt(const QList<QToolButton*>& buttons, int gap, const QWidget* before) {
  auto* bar = parentWidget();
  int x = 0;
  if (buttons.isEmpty()) {
    x = before != nullptr ? before->geometry().right() + 2 : 0;
  } else if (gap < buttons.size()) {
    x = buttons[gap]->geometry().left() - 3;
  } else {
    x = buttons.back()->geometry().right() + 1;
  }
  setGeometry(std::max(0, x), 0, width(), bar->height());
  raise();
  show();
}

int DropGap(const QList<QToolButton*>& buttons, int x) {
  for (int i = 0; i < buttons.size(); ++i) {
    if (x < buttons[i]->geometry().center().x()) return i;
  }
  return static_cast<int>(buttons.size());
}

}  // namespace cubemill::ui
