#include "oqy/oqy_reader.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/worked_example.h"

namespace cubemill::oqy {
namespace {

using Lines = std::vector<std::string>;

const std::string& kExampleLine = test::kWorkedExampleLine;

CubeJob JobWithLine(const std::string& line) {
  CubeJob job;
  job.ConnectionLine = line;
  return job;
}

TEST(OqyReaderTest, ParsesTheWorkedExample) {
  test::RecordingList list;
  CubeJob job = JobWithLine(kExampleLine);
  EXPECT_TRUE(ParseConnection(list, job));

  CubeJob expected = test::WorkedExampleJob("");
  expected.ConnectionLine = kExampleLine;
  EXPECT_EQ(job, expected);
  EXPECT_EQ(list.lines,
            (Lines{"Data Provider(OK): MSOLAP", "Initial Catalog(OK): Sales",
                   "Output Location(OK): C:\\Cubes\\sales.cub",
                   "Create Statement(OK): CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL "
                   "[Region] );",
                   "Insert Statement(OK): INSERT INTO OCWCube([Region].[Region]) ",
                   "Select Statement(OK): SELECT region FROM orders",
                   "Source DSN(OK): DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;UID=reader",
                   "DBQ(OK): C:\\Data\\sales.mdb"}));
}

TEST(OqyReaderTest, ReportsEveryMissingKeyAndCarriesOn) {
  test::RecordingList list;
  CubeJob job;
  EXPECT_TRUE(ParseConnection(list, job));
  EXPECT_EQ(job, CubeJob{});
  ASSERT_EQ(list.lines.size(), 8u);
  EXPECT_EQ(list.lines[1], "Initial Catalog(NOK) Search Entry: ''Initial Catalog='' not found");
  EXPECT_EQ(list.lines[6], "Source DSN(NOK) Search Entry: ''Source_DSN=\"'' not found");
}

TEST(OqyReaderTest, ExtractsValuesByPlainTextSearch) {
  const struct {
    const char* line;
    const char* key;
    const char* terminator;
    int start_back;
    int length_extra;
    const char* value;
  } cases[] = {
      {"initial catalog=;x", "Initial Catalog=", ";", 0, 0, ""},   // empty value, any case
      {"PROVIDER=msolap.2;", "Provider=", ";", 0, 0, "msolap.2"},  // keeps the line's case
      {"Provider=MSOLAP", "Provider=", ";", 0, 0, "MSOLAP"},       // no terminator: line end
      {"CreateCube=CREATE CUBE x", "CreateCube=", ";", 0, 1, "CREATE CUBE x"},
      {"x=Select a from t;", "SELECT ", ";", 7, 7, "Select a from t"},
      {"SELECT 1;InsertInto=INSERT INTO C(a) SELECT a;", "SELECT ", ";", 7, 7, "SELECT 1"},
      {"InsertInto=INSERT INTO C([Selection]) SELECT s;", "InsertInto=", "SELECT", 0, 0,
       "INSERT INTO C(["},
      {"Source_DSN=\"DSN=a\"b\";", "Source_DSN=\"", "\"", 0, 0, "DSN=a"},
      {"Source_DSN=\"DSN=Sales\";DBQ=x;", "DBQ=", ";", 0, 0, "x"},
  };
  for (const auto& c : cases) {
    test::RecordingList list;
    EXPECT_EQ(ExtractValue(list, JobWithLine(c.line), c.key, c.terminator, "L", c.start_back,
                           c.length_extra),
              c.value)
        << c.line;
    EXPECT_EQ(list.lines, Lines{std::string("L(OK): ") + c.value});
  }
}

TEST(OqyReaderTest, EndsTheInsertIntoAtTheSelectKeyword) {
  const struct {
    const char* create_cube;
    const char* insert_into;
    const char* insert;
    const char* select;
  } cases[] = {
      {"MEASURE [Qty]", "INSERT INTO C([Measures].[Selected Qty]) SELECT q FROM t",
       "INSERT INTO C([Measures].[Selected Qty]) ", "SELECT q FROM t"},
      {"LEVEL [Selection]", "INSERT INTO C([Product].[Selection]) SELECT s FROM t",
       "INSERT INTO C([Product].[Selection]) ", "SELECT s FROM t"},
      {"MEASURE [Select Qty]", "INSERT INTO C([Measures].[Select Qty]) SELECT q FROM t",
       "INSERT INTO C([Measures].[Select Qty]) ", "SELECT q FROM t"},
      {"LEVEL [a]", "INSERT INTO C([a]] select x], 'select', \"select\") SELECT a FROM t",
       "INSERT INTO C([a]] select x], 'select', \"select\") ", "SELECT a FROM t"},
      {"LEVEL [a]", "insert into C([a]) select a from t", "insert into C([a]) ", "select a from t"},
      {"LEVEL [a]", "INSERT INTO C(SELECTED, Select_1, PreSelect) SELECT a FROM t",
       "INSERT INTO C(SELECTED, Select_1, PreSelect) ", "SELECT a FROM t"},
      {"LEVEL [a]", "INSERT INTO C([Selected])", "INSERT INTO C([", ""},  // no keyword: as before
  };
  for (const auto& c : cases) {
    const std::string line = std::string("Connection=Provider=MSOLAP;Data Source=c.cub;") +
                             "CreateCube=CREATE CUBE [C] ( DIMENSION [D], " + c.create_cube +
                             " );InsertInto=" + c.insert_into + ";Source_DSN=\"DSN=x\";";
    test::RecordingList list;
    CubeJob job = JobWithLine(line);
    ParseConnection(list, job);
    EXPECT_EQ(job.InsertIntoStmt, c.insert) << c.insert_into;
    EXPECT_EQ(job.SelectStmt, c.select) << c.insert_into;
    ASSERT_EQ(list.lines.size(), 8u);
    EXPECT_EQ(list.lines[4], std::string("Insert Statement(OK): ") + c.insert) << c.insert_into;
  }
}

// Without a name that holds "select", the values are the ones the plain text search gives.
TEST(OqyReaderTest, CutsStatementsWithoutSuchNamesAsThePlainSearchDoes) {
  for (const std::string& line :
       {kExampleLine, std::string("Connection=InsertInto=insert into C([a]) select a from t;x"),
        std::string("InsertInto=INSERT INTO C([a]) SELECT a FROM t WHERE x = 'SELECT';")}) {
    test::RecordingList list;
    CubeJob job = JobWithLine(line);
    ParseConnection(list, job);
    test::RecordingList plain;
    EXPECT_EQ(job.InsertIntoStmt, ExtractValue(plain, job, "InsertInto=", "SELECT", "I", 0, 0));
    EXPECT_EQ(job.SelectStmt, ExtractValue(plain, job, "SELECT ", ";", "S", 7, 7));
  }
}

TEST(OqyReaderTest, ShowsTheSourceWithoutItsPasswords) {
  const struct {
    const char* source_dsn;
    const char* shown;
  } cases[] = {
      {"DSN=Sales;UID=ann;PWD=s3cret", "DSN=Sales;UID=ann;PWD=***"},
      {"DRIVER=SQLite3;Database=x.db;Description='Sales;pwd=s3cret",
       "DRIVER=SQLite3;Database=x.db;Description='Sales;pwd=***"},
      {"DRIVER={SQLite3};X={PWD=s3cret}", "DRIVER={SQLite3}"},
  };
  for (const auto& c : cases) {
    const std::string line = std::string("Connection=Provider=MSOLAP;Source_DSN=\"") +
                             c.source_dsn + "\";InsertInto=INSERT INTO C([a]) SELECT a FROM t;";
    test::RecordingList list;
    CubeJob job = JobWithLine(line);
    ParseConnection(list, job);
    EXPECT_EQ(job.SourceDsn, c.source_dsn);  // the build needs the password
    ASSERT_EQ(list.lines.size(), 8u);
    EXPECT_EQ(list.lines[6], std::string("Source DSN(OK): ") + c.shown);
    for (const std::string& shown : list.lines)
      EXPECT_EQ(shown.find("s3cret"), std::string::npos) << shown;
  }
}

TEST(OqyReaderTest, ReadsTheLastConnectionLine) {
  test::TempDir dir;
  test::WriteBytes("a.oqy",
                   "QueryType=OLEDB\r\nConnection=Provider=First;\r\nVersion=1\r\n"
                   "xx connection=Provider=Second;\r\nCommandText=OCWCube\r\n");
  CubeJob job;
  job.OqyFile = "a.oqy";
  EXPECT_TRUE(ReadOqyConnection(job));
  EXPECT_EQ(job.ConnectionLine, "xx connection=Provider=Second;");
}

TEST(OqyReaderTest, KeepsTheLineWhenNoneMatchesAndFailsOnUnreadableFiles) {
  test::TempDir dir;
  test::WriteBytes("plain.oqy", "QueryType=OLEDB\r\n");
  CubeJob job;
  job.OqyFile = "plain.oqy";
  job.ConnectionLine = "earlier";
  EXPECT_TRUE(ReadOqyConnection(job));
  EXPECT_EQ(job.ConnectionLine, "earlier");
  job.OqyFile = "missing.oqy";
  EXPECT_FALSE(ReadOqyConnection(job));
  std::filesystem::create_directory("folder.oqy");
  job.OqyFile = "folder.oqy";
  EXPECT_FALSE(ReadOqyConnection(job));
}

}  // namespace
}  // namespace cubemill::oqy
