// Command-line jobs run in-process with the real cube engine and the real SQLite ODBC driver:
// what a user sees when the source or its data is wrong, and that nothing is lost then.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "e2e/run_cubemill.h"
#include "job/check_job.h"
#include "job/start_job.h"
#include "provider/connection/connection.h"
#include "provider/connection/engine_connection.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const char kCreateCube[] =
    "CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Country], LEVEL [City], "
    "MEASURE [Amount] FUNCTION SUM, MEASURE [Units] FUNCTION SUM TYPE DBTYPE_I8 );";

class EngineJobTest : public ::testing::Test {
 protected:
  EngineJobTest() {
    fs::create_directories("log");
    test::RunSqlite("sales.db",
                    "CREATE TABLE sales (country TEXT, city TEXT, amount REAL, units INTEGER);"
                    "INSERT INTO sales VALUES ('Spain', 'Valencia', 10.5, 1),"
                    "  ('Venezuela', 'Valencia', 4.25, 2), ('Spain', 'Madrid', 1, 3),"
                    "  ('Spain', 'Valencia', 0.25, 4);");
  }

  // Writes cubemill.ini with job "Job" (plus the lines `more_keys` in its section) and an OQY
  // file that reads `select` from `dsn`.
  void WriteJob(const std::string& dsn, const std::string& select,
                const std::string& more_keys = "") {
    test::WriteBytes("cubemill.ini",
                     "[Job]\r\nOQY=job.oqy\r\nGLOBAL=G\r\n" + more_keys + "[G]\r\nLOGDIR=log\r\n");
    test::WriteBytes(
        "job.oqy",
        "Connection=Provider=MSOLAP;Data Source=cube.cub;CreateCube=" + std::string(kCreateCube) +
            "InsertInto=INSERT INTO OCWCube([Region].[Country], [Region].[City], "
            "[Measures].[Amount], [Measures].[Units]) " +
            select + ";Source_DSN=\"" + dsn + "\";\r\n");
  }

  int Run() {
    job::JobContext context{list, clock, sleeper,
                            [] { return provider::connection::NewEngineConnection(); }};
    return job::StartFromCommandLine(context, "Job");
  }

  // The lines between the extraction messages and "Cube Creation Error".
  Lines BuildErrorLines() {
    auto end = std::find(list.lines.begin(), list.lines.end(), "Cube Creation Error");
    if (end - list.lines.begin() < 5) return {};
    return Lines(end - 5, end);
  }

  test::TempDir dir;
  test::RecordingList list;
  test::FixedClock clock{platform::MakeDateTime(2024, 3, 7, 9, 5, 2)};
  test::NoSleep sleeper;
};

TEST_F(EngineJobTest, BuildsACubeWhoseTotalsAreTheSources) {
  WriteJob("DRIVER=SQLite3;Database=sales.db", "SELECT country, city, amount, units FROM sales");
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_NE(std::find(list.lines.begin(), list.lines.end(), "Cube Creation OK"), list.lines.end());
  EXPECT_EQ(test::QuerySqlite("cube.cub",
                              "SELECT \"Region.Country\", \"Region.City\", \"Amount\", \"Units\" "
                              "FROM cube_flat ORDER BY 1, 2"),
            (test::Rows{{"Spain", "Madrid", "1.0", "3"},
                        {"Spain", "Valencia", "10.75", "5"},
                        {"Venezuela", "Valencia", "4.25", "2"}}));
  EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT source_rows FROM cube"), (test::Rows{{"4"}}));
}

TEST_F(EngineJobTest, StoresTheSourceWithoutItsPassword) {
  WriteJob("DRIVER=SQLite3;Database=sales.db;UID=ann;PWD=secret",
           "SELECT country, city, amount, units FROM sales");
  EXPECT_EQ(Run(), job::kExitClean);
  const auto stored = test::QuerySqlite("cube.cub", "SELECT source FROM cube");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0][0].find("secret"), std::string::npos) << stored[0][0];
  EXPECT_NE(stored[0][0].find("Database=sales.db"), std::string::npos) << stored[0][0];
}

