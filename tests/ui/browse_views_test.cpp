// Layouts that last in cubemill-browse's window: Undo and Redo over gestures of every kind, views
// saved and opened (a damaged one, one of fields the cube lacks, one with no cube open), the last
// layout of a cube shown again when it opens, and cubemill-browse --export of a view.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "browse/pivot_members.h"
#include "browse/pivot_view.h"
#include "support/test_support.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

namespace fs = std::filesystem;

class BrowseViewsTest : public BrowseWindowTest {
 protected:
  QAction* Action(const char* name) const { return window_->findChild<QAction*>(name); }
  // Runs `gesture` and waits for its answer; the layout it left.
  browse::PivotLayout After(const std::function<void()>& gesture) {
    QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
    gesture();
    EXPECT_TRUE(WaitForAnswer(spy));
    EXPECT_EQ(window_->Message(), "");
    return window_->Layout();
  }
  // The layout shown is `expected`, and so are the grid's query and the MDX pane.
  void ExpectShown(const browse::PivotLayout& expected, const std::string& step) {
    EXPECT_EQ(window_->Layout(), expected) << step;
    ASSERT_NE(Grid()->Grid(), nullptr) << step;
    EXPECT_EQ(Grid()->Grid()->mdx, browse::PivotMdx(Model(), expected)) << step;
    EXPECT_EQ(window_->MdxText().toStdString(), browse::PivotMdx(Model(), expected)) << step;
  }
  std::size_t Member(std::size_t level, const std::string& name) const {
    for (std::size_t m : Model().MembersOf(level)) {
      if (Model().Member(m).name == name) return m;
    }
    ADD_FAILURE() << "no member " << name;
    return 0;
  }
  // The cubes whose layouts the settings keep, and putting (cube, view text) pairs there.
  static QStringList KeptCubes() {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "cubemill", "cubemill-browse");
    QStringList cubes;
    const int size = settings.beginReadArray("last-views");
    for (int i = 0; i < size; ++i) {
      settings.setArrayIndex(i);
      cubes << settings.value("cube").toString();
    }
    settings.endArray();
    return cubes;
  }
  static void KeepViews(const std::vector<std::pair<QString, QString>>& views) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "cubemill", "cubemill-browse");
    settings.remove("last-views");
    settings.beginWriteArray("last-views", static_cast<int>(views.size()));
    for (int i = 0; i < static_cast<int>(views.size()); ++i) {
      settings.setArrayIndex(i);
      settings.setValue("cube", views[static_cast<std::size_t>(i)].first);
      settings.setValue("view", views[static_cast<std::size_t>(i)].second);
    }
    settings.endArray();
  }
  // Countries by year, Spain drilled, sliced by the first product category, sorted by 2024.
  void Arranged() {
    CountriesByYear();
    const std::size_t geography = Hierarchy("Geography");
    After([&] { window_->ToggleMember(Member(Level(geography, "Country"), "Spain")); });
    const std::size_t product = Hierarchy("Product");
    const std::size_t category = Model().MembersOf(browse::TopLevelOf(Model(), product)).front();
    After([&] {
      window_->ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel& model) {
        return browse::SetSlicer(layout, model, product, {category});
      });
    });
    After([&] {
      window_->SortByColumn(static_cast<std::size_t>(ColumnOf("2024") - Grid()->HeaderColumns()));
    });
  }
};

