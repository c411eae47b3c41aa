// The built program killed at chosen moments of a nightly job (while the cube is written, just
// before it is stamped, while the script is written, at random times): yesterday's stamped cube
// and script stay as they were or are replaced by complete ones, and the next run leaves no
// temporary file behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class CrashSafetyTest : public ::testing::Test {
 protected:
  CrashSafetyTest() {
    fs::create_directories("log");
    fs::create_directories("cubes");
    // Enough distinct cities that writing the cube takes a noticeable moment.
    test::RunSqlite(
        "sales.db",
        "CREATE TABLE sales (country TEXT, city TEXT, amount INTEGER);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60000)"
        " INSERT INTO sales SELECT 'C' || (i % 40), 'City ' || i, i % 97 FROM n;");
    test::WriteBytes("cubemill.ini",
                     "[Night]\r\nOQY=night.oqy\r\nOQY2VBS=night.vbs\r\nCUB_TS=YYYY-MM-DD\r\n"
                     "GLOBAL=G\r\n[G]\r\nLOGDIR=log\r\n");
    test::WriteBytes(
        "night.oqy",
        "Connection=Provider=MSOLAP;Data Source=cubes\\night.cub;CreateCube=CREATE CUBE [Night] "
        "( DIMENSION [Region], LEVEL [Country], LEVEL [City], MEASURE [Amount] FUNCTION SUM );"
        "InsertInto=INSERT INTO Night([Region].[Country], [Region].[City], [Measures].[Amount]) "
        "SELECT country, city, amount FROM sales;Source_DSN=\"" +
            test::SqliteOdbc(dir.File("sales.db")) + "\";\r\n");
  }

  // Starts `cubemill Night` on the console, its output discarded.
  pid_t Start() {
    ended_before_ = EndedJobs();
    pid_t child = fork();
    if (child == 0) {
      int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::execl(CUBEMILL_BINARY, "cubemill", "Night", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return child;
  }

  // Waits until `ready` holds (polling) or the job has logged its end, then sends `signal_number`
  // `after` later. Returns whether `ready` was seen.
  bool KillWhen(pid_t child, const std::function<bool()>& ready, std::chrono::milliseconds after,
                int signal_number) {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    bool seen = false;
    while (Clock::now() < deadline) {
      if (ready()) {
        seen = true;
        break;
      }
      if (JobEnded()) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(after);
    ::kill(child, signal_number);
    int status = 0;
    ::waitpid(child, &status, 0);
    return seen;
  }

  static std::size_t EndedJobs() {
    const std::string log = test::ReadBytes("log/cubemill.log");
    std::size_t count = 0;
    for (std::size_t at = log.find(";Duration: "); at != std::string::npos;
         at = log.find(";Duration: ", at + 1))
      ++count;
    return count;
  }

  // True once the job started last has logged its duration.
  bool JobEnded() { return EndedJobs() > ended_before_; }

  // Runs the whole job and stops it in its closing pause.
  void RunToTheEnd() {
    pid_t child = Start();
    KillWhen(
        child, [] { return false; }, std::chrono::milliseconds(0), SIGKILL);
    ASSERT_TRUE(JobEnded());
  }

  static bool HasEntryStartingWith(const std::string& directory, const std::string& prefix) {
    for (const auto& entry : fs::directory_iterator(directory))
      if (entry.path().filename().string().starts_with(prefix)) return true;
    return false;
  }

  test::TempDir dir;
  std::size_t ended_before_ = 0;
};

TEST_F(CrashSafetyTest, KillsAtAnyMomentLoseNeitherCubeNorScript) {
  const std::string total = "SELECT SUM(\"Amount\") || '/' || COUNT(*) FROM cube_flat";
  const std::string expected_total = "2878893/60000";
  RunToTheEnd();
  const std::string stamped = [] {
    for (const auto& entry : fs::directory_iterator("cubes"))
      if (entry.path().filename().string().starts_with("night_")) return entry.path().string();
    return std::string();
  }();
  ASSERT_FALSE(stamped.empty());
  ASSERT_EQ(test::QueryCube(stamped, total), expected_total);
  const std::string script = test::ReadBytes("night.vbs");
  ASSERT_FALSE(script.empty());

  const struct {
    const char* moment;
    std::function<bool()> ready;
    int after_ms;
    bool must_be_seen;  // the moment lasts long enough that polling always catches it
  } moments[] = {
      {"the cube write starts", [] { return HasEntryStartingWith("cubes", ".night.cub.tmp-"); }, 0,
       true},
      {"the cube write is under way",
       [] { return HasEntryStartingWith("cubes", ".night.cub.tmp-"); }, 30, true},
      {"the cube is about to be stamped", [] { return fs::exists("cubes/night.cub"); }, 0, false},
      {"the script is written", [] { return HasEntryStartingWith(".", ".night.vbs.tmp-"); }, 0,
       false},
      {"the source is read", [] { return false; }, 1100, false},
      {"the job is under way", [] { return false; }, 1300, false},
  };
  for (int signal_number : {SIGKILL, SIGTERM}) {
    for (const auto& m : moments) {
      const std::string label =
          std::string(m.moment) + (signal_number == SIGKILL ? ", SIGKILL" : ", SIGTERM");
      const auto started = Clock::now();
      pid_t child = Start();
      auto ready = m.ready;
      if (m.after_ms >= 1000) {  // a fixed time after the start
        ready = [started, ms = m.after_ms] {
          return Clock::now() - started > std::chrono::milliseconds(ms);
        };
      }
      const bool seen =
          KillWhen(child, ready, std::chrono::milliseconds(m.after_ms % 1000), signal_number);
      if (m.must_be_seen) {
        EXPECT_TRUE(seen) << label;
      }
      // Whatever the moment: the stamped cube is complete (yesterday's or today's), the script
      // is yesterday's byte for byte (same content, same day), an unstamped cube is complete.
      EXPECT_EQ(test::QueryCube(stamped, total), expected_total) << label;
      EXPECT_EQ(test::ReadBytes("night.vbs"), script) << label;
      if (fs::exists("cubes/night.cub")) {
        EXPECT_EQ(test::QueryCube("cubes/night.cub", total), expected_total) << label;
      }
      // A killed run's lock file stays too (empty, and no longer locked).
      for (const std::string& name : test::DirectoryEntries("cubes")) {
        EXPECT_TRUE(name.starts_with(".night.cub.tmp-") || name == "night.cub" ||
                    name == ".night.cub.lock" || "cubes/" + name == stamped)
            << label << ": " << name;
      }
    }
  }
  // The next run finishes the job and leaves no temporary file of an earlier one.
  RunToTheEnd();
  EXPECT_EQ(test::DirectoryEntries("cubes"), std::vector<std::string>{stamped.substr(6)});
  EXPECT_EQ(test::QueryCube(stamped, total), expected_total);
  EXPECT_EQ(test::ReadBytes("night.vbs"), script);
  for (const std::string& name : test::DirectoryEntries("."))
    EXPECT_FALSE(name.starts_with(".night.vbs.tmp-"));
}

// An incremental refresh killed while it writes its cube keeps the cube it started from, byte for
// byte; the next run refreshes from it and adds the new rows once.
TEST_F(CrashSafetyTest, AKilledIncrementalRefreshKeepsItsBaseCube) {
  test::WriteBytes("cubemill.ini",
                   "[Night]\r\nOQY=night.oqy\r\nCUB_TS=YYYY-MM-DD\r\nREFRESH=INCREMENTAL=id\r\n"
                   "GLOBAL=G\r\n[G]\r\nLOGDIR=log\r\n");
  test::WriteBytes(
      "night.oqy",
      "Connection=Provider=MSOLAP;Data Source=cubes\\night.cub;CreateCube=CREATE CUBE [Night] "
      "( DIMENSION [Region], LEVEL [Country], LEVEL [City], MEASURE [Amount] FUNCTION SUM );"
      "InsertInto=INSERT INTO Night(SKIPONECOLUMN, [Region].[Country], [Region].[City], "
      "[Measures].[Amount]) SELECT rowid AS id, country, city, amount FROM sales;Source_DSN=\"" +
          test::SqliteOdbc(dir.File("sales.db")) + "\";\r\n");
  const std::string total = "SELECT SUM(\"Amount\") || '/' || COUNT(*) FROM cube_flat";
  RunToTheEnd();
  std::string stamped;
  for (const auto& entry : fs::directory_iterator("cubes"))
    if (entry.path().filename().string().starts_with("night_")) stamped = entry.path().string();
  ASSERT_FALSE(stamped.empty());
  ASSERT_EQ(test::QueryCube(stamped, total), "2878893/60000");
  const std::string base = test::ReadBytes(stamped);
  test::RunSqlite("sales.db",
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)"
                  " INSERT INTO sales SELECT 'New', 'New city ' || i, 2 FROM n;");
  pid_t child = Start();
  EXPECT_TRUE(KillWhen(
      child, [] { return HasEntryStartingWith("cubes", ".night.cub.tmp-"); },
      std::chrono::milliseconds(10), SIGKILL));
  EXPECT_EQ(test::ReadBytes(stamped), base);
  RunToTheEnd();
  EXPECT_EQ(test::QueryCube(stamped, total), "2880893/61000");
  const std::string log = test::ReadBytes("log/cubemill.log");
  EXPECT_NE(log.find("Refresh: incremental from 60000, 1000 new rows"), std::string::npos) << log;
}

}  // namespace
}  // namespace cubemill
