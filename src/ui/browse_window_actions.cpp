// What the browse window's gestures do: edits of the layout, opening a cube, exports, copying.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <utility>

#include "browse/pivot_export.h"
#include "ui/browse_chart.h"
#include "ui/browse_export.h"
#include "ui/browse_fields.h"
#include "ui/browse_grid_view.h"
#include "ui/browse_query_runner.h"
#include "ui/browse_slicers.h"
#include "ui/browse_window.h"

namespace cubemill::ui {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// The controls' signals, each turned into an edit of the layout or another action.
void BrowseWindow::ConnectGestures() {
  connect(non_empty_, &QCheckBox::toggled, this, [this](bool on) {
    ChangeLayout([on](browse::PivotLayout& layout, const query::CubeModel&) {
      if (layout.non_empty == on) return false;
      layout.non_empty = on;
      return true;
    });
  });
  connect(totals_, &QCheckBox::toggled, this, [this](bool on) {
    ChangeLayout([on](browse::PivotLayout& layout, const query::CubeModel&) {
      if (layout.totals == on) return false;
      layout.totals = on;
      return true;
    });
  });
  connect(subtotals_, &QCheckBox::toggled, this, [this](bool on) {
    ChangeLayout([on](browse::PivotLayout& layout, const query::CubeModel&) {
      if (layout.subtotals == on) return false;
      layout.subtotals = on;
      return true;
    });
  });
  connect(swap_, &QPushButton::clicked, this, [this] {
    ChangeLayout([](browse::PivotLayout& layout, const query::CubeModel&) {
      browse::SwapAxes(layout);
      return true;
    });
  });
  connect(cancel_, &QPushButton::clicked, this, &BrowseWindow::CancelQuery);
  auto place = [this](bool on_rows, std::size_t hierarchy, std::size_t level,
                      std::size_t position) {
    ChangeLayout([=](browse::PivotLayout& layout, const query::CubeModel& model) {
      return browse::PlaceField(layout, model, on_rows, hierarchy, level, position);
    });
  };
  auto remove = [this](std::size_t hierarchy) {
    ChangeLayout([=](browse::PivotLayout& layout, const query::CubeModel&) {
      return browse::RemoveField(layout, hierarchy);
    });
  };
  connect(
      fields_, &BrowseFieldList::PlaceRequested, this,
      [place](bool on_rows, std::size_t h, std::size_t l) { place(on_rows, h, l, browse::npos); });
  connect(fields_, &BrowseFieldList::RemoveRequested, this, remove);
  connect(fields_, &BrowseFieldList::SliceRequested, this, &BrowseWindow::PickSlicer);
  connect(fields_, &BrowseFieldList::MeasureToggled, this, [this](std::size_t measure) {
    ChangeLayout([=](browse::PivotLayout& layout, const query::CubeModel& model) {
      return browse::ToggleMeasure(layout, model, measure);
    });
    fields_->ShowLayout(layout_);  // the last measure stays checked
  });
  for (BrowseAxisBar* bar : {rows_bar_, columns_bar_}) {
    connect(bar, &BrowseAxisBar::FieldDropped, this, place);
    connect(bar, &BrowseAxisBar::MoveRequested, this,
            [place](bool on_rows, std::size_t h, std::size_t l) {
              place(on_rows, h, l, browse::npos);
            });
    connect(bar, &BrowseAxisBar::RemoveRequested, this, remove);
  }
  connect(slicers_, &BrowseSlicerBar::FieldDropped, this, remove);
  connect(
      grid_, &BrowseGridView::FieldDropped, this,
      [place](bool on_rows, std::size_t h, std::size_t l) { place(on_rows, h, l, browse::npos); });
  connect(grid_, &BrowseGridView::ToggleRequested, this, &BrowseWindow::ToggleMember);
  connect(grid_->ColumnHeader(), &BrowseColumnHeader::SortRequested, this,
          &BrowseWindow::SortByColumn);
  ConnectColumnMenu();
  connect(slicers_, &BrowseSlicerBar::PickRequested, this, &BrowseWindow::PickSlicer);
  connect(chart_, &BrowseChart::ExportRequested, this, [this] {
    const QString path = SaveName(tr("Export chart as PNG"), tr("PNG pictures (*.png)"), "png");
    if (!path.isEmpty()) ExportChart(path);
  });
}

bool BrowseWindow::OpenCube(const QString& path, const QString& mdx) {
  auto opened = OpenBrowseCube(path.toStdString());
  if (!opened) {
    ShowMessage(Text(opened.error().description));
    return false;
  }
  // What still runs on the old cube is not wanted any more, nor a slicer's picker of its members.
  runner_->Cancel();
  for (BrowseMemberPicker* picker : findChildren<BrowseMemberPicker*>()) picker->reject();
  RememberLayout();
  cube_ = std::move(*opened);
  const query::CubeModel& model = *cube_->model;
  layout_ = browse::DefaultLayout(model);
  QString message;
  if (mdx.trimmed().isEmpty()) {
    if (auto kept = RememberedLayout()) layout_ = std::move(*kept);
  } else {
    auto from_mdx = browse::LayoutFromMdx(model, mdx.toStdString());
    if (from_mdx) {
      layout_ = std::move(*from_mdx);
    } else {
      message = tr("The query cannot be shown as a pivot: %1. Showing the default layout instead.")
                    .arg(Text(from_mdx.error().description));
    }
  }
  history_.Reset(layout_);
  setWindowTitle(tr("%1 - %2 - Cubemill Browse")
                     .arg(Text(cube_->reader->Catalog().name), QFileInfo(path).fileName()));
  fields_->SetCube(&model);
  grid_answer_.reset();
  shown_layout_.reset();
  grid_->GridModel()->SetGrid(nullptr, {});
  chart_->ShowGrid(nullptr, false, {});
  Ask();
  // After Ask: a message about this opening stays until the next action's answer.
  ShowMessage(message);
  return true;
}

void BrowseWindow::OpenWithDialog() {
  const QString path = QFileDialog::getOpenFileName(this, tr("Open cube"), {},
                                                    tr("Cube files (*.cub);;All files (*)"));
  if (!path.isEmpty()) OpenCube(path);
}

void BrowseWindow::ChangeLayout(
    const std::function<bool(browse::PivotLayout&, const query::CubeModel&)>& change) {
  if (cube_ == nullptr) return;
  browse::PivotLayout changed = layout_;
  if (!change(changed, *cube_->model) || changed == layout_) {
    ShowLayout();  // controls that moved on their own go back
    return;
  }
  layout_ = std::move(changed);
  history_.Push(layout_);
  Ask();
}

void BrowseWindow::ToggleMember(std::size_t member) {
  ChangeLayout([member](browse::PivotLayout& layout, const query::CubeModel& model) {
    return layout.expanded.count(member) != 0 ? browse::Collapse(layout, model, member)
                                              : browse::Expand(layout, model, member);
  });
}

void BrowseWindow::SortByColumn(std::size_t column) {
  if (grid_answer_ == nullptr || column >= grid_answer_->column_unique_names.size()) return;
  const std::vector<std::string> names = grid_answer_->column_unique_names[column];
  ChangeLayout([&names](browse::PivotLayout& layout, const query::CubeModel&) {
    if (layout.sort && layout.sort->column == names) {
      layout.sort->descending = !layout.sort->descending;
    } else {
      layout.sort = browse::PivotSort{names, true};
    }
    return true;
  });
}

void BrowseWindow::PickSlicer(std::size_t hierarchy) {
  if (cube_ == nullptr || hierarchy >= cube_->model->HierarchyCount()) return;
  std::vector<std::size_t> checked;
  for (const auto& slicer : layout_.slicers) {
    if (slicer.hierarchy == hierarchy) checked = slicer.members;
  }
  auto* picker = new BrowseMemberPicker(*cube_->model, hierarchy, checked, this);
  picker->setObjectName("member_picker");
  picker->setAttribute(Qt::WA_DeleteOnClose);
  // The picker lists the members of the cube open now; opening another closes it (OpenCube).
  connect(picker, &QDialog::accepted, this, [this, picker] {
    const std::size_t h = picker->Hierarchy();
    std::vector<std::size_t> members = picker->Checked();
    // Nothing checked: the whole hierarchy, no slicer. A field on an axis leaves it.
    ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel& model) {
      return browse::SetSlicer(layout, model, h, members);
    });
  });
  picker->open();
}