TEST_F(BrowseViewsTest, UndoAndRedoRetraceEveryKindOfGesture) {
  EXPECT_FALSE(Action("undo")->isEnabled()) << "nothing to undo without a cube";
  ASSERT_TRUE(Open());
  EXPECT_FALSE(Action("undo")->isEnabled());
  EXPECT_FALSE(Action("redo")->isEnabled());
  std::vector<browse::PivotLayout> steps{window_->Layout()};
  const std::size_t geography = Hierarchy("Geography");
  const std::size_t time = Hierarchy("Time.Calendar");
  const auto gestures = std::vector<std::function<void()>>{
      [&] {
        window_->Fields()->Place(
            window_->Fields()->LevelItem(geography, Level(geography, "Country")), true);
      },
      [&] { Drop(window_->GridView()->horizontalHeader()->viewport(), time, Level(time, "Year")); },
      [&] { window_->ToggleMember(Member(Level(geography, "Country"), "Spain")); },
      [&] { window_->SortByColumn(0); },
      [&] {
        window_->FilterRows(browse::PivotFilter{browse::PivotFilter::Kind::kTop,
                                                Grid()->Grid()->column_unique_names[0], 2});
      },
      [&] {
        window_->Fields()->MeasureItem(MeasureIndex("Amount"))->setCheckState(0, Qt::Checked);
      },
      [&] { window_->RemoveFilter(); },
      [&] { QTest::mouseClick(window_->findChild<QPushButton*>("swap_axes"), Qt::LeftButton); },
      [&] {
        for (QCheckBox* box : window_->findChildren<QCheckBox*>())
          if (box->text() == "Totals") QTest::mouseClick(box, Qt::LeftButton);
      },
      [&] {
        window_->ChangeLayout([&](browse::PivotLayout& layout, const query::CubeModel&) {
          return browse::RemoveField(layout, geography);
        });
      },
  };
  for (const auto& gesture : gestures) {
    const browse::PivotLayout layout = After(gesture);
    ASSERT_NE(layout, steps.back()) << "gesture " << steps.size();
    steps.push_back(layout);
  }
  EXPECT_TRUE(Action("undo")->isEnabled());
  EXPECT_FALSE(Action("redo")->isEnabled());

  // Back to the start, each step restored exactly and asked again; then forward to the end.
  for (std::size_t i = steps.size() - 1; i-- > 0;) {
    After([&] { Action("undo")->trigger(); });
    ExpectShown(steps[i], "undone to step " + std::to_string(i));
  }
  EXPECT_FALSE(Action("undo")->isEnabled());
  EXPECT_FALSE(window_->Undo());
  for (std::size_t i = 1; i < steps.size(); ++i) {
    After([&] { Action("redo")->trigger(); });
    ExpectShown(steps[i], "redone to step " + std::to_string(i));
  }
  EXPECT_FALSE(Action("redo")->isEnabled());

  // A new gesture after an undo: what was undone cannot be redone.
  After([&] { window_->Undo(); });
  After([&] { QTest::mouseClick(window_->findChild<QPushButton*>("swap_axes"), Qt::LeftButton); });
  EXPECT_FALSE(Action("redo")->isEnabled());

  // The standard keys.
  EXPECT_TRUE(Action("undo")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Z)));
  for (const QKeySequence& key :
       {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
    EXPECT_TRUE(Action("redo")->shortcuts().contains(key)) << key.toString().toStdString();

  // Another cube (here the same file again) starts afresh.
  ASSERT_TRUE(Open());
  EXPECT_FALSE(Action("undo")->isEnabled());
  EXPECT_FALSE(Action("redo")->isEnabled());
}

TEST_F(BrowseViewsTest, AViewSavedOpensAsItWasAndOneStepUndoesIt) {
  EXPECT_FALSE(Action("save_view")->isEnabled());
  ASSERT_TRUE(Open());
  Arranged();
  browse::PivotLayout saved = window_->Layout();
  browse::KeepShownDrills(Model(), saved);
  const std::string path = dir_.File("countries.cmview");
  ASSERT_TRUE(window_->SaveView(QString::fromStdString(path)));
  EXPECT_EQ(window_->statusBar()->currentMessage(),
            "View saved to " + QString::fromStdString(path));
  EXPECT_EQ(test::ReadBytes(path).rfind("cubemill-view 1\n", 0), 0u);
  EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::string>{"countries.cmview"});

  // Elsewhere, then the view again: as saved, one step that Undo takes back.
  const browse::PivotLayout elsewhere = After(
      [&] { QTest::mouseClick(window_->findChild<QPushButton*>("swap_axes"), Qt::LeftButton); });
  After([&] { ASSERT_TRUE(window_->OpenView(QString::fromStdString(path))); });
  ExpectShown(saved, "the view opened");
  After([&] { window_->Undo(); });
  ExpectShown(elsewhere, "the view undone");

  // In a new window with no cube open: the view opens the cube it was made on.
  window_ = std::make_unique<BrowseWindow>();
  After([&] { ASSERT_TRUE(window_->OpenView(QString::fromStdString(path))); });
  ExpectShown(saved, "the view opened its cube");

  EXPECT_EQ(browse::ReadViewFile(path)->cube, Sample().Cube());
  // A view written by hand names its cube relative to its own folder.
  const std::string by_hand = dir_.File("by_hand.cmview");
  {
    std::ofstream(by_hand) << "cubemill-view 1\ncube = "
                           << fs::relative(Sample().Cube(), dir_.path()).string()
                           << "\nmeasure = [Measures].[Quantity]\nrow = [Geography].[Country]\n";
  }
  window_ = std::make_unique<BrowseWindow>();
  After([&] { ASSERT_TRUE(window_->OpenView(QString::fromStdString(by_hand))); });
  EXPECT_EQ(window_->Layout().rows,
            (std::vector<browse::PivotField>{
                {Hierarchy("Geography"), Level(Hierarchy("Geography"), "Country")}}));

  // A folder that is not there: the message says so, nothing is written.
  EXPECT_FALSE(window_->SaveView(QString::fromStdString(dir_.File("none/v.cmview"))));
  EXPECT_TRUE(window_->Message().startsWith("Cannot save the view to"))
      << window_->Message().toStdString();
}

