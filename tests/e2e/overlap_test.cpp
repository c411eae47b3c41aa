// Two runs of one job at once with the built program, as two cron entries or a run that outlasts
// its period make them: the second leaves the cube to the first and exits 75, the first builds
// one complete cube; a killed run leaves no lock that refuses the next. And a series of stamped
// cubes kept to its KEEP count.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/run_cubemill.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const char kTotal[] = "SELECT SUM(\"Amount\") || '/' || COUNT(*) FROM cube_flat";
const char kExpectedTotal[] = "94950/2000";

// The files of cubes/, by name.
Lines Cubes() { return test::DirectoryEntries("cubes"); }

// The job Night builds cubes\night.cub from sales.db; the parameter is its CUB_TS.
class OverlapTest : public ::testing::TestWithParam<const char*> {
 protected:
  OverlapTest() {
    fs::create_directories("log");
    fs::create_directories("cubes");
    test::RunSqlite("sales.db",
                    "CREATE TABLE sales (country TEXT, city TEXT, amount INTEGER);"
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
                    " INSERT INTO sales SELECT 'C' || (i % 7), 'City ' || i, i % 97 FROM n;");
    WriteSettings("");
    test::WriteBytes(
        "night.oqy",
        "Connection=Provider=MSOLAP;Data Source=cubes\\night.cub;CreateCube=CREATE CUBE [Night] "
        "( DIMENSION [Region], LEVEL [Country], LEVEL [City], MEASURE [Amount] FUNCTION SUM );"
        "InsertInto=INSERT INTO Night([Region].[Country], [Region].[City], [Measures].[Amount]) "
        "SELECT country, city, amount FROM sales;Source_DSN=\"" +
            test::SqliteOdbc(dir.File("sales.db")) + "\";\r\n");
  }

  void WriteSettings(const std::string& more_keys) {
    test::WriteBytes("cubemill.ini", std::string("[Night]\r\nOQY=night.oqy\r\nCUB_TS=") +
                                         GetParam() + "\r\nGLOBAL=G\r\n" + more_keys +
                                         "[G]\r\nLOGDIR=log\r\n");
  }

