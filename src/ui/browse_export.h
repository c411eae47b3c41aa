// The window's exports of the grid, written on a thread of their own so that the window stays
// live however large the answer: a progress bar and a Cancel button while one runs, and its end
// reported once.
#pragma once

#include <QString>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <memory>

#include "browse/pivot.h"
#include "ui/browse_cube.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace cubemill::ui {

class BrowseExporter : public QWidget {
  Q_OBJECT

 public:
  explicit BrowseExporter(QWidget* parent = nullptr);
  // Stops the export that runs and waits for its thread: the file is then left as it was.
  ~BrowseExporter() override;

  // Starts writing `grid`, the answer to `layout` of `cube`, to `path` (browse::WritePivotFile):
  // a workbook, else CSV. Returns false, starting nothing, while another export runs.
  bool Start(std::shared_ptr<const BrowseCube> cube, std::shared_ptr<const browse::PivotGrid> grid,
             const browse::PivotLayout& layout, const QString& path, bool workbook);
  // Stops the export that runs; it then finishes with the error "Cancelled".
  void Cancel();
  bool Running() const { return running_; }
  // The progress shown, 0 to 100.
  int Percent() const;
  // The object whose thread runs the exports, in order: what is queued to it runs there.
  QObject* Worker() { return &worker_; }

 signals:
  // The export to `path` has ended: `error` is empty when the file is complete, "Cancelled" when
  // stopped, else why it failed (then the file is as it was before).
  void Finished(const QString& path, const QString& error);

 private:
  void Done(const QString& path, const QString& error);

  QThread thread_;
  QObject worker_;  // lives on thread_: the exports run there
  QLabel* label_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  QTimer* poll_;
  bool running_ = false;
  std::shared_ptr<std::atomic<bool>> stop_;
  std::shared_ptr<std::atomic<int>> percent_;
};

}  // namespace cubemill::ui
