#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "job/start_job.h"
#include "provider/connection/engine_connection.h"
#include "support/test_support.h"
#include "support/worked_example.h"
#include "ui/cube_picture.h"
#include "ui/info_text.h"

namespace cubemill::ui {
namespace {

// One QApplication for the whole test program, on Qt's offscreen platform.
class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "ui_window_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto* const kQtEnvironment = testing::AddGlobalTestEnvironment(new QtEnvironment);

using StartCall = std::tuple<std::string, std::string, bool, std::string>;

// A window in its own temporary current directory, with a fixed clock and no real pauses.
class MainWindowTest : public testing::Test {
 protected:
  MainWindowTest()
      : clock_(platform::MakeDateTime(2024, 3, 7, 10, 0, 0)),
        window_(clock_, sleeper_, [] { return provider::connection::NewEngineConnection(); }) {}

  template <typename T>
  T* Control(const char* name) {
    T* control = window_.findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  // Records what "Start ..." passes instead of running a job.
  void RecordStarts() {
    window_.SetManualJobStarter(
        [this](const std::string& oqy, const std::string& log_dir, bool vbs,
               const std::string& ts) { starts_.emplace_back(oqy, log_dir, vbs, ts); });
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    auto* list = Control<QListWidget>("List1");
    for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text().toStdString());
    return lines;
  }
  bool HasLine(const std::string& line) {
    const auto lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool ListIsRed() {
    return Control<QListWidget>("List1")->palette().color(QPalette::Text) == QColor(255, 0, 0);
  }

  test::TempDir dir_;
  test::FixedClock clock_;
  test::NoSleep sleeper_;
  FrmMain window_;
  std::vector<StartCall> starts_;
};

TEST_F(MainWindowTest, OpensOnInfoWithTheInfoTextAndWaitsWithoutParameter) {
  EXPECT_EQ(window_.Form_Load(""), 0);
  EXPECT_TRUE(window_.isVisible());
  EXPECT_FALSE(window_.unloaded());
  EXPECT_EQ(Control<QTabWidget>("SSTab1")->currentIndex(), 2);
  auto* info = Control<QPlainTextEdit>("InfoText");
  EXPECT_TRUE(info->isVisible());
  EXPECT_FALSE(Control<QListWidget>("List1")->isVisible());
  QString expected = QString::fromStdString(InfoText());
  expected.replace("\r\n", "\n");
  EXPECT_EQ(info->toPlainText().toStdString(), expected.toStdString());
  // Filling again sets the same text, not a second copy.
  window_.FillInfoText();
  EXPECT_EQ(info->toPlainText().toStdString(), expected.toStdString());
  EXPECT_TRUE(HasLine("No Parameter has been found"));
  EXPECT_TRUE(sleeper_.pauses.empty());
}

TEST_F(MainWindowTest, HasTheDesignCaptionSizeAndFrame) {
  EXPECT_EQ(window_.windowTitle().toStdString(), "Cubemill");
  EXPECT_EQ(window_.size(), QSize(864, 302));
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize());
  const Qt::WindowFlags flags = window_.windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_EQ(window_.windowIcon().actualSize(QSize(116, 113)), QSize(116, 113));
  auto* tabs = Control<QTabWidget>("SSTab1");
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(0).toStdString(), "Progress");
  EXPECT_EQ(tabs->tabText(1).toStdString(), "File");
  EXPECT_EQ(tabs->tabText(2).toStdString(), "Info");
}

TEST_F(MainWindowTest, PlacesEveryControlAtItsDesignBoxOnItsTab) {
  const struct {
    const char* name;
    const char* kind;
    int tab;  // -1: on the window itself
    const char* caption;
    QRect pixels;  // twips / 15
  } controls[] = {
      {"SSTab1", "QTabWidget", -1, nullptr, {8, 8, 729, 285}},
      {"ImageCube", "QLabel", -1, nullptr, {740, 12, 116, 113}},
      {"List1", "QListWidget", 0, nullptr, {6, 34, 713, 238}},
      {"InfoText", "QPlainTextEdit", 2, nullptr, {12, 32, 705, 241}},
      {"TextFileOqy", "QLineEdit", 1, "", {112, 48, 549, 21}},
      {"TextInputLogDir", "QLineEdit", 1, "", {112, 80, 549, 21}},
      {"CheckInputVBS", "QCheckBox", 1, "convert to VBS", {8, 108, 117, 29}},
      {"ComboInputCubTS", "QComboBox", 1, nullptr, {112, 140, 301, 21}},
      {"Label1", "QLabel", 1, "OQY Filename", {12, 52, 89, 25}},
      {"Label2", "QLabel", 1, "Log Directory", {12, 84, 73, 17}},
      {"Label3", "QLabel", 1, "Cube Timestamp", {12, 144, 85, 17}},
      {"CommandInfoSelectOQY", "QPushButton", 1, "<<", {664, 48, 25, 21}},
      {"CommandFileGo", "QPushButton", 1, "Start ...", {540, 236, 169, 29}},
  };
  window_.show();
  auto* tabs = Control<QTabWidget>("SSTab1");
  for (int tab = 0; tab < 3; ++tab) {
    tabs->setCurrentIndex(tab);
    for (const auto& c : controls) {
      QWidget* control = Control<QWidget>(c.name);
      ASSERT_NE(control, nullptr);
      EXPECT_TRUE(control->inherits(c.kind)) << c.name;
      QWidget* reference = c.tab < 0 ? static_cast<QWidget*>(&window_) : tabs;
      QRect box(control->mapTo(reference, QPoint(0, 0)), control->size());
      if (qobject_cast<QLabel*>(control) != nullptr && c.tab >= 0) {
        // A label may grow to its caption's width, up to the input boxes at 112.
        EXPECT_GE(box.width(), std::min(control->sizeHint().width(), 112 - box.x())) << c.name;
        EXPECT_LE(box.right(), 111) << c.name;
        box.setWidth(c.pixels.width());
      }
      EXPECT_EQ(box, c.pixels) << c.name;
      EXPECT_EQ(control->isVisible(), c.tab < 0 || c.tab == tab) << c.name << " on tab " << tab;
      if (c.caption == nullptr) continue;
      QString caption;
      if (auto* label = qobject_cast<QLabel*>(control)) caption = label->text();
      if (auto* button = qobject_cast<QAbstractButton*>(control)) caption = button->text();
      if (auto* edit = qobject_cast<QLineEdit*>(control)) caption = edit->text();
      EXPECT_EQ(caption.toStdString(), c.caption) << c.name;
    }
  }
  EXPECT_EQ(Control<QCheckBox>("CheckInputVBS")->checkState(), Qt::Unchecked);
  EXPECT_EQ(Control<QListWidget>("List1")->count(), 0);
}

TEST_F(MainWindowTest, FollowsTheDesignTabOrder) {
  const std::vector<std::string> expected = {
      "SSTab1",          "List1",         "InfoText",        "TextFileOqy",
      "TextInputLogDir", "CheckInputVBS", "ComboInputCubTS", "CommandInfoSelectOQY",
      "CommandFileGo"};
  std::vector<std::string> order;
  QWidget* widget = Control<QWidget>("SSTab1");
  for (std::size_t steps = 0; widget != nullptr && steps < 200; ++steps) {
    const std::string name = widget->objectName().toStdString();
    if (std::find(expected.begin(), expected.end(), name) != expected.end() &&
        std::find(order.begin(), order.end(), name) == order.end())
      order.push_back(name);
    if (order.size() == expected.size()) break;
    widget = widget->nextInFocusChain();
  }
  EXPECT_EQ(order, expected);
  for (const char* label : {"Label1", "Label2", "Label3"})
    EXPECT_FALSE(Control<QWidget>(label)->focusPolicy() & Qt::TabFocus) << label;
}

TEST_F(MainWindowTest, OffersTheSevenPatternsWithNoneChosen) {
  auto* combo = Control<QComboBox>("ComboInputCubTS");
  EXPECT_FALSE(combo->isEditable());
  EXPECT_EQ(combo->currentIndex(), -1);
  EXPECT_EQ(combo->currentText().toStdString(), "");
  std::vector<std::string> entries;
  for (int i = 0; i < combo->count(); ++i) {
    entries.push_back(combo->itemText(i).toStdString());
    EXPECT_EQ(combo->itemData(i).toInt(), 0);
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"none", "YYYY-MM-DD_HH_mm_ss", "YYYY-MM-DD",
                                               "DD.MM.YYYY_HH_mm_ss", "DD.MM.YYYY",
                                               "DD-MM-YYYY_HH_mm_ss", "DD-MM-YYYY"}));
}

