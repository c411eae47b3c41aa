// The shipped sample job: its OQY file read by the OQY reader cuts into statements the parsers
// accept, its SELECT runs through the SQLite ODBC driver from the run directory, and the built
// program makes from it a real cube whose totals equal the source's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "e2e/run_cubemill.h"
#include "e2e/sample_layout.h"
#include "oqy/oqy_reader.h"
#include "platform/text_file.h"
#include "provider/aggregate/cube_builder.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"
#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The sample's job as the OQY reader fills it from the sample's OQY file, read from run/.
CubeJob ReadSampleJob() {
  CubeJob job;
  job.OqyFile = "../OQY-Dateien/rel01/Output_Detail.oqy";
  test::RecordingList list;
  EXPECT_TRUE(oqy::ReadOqyConnection(job));
  oqy::ParseConnection(list, job);
  return job;
}

TEST(SampleJobTest, ConnectionLineCutsIntoStatementsTheParsersAccept) {
  test::TempDir dir;
  test::LayOutSample();
  const CubeJob job = ReadSampleJob();
  EXPECT_EQ(job.Provider, "MSOLAP");
  EXPECT_EQ(job.CubeFile, "..\\OQY-Dateien\\rel01\\Output_Detail.cub");
  EXPECT_EQ(job.SourceDsn, "DRIVER=SQLite3;Database=../data/sales.db");
  EXPECT_TRUE(job.CreateCubeStmt.starts_with("CREATE CUBE [OCWCube] (")) << job.CreateCubeStmt;
  EXPECT_TRUE(job.CreateCubeStmt.ends_with(");")) << job.CreateCubeStmt;
  EXPECT_TRUE(job.InsertIntoStmt.starts_with("INSERT INTO OCWCube(")) << job.InsertIntoStmt;
  EXPECT_TRUE(job.InsertIntoStmt.ends_with(") ")) << job.InsertIntoStmt;
  EXPECT_TRUE(job.SelectStmt.starts_with("SELECT sales.sale_date,")) << job.SelectStmt;

  auto schema = provider::ddl::ParseCreateCube(job.CreateCubeStmt);
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  auto insert = provider::ddl::ParseInsertInto(job.InsertIntoStmt + job.SelectStmt, *schema);
  ASSERT_TRUE(insert.ok()) << insert.error().description;
  EXPECT_EQ(insert->columns.size(), 8u);
  EXPECT_EQ(insert->select, job.SelectStmt);
}

// The SELECT the OQY file holds runs through the SQLite ODBC driver from the run directory (the
// database path is relative), is read through SQLite's library from the file the driver opened,
// and delivers every sale with typed values.
TEST(SampleJobTest, SelectRunsThroughTheOdbcDriverFromTheRunDirectory) {
  test::TempDir dir;
  test::LayOutSample();
  const CubeJob job = ReadSampleJob();
  auto schema = provider::ddl::ParseCreateCube(job.CreateCubeStmt);
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  auto insert = provider::ddl::ParseInsertInto(job.InsertIntoStmt + job.SelectStmt, *schema);
  ASSERT_TRUE(insert.ok()) << insert.error().description;
  const auto hints = provider::aggregate::CubeBuilder(*schema, *insert).Hints();

  auto source = provider::source::OdbcSource::Open(job.SourceDsn, job.SelectStmt, hints);
  ASSERT_TRUE(source.ok()) << source.error().description;
  EXPECT_EQ((*source)->ColumnCount(), insert->columns.size());
  EXPECT_TRUE((*source)->ReadsThroughSqliteLibrary());

  std::vector<provider::Value> row;
  std::int64_t rows = 0, quantity = 0;
  int first_year = 9999, last_year = 0;
  for (;;) {
    auto more = (*source)->NextRow(row);
    ASSERT_TRUE(more.ok()) << more.error().description;
    if (!*more) break;
    ++rows;
    const provider::Date& date = std::get<provider::Date>(row[0]);
    first_year = std::min(first_year, date.year);
    last_year = std::max(last_year, date.year);
    for (std::size_t c = 1; c <= 4; ++c)
      EXPECT_TRUE(std::holds_alternative<std::string_view>(row[c]));
    quantity += std::get<std::int64_t>(row[5]);
    EXPECT_GT(std::get<double>(row[6]), 0.0);
    EXPECT_TRUE(std::holds_alternative<std::int64_t>(row[7]));
  }
  EXPECT_EQ(rows, 3000);
  EXPECT_EQ(quantity, 9000);
  EXPECT_EQ(first_year, 2023);
  EXPECT_EQ(last_year, 2025);
}