void BrowseWindow::CancelQuery() {
  if (pending_ != 0) runner_->Cancel();
}

void BrowseWindow::Ask() {
  // A message shown before this new layout goes once the layout is answered.
  message_stale_ = !message_->isHidden();
  ShowLayout();
  mdx_->setPlainText(Text(browse::PivotMdx(*cube_->model, layout_)));
  pending_ = runner_->Ask(cube_, layout_);
  busy_->show();
  cancel_->show();
  status_->setText(tr("Asking..."));
}

void BrowseWindow::Answered(std::uint64_t request, Result<browse::PivotGrid> answer) {
  if (request != pending_) return;  // an older layout's answer
  pending_ = 0;
  busy_->hide();
  cancel_->hide();
  if (!answer) {
    const QString reason = Text(answer.error().description);
    status_->clear();
    // The grid keeps the answer before; so do the controls, so that they show what it is.
    if (shown_layout_) {
      layout_ = *shown_layout_;
      history_.Revert(layout_);
      ShowLayout();
      mdx_->setPlainText(Text(browse::PivotMdx(*cube_->model, layout_)));
    }
    if (reason.contains("Cancelled")) {
      ShowMessage(tr("Cancelled: the grid shows the answer before."), false);
    } else {
      ShowMessage(tr("The query failed: %1").arg(reason));
    }
    emit AnswerShown();
    return;
  }
  if (message_stale_) ShowMessage({});
  ShowGrid(std::make_shared<const browse::PivotGrid>(std::move(*answer)));
  emit AnswerShown();
}