TEST_F(MainWindowTest, StartPassesTheFourInputsAsTheyStand) {
  RecordStarts();
  auto* start = Control<QPushButton>("CommandFileGo");
  start->click();  // every box empty, nothing ticked, no pattern chosen

  Control<QLineEdit>("TextFileOqy")->setText(" /data/Sales.oqy ");
  Control<QLineEdit>("TextInputLogDir")->setText("/data/log");
  Control<QCheckBox>("CheckInputVBS")->setChecked(true);
  Control<QComboBox>("ComboInputCubTS")->setCurrentIndex(0);
  start->click();

  Control<QCheckBox>("CheckInputVBS")->setTristate(true);
  Control<QCheckBox>("CheckInputVBS")->setCheckState(Qt::PartiallyChecked);
  Control<QComboBox>("ComboInputCubTS")->setCurrentIndex(3);
  start->click();

  Control<QCheckBox>("CheckInputVBS")->setCheckState(Qt::Unchecked);
  start->click();

  EXPECT_EQ(starts_, (std::vector<StartCall>{
                         {"", "", false, ""},
                         {" /data/Sales.oqy ", "/data/log", true, "none"},
                         {" /data/Sales.oqy ", "/data/log", true, "DD.MM.YYYY_HH_mm_ss"},
                         {" /data/Sales.oqy ", "/data/log", false, "DD.MM.YYYY_HH_mm_ss"},
                     }));
}