TEST(SampleJobTest, BuildsStampsAndConvertsTheSampleCube) {
  test::TempDir dir;
  test::LayOutSample();
  auto run = test::RunCubemill("Test");
  EXPECT_EQ(run.status, 0);

  auto at = [&](const std::string& line) {
    return std::find(run.lines.begin(), run.lines.end(), line) - run.lines.begin();
  };
  const auto created = at("Cube Creation OK");
  ASSERT_LT(created, static_cast<long>(run.lines.size()));
  // The sample's source is a SQLite file, which the engine reads row by row.
  EXPECT_EQ(run.lines[created - 1], "Aggregation: client");
  EXPECT_EQ(run.lines[created - 2], "DBQ(NOK) Search Entry: ''DBQ='' not found");
  EXPECT_TRUE(
      test::HasShape(run.lines[created + 1],
                     R"(Cube Target: ..\OQY-Dateien\rel01\Output_Detail_####-##-##_##_##_##.cub)"))
      << run.lines[created + 1];
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

  // The cube answers every total as the source does (sums of reals to the cent: the cube adds
  // them in another order).
  EXPECT_EQ(
      test::QuerySqlite(stamped,
                        "SELECT \"Geography.Country\", \"Geography.City\", SUM(\"Quantity\"), "
                        "ROUND(SUM(\"Amount\"), 2), SUM(\"Sales Count\") FROM cube_flat "
                        "GROUP BY 1, 2 ORDER BY 1, 2"),
      test::QuerySqlite("../data/sales.db",
                        "SELECT c.country, c.city, SUM(s.quantity), ROUND(SUM(s.amount), 2), "
                        "COUNT(s.sale_id) FROM sales s JOIN cities c ON c.city_id = "
                        "s.city_id GROUP BY 1, 2 ORDER BY 1, 2"));
  EXPECT_EQ(
      test::QuerySqlite(stamped,
                        "SELECT \"Time.Calendar.Year\", \"Product.Category\", "
                        "ROUND(SUM(\"Amount\"), 2) FROM cube_flat GROUP BY 1, 2 ORDER BY 1, 2"),
      test::QuerySqlite("../data/sales.db",
                        "SELECT strftime('%Y', s.sale_date), p.category, ROUND(SUM(s.amount), 2) "
                        "FROM sales s JOIN products p ON p.product_id = s.product_id "
                        "GROUP BY 1, 2 ORDER BY 1, 2"));
}

