// cubemill-query with the query in a file (-f, --file) or on standard input ("-"): the same
// answer as on the command line, and one line naming the file and the reason when it cannot be
// read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "query_program_run.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;

using test::BuildSampleCube;
using test::QueryRun;
using test::RunQuery;

constexpr char kQuery[] =
    "SELECT {[Measures].[Quantity], [Measures].[Sales Count]} ON COLUMNS, "
    "[Geography].[Spain].Children ON ROWS FROM [OCWCube]";
// The same question over several lines, with comments, AXIS(n), CR LF and a byte-order mark.
constexpr char kQueryText[] =
    "\xEF\xBB\xBF-- Spain's cities\r\n"
    "SELECT {[Measures].[Quantity], /* and */ [Measures].[Sales Count]} ON AXIS(0),\r\n"
    "  [Geography].[Spain].Children ON AXIS(1) // one row a city\r\n"
    "FROM [OCWCube];\r\n";
constexpr char kAnswer[] =
    ",Quantity,Sales Count\r\n"
    "Cordoba,1027,343\r\n"
    "Madrid,943,342\r\n"
    "Valencia,688,258\r\n";

TEST(QueryFileTest, ReadsTheQueryFromAFileOrStandardInput) {
  const test::TempDir dir;
  const std::string cube = BuildSampleCube();
  const QueryRun inline_query = RunQuery({"--csv", cube, kQuery});
  ASSERT_EQ(inline_query.status, 0) << inline_query.errors;
  EXPECT_EQ(inline_query.output, kAnswer);

  test::WriteBytes("spain.mdx", kQueryText);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--csv", "-f", "spain.mdx", cube},
        std::vector<std::string>{"--file=spain.mdx", "--csv", cube},
        std::vector<std::string>{cube, "--file", "spain.mdx", "--csv"}}) {
    const QueryRun run = RunQuery(arguments);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, kAnswer) << testing::PrintToString(arguments);
    EXPECT_EQ(run.errors, "");
  }
  const QueryRun piped = RunQuery({"--csv", cube, "-"}, kQueryText);
  EXPECT_EQ(piped.status, 0) << piped.errors;
  EXPECT_EQ(piped.output, kAnswer);

  // The query's errors count characters from the start of the file.
  test::WriteBytes("bad.mdx", "-- line one\nSELECT [Geography].[Spian] ON 0 FROM [OCWCube]\n");
  const QueryRun bad = RunQuery({"-f", "bad.mdx", cube});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.output, "");
  EXPECT_NE(bad.errors.find(" at 20\n"), std::string::npos) << bad.errors;
  const QueryRun empty = RunQuery({cube, "-"}, "");
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.errors, "cubemill-query: expected SELECT, found the end of the query at 1\n");
  // A query longer than the parser takes is refused after reading a little more than it.
  test::WriteBytes("long.mdx", std::string((1 << 20) + 70000, ' '));
  const QueryRun too_long = RunQuery({"-f", "long.mdx", cube});
  EXPECT_EQ(too_long.status, 1);
  EXPECT_EQ(too_long.errors, "cubemill-query: the query is longer than 1048576 bytes\n");
  const QueryRun unclosed = RunQuery({cube, "-"}, "SELECT /* [A] ON 0 FROM [OCWCube]");
  EXPECT_EQ(unclosed.status, 1);
  EXPECT_EQ(unclosed.errors, "cubemill-query: unclosed /* comment at 8\n");
}

TEST(QueryFileTest, NamesAFileThatCannotBeReadAndRefusesWrongUsage) {
  const test::TempDir dir;
  test::WriteBytes("empty.cub", "");
  const QueryRun missing = RunQuery({"-f", "no-such.mdx", "empty.cub"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "");
  EXPECT_EQ(missing.errors,
            "cubemill-query: cannot read the query from no-such.mdx: No such file or directory\n");
  fs::create_directory("folder.mdx");
  const QueryRun folder = RunQuery({"--file=folder.mdx", "empty.cub"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.errors,
            "cubemill-query: cannot read the query from folder.mdx: Is a directory\n");

  test::WriteBytes("q.mdx", kQuery);
  for (const std::vector<std::string>& usage :
       {std::vector<std::string>{"-f", "q.mdx", "empty.cub", kQuery},
        std::vector<std::string>{"-f", "q.mdx"}, std::vector<std::string>{"empty.cub", "-f"},
        std::vector<std::string>{"-f", "q.mdx", "empty.cub", "-"}}) {
    const QueryRun run = RunQuery(usage);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(usage);
    EXPECT_NE(run.errors.find("Usage: cubemill-query"), std::string::npos);
  }
  const QueryRun help = RunQuery({"--help"});
  EXPECT_NE(help.output.find("-f, --file=FILE"), std::string::npos);
}

}  // namespace
}  // namespace cubemill
