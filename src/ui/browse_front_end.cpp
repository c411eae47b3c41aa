#include "ui/browse_front_end.h"

#include <QApplication>
#include <QIcon>
#include <clocale>

#include "browse/pivot_view.h"
#include "ui/browse_window.h"

namespace cubemill::ui {

int RunBrowseWindow(char* program, const std::string& cube, const std::string& mdx) {
  // Qt gets the program's name alone: the options were read before it started, and its own
  // settings come from the environment (QT_QPA_PLATFORM).
  int argc = 1;
  char* argv[] = {program, nullptr};
  QApplication app(argc, argv);
  // Qt takes every locale category from the environment; numbers the program parses and writes
  // for machines stay in "C". The figures shown read the separators of the environment's locale
  // on their own (platform::LocaleNumberSeparators).
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName("cubemill-browse");
  BrowseWindow window;
  window.setWindowIcon(QIcon::fromTheme("cubemill"));
  window.show();
  const QString query = QString::fromLocal8Bit(mdx);
  if (query.endsWith(browse::kViewSuffix, Qt::CaseInsensitive)) {
    if (window.OpenCube(QString::fromLocal8Bit(cube))) window.OpenView(query);
  } else if (!cube.empty()) {
    window.OpenCube(QString::fromLocal8Bit(cube), query);
  }
  return QApplication::exec();
}

}  // namespace cubemill::ui