// The sample's source grouped by SQLite gives the cube the engine makes from every row: the same
// members and cells, reals to their last bits (the two add in another order).
TEST(SampleJobTest, SourceGroupingBuildsTheSameSampleCube) {
  test::TempDir dir;
  test::LayOutSample();
  const std::string cube = "../OQY-Dateien/rel01/Output_Detail.cub";
  for (const std::string aggregate : {"CLIENT", "SOURCE"}) {
    test::WriteBytes("cubemill.ini",
                     "[GLOBAL]\r\nLOGDIR=..\\OQY-Dateien\\log\r\n[Job]\r\n"
                     "OQY=..\\OQY-Dateien\\rel01\\Output_Detail.oqy\r\n"
                     "GLOBAL=GLOBAL\r\nAGGREGATE=" +
                         aggregate + "\r\n");
    auto run = test::RunCubemill("--no-wait Job");
    ASSERT_EQ(run.status, 0) << testing::PrintToString(run.lines);
    const std::string said =
        "Aggregation: " + std::string(aggregate == "CLIENT" ? "client" : "source");
    EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), said), run.lines.end());
    fs::rename(cube, aggregate + ".cub");
  }
  for (const std::string sql :
       {"SELECT * FROM members ORDER BY id", "SELECT * FROM cells ORDER BY id",
        "SELECT * FROM cube_flat", "SELECT source_rows, cell_count FROM cube"}) {
    const test::SqliteResult client = test::ReadSqlite("CLIENT.cub", sql);
    const test::SqliteResult source = test::ReadSqlite("SOURCE.cub", sql);
    ASSERT_EQ(client.error, "");
    ASSERT_EQ(source.error, "");
    ASSERT_EQ(client.rows.size(), source.rows.size()) << sql;
    for (std::size_t r = 0; r < client.rows.size(); ++r) {
      for (std::size_t c = 0; c < client.rows[r].size(); ++c) {
        const test::SqliteValue& a = client.rows[r][c];
        const test::SqliteValue& b = source.rows[r][c];
        ASSERT_EQ(a.type, b.type) << sql << ": row " << r + 1 << ", column " << c + 1;
        if (a.type == test::SqliteValue::Type::kReal) {
          const double x = std::stod(a.text);
          EXPECT_NEAR(x, std::stod(b.text), 1e-12 * std::abs(x)) << sql << ": row " << r + 1;
        } else {
          EXPECT_EQ(a.text, b.text) << sql << ": row " << r + 1 << ", column " << c + 1;
        }
      }
    }
  }
}

// --check goes through the sample job up to its build, through the real driver, and writes
// nothing: no cube, no script, no log line.
TEST(SampleJobTest, CheckFindsTheSampleJobReadyAndWritesNothing) {
  test::TempDir dir;
  test::LayOutSample();
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

// A FIFO where the script or the cube is written (nobody at its other end) is refused without
// waiting on it and stays as it was, by the check and by the run.
TEST(SampleJobTest, FifosAtTheScriptAndCubePathsAreRefusedWithoutWaiting) {
  test::TempDir dir;
  test::LayOutSample();
  test::WriteBytes("cubemill.ini",
                   "[GLOBAL]\r\nLOGDIR=..\\OQY-Dateien\\log\r\n\r\n[Test]\r\n"
                   "OQY=..\\OQY-Dateien\\rel01\\Output_Detail.oqy\r\n"
                   "OQY2VBS=..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs\r\n"
                   "GLOBAL=GLOBAL\r\n");
  const std::string program = "timeout -k 5 60 " + std::string(CUBEMILL_BINARY);
  const auto said = [](const test::RunResult& run, const std::string& name) {
    Lines all = run.lines;
    all.insert(all.end(), run.errors.begin(), run.errors.end());
    return std::any_of(all.begin(), all.end(), [&](const std::string& line) {
      return line.find(name) != std::string::npos &&
             line.find("it is a FIFO, not a regular file") != std::string::npos;
    });
  };
  for (const char* fifo : {"Output_Detail.oqy.vbs", "Output_Detail.cub"}) {
    const std::string path = std::string("../OQY-Dateien/rel01/") + fifo;
    fs::remove(path);  // the cube the run with the script's FIFO built
    ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
    for (const char* arguments : {"--check Test", "--no-wait Test"}) {
      auto run = test::RunCubemill(arguments, "", program);
      EXPECT_EQ(run.status, 1) << arguments << " " << fifo;  // 124: it waited
      EXPECT_TRUE(said(run, fifo))
          << arguments << "\n"
          << testing::PrintToString(run.lines) << testing::PrintToString(run.errors);
      EXPECT_TRUE(fs::is_fifo(path)) << arguments << " " << fifo;
    }
    fs::remove(path);
  }
}

}  // namespace
}  // namespace cubemill