TEST_F(MainWindowTest, StartRunsAManualJobAndTheListKeepsEveryLine) {
  window_.Form_Load("");
  const std::size_t before = Lines().size();
  Control<QPushButton>("CommandFileGo")->click();  // every box empty: the checks fail
  EXPECT_TRUE(HasLine("At least one error occured"));
  EXPECT_TRUE(HasLine("Parameter: Test"));
  EXPECT_TRUE(ListIsRed());
  EXPECT_FALSE(window_.unloaded());
  EXPECT_EQ(Control<QTabWidget>("SSTab1")->currentIndex(), 2);
  const std::size_t after_first = Lines().size();
  EXPECT_GT(after_first, before);

  Control<QLineEdit>("TextFileOqy")->setText(QString::fromStdString(dir_.File("Sales.oqy")));
  Control<QCheckBox>("CheckInputVBS")->setChecked(true);
  Control<QPushButton>("CommandFileGo")->click();
  EXPECT_TRUE(HasLine("OQY 2 VBS File: " + dir_.File("Sales.oqy") + ".vbs"));
  EXPECT_GT(Lines().size(), after_first);
  EXPECT_EQ(Control<QListWidget>("List1")->currentRow(),
            Control<QListWidget>("List1")->count() - 1);
  EXPECT_EQ(Control<QLabel>("ImageCube")->y() * 15, 2385);
}

// "none" in any letter case, or no choice, gives no time-stamping: the script the job writes then
// blanks its own time stamp. The box offers "none" as it stands; other spellings are passed to
// the manual job directly.
TEST_F(MainWindowTest, NoneInAnyCaseGivesNoTimeStamping) {
  const std::string oqy = dir_.File("Sales.oqy");
  const std::string script = oqy + ".vbs";
  // The source does not exist, so the build fails; the script is written all the same.
  test::WriteBytes(oqy, test::kWorkedExampleLine + "\r\n");
  const std::string blank_stamp = "   sCurTS = \"\"\r\n";
  Control<QLineEdit>("TextFileOqy")->setText(QString::fromStdString(oqy));
  Control<QLineEdit>("TextInputLogDir")->setText(QString::fromStdString(dir_.path().string()));
  Control<QCheckBox>("CheckInputVBS")->setChecked(true);
  auto* combo = Control<QComboBox>("ComboInputCubTS");
  const struct {
    int combo_index;      // -1 with `pattern` null: no choice
    const char* pattern;  // passed directly when not null
    bool stamped;
  } cases[] = {{-1, nullptr, false},
               {0, nullptr, false},
               {2, nullptr, true},
               {-1, "NONE", false},
               {-1, "NoNe", false},
               {-1, "none ", true},
               {-1, "YYYY-MM-DD_HH_mm_ss", true}};
  for (const auto& c : cases) {
    std::filesystem::remove(script);
    std::string label;
    if (c.pattern == nullptr) {
      combo->setCurrentIndex(c.combo_index);
      label = "'" + combo->currentText().toStdString() + "' chosen";
      Control<QPushButton>("CommandFileGo")->click();
    } else {
      label = std::string("'") + c.pattern + "' passed";
      job::JobContext context{window_, clock_, sleeper_,
                              [] { return provider::connection::NewEngineConnection(); }};
      job::StartManualJob(context, oqy, dir_.path().string(), true, c.pattern);
    }
    const std::string text = test::ReadBytes(script);
    ASSERT_FALSE(text.empty()) << label;
    EXPECT_EQ(text.find(blank_stamp) == std::string::npos, c.stamped) << label;
  }
}

