// The built program, run from the command line in a fresh directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "e2e/run_cubemill.h"
#include "platform/text_file.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

using Lines = std::vector<std::string>;
const std::string kSeparator(66, '=');

TEST(CommandLineTest, PrintsHelpAndVersionAndRefusesUnknownOptions) {
  test::TempDir dir;
  for (const char* help : {"--help", "-h", "-h Test"}) {
    auto run = test::RunCubemill(help);
    EXPECT_EQ(run.status, 0) << help;
    ASSERT_FALSE(run.lines.empty()) << help;
    EXPECT_EQ(run.lines[0], "Usage: cubemill [OPTION]... [JOB]") << help;
  }
  for (const char* version : {"--version", "-V"}) {
    auto run = test::RunCubemill(version);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 1u);
    // "cubemill" and three numbers: "cubemill 1.4.0".
    const std::string& line = run.lines[0];
    EXPECT_TRUE(line.starts_with("cubemill ")) << line;
    std::string shape = line.substr(std::min<std::size_t>(line.size(), 9));
    std::replace_if(
        shape.begin(), shape.end(), [](char c) { return c >= '0' && c <= '9'; }, '#');
    shape.erase(std::unique(shape.begin(), shape.end(),
                            [](char a, char b) { return a == '#' && b == '#'; }),
                shape.end());
    EXPECT_EQ(shape, "#.#.#") << line;
  }
  // A wrong option: the usage on standard error, status 2, nothing written, no pause.
  for (const char* wrong : {"--bogus", "-x Test", "--check", "--list=1"}) {
    auto run = test::RunCubemill(wrong);
    EXPECT_EQ(run.status, 2) << wrong;
    EXPECT_TRUE(run.lines.empty()) << wrong;
    EXPECT_NE(std::find(run.errors.begin(), run.errors.end(), "Usage: cubemill [OPTION]... [JOB]"),
              run.errors.end())
        << wrong;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A current directory that no longer exists: one line on standard error and exit 1, for a job,
// a check, the list and the window's start alike, and nothing written anywhere (the settings
// file's path once led to the file system's root).
TEST(CommandLineTest, ADeletedCurrentDirectoryIsAnErrorAndNothingIsWritten) {
  test::TempDir dir;
  const bool root_settings = std::filesystem::exists("/cubemill.ini");
  const std::string program =
      "sh -c 'mkdir gone && cd gone && rmdir ../gone && exec \"$0\" \"$@\"' " +
      std::string(CUBEMILL_BINARY);
  for (const char* arguments : {"--no-wait Test", "--check Test", "--list", ""}) {
    auto run = test::RunCubemill(arguments, "", program);
    EXPECT_EQ(run.status, 1) << arguments;
    EXPECT_TRUE(run.lines.empty()) << arguments;
    ASSERT_EQ(run.errors.size(), 1u) << arguments;
    EXPECT_NE(run.errors[0].find("the current directory no longer exists"), std::string::npos)
        << run.errors[0];
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << arguments;
  }
  EXPECT_EQ(std::filesystem::exists("/cubemill.ini"), root_settings);
  // With -C naming an existing directory the run goes on there.
  std::filesystem::create_directory(dir.path() / "here");
  auto run = test::RunCubemill("-C " + (dir.path() / "here").string() + " --list", "", program);
  EXPECT_EQ(run.status, 1);  // no settings file there, and none is made
  EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "here"));
  EXPECT_EQ(run.errors.size(), 1u);
  EXPECT_EQ(run.errors[0], "cubemill: no cubemill.ini in the current directory");
}

TEST(CommandLineTest, ListsTheJobsWithTheirOqyFiles) {
  test::TempDir dir;
  EXPECT_EQ(test::RunCubemill("--list").status, 1);  // no settings file, and none is made
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  test::WriteBytes("cubemill.ini",
                   "[GLOBAL]\r\nLOGDIR=log\r\n[ Night Run ]\r\nOQY = night.oqy\r\n"
                   "GLOBAL=GLOBAL\r\n[test]\r\nOQY=a.oqy\r\n[TEST]\r\nOQY=b.oqy\r\n");
  auto run = test::RunCubemill("--list");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.lines, (Lines{"Night Run\tnight.oqy", "test\ta.oqy"}));
}

// A failed job ends with one line on standard error that a scheduler can mail; a job that is not
// in the settings file says which jobs are. --no-wait skips the closing pause.
TEST(CommandLineTest, TellsStandardErrorWhyAJobFailed) {
  test::TempDir dir;
  std::filesystem::create_directories("OQY-Dateien/log");
  std::filesystem::create_directory("run");
  std::filesystem::current_path("run");
  const auto started = std::chrono::steady_clock::now();
  auto run = test::RunCubemill("--no-wait Test");
  auto missing = test::RunCubemill("--no-wait Nightly -- -x");
  // Both jobs end without their 15-second pauses (a loose bound: this is no speed test).
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(25));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.errors, (Lines{"cubemill: job Test failed: the OQY file "
                               "..\\OQY-Dateien\\rel01\\Output_Detail.oqy does not exist"}));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(std::find(missing.lines.begin(), missing.lines.end(), "Parameter: Nightly -x"),
            missing.lines.end());
  EXPECT_EQ(missing.errors, (Lines{"cubemill: warning: job Nightly -x names no log directory "
                                   "(LOGDIR); the run log goes to cubemill.log in the current "
                                   "directory",
                                   "cubemill: job Nightly -x failed: the job names no OQY "
                                   "file",
                                   "cubemill: no job [Nightly -x] in cubemill.ini (jobs: "
                                   "Test, Test2)"}));
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
  for (std::size_t i = 0; i < log->size(); ++i) {
    const std::string& line = (*log)[i];
    EXPECT_TRUE(test::HasShape(line.substr(0, 25), "####-##-## ##:##:##;Test;")) << line;
    EXPECT_EQ(line.substr(std::min<std::size_t>(line.size(), 25)), expected[i + 2]);
  }
}

// A display that cannot be reached (the DISPLAY of a closed ssh session) does not stop the job:
// it runs on the console as it would without a display.
TEST(CommandLineTest, UnreachableDisplayRunsTheJobOnTheConsole) {
  test::TempDir dir;
  std::filesystem::create_directories("OQY-Dateien/log");
  std::filesystem::create_directory("run");
  std::filesystem::current_path("run");
  auto run = test::RunCubemill("--no-wait Test", "DISPLAY=:97 XAUTHORITY=/nonexistent");
  EXPECT_EQ(run.status, 1);
  ASSERT_GE(run.lines.size(), 4u);
  EXPECT_EQ(run.lines[3], "Parameter: Test");
  EXPECT_EQ(run.lines[run.lines.size() - 3], "At least one error occured");
}

}  // namespace
}  // namespace cubemill
