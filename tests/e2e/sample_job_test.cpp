// The shipped sample job, run by the built program from the command line: a real cube through
// the SQLite ODBC driver whose totals equal the source's.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "e2e/run_cubemill.h"
#include "e2e/sqlite_query.h"
#include "platform/text_file.h"
#include "provider/source/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Lays out the sample as the quick start does: OQY-Dateien/, data/sales.db, and run/ as the
// current directory.
void LayOutSample() {
  const fs::path sample = fs::path(CUBEMILL_SOURCE_DIR) / "sample";
  fs::create_directories("OQY-Dateien/rel01");
  fs::create_directories("OQY-Dateien/log");
  fs::create_directories("data");
  fs::create_directories("run");
  fs::copy_file(sample / "OQY-Dateien/rel01/Output_Detail.oqy",
                "OQY-Dateien/rel01/Output_Detail.oqy");
  test::RunSqlite("data/sales.db", test::ReadBytes((sample / "make_sample_db.sql").string()));
  fs::current_path("run");
}

TEST(SampleJobTest, BuildsStampsAndConvertsTheSampleCube) {
  test::TempDir dir;
  LayOutSample();
  auto run = test::RunCubemill("Test");
  EXPECT_EQ(run.status, 0);

  auto at = [&](const std::string& line) {
    return std::find(run.lines.begin(), run.lines.end(), line) - run.lines.begin();
  };
  const auto created = at("Cube Creation OK");
  ASSERT_LT(created, static_cast<long>(run.lines.size()));
  EXPECT_EQ(run.lines[created - 1], "DBQ(NOK) Search Entry: ''DBQ='' not found");
  EXPECT_TRUE(std::regex_match(
      run.lines[created + 1],
      std::regex(
          R"(Cube Target: \.\.\\OQY-Dateien\\rel01\\Output_Detail_\d{4}-\d\d-\d\d_\d\d_\d\d_\d\d\.cub)")));
  EXPECT_EQ(run.lines[created + 2], "Delete Cube: ..\\OQY-Dateien\\rel01\\Output_Detail.cub");
  EXPECT_EQ(Lines(run.lines.begin() + created + 3, run.lines.begin() + created + 5),
            (Lines{"Cube Rename OK", "VBS Conversion OK"}));

  // The stamped cube is there, the unstamped one is gone, the script is written.
  const std::string stamped = "../OQY-Dateien/rel01/" +
                              run.lines[created + 1].substr(run.lines[created + 1].rfind('\\') + 1);
  EXPECT_TRUE(fs::exists(stamped));
  EXPECT_FALSE(fs::exists("../OQY-Dateien/rel01/Output_Detail.cub"));
  EXPECT_EQ(test::ReadBytes("../OQY-Dateien/rel01/Output_Detail.oqy.vbs").substr(0, 21),
            "' Program: Cubemill\r\n");
  auto log = platform::ReadTextLines("../OQY-Dateien/log/cubemill.log");
  ASSERT_TRUE(log);
  EXPECT_NE(std::find_if(log->begin(), log->end(),
                         [](const std::string& l) { return l.ends_with(";Test;Cube Rename OK"); }),
            log->end());

  // The cube answers every total as the source does.
  EXPECT_EQ(
      test::QuerySqlite(stamped,
                        "SELECT \"Geography.Country\", \"Geography.City\", SUM(\"Quantity\"), "
                        "SUM(\"Amount\"), SUM(\"Sales Count\") FROM cube_flat "
                        "GROUP BY 1, 2 ORDER BY 1, 2"),
      test::QuerySqlite("../data/sales.db",
                        "SELECT c.country, c.city, SUM(s.quantity), SUM(s.amount), "
                        "COUNT(s.sale_id) FROM sales s JOIN cities c ON c.city_id = "
                        "s.city_id GROUP BY 1, 2 ORDER BY 1, 2"));
  EXPECT_EQ(test::QuerySqlite(stamped,
                              "SELECT \"Time.Calendar.Year\", \"Product.Category\", "
                              "SUM(\"Amount\") FROM cube_flat GROUP BY 1, 2 ORDER BY 1, 2"),
            test::QuerySqlite("../data/sales.db",
                              "SELECT strftime('%Y', s.sale_date), p.category, SUM(s.amount) "
                              "FROM sales s JOIN products p ON p.product_id = s.product_id "
                              "GROUP BY 1, 2 ORDER BY 1, 2"));
}

// --check goes through the sample job up to its build, through the real driver, and writes
// nothing: no cube, no script, no log line.
TEST(SampleJobTest, CheckFindsTheSampleJobReadyAndWritesNothing) {
  test::TempDir dir;
  LayOutSample();
  auto none = test::RunCubemill("--check Test");
  EXPECT_EQ(none.status, 1);  // no settings file: none is made
  EXPECT_FALSE(fs::exists("cubemill.ini"));
  EXPECT_EQ(none.errors.size(), 1u);

  test::RunCubemill("--list");  // reads only
  test::WriteBytes("cubemill.ini",
                   "[GLOBAL]\r\nLOGDIR=..\\OQY-Dateien\\log\r\n\r\n[Test]\r\n"
                   "OQY=..\\OQY-Dateien\\rel01\\Output_Detail.oqy\r\n"
                   "OQY2VBS=..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs\r\n"
                   "CUB_TS=YYYY-MM-DD_HH_mm_ss\r\nGLOBAL=GLOBAL\r\n");
  auto check = test::RunCubemill("--check Test");
  EXPECT_EQ(check.status, 0) << testing::PrintToString(check.lines);
  ASSERT_FALSE(check.lines.empty());
  EXPECT_EQ(check.lines.back(), "Check OK");
  EXPECT_NE(std::find(check.lines.begin(), check.lines.end(),
                      "Source: connected, SELECT prepared: 8 columns"),
            check.lines.end())
      << testing::PrintToString(check.lines);
  EXPECT_TRUE(check.errors.empty()) << testing::PrintToString(check.errors);
  EXPECT_TRUE(fs::is_empty("../OQY-Dateien/log"));
  EXPECT_EQ(std::distance(fs::directory_iterator("../OQY-Dateien/rel01"), fs::directory_iterator()),
            1);  // the OQY file alone

  // A cube directory that is missing fails the check, and a build, before any row is read.
  fs::rename("../OQY-Dateien/rel01", "../OQY-Dateien/moved");
  fs::create_directories("../OQY-Dateien/rel01");
  fs::copy_file("../OQY-Dateien/moved/Output_Detail.oqy", "../OQY-Dateien/rel01/Output_Detail.oqy");
  auto text = test::ReadBytes("../OQY-Dateien/rel01/Output_Detail.oqy");
  const auto at = text.find("rel01\\Output_Detail.cub");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 5, "gone1");
  test::WriteBytes("../OQY-Dateien/rel01/Output_Detail.oqy", text);
  auto failed = test::RunCubemill("--check Test");
  EXPECT_EQ(failed.status, 1);
  ASSERT_FALSE(failed.lines.empty());
  EXPECT_TRUE(failed.lines.back().starts_with("Check failed: cannot write the cube file"))
      << failed.lines.back();
}

}  // namespace
}  // namespace cubemill
