#include "ui/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <utility>

#include "job/start_job.h"
#include "ui/cube_picture.h"

namespace cubemill::ui {

QRect PixelRect(const TwipsRect& rect) {
  return QRect(rect.left / kTwipsPerPixel, rect.top / kTwipsPerPixel, rect.width / kTwipsPerPixel,
               rect.height / kTwipsPerPixel);
}

void ProcessPaintEvents() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

FrmMain::FrmMain(const platform::Clock& clock, platform::Sleeper& sleeper,
                 NewConnection new_connection)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_{*this, clock, sleeper, std::move(new_connection)} {
  setObjectName("FrmMain");
  setWindowTitle("Cubemill");
  setWindowIcon(QIcon(CubePicture()));
  // A fixed layout: the client area keeps its design size and nothing moves with the window.
  setFixedSize(kClientWidth / kTwipsPerPixel, kClientHeight / kTwipsPerPixel);

  SSTab1_ = new QTabWidget(this);
  SSTab1_->setObjectName("SSTab1");
  SSTab1_->setGeometry(PixelRect(kSSTab1));
  // The pages stay empty: the controls of a tab are children of the tab control itself, placed
  // relative to its top-left corner (tab strip included), and shown while their tab is current.
  SSTab1_->addTab(new QWidget, "Progress");
  SSTab1_->addTab(new QWidget, "File");
  SSTab1_->addTab(new QWidget, "Info");

  ImageCube_ = new QLabel(this);
  ImageCube_->setObjectName("ImageCube");
  ImageCube_->setPixmap(CubePicture());
  ImageCube_->setGeometry(PixelRect(kImageCube));

  BuildProgressTab();
  BuildInfoTab();
  BuildFileTab();
  SetTabOrder();

  start_manual_job_ = [this](const std::string& oqy_file, const std::string& log_dir,
                             bool convert_to_vbs, const std::string& cub_timestamp) {
    job::StartManualJob(context_, oqy_file, log_dir, convert_to_vbs, cub_timestamp);
  };

  SSTab1_->setCurrentIndex(kTabInfo);
  ShowControlsOfTab(kTabInfo);
  connect(SSTab1_, &QTabWidget::currentChanged, this, &FrmMain::ShowControlsOfTab);
}

FrmMain::~FrmMain() = default;

int FrmMain::Form_Load(const std::string& parameter) {
  // The window is on screen before anything else runs.
  show();
  ProcessPaintEvents();
  FillInfoText();
  JobScope job_scope(busy_);
  return job::StartFromCommandLine(context_, parameter);
}

void FrmMain::SetJobEnding(bool pause_at_end,
                           std::function<void(const std::string&)> report_error) {
  context_.pause_at_end = pause_at_end;
  context_.report_error = std::move(report_error);
}

void FrmMain::SetManualJobStarter(ManualJobStarter starter) {
  start_manual_job_ = std::move(starter);
}

void FrmMain::Unload() {
  unloaded_ = true;
  close();
}

void FrmMain::closeEvent(QCloseEvent* event) {
  // While a job runs the window does not react to the user, closing included; the job's own
  // unload at the end of a command-line run goes through.
  if (busy_ && !unloaded_) {
    event->ignore();
    return;
  }
  event->accept();
}

void FrmMain::PlaceOnTab(int tab, QWidget* control, const TwipsRect& rect) {
  control->setParent(SSTab1_);
  control->setGeometry(PixelRect(rect));
  control->raise();
  tab_controls_[static_cast<std::size_t>(tab)].push_back(control);
}

void FrmMain::ShowControlsOfTab(int tab) {
  for (std::size_t i = 0; i < tab_controls_.size(); ++i) {
    for (QWidget* control : tab_controls_[i]) control->setVisible(static_cast<int>(i) == tab);
  }
}

void FrmMain::SetTabOrder() {
  // Keyboard order: the tab control, the list, the info text, then the inputs and buttons of
  // the "File" tab (labels take no focus).
  const std::vector<QWidget*> order = {
      SSTab1_,          List1_,         InfoText_,        TextFileOqy_,
      TextInputLogDir_, CheckInputVBS_, ComboInputCubTS_, CommandInfoSelectOQY_,
      CommandFileGo_};
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace cubemill::ui
