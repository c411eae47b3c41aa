#include "ui/browse_export.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "browse/pivot_export.h"

namespace cubemill::ui {

BrowseExporter::BrowseExporter(QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel export"), this)),
      poll_(new QTimer(this)) {
  setObjectName("exporter");
  cancel_->setObjectName("cancel_export");
  bar_->setObjectName("export_progress");
  bar_->setRange(0, 100);
  bar_->setMaximumWidth(160);
  bar_->setMaximumHeight(16);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(label_);
  layout->addWidget(bar_);
  layout->addWidget(cancel_);
  hide();
  connect(cancel_, &QPushButton::clicked, this, &BrowseExporter::Cancel);
  // The worker only stores how far it is; the bar reads it now and then, so that a fast export
  // floods the window with no events.
  poll_->setInterval(100);
  connect(poll_, &QTimer::timeout, this, [this] { bar_->setValue(Percent()); });
  thread_.setObjectName("pivot exports");
  worker_.moveToThread(&thread_);
  thread_.start();
}

BrowseExporter::~BrowseExporter() {
  Cancel();
  thread_.quit();
  thread_.wait();
}

int BrowseExporter::Percent() const { return percent_ ? percent_->load() : 0; }

bool BrowseExporter::Start(std::shared_ptr<const BrowseCube> cube,
                           std::shared_ptr<const browse::PivotGrid> grid,
                           const browse::PivotLayout& layout, const QString& path, bool workbook) {
  if (running_ || cube == nullptr || grid == nullptr) return false;
  running_ = true;
  stop_ = std::make_shared<std::atomic<bool>>(false);
  percent_ = std::make_shared<std::atomic<int>>(0);
  label_->setText(tr("Exporting %1...").arg(QFileInfo(path).fileName()));
  bar_->setValue(0);
  cancel_->setEnabled(true);
  show();
  poll_->start();
  // The cube and the grid are shared, read-only, with the window; the layout is copied.
  QMetaObject::invokeMethod(
      &worker_,
      [this, cube = std::move(cube), grid = std::move(grid), layout = browse::PivotLayout(layout),
       target = path.toStdString(), path, workbook, stop = stop_, percent = percent_] {
        auto progress = [&stop, &percent](std::size_t done, std::size_t total) {
          if (total > 0) percent->store(static_cast<int>(done * 100 / total));
          return !stop->load();
        };
        const auto error = browse::WritePivotFile(*grid, *cube->model, layout, cube->path, target,
                                                  workbook, progress);
        const QString reason = error ? QString::fromStdString(error->description) : QString();
        // Dropped, not run, when this widget has gone (it waits for this thread first).
        QMetaObject::invokeMethod(
            this, [this, path, reason] { Done(path, reason); }, Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
  return true;
}

void BrowseExporter::Cancel() {
  if (!running_ || stop_ == nullptr) return;
  stop_->store(true);
  cancel_->setEnabled(false);
  label_->setText(tr("Cancelling..."));
}

void BrowseExporter::Done(const QString& path, const QString& error) {
  running_ = false;
  poll_->stop();
  hide();
  emit Finished(path, error);
}

}  // namespace cubemill::ui