TEST_F(EngineJobTest, MissingDataSourceNameIsReportedWithItsSqlState) {
  test::WriteBytes("cube.cub", "earlier cube");
  WriteJob("NoSuchDsn", "SELECT country, city, amount, units FROM sales");
  EXPECT_EQ(Run(), job::kExitFailed);
  const Lines lines = BuildErrorLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find("IM002"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], "-2147467259");
  EXPECT_EQ(lines[2], "Cubemill Cube Engine");
  EXPECT_EQ(lines[3], lines[1]);
  EXPECT_EQ(lines[4], "Fehler Cube Erstellung");
  EXPECT_TRUE(list.red);
  EXPECT_EQ(test::ReadBytes("cube.cub"), "earlier cube");
}

TEST_F(EngineJobTest, MissingTableIsReportedWithTheDriversMessage) {
  WriteJob("DRIVER=SQLite3;Database=sales.db",
           "SELECT country, city, amount, units FROM missing_table");
  EXPECT_EQ(Run(), job::kExitFailed);
  const Lines lines = BuildErrorLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find("no such table: missing_table"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[4], "Fehler Cube Erstellung");
  EXPECT_FALSE(fs::exists("cube.cub"));
  for (const auto& entry : fs::directory_iterator("."))
    EXPECT_EQ(entry.path().filename().string().find(".cub"), std::string::npos) << entry.path();
}

TEST_F(EngineJobTest, ValueThatDoesNotConvertNamesItsRow) {
  test::RunSqlite("sales.db", "INSERT INTO sales VALUES ('Spain', 'Madrid', 'n/a', 1);");
  test::WriteBytes("cube.cub", "earlier cube");
  WriteJob("DRIVER=SQLite3;Database=sales.db",
           "SELECT country, city, amount, units FROM sales ORDER BY rowid");
  EXPECT_EQ(Run(), job::kExitFailed);
  const Lines lines = BuildErrorLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find("row 5"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("n/a"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], "-2147217913");
  EXPECT_EQ(test::ReadBytes("cube.cub"), "earlier cube");
}

TEST_F(EngineJobTest, TargetAndColumnCountsMustAgree) {
  WriteJob("DRIVER=SQLite3;Database=sales.db", "SELECT country, city, amount FROM sales");
  EXPECT_EQ(Run(), job::kExitFailed);
  const Lines lines = BuildErrorLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "INSERT INTO names 4 targets, but its SELECT returns 3 columns");
  EXPECT_EQ(lines[1], "-2147217900");
}

// The job's AGGREGATE key reaches the engine: SOURCE has even a SQLite source group the rows,
// without the key a file source is read row by row, and a value the engine does not know fails
// the build with the value named and keeps the earlier cube; --check finds it first.
TEST_F(EngineJobTest, AggregateOfTheJobSectionChoosesWhereTheRowsAreGrouped) {
  const char kSelect[] = "SELECT country, city, amount, units FROM sales";
  const char kTotals[] =
      "SELECT \"Region.Country\", \"Region.City\", \"Amount\", \"Units\" FROM cube_flat "
      "ORDER BY 1, 2";
  auto said = [this](const std::string& line) {
    return std::count(list.lines.begin(), list.lines.end(), line);
  };
  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect);
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(said("Aggregation: client"), 1);
  const test::Rows totals = test::QuerySqlite("cube.cub", kTotals);

  list.lines.clear();
  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect, "aggregate = Source\r\n");
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(said("Aggregation: source"), 1);
  EXPECT_EQ(said("Aggregation: client"), 0);
  EXPECT_EQ(test::QuerySqlite("cube.cub", kTotals), totals);

  list.lines.clear();
  list.red = false;
  test::WriteBytes("cube.cub", "earlier cube");
  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect, "AGGREGATE=grouped\r\n");
  EXPECT_EQ(Run(), job::kExitFailed);
  const Lines lines = BuildErrorLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_NE(lines[0].find("\"grouped\""), std::string::npos) << lines[0];
  EXPECT_EQ(lines[4], "Fehler Cube Erstellung");
  EXPECT_TRUE(list.red);
  EXPECT_EQ(test::ReadBytes("cube.cub"), "earlier cube");

  list.lines.clear();
  job::JobContext context{list, clock, sleeper,
                          [] { return provider::connection::NewEngineConnection(); }};
  EXPECT_EQ(job::CheckFromCommandLine(context, "Job"), job::kExitFailed);
  EXPECT_EQ(list.lines.back(),
            "Check failed: Aggregation grouped: AGGREGATE must be CLIENT, SOURCE or AUTO");
}

