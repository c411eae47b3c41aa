// The window's exports off its thread (progress, Cancel, the confirmation naming the file, an
// earlier file kept when stopped) and cubemill-browse --export, which writes the same file with
// no window and no display.
#include "ui/browse_export.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "support/test_support.h"
#include "support/unzip.h"
#include "ui/browse_window_fixture.h"

namespace cubemill::ui {
namespace {

namespace fs = std::filesystem;

using BrowseExportTest = BrowseWindowTest;

TEST_F(BrowseExportTest, AnExportRunsBesideTheWindowCanBeCancelledAndSaysWhereItWrote) {
  ASSERT_TRUE(Open());
  CountriesByYear();
  BrowseExporter* exporter = window_->Exporter();
  const std::string book = dir_.File("pivot.xlsx");
  { std::ofstream(book) << "earlier"; }

  // The exporter's thread held up: the export waits there while the window goes on answering.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  QMetaObject::invokeMethod(
      exporter->Worker(), [released] { released.wait(); }, Qt::QueuedConnection);
  QSignalSpy finished(exporter, &BrowseExporter::Finished);
  ASSERT_TRUE(window_->ExportWorkbook(QString::fromStdString(book)));
  EXPECT_TRUE(exporter->isVisible());
  EXPECT_TRUE(exporter->findChild<QProgressBar*>("export_progress")->isVisible());
  // One export at a time.
  EXPECT_FALSE(window_->ExportCsv(QString::fromStdString(dir_.File("other.csv"))));
  EXPECT_NE(window_->statusBar()->currentMessage().indexOf("An export is running"), -1);
  QSignalSpy answers(window_.get(), &BrowseWindow::AnswerShown);
  window_->ChangeLayout([](browse::PivotLayout& layout, const query::CubeModel&) {
    layout.totals = false;
    return true;
  });
  ASSERT_TRUE(WaitForAnswer(answers));
  EXPECT_TRUE(exporter->Running());

  QTest::mouseClick(exporter->findChild<QPushButton*>("cancel_export"), Qt::LeftButton);
  release.set_value();
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(finished.takeFirst().at(1).toString(), "Cancelled");
  EXPECT_FALSE(exporter->isVisible());
  EXPECT_EQ(test::ReadBytes(book), "earlier");
  EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::string>{"pivot.xlsx"});
  EXPECT_NE(window_->statusBar()->currentMessage().indexOf("cancelled"), -1)
      << window_->statusBar()->currentMessage().toStdString();

  // Again, to the end: the file whole, and the status bar names it.
  ASSERT_EQ(Export(book, true), "");
  EXPECT_EQ(test::ReadBytes(book).substr(0, 2), "PK");
  EXPECT_EQ(window_->statusBar()->currentMessage(),
            "Exported to " + QDir::toNativeSeparators(QString::fromStdString(book)));
  EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::string>{"pivot.xlsx"});
  // The answer without totals, as the grid shows it now.
  const std::string csv = dir_.File("pivot.csv");
  ASSERT_EQ(Export(csv, false), "");
  EXPECT_EQ(test::ReadBytes(csv).find("Total"), std::string::npos);
}

TEST_F(BrowseExportTest, TheProgramWritesWhatTheWindowWritesWithoutADisplay) {
  const std::string mdx =
      "SELECT {[Time].[Year].Members, [Time].[2024].Children} ON COLUMNS, "
      "[Geography].[Country].Members ON ROWS FROM [OCWCube]";
  ASSERT_TRUE(Open(Sample().Cube(), QString::fromStdString(mdx)));
  ASSERT_EQ(window_->Message(), "");
  for (const char* name : {"window.csv", "window.xlsx"})
    ASSERT_EQ(Export(dir_.File(name), std::string(name).ends_with(".xlsx")), "") << name;

  std::string errors;
  const std::string cube = ShellQuoted(Sample().Cube());
  EXPECT_EQ(RunProgram("--export " + ShellQuoted(dir_.File("cli.csv")) + " " + cube + " " +
                           ShellQuoted(mdx),
                       &errors),
            0)
      << errors;
  EXPECT_EQ(errors, "");
  EXPECT_EQ(test::ReadBytes(dir_.File("cli.csv")), test::ReadBytes(dir_.File("window.csv")));
  EXPECT_EQ(
      RunProgram("-e " + ShellQuoted(dir_.File("cli.xlsx")) + " " + cube + " " + ShellQuoted(mdx),
                 &errors),
      0)
      << errors;
  for (const char* part : {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml"}) {
    EXPECT_EQ(test::Unzip(dir_.File("cli.xlsx"), part), test::Unzip(dir_.File("window.xlsx"), part))
        << part;
  }

  // Failures: one line naming what is wrong, exit status 1, an earlier file as it was.
  const std::string earlier = dir_.File("earlier.csv");
  { std::ofstream(earlier) << "earlier"; }
  const struct {
    std::string arguments;
    std::string says;
  } failures[] = {
      {ShellQuoted(earlier) + " " + ShellQuoted(dir_.File("missing.cub")), "There is no file"},
      {ShellQuoted(earlier) + " " + cube + " 'SELECT FROM'", "the query"},
      {ShellQuoted(earlier) + " " + cube + " " +
           ShellQuoted("SELECT {[Measures].[Nothing]} ON 0 FROM [OCWCube]"),
       "Nothing"},
      {ShellQuoted(dir_.File("none/pivot.csv")) + " " + cube, "cannot export to"},
  };
  for (const auto& failure : failures) {
    EXPECT_EQ(RunProgram("--export " + failure.arguments, &errors), 1) << failure.arguments;
    EXPECT_NE(errors.find(failure.says), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(errors.rfind("cubemill-browse: ", 0), 0u) << errors;
  }
  EXPECT_EQ(test::ReadBytes(earlier), "earlier");
  // Wrong arguments: the usage's exit status.
  EXPECT_EQ(RunProgram("--export " + ShellQuoted(dir_.File("pivot.txt")) + " " + cube, &errors), 2);
  EXPECT_NE(errors.find(".csv or .xlsx"), std::string::npos) << errors;
  EXPECT_EQ(RunProgram("--export " + ShellQuoted(dir_.File("pivot.csv")), &errors), 2);
  EXPECT_EQ(RunProgram("--help", &errors), 0);
}

}  // namespace
}  // namespace cubemill::ui
