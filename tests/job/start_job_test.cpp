#include "job/start_job.h"

#include <gtest/gtest.h>

#include "job/job_fixture.h"
#include "platform/file_lock.h"
#include "support/lock_holder.h"

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

TEST_F(StartJobTest, ReadsAggregateFromTheJobSectionOnly) {
  test::WriteBytes("cubemill.ini",
                   "[GLOBAL]\r\nLOGDIR=logs\r\nAGGREGATE=CLIENT\r\n"
                   "[Upper]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\nAGGREGATE=SOURCE\r\n"
                   "[Mixed]\r\nOQY=a.oqy\r\n  aGgReGaTe =  auto \r\nGLOBAL=GLOBAL\r\n"
                   "[Odd]\r\nAGGREGATE=grouped\r\nAGGREGATE=SOURCE\r\n"
                   "[Empty]\r\nOQY=a.oqy\r\nAGGREGATE=\r\n"
                   "[Plain]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\n");
  EXPECT_EQ(JobFromSettings("Upper").Aggregate, "SOURCE");
  EXPECT_EQ(JobFromSettings("mixed").Aggregate, "auto");   // blanks around name and value go
  EXPECT_EQ(JobFromSettings("Odd").Aggregate, "grouped");  // taken as written, first key wins
  EXPECT_EQ(JobFromSettings("Empty").Aggregate, "");
  // Not inherited from the global section, nor from a section that is not there.
  EXPECT_EQ(JobFromSettings("Plain").Aggregate, "");
  EXPECT_EQ(JobFromSettings("Missing").Aggregate, "");

  // The key changes no other field of the job.
  CubeJob upper = JobFromSettings("Upper");
  CubeJob plain = JobFromSettings("Plain");
  EXPECT_EQ(upper.LogDir, "logs");
  upper.Parameter = plain.Parameter;
  upper.Aggregate.clear();
  EXPECT_EQ(upper, plain);
}

TEST_F(StartJobTest, ReadsRollupsFromTheJobSectionOnly) {
  test::WriteBytes("cubemill.ini",
                   "[GLOBAL]\r\nLOGDIR=logs\r\nROLLUPS=7\r\n"
                   "[Upper]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\nROLLUPS=0\r\n"
                   "[Mixed]\r\nOQY=a.oqy\r\n  rOlLuPs =  250 \r\nGLOBAL=GLOBAL\r\n"
                   "[Odd]\r\nROLLUPS=many\r\nAGGREGATE=SOURCE\r\n"
                   "[Plain]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\n");
  EXPECT_EQ(JobFromSettings("Upper").Rollups, "0");
  EXPECT_EQ(JobFromSettings("mixed").Rollups, "250");
  EXPECT_EQ(JobFromSettings("Odd").Rollups, "many");  // taken as written; the engine judges it
  EXPECT_EQ(JobFromSettings("Odd").Aggregate, "SOURCE");
  EXPECT_EQ(JobFromSettings("Plain").Rollups, "");  // not inherited from the global section
  EXPECT_EQ(JobFromSettings("Missing").Rollups, "");
  CubeJob upper = JobFromSettings("Upper");
  CubeJob plain = JobFromSettings("Plain");
  upper.Parameter = plain.Parameter;
  upper.Rollups.clear();
  EXPECT_EQ(upper, plain);  // the key changes no other field
}

TEST_F(StartJobTest, CommandLineJobPassesRollupsAfterAggregate) {
  test::WriteBytes("cubemill.ini",
                   "[Paths]\r\nLOGDIR=logs\r\n"
                   "[Nightly]\r\nOQY=a.oqy\r\nGLOBAL=Paths\r\nRollups=12\r\nAGGREGATE=client\r\n");
  std::filesystem::create_directory("logs");
  WriteOqy("a.oqy", "a.cub");
  EXPECT_EQ(StartFromCommandLine(context, "Nightly"), kExitClean);
  ASSERT_EQ(connections.calls.size(), 6u);
  EXPECT_EQ(connections.calls[2], "Property Aggregate=client");
  EXPECT_EQ(connections.calls[3], "Property Rollups=12");
  EXPECT_EQ(connections.calls[4], "Open(,,,-1)");
}

TEST_F(StartJobTest, CommandLineJobPassesAggregateToTheConnection) {
  test::WriteBytes("cubemill.ini",
                   "[Paths]\r\nLOGDIR=logs\r\n"
                   "[Nightly]\r\nOQY=a.oqy\r\nGLOBAL=Paths\r\nAggregate=Source\r\n");
  std::filesystem::create_directory("logs");
  WriteOqy("a.oqy", "a.cub");
  EXPECT_EQ(StartFromCommandLine(context, "Nightly"), kExitClean);
  ASSERT_EQ(connections.calls.size(), 5u);
  EXPECT_EQ(connections.calls[1], "Provider=MSOLAP");
  EXPECT_EQ(connections.calls[2], "Property Aggregate=Source");
  EXPECT_EQ(connections.calls[3], "Open(,,,-1)");
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

TEST_F(StartJobTest, ManualJobTakesNoAggregateFromTheSettings) {
  // The manual job is called "Test" like the default file's job, whose section names one.
  test::WriteBytes("cubemill.ini", "[Test]\r\nOQY=a.oqy\r\nAGGREGATE=SOURCE\r\n");
  WriteOqy("a.oqy", "a.cub");
  EXPECT_TRUE(StartManualJob(context, "a.oqy", ".", false, ""));
  ASSERT_EQ(connections.calls.size(), 4u);
  EXPECT_EQ(connections.calls[1], "Provider=MSOLAP");
  EXPECT_EQ(connections.calls[2], "Open(,,,-1)");
}

TEST_F(StartJobTest, ReadsKeepFromTheJobSectionOnly) {
  test::WriteBytes("cubemill.ini",
                   "[GLOBAL]\r\nLOGDIR=logs\r\nKEEP=9\r\n"
                   "[Upper]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\nKEEP= 3 \r\n"
                   "[Odd]\r\nOQY=a.oqy\r\nkeep=none\r\n"
                   "[Plain]\r\nOQY=a.oqy\r\nGLOBAL=GLOBAL\r\n");
  EXPECT_EQ(JobFromSettings("Upper").Keep, "3");
  EXPECT_EQ(JobFromSettings("Odd").Keep, "none");  // taken as written; the job judges it
  EXPECT_EQ(JobFromSettings("Plain").Keep, "");    // not inherited from the global section
  CubeJob upper = JobFromSettings("Upper");
  CubeJob plain = JobFromSettings("Plain");
  upper.Parameter = plain.Parameter;
  upper.Keep.clear();
  EXPECT_EQ(upper, plain);  // the key changes no other field
}

TEST_F(StartJobTest, ACubeFileAnotherRunWritesEndsWithTheBusyStatus) {
  test::WriteBytes("cubemill.ini",
                   "[Paths]\r\nLOGDIR=logs\r\n[Nightly]\r\nOQY=a.oqy\r\nGLOBAL=Paths\r\n");
  std::filesystem::create_directory("logs");
  WriteOqy("a.oqy", "a.cub");
  test::LockHolder other_run(platform::LockFileFor("a.cub"));
  ASSERT_TRUE(other_run.holds());
  EXPECT_EQ(StartFromCommandLine(context, "Nightly"), kExitBusy);
  other_run.Kill();
  EXPECT_EQ(StartFromCommandLine(context, "Nightly"), kExitClean);
}

}  // namespace
}  // namespace cubemill::job