// The job's REFRESH key reaches the engine: the first run builds in full, the next adds only the
// new rows to the cube before, and a run whose statements changed builds in full and says why;
// --check says the mode, the base cube and its watermark, and refuses a value it does not know.
TEST_F(EngineJobTest, RefreshOfTheJobSectionAddsOnlyTheNewRows) {
  const std::string kSelect = "SELECT country, city, amount, units FROM sales";
  const char kTotals[] =
      "SELECT \"Region.Country\", \"Region.City\", \"Amount\", \"Units\" FROM cube_flat "
      "ORDER BY 1, 2";
  const char kSourceTotals[] =
      "SELECT country, city, SUM(amount), SUM(units) FROM sales GROUP BY 1, 2 ORDER BY 1, 2";
  auto said = [this](const std::string& line) {
    return std::count(list.lines.begin(), list.lines.end(), line);
  };
  job::JobContext context{list, clock, sleeper,
                          [] { return provider::connection::NewEngineConnection(); }};
  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect, "REFRESH=incremental = units\r\n");
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(said("Refresh: full (no earlier cube)"), 1);

  test::RunSqlite("sales.db", "INSERT INTO sales VALUES ('Peru', 'Lima', 0.1, 5)");
  list.lines.clear();
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(said("Refresh: incremental from 4, 1 new rows"), 1);
  EXPECT_EQ(test::QuerySqlite("cube.cub", kTotals), test::QuerySqlite("sales.db", kSourceTotals));
  EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT source_rows, watermark FROM cube"),
            (test::Rows{{"5", "5"}}));

  list.lines.clear();
  EXPECT_EQ(job::CheckFromCommandLine(context, "Job"), job::kExitClean);
  EXPECT_EQ(said("Refresh: incremental by units, base cube.cub, watermark 5"), 1);

  test::RunSqlite("sales.db", "INSERT INTO sales VALUES ('Peru', 'Cusco', 2, 6)");
  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect + " WHERE amount > 0",
           "REFRESH=INCREMENTAL=units\r\n");
  list.lines.clear();
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(said("Refresh: full (the base cube was built from other statements)"), 1);
  EXPECT_EQ(test::QuerySqlite("cube.cub", kTotals), test::QuerySqlite("sales.db", kSourceTotals));

  // The weekly full build by the column leaves a cube the next nightly run refreshes.
  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect, "REFRESH=FULL=units\r\n");
  list.lines.clear();
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(said("Refresh: full (asked for: REFRESH=FULL=units)"), 1);
  test::RunSqlite("sales.db", "INSERT INTO sales VALUES ('Peru', 'Lima', 1, 7)");
  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect, "REFRESH=INCREMENTAL=units\r\n");
  list.lines.clear();
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(said("Refresh: incremental from 6, 1 new rows"), 1);
  EXPECT_EQ(test::QuerySqlite("cube.cub", kTotals), test::QuerySqlite("sales.db", kSourceTotals));

  WriteJob("DRIVER=SQLite3;Database=sales.db", kSelect, "REFRESH=sideways\r\n");
  list.lines.clear();
  EXPECT_EQ(job::CheckFromCommandLine(context, "Job"), job::kExitFailed);
  EXPECT_EQ(list.lines.back(), "Check failed: Refresh sideways: " +
                                   std::string(provider::connection::kRefreshValueText));
  list.lines.clear();
  list.red = false;
  EXPECT_EQ(Run(), job::kExitFailed);
  EXPECT_TRUE(list.red);
}

