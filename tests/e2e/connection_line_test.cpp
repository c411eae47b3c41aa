// Command-line jobs with unusual connection lines, run with the real cube engine and the real
// SQLite ODBC driver: passwords stay out of what is shown and stored, names may hold "select",
// and a broken line is reported by its cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "e2e/run_cubemill.h"
#include "e2e/sqlite_query.h"
#include "job/start_job.h"
#include "platform/text_file.h"
#include "provider/connection.h"
#include "provider/cubefile/cube_file_writer.h"
#include "provider/source/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The password of every source below; the SQLite driver ignores it.
constexpr const char* kSecret = "s3cret";

const char kCreateCube[] =
    "CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Country], "
    "MEASURE [Selected Qty] FUNCTION SUM TYPE DBTYPE_I8 );";
const char kInsertInto[] =
    "INSERT INTO OCWCube([Region].[Country], [Measures].[Selected Qty]) "
    "SELECT country, qty FROM sales";

class ConnectionLineTest : public ::testing::Test {
 protected:
  ConnectionLineTest() {
    fs::create_directories("log");
    test::WriteBytes("cubemill.ini", "[Job]\r\nOQY=job.oqy\r\nGLOBAL=G\r\n[G]\r\nLOGDIR=log\r\n");
    test::RunSqlite("sales.db",
                    "CREATE TABLE sales (country TEXT, qty INTEGER);"
                    "INSERT INTO sales VALUES ('Spain', 1), ('Peru', 2), ('Spain', 4);");
  }

  // Writes job.oqy with one connection line built from its parts.
  void WriteOqy(const std::string& create_cube, const std::string& insert_into,
                const std::string& source_dsn) {
    test::WriteBytes("job.oqy",
                     "QueryType=OLEDB\r\nConnection=Provider=MSOLAP;Data Source=cube.cub;" +
                         create_cube + "InsertInto=" + insert_into + ";Source_DSN=\"" + source_dsn +
                         "\";\r\n");
  }

  int Run() {
    job::JobContext context{list, clock, sleeper, [] { return provider::NewEngineConnection(); }};
    return job::StartFromCommandLine(context, "Job");
  }

  Lines RunLog() { return platform::ReadTextLines("log/cubemill.log").value_or(Lines{}); }

  test::TempDir dir;
  test::RecordingList list;
  test::FixedClock clock{platform::MakeDateTime(2024, 3, 7, 9, 5, 2)};
  test::NoSleep sleeper;
};

TEST_F(ConnectionLineTest, PasswordsStayOutOfTheListTheLogAndTheCubeFile) {
  using Rows = test::Rows;
  const struct {
    std::string source_dsn;
    std::string stored;
    Rows warnings;
  } cases[] = {
      {"DRIVER=SQLite3;Database=sales.db;Description='Sales;PWD=s3cret",
       "DRIVER=SQLite3;Database=sales.db;Description='Sales",
       {}},
      {" pwd = s3cret ;DRIVER=SQLite3;Database=sales.db;UID=ann",
       "DRIVER=SQLite3;Database=sales.db;UID=ann",
       {}},
      {"DRIVER=SQLite3;Database=sales.db;Password={a;s3cret}}};",
       "DRIVER=SQLite3;Database=sales.db;",
       {}},
      {"DRIVER=SQLite3;Database=sales.db;Description={notes;PWD=s3cret}",
       "DRIVER=SQLite3",
       {{provider::kSourceShortenedWarning}}},
  };
  for (const auto& c : cases) {
    list = test::RecordingList{};
    WriteOqy(std::string("CreateCube=") + kCreateCube, kInsertInto, c.source_dsn);
    ASSERT_EQ(Run(), job::kExitClean) << c.source_dsn;
    EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT source FROM cube"), (Rows{{c.stored}}))
        << c.source_dsn;
    EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT text FROM warnings"), c.warnings)
        << c.source_dsn;
    EXPECT_EQ(test::ReadBytes("cube.cub").find(kSecret), std::string::npos) << c.source_dsn;
    for (const std::string& line : list.lines)
      EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
    for (const std::string& line : RunLog())
      EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
  }
}

TEST_F(ConnectionLineTest, StandardOutputShowsTheSourceMasked) {
  WriteOqy(std::string("CreateCube=") + kCreateCube, kInsertInto,
           "DRIVER=SQLite3;Database=sales.db;Description='Sales;PWD=s3cret");
  const test::RunResult run = test::RunCubemill("--no-wait Job");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(
      std::find(run.lines.begin(), run.lines.end(),
                "Source DSN(OK): DRIVER=SQLite3;Database=sales.db;Description='Sales;PWD=***"),
      run.lines.end());
  for (const std::string& line : run.lines)
    EXPECT_EQ(line.find(kSecret), std::string::npos) << line;
}

