#include "settings/run_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace cubemill::settings {
namespace {

const platform::DateTime kNow = platform::MakeDateTime(2024, 3, 7, 9, 5, 2);

struct RunLogTest : ::testing::Test {
  test::TempDir dir;
};

TEST_F(RunLogTest, AppendsEachMessage) {
  std::filesystem::create_directories("OQY-Dateien/log");
  std::filesystem::create_directory("run");
  std::filesystem::current_path("run");
  CubeJob job;
  job.Parameter = "Test";
  job.LogDir = "..\\OQY-Dateien\\log";
  AppendToRunLog(kNow, job, "Cube Creation OK");
  AppendToRunLog(kNow, job, "a;b");
  EXPECT_EQ(test::ReadBytes(dir.File("OQY-Dateien/log/cubemill.log")),
            "2024-03-07 09:05:02;Test;Cube Creation OK\r\n"
            "2024-03-07 09:05:02;Test;a;b\r\n");
}

TEST_F(RunLogTest, FoldsLineBreaksIntoOneLogLine) {
  CubeJob job;
  job.Parameter = "Test";
  job.LogDir = ".";
  const std::string message = "could not connect to server\n\tIs the server running?\r\nbye";
  AppendToRunLog(kNow, job, message);
  EXPECT_EQ(test::ReadBytes("cubemill.log"),
            "2024-03-07 09:05:02;Test;could not connect to server  Is the server running? bye\r\n");
}

// No job name makes a line the program did not write, nor adds a field before the message.
TEST_F(RunLogTest, FoldsEveryFieldAndKeepsTheJobFieldFreeOfSemicolons) {
  CubeJob job;
  job.LogDir = ".";
  job.Parameter = "X\n2099-01-01 00:00:00;Test;Cube Creation OK";
  AppendToRunLog(kNow, job, "Parameter: " + job.Parameter);
  job.Parameter = std::string("A;B\r\n\x1b[2J\x7f", 10);
  AppendToRunLog(kNow, job, "bell\a");
  EXPECT_EQ(test::ReadBytes("cubemill.log"),
            "2024-03-07 09:05:02;X 2099-01-01 00:00:00,Test,Cube Creation OK;Parameter: X "
            "2099-01-01 00:00:00;Test;Cube Creation OK\r\n"
            "2024-03-07 09:05:02;A,B  [2J ;bell \r\n");
}

// An empty log directory is the current one, never the file system's root; it is said once.
TEST_F(RunLogTest, EmptyLogDirectoryLogsInTheCurrentDirectory) {
  CubeJob job;
  job.Parameter = "Nightly";
  testing::internal::CaptureStderr();
  AppendToRunLog(kNow, job, "one");
  AppendToRunLog(kNow, job, "two");
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_EQ(test::ReadBytes("cubemill.log"),
            "2024-03-07 09:05:02;Nightly;one\r\n2024-03-07 09:05:02;Nightly;two\r\n");
  EXPECT_EQ(error,
            "cubemill: warning: job Nightly names no log directory (LOGDIR); the run log goes to "
            "cubemill.log in the current directory\n");
}

TEST_F(RunLogTest, MissingLogDirectoryWarnsOnceOnStandardError) {
  CubeJob job;
  job.Parameter = "Nightly";
  job.LogDir = "missing\\log";
  testing::internal::CaptureStderr();
  AppendToRunLog(kNow, job, "text");
  AppendToRunLog(kNow, job, "more");
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(std::filesystem::exists("missing"));
  EXPECT_EQ(
      error,
      "cubemill: warning: cannot write the run log missing\\log/cubemill.log: No such file or "
      "directory\n");
}

TEST_F(RunLogTest, ComputesTheLogPath) {
  CubeJob job;
  EXPECT_EQ(RunLogPath(job), "cubemill.log");
  job.LogDir = "C:";
  EXPECT_EQ(RunLogPath(job), "C:/cubemill.log");
  job.Parameter = "J";
  EXPECT_EQ(RunLogLine(platform::MakeDateTime(2024, 12, 31, 23, 0, 9), job, "x"),
            "2024-12-31 23:00:09;J;x");
}

}  // namespace
}  // namespace cubemill::settings
