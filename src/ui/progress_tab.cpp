// The "Progress" tab of FrmMain: the list every job reports into, and the cube picture's move.
#include <QColor>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QTabWidget>
#include <cmath>

#include "ui/main_window.h"

namespace cubemill::ui {

void FrmMain::BuildProgressTab() {
  List1_ = new QListWidget;
  List1_->setObjectName("List1");
  List1_->setSelectionMode(QAbstractItemView::SingleSelection);
  List1_->setSortingEnabled(false);
  PlaceOnTab(kTabProgress, List1_, kList1);
}

void FrmMain::AddLine(const std::string& text) {
  List1_->addItem(QString::fromStdString(text));
  // The line shows at once, even though the job holds the window's thread.
  ProcessPaintEvents();
}

void FrmMain::listSetLast() {
  const int last = List1_->count() - 1;
  List1_->setCurrentRow(last);
  if (last >= 0) List1_->scrollToItem(List1_->item(last));
}

void FrmMain::listSetRed() {
  // The list's text colour, so the lines already there and every later one are red.
  QPalette palette = List1_->palette();
  palette.setColor(QPalette::Text, QColor(255, 0, 0));
  List1_->setPalette(palette);
  ProcessPaintEvents();
}

void FrmMain::ImageCubeMoveDown() {
  // New top = top of the list (relative to the tab control) + its height - the picture's
  // height, in twips; the result is taken as a position in the window's client area.
  const float list_height = static_cast<float>(List1_->height() * kTwipsPerPixel);
  const float image_height = static_cast<float>(ImageCube_->height() * kTwipsPerPixel);
  const float list_top = static_cast<float>(List1_->y() * kTwipsPerPixel);
  const float top = list_top + list_height - image_height;
  ImageCube_->move(ImageCube_->x(), static_cast<int>(std::lround(top / kTwipsPerPixel)));
  ProcessPaintEvents();
}

}  // namespace cubemill::ui