TEST_F(ConnectionLineTest, MeasureNamedSelectedQtyIsBuilt) {
  WriteOqy(std::string("CreateCube=") + kCreateCube, kInsertInto,
           "DRIVER=SQLite3;Database=sales.db");
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_NE(std::find(list.lines.begin(), list.lines.end(),
                      "Select Statement(OK): SELECT country, qty FROM sales"),
            list.lines.end());
  EXPECT_EQ(test::QuerySqlite("cube.cub",
                              "SELECT \"Region.Country\", SUM(\"Selected Qty\") "
                              "FROM cube_flat GROUP BY 1 ORDER BY 1"),
            (test::Rows{{"Peru", "2"}, {"Spain", "5"}}));
}

TEST_F(ConnectionLineTest, BrokenConnectionLinesNameTheirCause) {
  const std::string good_line =
      "Connection=Provider=MSOLAP;Data Source=cube.cub;CreateCube=" + std::string(kCreateCube) +
      "InsertInto=" + kInsertInto + ";Source_DSN=\"DRIVER=SQLite3;Database=sales.db\";\r\n";
  // A NUL byte in the name [Country], and a SELECT from a table that does not exist.
  std::string nul_name = good_line;
  nul_name.replace(nul_name.find("[Country]"), 9, std::string("[Coun\0try]", 10));
  nul_name.replace(nul_name.find("FROM sales"), 10, "FROM no_such_table");
  const std::size_t name_at = std::string(kCreateCube).find("[Country]") + 1;
  const struct {
    std::string oqy;
    std::string error;  // the start of the error's description
    std::string cause;  // the line after the error's four lines
  } cases[] = {
      {"", "Provider cannot be found.", "OQY File has no Connection= line (or is empty): job.oqy"},
      {"QueryType=OLEDB\r\nVersion=1\r\n", "Provider cannot be found.",
       "OQY File has no Connection= line (or is empty): job.oqy"},
      {"Connection=Provider=MSOLAP;Data Source=cube.cub;InsertInto=" + std::string(kInsertInto) +
           ";Source_DSN=\"DRIVER=SQLite3;Database=sales.db\";",
       "connection string: INSERTINTO is missing",
       "Connection line has no CreateCube= value: the CREATE CUBE statement is missing"},
      // Found by the parser: the source (whose table is missing) is never read.
      {nul_name,
       "CREATE CUBE: bracketed name starting at position " + std::to_string(name_at) +
           " holds the control character 0x00 at position " + std::to_string(name_at + 5),
       "Fehler Cube Erstellung"},
  };
  for (const auto& c : cases) {
    list = test::RecordingList{};
    fs::remove("log/cubemill.log");
    test::WriteBytes("job.oqy", c.oqy);
    EXPECT_EQ(Run(), job::kExitFailed);
    auto error = std::find_if(list.lines.begin(), list.lines.end(),
                              [&](const std::string& line) { return line.rfind(c.error, 0) == 0; });
    ASSERT_LE(error + 5, list.lines.end()) << c.error;
    EXPECT_EQ(*(error + 4), c.cause) << c.error;
    if (c.cause == "Fehler Cube Erstellung") {  // a statement error
      EXPECT_EQ(*(error + 1), "-2147217900");
      EXPECT_EQ(*(error + 2), "Cubemill Cube Engine");
    } else {
      EXPECT_EQ(*(error + 5), "Fehler Cube Erstellung");
      const Lines log = RunLog();
      EXPECT_NE(std::find_if(log.begin(), log.end(),
                             [&](const std::string& line) {
                               return line.size() >= c.cause.size() &&
                                      line.compare(line.size() - c.cause.size(), c.cause.size(),
                                                   c.cause) == 0;
                             }),
                log.end())
          << c.cause;
    }
  }
}

TEST_F(ConnectionLineTest, SaysWhenALockedSourceMakesTheBuildWait) {
  WriteOqy(std::string("CreateCube=") + kCreateCube, kInsertInto,
           "DRIVER=SQLite3;Database=sales.db;Timeout=200");
  {
    test::SqliteWriteLock lock("sales.db");
    EXPECT_EQ(Run(), job::kExitFailed);
  }
  // Said before the connection waits, then the driver's error when the wait is over.
  const std::string busy = "Source busy: waiting up to 1 s for the lock";
  auto said = std::find(list.lines.begin(), list.lines.end(), busy);
  ASSERT_LT(said + 1, list.lines.end());
  EXPECT_NE((said + 1)->find("database is locked"), std::string::npos) << *(said + 1);
  const Lines log = RunLog();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [&](const std::string& line) { return line.ends_with(busy); }),
            1);
  // Once the lock is gone the same job builds without a word about it.
  list = test::RecordingList{};
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(std::find(list.lines.begin(), list.lines.end(), busy), list.lines.end());
}

}  // namespace
}  // namespace cubemill
