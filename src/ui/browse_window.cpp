#include "ui/browse_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "browse/pivot_export.h"
#include "ui/browse_chart.h"
#include "ui/browse_fields.h"
#include "ui/browse_grid_view.h"
#include "ui/browse_query_runner.h"
#include "ui/browse_slicers.h"

namespace cubemill::ui {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

BrowseWindow::BrowseWindow(QWidget* parent)
    : QMainWindow(parent),
      fields_(new BrowseFieldList(this)),
      slicers_(new BrowseSlicerBar(this)),
      rows_bar_(new BrowseAxisBar(true, this)),
      columns_bar_(new BrowseAxisBar(false, this)),
      grid_(new BrowseGridView(this)),
      chart_(new BrowseChart(this)),
      tabs_(new QTabWidget(this)),
      message_(new QLabel(this)),
      status_(new QLabel(this)),
      busy_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this)),
      non_empty_(new QCheckBox(tr("Non empty"), this)),
      totals_(new QCheckBox(tr("Totals"), this)),
      mdx_toggle_(new QToolButton(this)),
      mdx_pane_(new QWidget(this)),
      mdx_(new QPlainTextEdit(this)) {
  setWindowTitle(tr("Cubemill Browse"));
  runner_ = std::make_unique<BrowseQueryRunner>(
      this, [this](std::uint64_t request, Result<browse::PivotGrid> answer) {
        Answered(request, std::move(answer));
      });

  message_->setObjectName("message");
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  message_->hide();
  busy_->setRange(0, 0);  // a busy indicator, not a percentage
  busy_->setMaximumWidth(160);
  busy_->setMaximumHeight(16);
  busy_->hide();
  cancel_->setObjectName("cancel");
  cancel_->hide();
  non_empty_->setChecked(layout_.non_empty);
  totals_->setChecked(layout_.totals);

  // The MDX pane, folded away until asked for.
  mdx_toggle_->setText(tr("MDX"));
  mdx_toggle_->setCheckable(true);
  mdx_toggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  mdx_toggle_->setArrowType(Qt::RightArrow);
  mdx_toggle_->setAutoRaise(true);
  mdx_->setReadOnly(true);
  mdx_->setObjectName("mdx");
  mdx_->setMaximumHeight(110);
  mdx_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* copy_mdx = new QPushButton(tr("Copy"), mdx_pane_);
  copy_mdx->setObjectName("copy_mdx");
  auto* mdx_layout = new QHBoxLayout(mdx_pane_);
  mdx_layout->setContentsMargins(0, 0, 0, 0);
  mdx_layout->addWidget(mdx_, 1);
  mdx_layout->addWidget(copy_mdx, 0, Qt::AlignTop);
  mdx_pane_->hide();
  connect(mdx_toggle_, &QToolButton::toggled, this, [this](bool open) {
    mdx_pane_->setVisible(open);
    mdx_toggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
  });
  connect(copy_mdx, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(mdx_->toPlainText()); });

  tabs_->addTab(grid_, tr("&Grid"));
  tabs_->addTab(chart_, tr("C&hart"));

  auto* options = new QHBoxLayout;
  auto* swap = new QPushButton(tr("Swap axes"), this);
  swap->setObjectName("swap_axes");
  options->addWidget(non_empty_);
  options->addWidget(totals_);
  options->addWidget(swap);
  options->addStretch(1);
  options->addWidget(status_);
  options->addWidget(busy_);
  options->addWidget(cancel_);

  auto* right = new QWidget(this);
  auto* right_layout = new QVBoxLayout(right);
  right_layout->setContentsMargins(4, 4, 4, 4);
  right_layout->addWidget(message_);
  right_layout->addWidget(slicers_);
  right_layout->addWidget(rows_bar_);
  right_layout->addWidget(columns_bar_);
  right_layout->addLayout(options);
  right_layout->addWidget(tabs_, 1);
  right_layout->addWidget(mdx_toggle_);
  right_layout->addWidget(mdx_pane_);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(fields_);
  splitter->addWidget(right);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({200, 800});
  setCentralWidget(splitter);
  BuildActions();
  resize(1024, 680);

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
  connect(swap, &QPushButton::clicked, this, [this] {
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
  connect(
      grid_, &BrowseGridView::FieldDropped, this,
      [place](bool on_rows, std::size_t h, std::size_t l) { place(on_rows, h, l, browse::npos); });
  connect(grid_, &BrowseGridView::ToggleRequested, this, &BrowseWindow::ToggleMember);
  connect(grid_->ColumnHeader(), &BrowseColumnHeader::SortRequested, this,
          &BrowseWindow::SortByColumn);
  connect(slicers_, &BrowseSlicerBar::PickRequested, this, &BrowseWindow::PickSlicer);
  connect(chart_, &BrowseChart::ExportRequested, this, [this] {
    const QString path = SaveName(tr("Export chart as PNG"), tr("PNG pictures (*.png)"), "png");
    if (!path.isEmpty()) ExportChart(path);
  });
  ShowLayout();
  ShowMessage(tr("Open a cube file (File > Open cube...) to browse it."), false);
}

BrowseWindow::~BrowseWindow() {
  // The runner's thread ends before the widgets it answers go.
  runner_.reset();
}

void BrowseWindow::BuildActions() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* open = file->addAction(tr("&Open cube..."), this, &BrowseWindow::OpenWithDialog);
  open->setShortcut(QKeySequence::Open);
  export_csv_ = file->addAction(tr("Export &CSV..."), this, [this] {
    const QString path = SaveName(tr("Export CSV"), tr("CSV files (*.csv)"), "csv");
    if (!path.isEmpty()) ExportCsv(path);
  });
  export_workbook_ = file->addAction(tr("Export &workbook (.xlsx)..."), this, [this] {
    const QString path = SaveName(tr("Export workbook"), tr("Workbooks (*.xlsx)"), "xlsx");
    if (!path.isEmpty()) ExportWorkbook(path);
  });
  file->addSeparator();
  QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  copy_ = edit->addAction(tr("&Copy"), this, &BrowseWindow::CopySelection);
  copy_->setShortcut(QKeySequence::Copy);
  copy_->setShortcutContext(Qt::WindowShortcut);
  QAction* select_all = edit->addAction(tr("Select &All"), grid_, &QTableView::selectAll);
  select_all->setShortcut(QKeySequence::SelectAll);

  QToolBar* tools = addToolBar(tr("Cube"));
  tools->setObjectName("tools");
  tools->setMovable(false);
  tools->addAction(open);
  tools->addAction(export_csv_);
  tools->addAction(export_workbook_);
  tools->addAction(copy_);
}

