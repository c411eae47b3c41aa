#include "ui/window_sleeper.h"

#include <QEventLoop>
#include <QTimer>

namespace cubemill::ui {

void WindowSleeper::Sleep(int seconds) {
  if (seconds <= 0) return;
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace cubemill::ui
