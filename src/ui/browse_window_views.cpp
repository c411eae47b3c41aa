// Layouts that last in the browse window: Undo and Redo of the layout's steps, views saved to
// and opened from files, and each cube's last layout kept in the user's settings.
#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QStringList>
#include <string>

#include "browse/pivot_view.h"
#include "ui/browse_window.h"

namespace cubemill::ui {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The browser's settings: an INI file in the user's config folder
// ($XDG_CONFIG_HOME/cubemill/cubemill-browse.ini).
constexpr QSettings::Format kFormat = QSettings::IniFormat;
constexpr char kOrganization[] = "cubemill";
constexpr char kApplication[] = "cubemill-browse";

constexpr char kLastViews[] = "last-views";
constexpr int kKeptCubes = 100;

}  // namespace

void BrowseWindow::BuildViewActions(QMenu* file, QMenu* edit) {
  QAction* open_view = file->addAction(tr("Open &view..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open view"), {},
                                                      tr("Views (*.cmview);;All files (*)"));
    if (!path.isEmpty()) OpenView(path);
  });
  open_view->setObjectName("open_view");
  save_view_ = file->addAction(tr("&Save view..."), this, [this] {
    const QString path = SaveName(tr("Save view"), tr("Views (*.cmview)"), "cmview");
    if (!path.isEmpty()) SaveView(path);
  });
  save_view_->setObjectName("save_view");
  save_view_->setShortcut(QKeySequence::Save);

  undo_ = edit->addAction(tr("&Undo"), this, &BrowseWindow::Undo);
  undo_->setObjectName("undo");
  undo_->setShortcut(QKeySequence::Undo);
  redo_ = edit->addAction(tr("&Redo"), this, &BrowseWindow::Redo);
  redo_->setObjectName("redo");
  // Ctrl+Shift+Z and Ctrl+Y both, whichever the platform's own is.
  QList<QKeySequence> redo_keys = QKeySequence::keyBindings(QKeySequence::Redo);
  for (const QKeySequence& key :
       {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
    if (!redo_keys.contains(key)) redo_keys << key;
  }
  redo_->setShortcuts(redo_keys);
  for (QAction* action : {undo_, redo_, save_view_}) action->setShortcutContext(Qt::WindowShortcut);
  edit->addSeparator();
}

bool BrowseWindow::Undo() {
  if (cube_ == nullptr) return false;
  auto layout = history_.Undo();
  if (!layout) return false;
  layout_ = std::move(*layout);
  Ask();
  return true;
}

bool BrowseWindow::Redo() {
  if (cube_ == nullptr) return false;
  auto layout = history_.Redo();
  if (!layout) return false;
  layout_ = std::move(*layout);
  Ask();
  return true;
}

bool BrowseWindow::SaveView(const QString& path) {
  if (cube_ == nullptr) return false;
  // The cube by its absolute path, which finds it from wherever the view is opened.
  const QString cube = QFileInfo(Text(cube_->path)).absoluteFilePath();
  const browse::PivotView view = browse::ViewOfLayout(*cube_->model, layout_, cube.toStdString());
  const QString name = QDir::toNativeSeparators(path);
  if (auto error = browse::WriteViewFile(view, path.toStdString())) {
    ShowMessage(tr("Cannot save the view to %1: %2").arg(name, Text(error->description)));
    return false;
  }
  statusBar()->showMessage(tr("View saved to %1").arg(name));
  return true;
}