QString BrowseWindow::Message() const {
  return message_->isHidden() ? QString() : message_->text();
}

QString BrowseWindow::MdxText() const { return mdx_->toPlainText(); }

void BrowseWindow::ShowMessage(const QString& text, bool error) {
  message_->setText(text);
  message_->setStyleSheet(error ? "QLabel { background: #fde2e1; color: #5c0b07; padding: 6px; "
                                  "border: 1px solid #e8a5a0; }"
                                : "QLabel { background: #e6effa; padding: 6px; "
                                  "border: 1px solid #a9c2e3; }");
  message_->setVisible(!text.isEmpty());
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
  cube_ = std::move(*opened);
  const query::CubeModel& model = *cube_->model;
  layout_ = browse::DefaultLayout(model);
  QString message;
  if (!mdx.trimmed().isEmpty()) {
    auto from_mdx = browse::LayoutFromMdx(model, mdx.toStdString());
    if (from_mdx) {
      layout_ = std::move(*from_mdx);
    } else {
      message = tr("The query cannot be shown as a pivot: %1. Showing the default layout instead.")
                    .arg(Text(from_mdx.error().description));
    }
  }
  ShowMessage(message);
  setWindowTitle(tr("%1 - %2 - Cubemill Browse")
                     .arg(Text(cube_->reader->Catalog().name), QFileInfo(path).fileName()));
  fields_->SetCube(&model);
  grid_answer_.reset();
  shown_layout_.reset();
  grid_->GridModel()->SetGrid(nullptr, {});
  chart_->ShowGrid(nullptr, false, {});
  Ask();
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
  if (message_->text().startsWith(tr("Cancelled")) ||
      message_->text().startsWith(tr("The query failed")) ||
      message_->text().startsWith(tr("Open a cube")))
    ShowMessage({});
  ShowGrid(std::make_shared<const browse::PivotGrid>(std::move(*answer)));
  emit AnswerShown();
}

