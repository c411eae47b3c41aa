// The built program, run from the command line in a fresh directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "e2e/run_cubemill.h"
#include "platform/text_file.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

using Lines = std::vector<std::string>;
const std::string kSeparator(66, '=');

TEST(CommandLineTest, PrintsHelpAndVersion) {
  auto help = test::RunCubemill("--help");
  EXPECT_EQ(help.status, 0);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(help.lines[0], "Usage: cubemill [JOB]");
  auto version = test::RunCubemill("--version");
  EXPECT_EQ(version.status, 0);
  ASSERT_EQ(version.lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(version.lines[0], std::regex("cubemill [0-9]+\\.[0-9]+\\.[0-9]+")));
}

TEST(CommandLineTest, WithoutJobReportsAndExitsCleanly) {
  test::TempDir dir;
  auto run = test::RunCubemill("");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.lines, (Lines{"erstelle INI Datei", "No Parameter has been found"}));
}

TEST(CommandLineTest, RunsTheDefaultJobWhoseOqyFileIsMissing) {
  test::TempDir dir;
  std::filesystem::create_directories("OQY-Dateien/log");
  std::filesystem::create_directory("run");
  std::filesystem::current_path("run");

  auto run = test::RunCubemill("Test");
  EXPECT_EQ(run.status, 1);
  const Lines expected{"erstelle INI Datei",
                       "A Parameter has been found",
                       kSeparator,
                       "Parameter: Test",
                       "Current Directory: " + dir.File("run"),
                       "INI File: " + dir.File("run/cubemill.ini"),
                       "INI File OK: True",
                       "OQY File: ..\\OQY-Dateien\\rel01\\Output_Detail.oqy",
                       "OQY File OK: False",
                       "OQY 2 VBS File: ..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs",
                       "OQY 2 VBS File OK: False",
                       "Global Section: GLOBAL",
                       "Log Directory: ..\\OQY-Dateien\\log",
                       "Log Directory OK: True",
                       "At least one error occured",
                       "Duration: 00:00:00",
                       kSeparator};
  EXPECT_EQ(run.lines, expected);

  const std::string ini = test::ReadBytes("cubemill.ini");
  EXPECT_EQ(ini.substr(0, 39), "[GLOBAL]\r\nLOGDIR=..\\OQY-Dateien\\log\r\n\r\n");
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 14);

  auto log = platform::ReadTextLines("../OQY-Dateien/log/cubemill.log");
  ASSERT_TRUE(log);
  ASSERT_EQ(log->size(), expected.size() - 2);  // the two start-up lines are not logged
  const std::regex line("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2};Test;(.*)");
  for (std::size_t i = 0; i < log->size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match((*log)[i], match, line)) << (*log)[i];
    EXPECT_EQ(match[1].str(), expected[i + 2]);
  }
}

// A display that cannot be reached (the DISPLAY of a closed ssh session) does not stop the job:
// it runs on the console as it would without a display.
TEST(CommandLineTest, UnreachableDisplayRunsTheJobOnTheConsole) {
  test::TempDir dir;
  std::filesystem::create_directories("OQY-Dateien/log");
  std::filesystem::create_directory("run");
  std::filesystem::current_path("run");
  auto run = test::RunCubemill("Test", "DISPLAY=:97 XAUTHORITY=/nonexistent");
  EXPECT_EQ(run.status, 1);
  ASSERT_GE(run.lines.size(), 4u);
  EXPECT_EQ(run.lines[3], "Parameter: Test");
  EXPECT_EQ(run.lines[run.lines.size() - 3], "At least one error occured");
}

}  // namespace
}  // namespace cubemill
