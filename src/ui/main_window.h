// The program's one window, FrmMain: the tab control with "Progress", "File" and "Info", and the
// cube picture. Every job reports into it through the ProgressList interface.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/front_end.h"
#include "job/job_context.h"
#include "ui/window_layout.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace cubemill::ui {

// Converts a box in twips to pixels (15 twips per pixel).
QRect PixelRect(const TwipsRect& rect);

// The main window. Its controls carry their design names as object names ("SSTab1", "List1",
// "InfoText", "TextFileOqy", "TextInputLogDir", "CheckInputVBS", "ComboInputCubTS", "Label1" to
// "Label3", "CommandInfoSelectOQY", "CommandFileGo", "ImageCube"). Controls on a tab are children
// of the tab control and are shown only while their tab is current.
class FrmMain : public QWidget, public job::JobFrontEnd {
  Q_OBJECT

 public:
  using NewConnection = std::function<std::unique_ptr<provider::connection::Connection>()>;
  // What "Start ..." calls with the four inputs of the "File" tab: the OQY path, the log
  // directory, whether the VBS box is ticked and the time-stamp pattern, as they stand.
  using ManualJobStarter =
      std::function<void(const std::string& oqy_file, const std::string& log_dir,
                         bool convert_to_vbs, const std::string& cub_timestamp)>;

  // Builds the window, hidden, opening on the "Info" tab. Jobs run with `clock`, `sleeper` and
  // `new_connection`, and report into this window; all three must outlive it.
  FrmMain(const platform::Clock& clock, platform::Sleeper& sleeper, NewConnection new_connection);
  ~FrmMain() override;

  // The load event: shows the window, fills the info text and runs the start-up dispatch with
  // the command-line `parameter` ("" = none). With a parameter the whole job runs before this
  // returns; returns the exit status of that job, 0 without a parameter.
  int Form_Load(const std::string& parameter);

  // Sets the whole text of InfoText to the info text, replacing what the box held.
  void FillInfoText();

  // Sets how a command-line job ends: false unloads the window right after the job's last line
  // instead of pausing 15 seconds; `report_error` is told what went wrong, in order.
  void SetJobEnding(bool pause_at_end, std::function<void(const std::string&)> report_error);

  // Replaces what "Start ..." calls (by default a manual job with this window's context).
  void SetManualJobStarter(ManualJobStarter starter);

  // True once the window has been unloaded at the end of a command-line job.
  bool unloaded() const { return unloaded_; }

  // The "<<" button: lets the user pick an OQY file, then sets the OQY path and, as log
  // directory, the file's folder. Cancelling changes nothing.
  void CommandInfoSelectOQY_Click();
  // The "Start ..." button: reads the four inputs in order and starts a manual job with them.
  void CommandFileGo_Click();

  // The progress list.
  void AddLine(const std::string& text) override;
  void listSetLast() override;
  void listSetRed() override;
  void ImageCubeMoveDown() override;
  void Unload() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildProgressTab();
  void BuildFileTab();
  void BuildInfoTab();
  void SetTabOrder();
  // Makes `control` a control of tab `tab` at its design box.
  void PlaceOnTab(int tab, QWidget* control, const TwipsRect& rect);
  void ShowControlsOfTab(int tab);
  // Marks the window busy while a job runs: it then ignores closing, and "Start ..." does not
  // start a second job.
  class JobScope {
   public:
    explicit JobScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~JobScope() { busy_ = false; }
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;

   private:
    bool& busy_;
  };

  job::JobContext context_;
  ManualJobStarter start_manual_job_;
  bool busy_ = false;
  bool unloaded_ = false;

  QTabWidget* SSTab1_ = nullptr;
  QLabel* ImageCube_ = nullptr;
  QListWidget* List1_ = nullptr;
  QPlainTextEdit* InfoText_ = nullptr;
  QLineEdit* TextFileOqy_ = nullptr;
  QLineEdit* TextInputLogDir_ = nullptr;
  QCheckBox* CheckInputVBS_ = nullptr;
  QComboBox* ComboInputCubTS_ = nullptr;
  QPushButton* CommandInfoSelectOQY_ = nullptr;
  QPushButton* CommandFileGo_ = nullptr;
  std::array<std::vector<QWidget*>, 3> tab_controls_;
};

// Lets the window paint and handle its own events, but no input of the user, so that lines show
// while a job runs and nothing the user does can interfere with it.
void ProcessPaintEvents();

}  // namespace cubemill::ui