void BrowseWindow::ShowGrid(std::shared_ptr<const browse::PivotGrid> grid) {
  grid_answer_ = std::move(grid);
  shown_layout_ = layout_;
  const query::CubeModel& model = *cube_->model;
  QStringList names;
  for (const auto& field : layout_.rows) names << HierarchyCaption(model, field.hierarchy);
  while (names.size() < static_cast<int>(browse::RowHeaderColumns(*grid_answer_)))
    names << tr("Measures");
  grid_->GridModel()->SetGrid(grid_answer_, names);
  grid_->resizeColumnsToContents();
  for (int c = 0; c < grid_->GridModel()->columnCount(); ++c)
    grid_->setColumnWidth(c, std::min(grid_->columnWidth(c), 320));
  grid_->horizontalHeader()->setMinimumHeight(grid_->horizontalHeader()->sizeHint().height());
  grid_->horizontalHeader()->updateGeometry();

  // The sorted column, found again by its unique names.
  std::size_t sorted = browse::npos;
  if (layout_.sort) {
    for (std::size_t c = 0; c < grid_answer_->column_unique_names.size(); ++c) {
      if (grid_answer_->column_unique_names[c] == layout_.sort->column) sorted = c;
    }
  }
  grid_->ColumnHeader()->SetSorted(sorted, layout_.sort ? layout_.sort->descending : true);

  const bool time_rows =
      !layout_.rows.empty() &&
      std::all_of(layout_.rows.begin(), layout_.rows.end(), [&](const browse::PivotField& field) {
        return IsTimeHierarchy(model, field.hierarchy);
      });
  QStringList measures;
  for (std::size_t m : layout_.measures) measures << Text(model.Catalog().measures[m].name);
  QString title = measures.join(", ");
  if (!names.isEmpty()) title += tr(" by ") + names.join(", ");
  chart_->ShowGrid(grid_answer_.get(), time_rows, title);
  export_csv_->setEnabled(true);
  export_workbook_->setEnabled(true);
  status_->setText(
      tr("%1 rows, %2 columns").arg(grid_answer_->Rows()).arg(grid_answer_->Columns()));
}

void BrowseWindow::ShowLayout() {
  const query::CubeModel* model = cube_ != nullptr ? cube_->model.get() : nullptr;
  rows_bar_->ShowFields(model, layout_.rows);
  columns_bar_->ShowFields(model, layout_.columns);
  slicers_->ShowLayout(model, layout_);
  fields_->ShowLayout(layout_);
  const QSignalBlocker block_non_empty(non_empty_);
  const QSignalBlocker block_totals(totals_);
  non_empty_->setChecked(layout_.non_empty);
  totals_->setChecked(layout_.totals);
  const bool answer = grid_answer_ != nullptr;
  export_csv_->setEnabled(answer);
  export_workbook_->setEnabled(answer);
}

QString BrowseWindow::SaveName(const QString& title, const QString& filter, const QString& suffix) {
  QString path = QFileDialog::getSaveFileName(this, title, {}, filter);
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += '.' + suffix;
  return path;
}

bool BrowseWindow::ExportCsv(const QString& path) {
  if (grid_answer_ == nullptr) return false;
  const auto error = browse::WriteTextFile(browse::PivotCsv(browse::PivotTable(*grid_answer_)),
                                           path.toStdString());
  if (error) ShowMessage(tr("Cannot export the CSV file: %1").arg(Text(error->description)));
  return !error;
}

bool BrowseWindow::ExportWorkbook(const QString& path) {
  if (grid_answer_ == nullptr) return false;
  const auto error = browse::WriteWorkbook(browse::PivotTable(*grid_answer_), path.toStdString());
  if (error) ShowMessage(tr("Cannot export the workbook: %1").arg(Text(error->description)));
  return !error;
}

bool BrowseWindow::ExportChart(const QString& path) {
  const auto error = chart_->SavePng(path.toStdString());
  if (error) ShowMessage(tr("Cannot export the chart: %1").arg(Text(error->description)));
  return !error;
}

void BrowseWindow::CopySelection() {
  const std::string text = grid_->SelectionText();
  if (!text.empty()) QApplication::clipboard()->setText(Text(text));
}

}  // namespace cubemill::ui
