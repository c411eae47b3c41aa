// The cube picture: the window's icon and the picture beside the tab control.
#pragma once

#include <QImage>
#include <QPixmap>

namespace cubemill::ui {

// Width and height of the cube picture in pixels.
inline constexpr int kCubePictureWidth = 116;
inline constexpr int kCubePictureHeight = 113;

// Draws the cube picture: a cube seen from above, cut into three by three cells on each visible
// face, on a transparent background.
QImage CubeImage();

// CubeImage() as a pixmap (needs a running QGuiApplication).
QPixmap CubePicture();

}  // namespace cubemill::ui
