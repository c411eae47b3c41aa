// The "File" tab of FrmMain: the inputs of a job started by hand, the OQY file picker and the
// "Start ..." button.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "ui/main_window.h"
#include "ui/picked_file.h"

namespace cubemill::ui {

namespace {

// The time-stamp patterns offered, in this order; "none" switches stamping off.
const char* const kTimestampPatterns[] = {
    "none",       "YYYY-MM-DD_HH_mm_ss", "YYYY-MM-DD", "DD.MM.YYYY_HH_mm_ss",
    "DD.MM.YYYY", "DD-MM-YYYY_HH_mm_ss", "DD-MM-YYYY"};

}  // namespace

void FrmMain::BuildFileTab() {
  TextFileOqy_ = new QLineEdit;
  TextFileOqy_->setObjectName("TextFileOqy");
  PlaceOnTab(kTabFile, TextFileOqy_, kTextFileOqy);

  TextInputLogDir_ = new QLineEdit;
  TextInputLogDir_->setObjectName("TextInputLogDir");
  PlaceOnTab(kTabFile, TextInputLogDir_, kTextInputLogDir);

  CheckInputVBS_ = new QCheckBox("convert to VBS");
  CheckInputVBS_->setObjectName("CheckInputVBS");
  PlaceOnTab(kTabFile, CheckInputVBS_, kCheckInputVBS);

  // A drop-down list: only the offered patterns can be chosen, and none is chosen at start.
  ComboInputCubTS_ = new QComboBox;
  ComboInputCubTS_->setObjectName("ComboInputCubTS");
  ComboInputCubTS_->setEditable(false);
  for (const char* pattern : kTimestampPatterns) ComboInputCubTS_->addItem(pattern, 0);
  ComboInputCubTS_->setCurrentIndex(-1);
  PlaceOnTab(kTabFile, ComboInputCubTS_, kComboInputCubTS);

  const struct {
    const char* name;
    const char* caption;
    TwipsRect rect;
  } labels[] = {{"Label1", "OQY Filename", kLabel1},
                {"Label2", "Log Directory", kLabel2},
                {"Label3", "Cube Timestamp", kLabel3}};
  for (const auto& l : labels) {
    auto* label = new QLabel(l.caption);
    label->setObjectName(l.name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceOnTab(kTabFile, label, l.rect);
    // The default font here is wider than the one the boxes were measured for: a label grows to
    // its caption's width so that it is not cut off, but never into the input boxes beside it.
    const int room = PixelRect(kTextFileOqy).left() - label->x();
    label->resize(std::clamp(label->sizeHint().width(), label->width(), room), label->height());
  }

  CommandInfoSelectOQY_ = new QPushButton("<<");
  CommandInfoSelectOQY_->setObjectName("CommandInfoSelectOQY");
  PlaceOnTab(kTabFile, CommandInfoSelectOQY_, kCommandInfoSelectOQY);
  connect(CommandInfoSelectOQY_, &QPushButton::clicked, this, &FrmMain::CommandInfoSelectOQY_Click);

  CommandFileGo_ = new QPushButton("Start ...");
  CommandFileGo_->setObjectName("CommandFileGo");
  PlaceOnTab(kTabFile, CommandFileGo_, kCommandFileGo);
  connect(CommandFileGo_, &QPushButton::clicked, this, &FrmMain::CommandFileGo_Click);
}

void FrmMain::CommandInfoSelectOQY_Click() {
  const QString file_name =
      QFileDialog::getOpenFileName(this, "Select OQY File", QString(), "Cube Definitionen (*.oqy)");
  // Cancelling gives no name: both boxes stay as they are.
  if (file_name.isEmpty()) return;
  TextFileOqy_->setText(file_name);
  const QString file_title = QFileInfo(file_name).fileName();
  const auto folder = FolderOfPickedFile(file_name.toStdString(), file_title.toStdString());
  if (folder) TextInputLogDir_->setText(QString::fromStdString(*folder));
}

void FrmMain::CommandFileGo_Click() {
  if (busy_) return;
  const std::string oqy_file = TextFileOqy_->text().toStdString();
  const std::string log_dir = TextInputLogDir_->text().toStdString();
  // Anything but unticked (a greyed box too) asks for the script.
  const bool convert_to_vbs = CheckInputVBS_->checkState() != Qt::Unchecked;
  const std::string cub_timestamp = ComboInputCubTS_->currentText().toStdString();
  JobScope job_scope(busy_);
  start_manual_job_(oqy_file, log_dir, convert_to_vbs, cub_timestamp);
}

}  // namespace cubemill::ui
