// Jobs with unusual connection lines, run with the real cube engine and the real SQLite ODBC
// driver: passwords stay out of what is shown and stored, names may hold "select", and a broken
// line or a locked source is reported by its cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "e2e/run_cubemill.h"
#include "job/start_job.h"
#include "platform/text_file.h"
#include "provider/connection/engine_connection.h"
#include "provider/cubefile/cube_file_writer.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

using Lines = std::vector<std::string>;

const char kCreateCube[] =
    "CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Country], "
    "MEASURE [Selected Qty] FUNCTION SUM TYPE DBTYPE_I8 );";
const char kInsertInto[] =
    "INSERT INTO OCWCube([Region].[Country], [Measures].[Selected Qty]) "
    "SELECT country, qty FROM sales";

std::string ConnectionLine(const std::string& source_dsn) {
  return "Connection=Provider=MSOLAP;Data Source=cube.cub;CreateCube=" + std::string(kCreateCube) +
         "InsertInto=" + kInsertInto + ";Source_DSN=\"" + source_dsn + "\";\r\n";
}

// True when one of `lines` ends with `text`.
bool HasLineEndingWith(const Lines& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.ends_with(text); });
}

class ConnectionLineTest : public ::testing::Test {
 protected:
  ConnectionLineTest() {
    std::filesystem::create_directories("log");
    test::WriteBytes("cubemill.ini", "[Job]\r\nOQY=job.oqy\r\nGLOBAL=G\r\n[G]\r\nLOGDIR=log\r\n");
    test::RunSqlite("sales.db",
                    "CREATE TABLE sales (country TEXT, qty INTEGER);"
                    "INSERT INTO sales VALUES ('Spain', 1), ('Peru', 2), ('Spain', 4);");
  }

  // Runs the job in-process with a fresh list and run log.
  int Run() {
    list = test::RecordingList{};
    std::filesystem::remove("log/cubemill.log");
    job::JobContext context{list, clock, sleeper,
                            [] { return provider::connection::NewEngineConnection(); }};
    return job::StartFromCommandLine(context, "Job");
  }

  Lines RunLog() { return platform::ReadTextLines("log/cubemill.log").value_or(Lines{}); }

  test::TempDir dir;
  test::RecordingList list;
  test::FixedClock clock{platform::MakeDateTime(2024, 3, 7, 9, 5, 2)};
  test::NoSleep sleeper;
};

// The program itself, on the console: its standard output is the progress list.
TEST_F(ConnectionLineTest, PasswordsStayOutOfStandardOutputTheLogAndTheCubeFile) {
  const struct {
    const char* source_dsn;
    const char* shown;  // the Source DSN line
    const char* stored;
    test::Rows warnings;
  } cases[] = {
      {"DRIVER=SQLite3;Database=sales.db;Description='Sales;PWD=s3cret",
       "DRIVER=SQLite3;Database=sales.db;Description='Sales;PWD=***",
       "DRIVER=SQLite3;Database=sales.db;Description='Sales",
       {}},
      {"DRIVER=SQLite3;Database=sales.db;Description={notes;PWD=s3cret}",
       "DRIVER=SQLite3",
       "DRIVER=SQLite3",
       {{provider::cubefile::kSourceShortenedWarning}}},
  };
  for (const auto& c : cases) {
    test::WriteBytes("job.oqy", ConnectionLine(c.source_dsn));
    const test::RunResult run = test::RunCubemill("--no-wait Job");
    EXPECT_EQ(run.status, 0) << c.source_dsn;
    EXPECT_TRUE(HasLineEndingWith(run.lines, std::string("Source DSN(OK): ") + c.shown));
    EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT source FROM cube"), (test::Rows{{c.stored}}));
    EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT text FROM warnings"), c.warnings);
    for (const Lines& text : {run.lines, RunLog(), Lines{test::ReadBytes("cube.cub")}}) {
      for (const std::string& line : text)
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line.substr(0, 200);
    }
  }
}

