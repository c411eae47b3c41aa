// cubemill_screen_grab: saves what an X display shows, cut to the windows on it, as a PNG file.
// Used by scripts/screenshot.sh to take the README's picture of the window under a virtual
// X server.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace {

// The smallest rectangle holding every pixel that differs from the background colour, taken
// from the bottom-right corner (the screen is larger than the window on it).
QRect ContentRect(const QImage& image) {
  const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
  QRect rect;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != background) rect |= QRect(x, y, 1, 1);
    }
  }
  return rect;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: cubemill_screen_grab OUTPUT.png\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    std::fprintf(stderr, "cubemill_screen_grab: no screen\n");
    return 1;
  }
  const QImage image = screen->grabWindow(0).toImage();
  const QRect content = ContentRect(image);
  if (content.isEmpty()) {
    std::fprintf(stderr, "cubemill_screen_grab: the screen shows nothing\n");
    return 1;
  }
  if (!image.copy(content).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cubemill_screen_grab: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %dx%d at %d,%d\n", argv[1], content.width(), content.height(), content.x(),
              content.y());
  return 0;
}
