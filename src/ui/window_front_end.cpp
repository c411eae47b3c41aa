#include "ui/window_front_end.h"

#include <QApplication>
#include <QElapsedTimer>
#include <clocale>
#include <cstdint>

#include "platform/clock.h"
#include "platform/process.h"
#include "provider/connection/engine_connection.h"
#include "ui/main_window.h"
#include "ui/window_sleeper.h"

namespace cubemill::ui {

bool WindowCanOpen(int argc, char** argv) {
  return platform::SucceedsInChild([argc, argv] {
    static char fallback_name[] = "cubemill";
    char* qt_argv[] = {argc > 0 && argv != nullptr ? argv[0] : fallback_name, nullptr};
    int qt_argc = 1;
    QApplication app(qt_argc, qt_argv);
    return true;
  });
}

int RunWindowFrontEnd(int argc, char** argv, const std::string& parameter, bool pause_at_end,
                      std::function<void(const std::string&)> report_error) {
  static char fallback_name[] = "cubemill";
  char* qt_argv[] = {argc > 0 && argv != nullptr ? argv[0] : fallback_name, nullptr};
  int qt_argc = 1;
  QApplication app(qt_argc, qt_argv);
  // Qt takes every locale category from the environment; the numbers a build reads and writes
  // stay in "C", as in the console.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("Cubemill");

  platform::SystemClock clock;
  WindowSleeper sleeper;
  // While a cube build reads its source rows, the window keeps painting (a few times a second).
  auto new_connection = [&clock] {
    auto since_paint = std::make_shared<QElapsedTimer>();
    since_paint->start();
    return provider::connection::NewEngineConnection(
        [since_paint](std::uint64_t) {
          if (since_paint->elapsed() < 200) return;
          ProcessPaintEvents();
          since_paint->restart();
        },
        &clock);
  };

  FrmMain window(clock, sleeper, new_connection);
  window.SetJobEnding(pause_at_end, std::move(report_error));
  const int status = window.Form_Load(parameter);
  // A command-line job has run and unloaded the window: nothing else runs after its pause.
  if (window.unloaded() || !parameter.empty()) return status;
  QApplication::exec();
  return 0;
}

}  // namespace cubemill::ui