bool BrowseWindow::OpenView(const QString& path) {
  auto view = browse::ReadViewFile(path.toStdString());
  if (!view) {
    ShowMessage(tr("Cannot open the view: %1").arg(Text(view.error().description)));
    return false;
  }
  if (cube_ == nullptr) {
    // The cube the view was made on, when there is no other to show it on.
    // A relative path (a view written by hand) starts from the view's folder.
    QString cube = Text(view->cube);
    if (!cube.isEmpty()) cube = QFileInfo(path).absoluteDir().absoluteFilePath(cube);
    if (cube.isEmpty() || !QFileInfo(cube).isFile()) {
      ShowMessage(
          tr("Open a cube first: the view %1 was made on %2, which is not there.")
              .arg(QDir::toNativeSeparators(path), cube.isEmpty() ? tr("no cube it names") : cube));
      return false;
    }
    if (!OpenCube(cube)) return false;
  }
  browse::ViewLayout opened = browse::LayoutOfView(*cube_->model, *view);
  ChangeLayout([&opened](browse::PivotLayout& layout, const query::CubeModel&) {
    layout = opened.layout;
    return true;
  });
  if (!opened.dropped.empty()) {
    QStringList dropped;
    for (const std::string& what : opened.dropped) dropped << Text(what);
    // After the ask: the message stays until the next action's answer.
    ShowMessage(tr("The view %1 opened without what this cube lacks: %2.")
                    .arg(QFileInfo(path).fileName(), dropped.join("; ")),
                false);
  } else {
    statusBar()->showMessage(tr("View %1 opened").arg(QDir::toNativeSeparators(path)));
  }
  return true;
}

QString BrowseWindow::KeptCubePath(const QString& cube_path) {
  const QFileInfo file(cube_path);
  const QString canonical = file.canonicalFilePath();
  return canonical.isEmpty() ? file.absoluteFilePath() : canonical;
}

namespace {

// The kept layouts, newest first: [last-views] size=N, 1\cube=PATH, 1\view=TEXT, ...
struct KeptView {
  QString cube, view;
};

QList<KeptView> ReadKeptViews(QSettings& settings) {
  QList<KeptView> kept;
  const int size = settings.beginReadArray(kLastViews);
  for (int i = 0; i < size; ++i) {
    settings.setArrayIndex(i);
    kept.append({settings.value("cube").toString(), settings.value("view").toString()});
  }
  settings.endArray();
  return kept;
}

}  // namespace

void BrowseWindow::RememberLayout() const {
  if (cube_ == nullptr) return;
  const QString cube = KeptCubePath(Text(cube_->path));
  const browse::PivotView view = browse::ViewOfLayout(*cube_->model, layout_, cube.toStdString());
  QSettings settings(kFormat, QSettings::UserScope, kOrganization, kApplication);
  QList<KeptView> kept = ReadKeptViews(settings);
  kept.removeIf([&cube](const KeptView& entry) { return entry.cube == cube; });
  kept.prepend({cube, Text(browse::ViewText(view))});
  // A job that writes a new cube file each run would otherwise grow the settings without end.
  while (kept.size() > kKeptCubes) kept.removeLast();
  settings.remove(kLastViews);
  settings.beginWriteArray(kLastViews, static_cast<int>(kept.size()));
  for (int i = 0; i < kept.size(); ++i) {
    settings.setArrayIndex(i);
    settings.setValue("cube", kept[i].cube);
    settings.setValue("view", kept[i].view);
  }
  settings.endArray();
}

std::optional<browse::PivotLayout> BrowseWindow::RememberedLayout() const {
  if (cube_ == nullptr) return std::nullopt;
  const QString cube = KeptCubePath(Text(cube_->path));
  QSettings settings(kFormat, QSettings::UserScope, kOrganization, kApplication);
  QString text;
  for (const KeptView& entry : ReadKeptViews(settings)) {
    if (entry.cube == cube) {
      text = entry.view;
      break;
    }
  }
  if (text.isEmpty()) return std::nullopt;
  auto view = browse::ParseView(text.toStdString());
  if (!view) return std::nullopt;
  browse::ViewLayout kept = browse::LayoutOfView(*cube_->model, *view);
  // A layout the rebuilt cube no longer holds whole gives way to the default one.
  if (!kept.dropped.empty()) return std::nullopt;
  return kept.layout;
}

void BrowseWindow::closeEvent(QCloseEvent* event) {
  RememberLayout();
  QMainWindow::closeEvent(event);
}

}  // namespace cubemill::ui