QString BrowseWindow::SaveName(const QString& title, const QString& filter, const QString& suffix) {
  QString path = QFileDialog::getSaveFileName(this, title, {}, filter);
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += '.' + suffix;
  return path;
}

bool BrowseWindow::ExportCsv(const QString& path) { return StartExport(path, false); }

bool BrowseWindow::ExportWorkbook(const QString& path) { return StartExport(path, true); }

bool BrowseWindow::StartExport(const QString& path, bool workbook) {
  if (grid_answer_ == nullptr || !shown_layout_ || cube_ == nullptr) return false;
  if (!exporter_->Start(cube_, grid_answer_, *shown_layout_, path, workbook)) {
    statusBar()->showMessage(tr("An export is running: wait for it to end or cancel it first."));
    return false;
  }
  statusBar()->clearMessage();
  return true;
}

void BrowseWindow::Exported(const QString& path, const QString& error) {
  const QString name = QDir::toNativeSeparators(path);
  if (error.isEmpty()) {
    ShowMessage(QString());
    statusBar()->showMessage(tr("Exported to %1").arg(name));
  } else if (error == "Cancelled") {
    statusBar()->showMessage(tr("Export cancelled: %1 is as it was").arg(name));
  } else {
    ShowMessage(tr("Cannot export to %1: %2").arg(name, error));
  }
}

bool BrowseWindow::ExportChart(const QString& path) {
  const auto error = chart_->SavePng(path.toStdString());
  ShowMessage(error ? tr("Cannot export the chart: %1").arg(Text(error->description)) : QString());
  return !error;
}

void BrowseWindow::CopySelection() {
  const std::string text = grid_->SelectionText();
  if (!text.empty()) QApplication::clipboard()->setText(Text(text));
}

}  // namespace cubemill::ui