TEST_F(EngineJobTest, ManyRowsBuildThroughBlockFetch) {
  test::RunSqlite("big.db",
                  "CREATE TABLE sales (country VARCHAR(20), city VARCHAR(20), amount REAL, "
                  "units INTEGER);"
                  "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
                  "INSERT INTO sales SELECT 'C' || (i % 7), 'T' || (i % 101), (i % 13) * 0.5, i % 5"
                  " FROM n;");
  WriteJob("DRIVER=SQLite3;Database=big.db", "SELECT country, city, amount, units FROM sales");
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(test::QuerySqlite("cube.cub",
                              "SELECT \"Region.Country\", SUM(\"Amount\"), SUM(\"Units\") FROM "
                              "cube_flat GROUP BY 1 ORDER BY 1"),
            test::QuerySqlite("big.db",
                              "SELECT country, SUM(amount), SUM(units) FROM sales GROUP BY 1 "
                              "ORDER BY 1"));
}

// Runs `cubemill <arguments>` as test::RunCubemill does, and tells `on_line` each line of its
// standard output as it comes, with the seconds since the program was started.
test::RunResult RunCubemillWatching(
    const std::string& arguments, const std::function<void(const std::string&, double)>& on_line) {
  char error_file[] = "/tmp/cubemill-stderr-XXXXXX";
  const int descriptor = ::mkstemp(error_file);
  if (descriptor >= 0) ::close(descriptor);
  const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                              CUBEMILL_BINARY + " " + arguments + " 2>" + error_file;
  test::RunResult result;
  const auto start = std::chrono::steady_clock::now();
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      std::string line = buffer;
      if (!line.empty() && line.back() == '\n') line.pop_back();
      on_line(line,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      result.lines.push_back(line);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  result.errors = test::SplitLines(test::ReadBytes(error_file));
  std::remove(error_file);
  return result;
}

// A SQLite source that another program holds locked makes the driver wait without a word: the
// program says so at once, before any connection waits (whatever AGGREGATE says: the default AUTO
// asks a source what it is before it reads it), on the list and as a warning on standard error,
// for a build and for --check alike. Here the lock goes as soon as that is said, and the job then
// runs as if there had been none; a connection that waited first would have waited 5 s.
TEST_F(EngineJobTest, LockedSqliteSourceIsSaidBeforeAnyConnectionWaits) {
  WriteJob("DRIVER=SQLite3;Database=sales.db;Timeout=5000",
           "SELECT country, city, amount, units FROM sales");
  const std::string busy =
      "Source busy: waiting up to 10 s for the lock on the SQLite database \"sales.db\"";
  for (const std::string arguments : {"--no-wait --console Job", "--check Job"}) {
    std::optional<test::SqliteWriteLock> lock(std::in_place, "sales.db");
    std::optional<double> said_after;
    const test::RunResult run =
        RunCubemillWatching(arguments, [&](const std::string& line, double seconds) {
          if (line.find(busy) == std::string::npos) return;
          said_after = seconds;
          lock.reset();
        });
    EXPECT_EQ(run.status, 0) << arguments << "\n" << ::testing::PrintToString(run.lines);
    ASSERT_TRUE(said_after.has_value()) << arguments << "\n" << ::testing::PrintToString(run.lines);
    EXPECT_LT(*said_after, 2.5) << arguments;
    EXPECT_EQ(run.errors, Lines{"cubemill: warning: s" + busy.substr(1)}) << arguments;
  }
  EXPECT_NE(test::ReadBytes("log/cubemill.log").find(busy), std::string::npos);
}

// A SQLite source that does not exist fails the build and the check with its file named, and
// neither leaves an empty database in its place.
TEST_F(EngineJobTest, MissingSqliteSourceIsAnErrorAndIsNotCreated) {
  WriteJob("DRIVER=SQLite3;Database=nothing/missing.db",
           "SELECT country, city, amount, units FROM sales");
  fs::create_directory("nothing");
  const std::string missing = "the SQLite database file \"nothing/missing.db\" does not exist";
  EXPECT_EQ(Run(), job::kExitFailed);
  const Lines lines = BuildErrorLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("source: connect failed: " + missing, 0), 0u) << lines[0];
  EXPECT_EQ(lines[1], "-2147467259");
  EXPECT_TRUE(fs::is_empty("nothing"));

  list.lines.clear();
  job::JobContext context{list, clock, sleeper,
                          [] { return provider::connection::NewEngineConnection(); }};
  EXPECT_EQ(job::CheckFromCommandLine(context, "Job"), job::kExitFailed);
  EXPECT_NE(list.lines.back().find(missing), std::string::npos) << list.lines.back();
  EXPECT_TRUE(fs::is_empty("nothing"));
}

