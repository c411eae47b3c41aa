#include "vbs/statement_blocks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "vbs/script_literal.h"

namespace cubemill::vbs {
namespace {

// The pieces the blocks are made of.
const std::string Q = "\"";
const std::string QQ = "\"\"";
const std::string T = "\t";
const std::string kCont = "\" & _ ";
const std::string kCrLf = "\r\n";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + kCrLf;
  return text;
}

// A job with one field set, and optionally a time-stamp pattern.
CubeJob With(std::string CubeJob::*field, const std::string& value,
             const std::string& cub_timestamp = "") {
  CubeJob job;
  job.*field = value;
  job.CubTimestamp = cub_timestamp;
  return job;
}

CubeJob ExampleJob() {
  CubeJob job;
  job.CubeFile = "C:\\Cubes\\sales.cub";
  job.CubTimestamp = "YYYY-MM-DD";
  job.SourceDsn = "DSN=Sales";
  job.CreateCubeStmt =
      "CREATE CUBE [OCWCube]( DIMENSION [Time], HIERARCHY [Fiscal], LEVEL [Year], MEASURE "
      "[Amount] FUNCTION SUM);";
  job.InsertIntoStmt = "INSERT INTO OCWCube([Time].[Year],SKIPONECOLUMN,[Measures].[Amount])";
  job.SelectStmt = "SELECT Year, SUM(Amount) FROM Sales GROUP BY Year";
  return job;
}

TEST(StatementBlocksTest, WritesTheFiveBlocksOfTheExampleByteForByte) {
  const CubeJob job = ExampleJob();
  VbsScript script;
  EXPECT_TRUE(WriteVbsCubLocation(script, job));
  EXPECT_TRUE(WriteVbsDsn(script, job));
  EXPECT_TRUE(WriteVbsCreateCube(script, job));
  EXPECT_TRUE(WriteVbsInsertInto(script, job));
  EXPECT_TRUE(WriteVbsSelect(script, job));

  const std::string expected = Lines({
      "",
      "Dim ConnCubLocation",
      "ConnCubLocation = " + Q + " LOCATION= " + QQ + "C:\\Cubes" + "\\" + Q + " & sCurTS & " + Q +
          "_sales.cub" + QQ + ";" + Q,
      "",
      "Dim ConnDSN",
      "ConnDSN = " + Q + "SOURCE_DSN= " + QQ + "DSN=Sales" + QQ + ";" + Q,
      "",
      "Dim ConnCreateCube",
      "ConnCreateCube = " + Q + "CreateCube= CREATE CUBE [OCWCube] ( " + kCont,
      T + Q + T + "DIMENSION [Time] ," + kCont,
      T + Q + T + T + "HIERARCHY [Fiscal] ," + kCont,
      T + Q + T + T + T + "LEVEL [Year] ," + kCont,
      T + Q + T + "MEASURE [Amount] FUNCTION SUM ) ;" + Q,
      "",
      "Dim ConnInsertCube",
      "ConnInsertCube = " + Q + "InsertInto= INSERT INTO OCWCube (" + kCont,
      T + Q + T + "  " + "[Time].[Year] , " + kCont,
      T + Q + T + "  " + T + "SKIPONECOLUMN, " + kCont,
      T + Q + T + "  " + "[Measures].[Amount] ) " + Q,
      "",
      "Dim ConnSelectCube",
      "ConnSelectCube = " + Q + "SELECT " + kCont,
      T + T + Q + " Year," + kCont,
      T + T + Q + " SUM ( Amount )" + kCont,
      T + Q + " FROM " + kCont,
      T + Q + "Sales GROUP BY Year" + Q,
  });
  EXPECT_EQ(script.bytes(), expected);
}

TEST(StatementBlocksTest, ExampleAssignmentsReadBackAsTheStatements) {
  const CubeJob job = ExampleJob();
  EXPECT_EQ(test::EvaluateAssignment(SelectAssignment(job), "ConnSelectCube"),
            "SELECT  Year, SUM ( Amount ) FROM Sales GROUP BY Year");
  EXPECT_EQ(test::EvaluateAssignment(CubLocationAssignment(job), "ConnCubLocation"),
            " LOCATION= \"C:\\Cubes\\<TS>_sales.cub\";");
  EXPECT_EQ(test::EvaluateAssignment(InsertIntoAssignment(job), "ConnInsertCube"),
            "InsertInto= INSERT INTO OCWCube (\t  [Time].[Year] , \t  \tSKIPONECOLUMN, \t  "
            "[Measures].[Amount] ) ");
}

TEST(StatementBlocksTest, LaysOutEdgeCaseStatements) {
  const struct {
    const char* what;
    std::string (*assign)(const CubeJob&);
    CubeJob job;
    std::string expected;
  } cases[] = {
      {"empty SELECT", SelectAssignment, {}, "ConnSelectCube = " + QQ},
      {"empty CREATE CUBE", CreateCubeAssignment, {}, "ConnCreateCube = " + Q + "CreateCube= " + Q},
      {"empty INSERT INTO", InsertIntoAssignment, {}, "ConnInsertCube = " + Q + "InsertInto= " + Q},
      {"empty data source",
       DsnAssignment,
       {},
       "ConnDSN = " + Q + "SOURCE_DSN= " + QQ + QQ + ";" + Q},
      {"location without time stamp", CubLocationAssignment,
       With(&CubeJob::CubeFile, "C:\\Cubes\\sales.cub", ""),
       "ConnCubLocation = " + Q + " LOCATION= " + QQ + "C:\\Cubes\\sales.cub" + QQ + ";" + Q},
      {"location without backslash", CubLocationAssignment,
       With(&CubeJob::CubeFile, "cube.cub", "YYYY"),
       "ConnCubLocation = " + Q + " LOCATION= " + QQ + Q + " & sCurTS & " + Q + "_cube.cub" + QQ +
           ";" + Q},
      {"location with several backslashes", CubLocationAssignment,
       With(&CubeJob::CubeFile, "\\\\srv\\a\\b.c\\x.cub", "YYYY"),
       "ConnCubLocation = " + Q + " LOCATION= " + QQ + "\\\\srv\\a\\b.c\\" + Q + " & sCurTS & " +
           Q + "_x.cub" + QQ + ";" + Q},
      {"location ending in a backslash", CubLocationAssignment,
       With(&CubeJob::CubeFile, "C:\\Cubes\\", "YYYY"),
       "ConnCubLocation = " + Q + " LOCATION= " + QQ + "C:\\Cubes\\" + Q + " & sCurTS & " + Q +
           "_" + QQ + ";" + Q},
      {"forward slashes are no separators", CubLocationAssignment,
       With(&CubeJob::CubeFile, "C:/Cubes/x.cub", "YYYY"),
       "ConnCubLocation = " + Q + " LOCATION= " + QQ + Q + " & sCurTS & " + Q + "_C:/Cubes/x.cub" +
           QQ + ";" + Q},
      {"quoted select item", SelectAssignment, With(&CubeJob::SelectStmt, "SELECT \"A\" FROM T"),
       "ConnSelectCube = " + Q + "SELECT " + kCont + kCrLf + T + T + Q + " " + QQ + "A" + QQ +
           kCont + kCrLf + T + Q + " FROM " + kCont + kCrLf + T + Q + "T" + Q},
      {"lower-case select breaks only at commas", SelectAssignment,
       With(&CubeJob::SelectStmt, "select a, b from t"),
       "ConnSelectCube = " + Q + "select a," + kCont + kCrLf + T + T + Q + " b from t" + Q},
      {"eight blanks become one", SelectAssignment, With(&CubeJob::SelectStmt, "a        b"),
       "ConnSelectCube = " + Q + "a b" + Q},
      {"ten blanks become two", SelectAssignment, With(&CubeJob::SelectStmt, "a          b"),
       "ConnSelectCube = " + Q + "a  b" + Q},
      {"seventeen blanks become three", CreateCubeAssignment,
       With(&CubeJob::CreateCubeStmt, "a                 b"),
       "ConnCreateCube = " + Q + "CreateCube= a   b" + Q},
      {"TABs stay and are not blanks", SelectAssignment,
       With(&CubeJob::SelectStmt, "a \t\t b\t  c"), "ConnSelectCube = " + Q + "a \t\t b\t c" + Q},
      {"qualified names stay joined", InsertIntoAssignment,
       With(&CubeJob::InsertIntoStmt, "INSERT INTO OCWCube([Time].[Year])"),
       "ConnInsertCube = " + Q + "InsertInto= INSERT INTO OCWCube (" + kCont + kCrLf + T + Q + T +
           "  [Time].[Year] ) " + Q},
      {"quotes doubled in INSERT INTO", InsertIntoAssignment,
       With(&CubeJob::InsertIntoStmt, "INSERT INTO X(\"a\")"),
       "ConnInsertCube = " + Q + "InsertInto= INSERT INTO X ( " + QQ + "a" + QQ + " ) " + Q},
  };
  for (const auto& c : cases) EXPECT_EQ(c.assign(c.job), c.expected) << c.what;
}

TEST(StatementBlocksTest, KeepsQuotesOfLocationSourceAndCreateCubeInsideTheirLiterals) {
  // Without doubling, each of these would end its literal and run the rest as script code.
  const std::string payload = "\" : CreateObject(\"WScript.Shell\").Run \"calc\" : x = \"";
  const struct {
    const char* what;
    std::string (*assign)(const CubeJob&);
    const char* variable;
    CubeJob job;
    std::string expected_value;
  } cases[] = {
      {"location", CubLocationAssignment, "ConnCubLocation",
       With(&CubeJob::CubeFile, "C:\\Cu" + payload + "bes\\sales.cub"),
       " LOCATION= \"C:\\Cu" + payload + "bes\\sales.cub\";"},
      {"stamped location", CubLocationAssignment, "ConnCubLocation",
       With(&CubeJob::CubeFile, "C:\\Cu" + payload + "\\sa\"les.cub", "YYYY"),
       " LOCATION= \"C:\\Cu" + payload + "\\<TS>_sa\"les.cub\";"},
      {"data source", DsnAssignment, "ConnDSN", With(&CubeJob::SourceDsn, "DSN=Sales" + payload),
       "SOURCE_DSN= \"DSN=Sales" + payload + "\";"},
      {"create cube", CreateCubeAssignment, "ConnCreateCube",
       With(&CubeJob::CreateCubeStmt, "CREATE CUBE [OCWCube] ( DIMENSION [R" + payload + "] );"),
       "CreateCube= CREATE CUBE [OCWCube] ( \tDIMENSION [R\" : CreateObject ( \"WScript.Shell\" "
       ") .Run \"calc\" : x = \"] ) ;"},
      {"select", SelectAssignment, "ConnSelectCube",
       With(&CubeJob::SelectStmt, "SELECT 1" + payload),
       "SELECT  1\" : CreateObject ( \"WScript.Shell\" ) .Run \"calc\" : x = \""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(test::EvaluateAssignment(c.assign(c.job), c.variable), c.expected_value) << c.what;
}

// A lone CR in a value (an OQY line may hold one) must not end a script line: after "," the
// CREATE CUBE layout continues the expression, so the rest of the value would run as code.
TEST(StatementBlocksTest, ALoneCarriageReturnInAValueStaysInsideTheScriptLine) {
  CubeJob job = ExampleJob();
  job.CubeFile = "C:\\Cubes\rMsgBox 1\\sales.cub";
  job.SourceDsn = "DSN=x\rMsgBox 1";
  job.CreateCubeStmt = "CREATE CUBE [OCWCube]( DIMENSION [a],\rMsgBox Chr(33), LEVEL [b]);";
  job.InsertIntoStmt = "INSERT INTO OCWCube([a].[b],\rMsgBox 1)";
  job.SelectStmt = "SELECT a,\rMsgBox 1 FROM t";
  for (const std::string& block :
       {CubLocationAssignment(job), DsnAssignment(job), CreateCubeAssignment(job),
        InsertIntoAssignment(job), SelectAssignment(job)}) {
    for (std::size_t at = block.find('\r'); at != std::string::npos; at = block.find('\r', at + 1))
      EXPECT_EQ(block[at + 1], '\n') << block;  // only the layout's own line ends
    EXPECT_EQ(block.find("\nMsgBox"), std::string::npos) << block;
  }
  EXPECT_EQ(OneScriptLine("a\rb\nc"), "a b c");
}

}  // namespace
}  // namespace cubemill::vbs