  // Starts `cubemill --no-wait Night` on the console, its output discarded.
  static pid_t Start() {
    const pid_t child = ::fork();
    if (child == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::execl(CUBEMILL_BINARY, "cubemill", "--no-wait", "Night", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return child;
  }

  // Waits until the process `pid` holds the lock of the cube file (30 seconds at most); true
  // when it does. Asks without taking the lock, or creating the lock file.
  static bool HoldsTheCube(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      const int descriptor = ::open("cubes/.night.cub.lock", O_RDONLY | O_CLOEXEC);
      if (descriptor >= 0) {
        struct flock region {};
        region.l_type = F_WRLCK;
        region.l_whence = SEEK_SET;
        const bool held = ::fcntl(descriptor, F_GETLK, &region) == 0 && region.l_type != F_UNLCK &&
                          region.l_pid == pid;
        ::close(descriptor);
        if (held) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  static int ExitStatus(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  // The one cube the job has made: its stamped name with a pattern, else its plain name.
  static bool IsTheJobsCube(const std::string& name) {
    return *GetParam() == '\0' ? name == "night.cub"
                               : name.starts_with("night_") && name.ends_with(".cub");
  }

  test::TempDir dir;
};

TEST_P(OverlapTest, TwoOverlappingRunsGiveOneCubeAndOneExit75) {
  // The first run holds the cube while it waits for its source: the second starts meanwhile.
  std::optional<test::SqliteWriteLock> source_lock;
  source_lock.emplace(dir.File("sales.db"));
  const pid_t first = Start();
  if (!HoldsTheCube(first)) {
    ::kill(first, SIGKILL);
    ExitStatus(first);
    FAIL() << "the run never held the cube's lock";
  }

  const test::RunResult second = test::RunCubemill("--no-wait Night");
  EXPECT_EQ(second.status, 75);
  const std::string busy =
      "cubes\\night.cub is being written by another run (PID " + std::to_string(first) + ")";
  EXPECT_EQ(second.errors, Lines{"cubemill: job Night not started: the cube file " + busy});
  EXPECT_NE(std::find(second.lines.begin(), second.lines.end(), "Cube Busy: " + busy),
            second.lines.end());

  source_lock.reset();
  EXPECT_EQ(ExitStatus(first), 0);
  const Lines cubes = Cubes();
  ASSERT_EQ(cubes.size(), 1u) << ::testing::PrintToString(cubes);
  EXPECT_TRUE(IsTheJobsCube(cubes[0])) << cubes[0];
  EXPECT_EQ(test::QueryCube("cubes/" + cubes[0], kTotal), kExpectedTotal);

  // The run log: the second run's busy line once, each run's closing lines.
  const std::string log = test::ReadBytes("log/cubemill.log");
  EXPECT_NE(log.find(";Night;Cube Busy: " + busy + "\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Cube Busy"), log.rfind("Cube Busy"));
  EXPECT_EQ(log.find("Cube Creation OK"), log.rfind("Cube Creation OK"));
  std::size_t durations = 0;
  for (std::size_t at = log.find(";Duration: "); at != std::string::npos;
       at = log.find(";Duration: ", at + 1))
    ++durations;
  EXPECT_EQ(durations, 2u);
}

TEST_P(OverlapTest, ARunAfterAKilledRunIsNotRefused) {
  std::optional<test::SqliteWriteLock> source_lock;
  source_lock.emplace(dir.File("sales.db"));
  const pid_t killed = Start();
  if (!HoldsTheCube(killed)) {
    ::kill(killed, SIGKILL);
    ExitStatus(killed);
    FAIL() << "the run never held the cube's lock";
  }
  ::kill(killed, SIGKILL);
  EXPECT_EQ(ExitStatus(killed), -1);
  source_lock.reset();
  EXPECT_EQ(Cubes(), Lines{".night.cub.lock"});  // its lock file stays, its lock does not

  const test::RunResult next = test::RunCubemill("--no-wait Night");
  EXPECT_EQ(next.status, 0);
  EXPECT_TRUE(next.errors.empty()) << ::testing::PrintToString(next.errors);
  const Lines cubes = Cubes();
  ASSERT_EQ(cubes.size(), 1u) << ::testing::PrintToString(cubes);
  EXPECT_TRUE(IsTheJobsCube(cubes[0])) << cubes[0];
  EXPECT_EQ(test::QueryCube("cubes/" + cubes[0], kTotal), kExpectedTotal);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutStamp, OverlapTest,
                         ::testing::Values("", "YYYY-MM-DD_HH_mm_ss"),
                         [](const ::testing::TestParamInfo<const char*>& param_info) {
                           return std::string(*param_info.param == '\0' ? "Unstamped" : "Stamped");
                         });

// A lock file that is not a regular file can never be locked: the run stops there (exit 1, the
// lock's path on standard error) instead of building unlocked beside another run.
TEST_P(OverlapTest, ALockThatIsNotAFileFailsTheRun) {
  const std::string lock = "cubes/.night.cub.lock";
  const std::vector<std::function<void()>> makers = {
      [&] { fs::create_directory(lock); },
      [&] { ASSERT_EQ(::mkfifo(lock.c_str(), 0666), 0); },
      [&] { fs::create_symlink("elsewhere.lock", lock); },
  };
  for (std::size_t k = 0; k < makers.size(); ++k) {
    makers[k]();
    const test::RunResult run =
        test::RunCubemill("--no-wait Night", "", "timeout -k 5 60 " + std::string(CUBEMILL_BINARY));
    EXPECT_EQ(run.status, 1) << k;
    ASSERT_FALSE(run.errors.empty()) << k;
    EXPECT_NE(run.errors.back().find(".night.cub.lock is not a regular file"), std::string::npos)
        << run.errors.back();
    const Lines cubes = Cubes();
    EXPECT_FALSE(std::any_of(cubes.begin(), cubes.end(), IsTheJobsCube)) << k;
    EXPECT_FALSE(fs::exists("cubes/elsewhere.lock")) << k;  // the link is not followed
    fs::remove(lock);
  }
}

class KeepTest : public OverlapTest {};

TEST_P(KeepTest, KeepTwoLeavesTheNewCubeAndTheNewestEarlierOne) {
  WriteSettings("KEEP=2\r\n");
  for (const char* name : {"night_2020-01-01_10_00_00.cub", "night_2020-01-03_10_00_00.cub",
                           "night_2020-01-02_10_00_00.cub", "night_2020-01-01.cub"})
    test::WriteBytes(std::string("cubes/") + name, "an earlier cube");
  const test::RunResult run = test::RunCubemill("--no-wait Night");
  EXPECT_EQ(run.status, 0);
  const Lines cubes = Cubes();
  ASSERT_EQ(cubes.size(), 3u) << ::testing::PrintToString(cubes);
  EXPECT_EQ(cubes[0], "night_2020-01-01.cub");  // another pattern: not of this series
  EXPECT_EQ(cubes[1], "night_2020-01-03_10_00_00.cub");
  EXPECT_EQ(test::QueryCube("cubes/" + cubes[2], kTotal), kExpectedTotal);
  EXPECT_NE(std::find(run.lines.begin(), run.lines.end(),
                      "Delete Old Cube: cubes\\night_2020-01-01_10_00_00.cub"),
            run.lines.end());
}

INSTANTIATE_TEST_SUITE_P(Stamped, KeepTest, ::testing::Values("YYYY-MM-DD_HH_mm_ss"));

}  // namespace
}  // namespace cubemill