TEST_F(BrowseViewsTest, AViewTheCubeCannotShowWholeSaysWhatItLeftOut) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  const browse::PivotLayout before = window_->Layout();
  // Damaged or foreign: one message naming the file and what is wrong; the layout stays.
  const std::string damaged = dir_.File("damaged.cmview");
  { std::ofstream(damaged) << "cubemill-view 1\n[sort]\norder = sideways\n"; }
  const std::string foreign = dir_.File("foreign.cmview");
  { std::ofstream(foreign) << "PK\x03\x04 not a view"; }
  for (const auto& [file, says] : {std::pair{damaged, std::string("line 3: order is")},
                                   std::pair{foreign, std::string("not a Cubemill view")}}) {
    EXPECT_FALSE(window_->OpenView(QString::fromStdString(file)));
    EXPECT_TRUE(window_->Message().contains(QString::fromStdString(file))) << file;
    EXPECT_TRUE(window_->Message().contains(QString::fromStdString(says)))
        << window_->Message().toStdString();
    EXPECT_EQ(window_->Layout(), before);
  }
  // Fields of another cube: the rest opens, and the message names what was left out.
  const std::string other = dir_.File("other.cmview");
  {
    std::ofstream(other) << "cubemill-view 1\nmeasure = [Measures].[Quantity]\n"
                            "row = [Geography].[Country]\nrow = [Weather].[Season]\n"
                            "[slicer]\nhierarchy = [Channel]\nmember = [Channel].[Web]\n";
  }
  QSignalSpy spy(window_.get(), &BrowseWindow::AnswerShown);
  ASSERT_TRUE(window_->OpenView(QString::fromStdString(other)));
  ASSERT_TRUE(WaitForAnswer(spy));
  EXPECT_EQ(window_->Message(),
            "The view other.cmview opened without what this cube lacks: row field "
            "[Weather].[Season]; slicer [Channel].");
  EXPECT_EQ(window_->Layout().rows, before.rows);
  EXPECT_TRUE(window_->Layout().columns.empty());
  // The next answered gesture clears it.
  After([&] { window_->Undo(); });
  EXPECT_EQ(window_->Message(), "");
}