TEST_F(ConnectionLineTest, MeasureNamedSelectedQtyIsBuilt) {
  test::WriteBytes("job.oqy", ConnectionLine("DRIVER=SQLite3;Database=sales.db"));
  EXPECT_EQ(Run(), job::kExitClean);
  EXPECT_EQ(test::QuerySqlite("cube.cub",
                              "SELECT \"Region.Country\", SUM(\"Selected Qty\") "
                              "FROM cube_flat GROUP BY 1 ORDER BY 1"),
            (test::Rows{{"Peru", "2"}, {"Spain", "5"}}));
}

TEST_F(ConnectionLineTest, BrokenConnectionLinesNameTheirCause) {
  // A NUL byte in the name [Country], and a SELECT from a table that does not exist.
  std::string nul_name = ConnectionLine("DRIVER=SQLite3;Database=sales.db");
  nul_name.replace(nul_name.find("[Country]"), 9, std::string("[Coun\0try]", 10));
  nul_name.replace(nul_name.find("FROM sales"), 10, "FROM no_such_table");
  const std::size_t name_at = std::string(kCreateCube).find("[Country]") + 1;
  std::string no_create_cube = ConnectionLine("DRIVER=SQLite3;Database=sales.db");
  no_create_cube.erase(no_create_cube.find("CreateCube="), 11 + sizeof kCreateCube - 1);
  const struct {
    std::string oqy;
    std::string error;  // the start of the error's description
    std::string after;  // the line after the error's four lines
  } cases[] = {
      {"", "Provider cannot be found.", "OQY File has no Connection= line (or is empty): job.oqy"},
      {"QueryType=OLEDB\r\n", "Provider cannot be found.",
       "OQY File has no Connection= line (or is empty): job.oqy"},
      {no_create_cube, "connection string: INSERTINTO is missing",
       "Connection line has no CreateCube= value: the CREATE CUBE statement is missing"},
      // Found by the parser: the source (whose table is missing) is never read.
      {nul_name,
       "CREATE CUBE: bracketed name starting at position " + std::to_string(name_at) +
           " holds the control character 0x00 at position " + std::to_string(name_at + 5),
       "Fehler Cube Erstellung"},
  };
  for (const auto& c : cases) {
    test::WriteBytes("job.oqy", c.oqy);
    EXPECT_EQ(Run(), job::kExitFailed);
    auto error = std::find_if(list.lines.begin(), list.lines.end(),
                              [&](const std::string& line) { return line.rfind(c.error, 0) == 0; });
    ASSERT_LE(error + 5, list.lines.end()) << c.error;
    EXPECT_EQ(*(error + 4), c.after) << c.error;
    EXPECT_TRUE(HasLineEndingWith(RunLog(), c.after)) << c.after;
    if (c.after == "Fehler Cube Erstellung") {
      EXPECT_EQ(*(error + 1), "-2147217900");  // a statement error
    }
  }
}

TEST_F(ConnectionLineTest, SaysWhenALockedSourceMakesTheBuildWait) {
  test::WriteBytes("job.oqy", ConnectionLine("DRIVER=SQLite3;Database=sales.db;Timeout=200"));
  test::SqliteWriteLock lock("sales.db");
  EXPECT_EQ(Run(), job::kExitFailed);
  // Said before the connection waits, then the driver's error when the wait is over.
  const std::string busy =
      "Source busy: waiting up to 1 s for the lock on the SQLite database \"sales.db\"";
  auto said = std::find(list.lines.begin(), list.lines.end(), busy);
  ASSERT_LT(said + 1, list.lines.end());
  EXPECT_NE((said + 1)->find("database is locked"), std::string::npos) << *(said + 1);
  EXPECT_TRUE(HasLineEndingWith(RunLog(), busy));
}

}  // namespace
}  // namespace cubemill
