#include "ui/cube_picture.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QPolygonF>

namespace cubemill::ui {

namespace {

// Corners of the cube as seen: the top face is a rhombus, the two side faces hang below it.
const QPointF kTop(58, 3);       // back corner of the top face
const QPointF kLeft(5, 30);      // left corner of the top face
const QPointF kRight(111, 30);   // right corner of the top face
const QPointF kFront(58, 57);    // front corner of the top face
const QPointF kDown(0, 52);      // the vertical edges
const QColor kEdge(24, 22, 26);  // near black
const QColor kGrid(40, 36, 42);

// Draws one face spanned by `origin`, `u` and `v` (a parallelogram), filled with a gradient
// from `light` to `dark` and cut into 3 x 3 cells.
void DrawFace(QPainter& painter, QPointF origin, QPointF u, QPointF v, QColor light, QColor dark) {
  QPolygonF face;
  face << origin << origin + u << origin + u + v << origin + v;
  QLinearGradient gradient(origin, origin + u + v);
  gradient.setColorAt(0, light);
  gradient.setColorAt(1, dark);
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  painter.drawPolygon(face);

  painter.setPen(QPen(kGrid, 1.2));
  for (int i = 1; i < 3; ++i) {
    const double t = i / 3.0;
    painter.drawLine(origin + u * t, origin + u * t + v);
    painter.drawLine(origin + v * t, origin + v * t + u);
  }
  painter.setPen(QPen(kEdge, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolygon(face);
}

}  // namespace

QImage CubeImage() {
  QImage image(kCubePictureWidth, kCubePictureHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // Top face grey, left face dark red, right face blue-grey.
  DrawFace(painter, kLeft, kTop - kLeft, kFront - kLeft, QColor(196, 196, 200),
           QColor(128, 128, 134));
  DrawFace(painter, kLeft, kFront - kLeft, kDown, QColor(150, 30, 34), QColor(84, 12, 16));
  DrawFace(painter, kFront, kRight - kFront, kDown, QColor(112, 128, 148), QColor(58, 68, 84));
  return image;
}

QPixmap CubePicture() { return QPixmap::fromImage(CubeImage()); }

}  // namespace cubemill::ui