// The program itself under a file-size limit (ulimit -f 64) that a cube file of 64 KiB pages
// cannot fit in: the error says the file is too large and names the cube file, on standard error
// and in the run log, and no file is left behind.
TEST_F(EngineJobTest, FileSizeLimitIsReportedAsAFileTooLarge) {
  WriteJob("DRIVER=SQLite3;Database=sales.db", "SELECT country, city, amount, units FROM sales");
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  // The limit holds for the program this process starts; this process writes nothing meanwhile.
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const test::RunResult run = test::RunCubemill("--no-wait --console Job");
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_EQ(run.status, 1);
  const std::string failure = "cannot write the cube file \"cube.cub\": ";
  ASSERT_FALSE(run.errors.empty());
  EXPECT_NE(run.errors[0].find(failure), std::string::npos) << run.errors[0];
  EXPECT_NE(run.errors[0].find("File too large"), std::string::npos) << run.errors[0];
  const std::string log = test::ReadBytes("log/cubemill.log");
  EXPECT_NE(log.find(failure), std::string::npos) << log;
  EXPECT_NE(log.find("File too large"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists("cube.cub"));
  for (const auto& entry : fs::directory_iterator("."))
    EXPECT_EQ(entry.path().filename().string().find(".cub"), std::string::npos) << entry.path();
}

// psqlODBC's message for a server that is not there holds a line break (nothing listens on port
// 1: the driver fails at once). The failure's summary on standard error is one line, and so is
// the error in the run log.
TEST_F(EngineJobTest, DriversMessageOfManyLinesIsOneLine) {
  WriteJob("DRIVER={PostgreSQL Unicode};Server=127.0.0.1;Port=1",
           "SELECT country, city, amount, units FROM sales");
  const test::RunResult run = test::RunCubemill("--no-wait --console Job");
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.errors.size(), 1u) << ::testing::PrintToString(run.errors);
  EXPECT_EQ(run.errors[0].rfind("cubemill: job Job failed: source: connect failed: [", 0), 0u)
      << run.errors[0];
  EXPECT_NE(run.errors[0].find("Connection refused; Is the server running"), std::string::npos)
      << run.errors[0];
  const Lines log = test::SplitLines(test::ReadBytes("log/cubemill.log"));
  const auto error = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.find("source: connect failed: ") != std::string::npos;
  });
  ASSERT_NE(error, log.end());
  EXPECT_NE(error->find("Is the server running"), std::string::npos) << *error;
  for (const std::string& line : log) EXPECT_EQ(line.rfind("20", 0), 0u) << line;
}

}  // namespace
}  // namespace cubemill
