#include "job/start_job.h"

#include <gtest/gtest.h>

#include "job/job_fixture.h"

namespace cubemill::job {
namespace {

using Lines = std::vector<std::string>;

class StartJobTest : public JobFixture {
 protected:
  // The value a summary line starting with `label` shows.
  std::string Shown(const std::string& label) {
    for (const auto& line : list.lines)
      if (line.rfind(label, 0) == 0) return line.substr(label.size());
    return "<missing>";
  }
};

TEST_F(StartJobTest, WithoutParameterOnlyReports) {
  EXPECT_EQ(StartFromCommandLine(context, ""), kExitClean);
  EXPECT_EQ(list.lines, (Lines{"erstelle INI Datei", "No Parameter has been found"}));
  EXPECT_TRUE(sleeper.pauses.empty());
}

TEST_F(StartJobTest, ReadsTheJobSectionOfTheDefaultFile) {
  EXPECT_EQ(StartFromCommandLine(context, "Test"), kExitFailed);  // its OQY file is missing
  EXPECT_EQ(Lines(list.lines.begin(), list.lines.begin() + 2),
            (Lines{"erstelle INI Datei", "A Parameter has been found"}));
  EXPECT_EQ(Shown("Parameter: "), "Test");
  EXPECT_EQ(Shown("Current Directory: "), dir.File("run"));
  EXPECT_EQ(Shown("OQY File: "), "..\\OQY-Dateien\\rel01\\Output_Detail.oqy");
  EXPECT_EQ(Shown("OQY 2 VBS File: "), "..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs");
  EXPECT_EQ(Shown("Global Section: "), "GLOBAL");
  EXPECT_EQ(Shown("Log Directory: "), "..\\OQY-Dateien\\log");
  EXPECT_EQ(Shown("Log Directory OK: "), "True");
  EXPECT_EQ(list.calls.back(), "<Unload>");
  EXPECT_EQ(sleeper.pauses, std::vector<int>{15});
}

TEST_F(StartJobTest, TakesLogDirFromTheNamedGlobalSection) {
  test::WriteBytes("cubemill.ini",
                   "[Nightly]\r\nOQY=a.oqy\r\nGLOBAL=Paths\r\nLOGDIR=wrong\r\n"
                   "[Paths]\r\nLOGDIR=logs\r\n");
  std::filesystem::create_directory("logs");
  WriteOqy("a.oqy", "a.cub");
  EXPECT_EQ(StartFromCommandLine(context, "nightly"), kExitClean);
  EXPECT_EQ(Shown("Log Directory: "), "logs");
  EXPECT_EQ(Shown("OQY 2 VBS File: "), "");
  EXPECT_NE(std::find(list.lines.begin(), list.lines.end(), "VBS Conversion not selected"),
            list.lines.end());
  EXPECT_EQ(test::ReadBytes("logs/cubemill.log").rfind("2024-03-07 09:05:02;nightly;=====", 0), 0u);
}

TEST_F(StartJobTest, QuotedParameterFindsNoSection) {
  StartFromCommandLine(context, "\"Test\"");
  EXPECT_EQ(Shown("Parameter: "), "\"Test\"");
  EXPECT_EQ(Shown("OQY File: "), "");
  EXPECT_EQ(Shown("Global Section: "), "");
}

TEST_F(StartJobTest, ManualJobTakesItsInputsAsTheyStand) {
  WriteOqy("a.oqy", "a.cub");
  EXPECT_TRUE(StartManualJob(context, "a.oqy", ".", true, "nOnE"));
  EXPECT_EQ(Shown("Parameter: "), "Test");
  EXPECT_EQ(Shown("Global Section: "), "MANUAL_GLOBAL");
  EXPECT_EQ(Shown("OQY 2 VBS File: "), "a.oqy.vbs");
  EXPECT_TRUE(std::filesystem::exists("a.cub"));  // "none": not stamped
  EXPECT_EQ(list.calls.back(), "<ImageCubeMoveDown>");
  EXPECT_TRUE(sleeper.pauses == std::vector<int>{1});

  list.lines.clear();
  EXPECT_TRUE(StartManualJob(context, "a.oqy", ".", false, " none"));
  EXPECT_TRUE(std::filesystem::exists("a_ none.cub"));  // used as a pattern
  list.lines.clear();
  EXPECT_FALSE(StartManualJob(context, "", "nolog", true, ""));
  EXPECT_EQ(Shown("OQY 2 VBS File: "), ".vbs");
}

}  // namespace
}  // namespace cubemill::job