TEST_F(BrowseViewsTest, ACubeOpensWithTheLayoutItWasLeftWith) {
  ASSERT_TRUE(Open());
  Arranged();
  const browse::PivotLayout left = window_->Layout();
  window_->close();
  // The settings live in the test's folder, not the user's.
  EXPECT_TRUE(fs::exists(fs::path(SettingsFolder()) / "cubemill" / "cubemill-browse.ini"));

  window_ = std::make_unique<BrowseWindow>();
  window_->show();
  ASSERT_TRUE(Open());
  ExpectShown(left, "reopened");
  EXPECT_FALSE(Action("undo")->isEnabled());
  // A query given asks for itself, not for what was kept.
  ASSERT_TRUE(Open(Sample().Cube(), "SELECT [Time].[Year].Members ON COLUMNS FROM [OCWCube]"));
  EXPECT_TRUE(window_->Layout().rows.empty());
  // Opening the cube again kept that layout (another cube opening keeps the one before).
  ASSERT_TRUE(Open());
  EXPECT_TRUE(window_->Layout().rows.empty());

  // A kept layout that no longer fits the cube (rebuilt without a field): the default one.
  const QString sample = BrowseWindow::KeptCubePath(QString::fromStdString(Sample().Cube()));
  ASSERT_EQ(KeptCubes(), QStringList{sample});
  KeepViews({{sample,
              "cubemill-view 1\nmeasure = [Measures].[Quantity]\n"
              "row = [Geography].[Country]\ncolumn = [Weather].[Season]\n"}});
  window_ = std::make_unique<BrowseWindow>();
  ASSERT_TRUE(Open());
  EXPECT_EQ(window_->Layout(), browse::DefaultLayout(Model()));
  EXPECT_EQ(window_->Message(), "");

  // The layouts of the last 100 cubes are kept, the one closed now first.
  std::vector<std::pair<QString, QString>> many;
  for (int i = 0; i < 150; ++i) many.emplace_back(QString("/cubes/%1.cub").arg(i), "");
  KeepViews(many);
  window_->close();
  const QStringList kept = KeptCubes();
  ASSERT_EQ(kept.size(), 100);
  EXPECT_EQ(kept.front(), sample);
  EXPECT_EQ(kept[1], "/cubes/0.cub");
  EXPECT_EQ(kept.back(), "/cubes/98.cub");
}

TEST_F(BrowseViewsTest, TheProgramExportsAViewAsTheWindowDoes) {
  ASSERT_TRUE(Open());
  Arranged();
  const std::string view = dir_.File("arranged.cmview");
  ASSERT_TRUE(window_->SaveView(QString::fromStdString(view)));
  ASSERT_EQ(Export(dir_.File("window.csv"), false), "");

  std::string errors;
  const std::string cube = ShellQuoted(Sample().Cube());
  EXPECT_EQ(RunProgram("--export " + ShellQuoted(dir_.File("cli.csv")) + " " + cube + " " +
                           ShellQuoted(view),
                       &errors),
            0)
      << errors;
  EXPECT_EQ(errors, "");
  EXPECT_EQ(test::ReadBytes(dir_.File("cli.csv")), test::ReadBytes(dir_.File("window.csv")));

  // A view missing, damaged, or naming what the cube lacks: one line, exit 1, nothing written.
  const std::string damaged = dir_.File("damaged.cmview");
  { std::ofstream(damaged) << "cubemill-view 1\ntotals = maybe\n"; }
  const std::string lacking = dir_.File("lacking.cmview");
  { std::ofstream(lacking) << "cubemill-view 1\nrow = [Weather].[Season]\n"; }
  const struct {
    std::string view, says;
  } failures[] = {
      {dir_.File("missing.cmview"), "cannot read the view"},
      {damaged, "line 2: totals is \"maybe\""},
      {lacking, "names what the cube lacks: row field [Weather].[Season]"},
  };
  for (const auto& failure : failures) {
    const std::string out = dir_.File("failed.csv");
    EXPECT_EQ(
        RunProgram("--export " + ShellQuoted(out) + " " + cube + " " + ShellQuoted(failure.view),
                   &errors),
        1)
        << failure.view;
    EXPECT_NE(errors.find(failure.says), std::string::npos) << errors;
    EXPECT_NE(errors.find(failure.view), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_FALSE(fs::exists(out));
  }
}

}  // namespace
}  // namespace cubemill::ui