TEST_F(MainWindowTest, AFailedJobTurnsTheListRedForGood) {
  auto* list = Control<QListWidget>("List1");
  const QColor normal = list->palette().color(QPalette::Text);
  EXPECT_NE(normal, QColor(255, 0, 0));
  window_.AddLine("before");
  window_.listSetRed();
  EXPECT_TRUE(ListIsRed());
  // A later job that ends cleanly adds its lines in red too: nothing resets the colour.
  window_.SetManualJobStarter(
      [this](const std::string&, const std::string&, bool, const std::string&) {
        window_.AddLine("Cube Creation OK");
        window_.listSetLast();
        window_.ImageCubeMoveDown();
      });
  Control<QPushButton>("CommandFileGo")->click();
  EXPECT_TRUE(ListIsRed());
  for (int i = 0; i < list->count(); ++i)
    EXPECT_EQ(list->item(i)->foreground().style(), Qt::NoBrush)
        << "line " << i << " has its own colour";
  EXPECT_EQ(Lines(), (std::vector<std::string>{"before", "Cube Creation OK"}));
}

TEST_F(MainWindowTest, ListSetLastSelectsTheLastLineOrNone) {
  auto* list = Control<QListWidget>("List1");
  window_.listSetLast();
  EXPECT_EQ(list->currentRow(), -1);
  EXPECT_TRUE(list->selectedItems().isEmpty());
  for (int i = 0; i < 12; ++i) window_.AddLine("line " + std::to_string(i));
  EXPECT_EQ(list->currentRow(), -1);  // adding does not select
  window_.listSetLast();
  EXPECT_EQ(list->currentRow(), 11);
  ASSERT_EQ(list->selectedItems().size(), 1);
  EXPECT_EQ(list->selectedItems().front()->text().toStdString(), "line 11");
}

TEST_F(MainWindowTest, ImageCubeMoveDownGivesTheSameTopEveryTime) {
  auto* image = Control<QLabel>("ImageCube");
  EXPECT_EQ(image->y() * 15, 180);
  window_.ImageCubeMoveDown();
  EXPECT_EQ(image->y() * 15, 2385);
  window_.ImageCubeMoveDown();
  EXPECT_EQ(image->y() * 15, 2385);
  EXPECT_EQ(image->x() * 15, 11100);
}

TEST_F(MainWindowTest, ACommandLineJobRunsInTheLoadAndUnloadsTheWindowAfterThePause) {
  // A section that does not exist: every value is empty and the checks fail.
  EXPECT_EQ(window_.Form_Load("NoSuchJob"), 1);
  EXPECT_TRUE(window_.unloaded());
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(sleeper_.pauses, (std::vector<int>{15}));
  EXPECT_TRUE(HasLine("A Parameter has been found"));
  EXPECT_TRUE(ListIsRed());
  EXPECT_EQ(Control<QLabel>("ImageCube")->y() * 15, 2385);
  EXPECT_FALSE(Control<QPlainTextEdit>("InfoText")->toPlainText().isEmpty());
}

TEST_F(MainWindowTest, IgnoresClosingWhileAJobRuns) {
  window_.show();
  window_.SetManualJobStarter([this](const std::string&, const std::string&, bool,
                                     const std::string&) { window_.close(); });
  Control<QPushButton>("CommandFileGo")->click();
  EXPECT_TRUE(window_.isVisible());
  EXPECT_TRUE(window_.close());  // between jobs the window closes
  EXPECT_FALSE(window_.isVisible());
}

TEST(CubePictureTest, IsACubeOnATransparentGround) {
  const QImage image = CubeImage();
  EXPECT_EQ(image.size(), QSize(116, 113));
  int transparent = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) transparent += qAlpha(image.pixel(x, y)) == 0;
  const double share = double(transparent) / (116.0 * 113.0);
  EXPECT_GT(share, 0.2);
  EXPECT_LT(share, 0.5);
  EXPECT_NE(qAlpha(image.pixel(58, 57)), 0);  // the front corner
}

}  // namespace
}  // namespace cubemill::ui
