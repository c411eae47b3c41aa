// The browse window's widgets, menus and tool bar, and what it shows of the layout and answer.
#include "ui/browse_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
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
#include "ui/browse_export.h"
#include "ui/browse_fields.h"
#include "ui/browse_grid_view.h"
#include "ui/browse_query_runner.h"
#include "ui/browse_slicers.h"

namespace cubemill::ui {

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
      subtotals_(new QCheckBox(tr("Subtotals"), this)),
      mdx_toggle_(new QToolButton(this)),
      mdx_pane_(new QWidget(this)),
      mdx_(new QPlainTextEdit(this)) {
  setWindowTitle(tr("Cubemill Browse"));
  runner_ = std::make_unique<BrowseQueryRunner>(
      this, [this](std::uint64_t request, Result<browse::PivotGrid> answer) {
        Answered(request, std::move(answer));
      });
  exporter_ = new BrowseExporter(this);
  statusBar()->addPermanentWidget(exporter_);
  connect(exporter_, &BrowseExporter::Finished, this, &BrowseWindow::Exported);

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
  subtotals_->setObjectName("subtotals");
  subtotals_->setToolTip(tr("With nested row fields, each outer member's total after its rows"));
  subtotals_->setChecked(layout_.subtotals);

  BuildMdxPane();
  LayOutWidgets();
  BuildActions();
  resize(1024, 680);
  ConnectGestures();
  ShowLayout();
  ShowMessage(tr("Open a cube file (File > Open cube...) to browse it."), false);
}

BrowseWindow::~BrowseWindow() {
  // The runner's thread ends before the widgets it answers go.
  runner_.reset();
}

// The MDX pane, folded away until asked for, with its button that copies the query.
void BrowseWindow::BuildMdxPane() {
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
}

// The fields on the left; on the right the message, the slicers, the axes, the options, the
// grid and chart tabs and the MDX pane.
void BrowseWindow::LayOutWidgets() {
  tabs_->addTab(grid_, tr("&Grid"));
  tabs_->addTab(chart_, tr("C&hart"));

  auto* options = new QHBoxLayout;
  swap_ = new QPushButton(tr("Swap axes"), this);
  swap_->setObjectName("swap_axes");
  options->addWidget(non_empty_);
  options->addWidget(totals_);
  options->addWidget(subtotals_);
  options->addWidget(swap_);
  options->addStretch(1);
  status_->setObjectName("status");
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
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  BuildViewActions(file, edit);
  file->addSeparator();
  QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
  quit->setShortcut(QKeySequence::Quit);
  copy_ = edit->addAction(tr("&Copy"), this, &BrowseWindow::CopySelection);
  copy_->setShortcut(QKeySequence::Copy);
  copy_->setShortcutContext(Qt::WindowShortcut);
  select_all_ = edit->addAction(tr("Select &All"), grid_, &QTableView::selectAll);
  select_all_->setShortcut(QKeySequence::SelectAll);

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
  message_stale_ = false;
  message_->setText(text);
  message_->setStyleSheet(error ? "QLabel { background: #fde2e1; color: #5c0b07; padding: 6px; "
                                  "border: 1px solid #e8a5a0; }"
                                : "QLabel { background: #e6effa; padding: 6px; "
                                  "border: 1px solid #a9c2e3; }");
  message_->setVisible(!text.isEmpty());
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
  grid_->horizontalHeader()->setMinimumHeight(grid_->horizontalHeader()->sizeHint().height());
  grid_->horizontalHeader()->updateGeometry();
  grid_->FitColumns();

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
  chart_->ShowGrid(grid_answer_.get(), time_rows,
                   browse::ShapeChart(model, layout_, *grid_answer_));
  EnableActions();
  // A filter keeps rows out of sight: say so where the counts are.
  const QString rows = layout_.filter ? tr("%1 rows (filtered)") : tr("%1 rows");
  const QString columns = layout_.column_filter ? tr("%1 columns (filtered)") : tr("%1 columns");
  status_->setText(
      tr("%1, %2").arg(rows.arg(grid_answer_->Rows())).arg(columns.arg(grid_answer_->Columns())));
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
  const QSignalBlocker block_subtotals(subtotals_);
  subtotals_->setChecked(layout_.subtotals);
  EnableActions();
}

void BrowseWindow::EnableActions() {
  const bool cube = cube_ != nullptr;
  const bool answer = grid_answer_ != nullptr;
  for (QWidget* control : {static_cast<QWidget*>(swap_), static_cast<QWidget*>(non_empty_),
                           static_cast<QWidget*>(totals_), static_cast<QWidget*>(subtotals_)})
    control->setEnabled(cube);
  if (auto* copy_mdx = findChild<QPushButton*>("copy_mdx")) copy_mdx->setEnabled(cube);
  for (QAction* action : {export_csv_, export_workbook_, copy_, select_all_})
    action->setEnabled(answer);
  undo_->setEnabled(cube && history_.CanUndo());
  redo_->setEnabled(cube && history_.CanRedo());
  save_view_->setEnabled(cube);
  if (auto* export_chart = chart_->findChild<QPushButton*>("export_chart"))
    export_chart->setEnabled(answer);
}

}  // namespace cubemill::ui
