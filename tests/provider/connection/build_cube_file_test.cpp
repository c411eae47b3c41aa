// A whole build through the SQLite ODBC driver read on one thread and read ahead on a second
// (its rollups computed while the cells are written): the same cube file, the same failures,
// and what the source throws while it is read ahead reaches the connection's caller as an error.
#include "provider/connection/build_cube_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>

#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"
#include "provider/engine_error.h"
#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::provider::connection {
namespace {

const test::FixedClock kClock(platform::MakeDateTime(2024, 3, 7, 9, 5, 2));

// A sales table of `rows` rows over more than two read-ahead blocks: dates over three years,
// 60 cities in 12 countries (some NULL), 45 products, quantities, amounts with fractions whose
// sums depend on their order, and at `bad_row` (when given) an amount that is no number.
void MakeSales(const std::string& path, int rows, int bad_row = 0) {
  test::RunSqlite(
      path,
      "CREATE TABLE sales(day DATE, country TEXT, city TEXT, product TEXT, quantity INTEGER, "
      "amount TEXT);"
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
          std::to_string(rows) +
          ") INSERT INTO sales SELECT date('2021-01-01', '+' || (x * 7 % 1095) || ' days'), "
          "CASE WHEN x % 97 = 0 THEN NULL ELSE 'Country ' || (x % 12) END, "
          "'City ' || (x % 60), 'Product ' || (x * 13 % 45), 1 + x % 20, "
          "CASE WHEN x = " +
          std::to_string(bad_row) + " THEN 'n/a' ELSE (x % 1000) * 0.01 + 0.1 END FROM n;");
}

std::string Connection(const std::string& cube, const std::string& source) {
  EngineProperties properties;
  properties.location = cube;
  properties.source_dsn = test::SqliteOdbc(source);
  properties.create_cube =
      "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, "
      "LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH, "
      "LEVEL [Day] TYPE DAY, DIMENSION [Geography], LEVEL [Country], LEVEL [City], "
      "DIMENSION [Product], LEVEL [Product], MEASURE [Quantity] FUNCTION SUM TYPE DBTYPE_I8, "
      "MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_R8, MEASURE [Most] FUNCTION MAX, "
      "MEASURE [Sales] FUNCTION COUNT )";
  properties.insert_into =
      "INSERT INTO Sales([Time], [Geography].[Country], [Geography].[City], "
      "[Product].[Product], Measures.[Quantity], Measures.[Amount], Measures.[Most], "
      "Measures.[Sales]) SELECT day, country, city, product, quantity, amount, amount, "
      "quantity FROM sales";
  return WriteEngineProperties(properties);
}

std::optional<Error> Build(const std::string& cube, const std::string& source, bool read_ahead) {
  const auto open_source = [](const std::string& connection, const std::string& select,
                              const std::vector<ColumnHint>& hints) {
    return source::OpenOdbcSource(connection, select, hints);
  };
  BuildOptions options;
  options.read_ahead = read_ahead;
  return BuildCube(Connection(cube, source), open_source, {}, kClock, options);
}

// One table of a cube file, row by row in the order stored, every value with its type.
struct Table {
  std::string name;
  test::SqliteResult content;
};

std::vector<Table> Tables(const std::string& path) {
  std::vector<Table> tables;
  for (const auto& name : test::QuerySqlite(
           path, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    tables.push_back(
        {name[0], test::ReadSqlite(path, "SELECT * FROM \"" + name[0] + "\" ORDER BY rowid")});
    EXPECT_EQ(tables.back().content.error, "") << name[0];
  }
  return tables;
}

TEST(BuildCubeFileTest, OneThreadAndTwoThreadsBuildTheSameCube) {
  test::TempDir dir;
  MakeSales("sales.db", 12000);
  ASSERT_EQ(Build("one.cub", "sales.db", false), std::nullopt);
  ASSERT_EQ(Build("two.cub", "sales.db", true), std::nullopt);
  const auto one = Tables("one.cub");
  const auto two = Tables("two.cub");
  ASSERT_EQ(one.size(), two.size());
  std::size_t checked = 0;
  std::size_t rollups = 0;  // computed while the cells are written, with two threads
  for (std::size_t i = 0; i < one.size(); ++i) {
    SCOPED_TRACE(one[i].name);
    EXPECT_EQ(one[i].name, two[i].name);
    EXPECT_EQ(one[i].content.columns, two[i].content.columns);
    EXPECT_TRUE(one[i].content.rows == two[i].content.rows);
    if (one[i].name == "cells" || one[i].name == "members") {
      EXPECT_GT(one[i].content.rows.size(), 1000u);
      ++checked;
    }
    if (one[i].name.rfind("rollup_", 0) == 0 && !one[i].content.rows.empty()) ++rollups;
  }
  EXPECT_EQ(checked, 2u);
  EXPECT_GT(rollups, 1u);
  EXPECT_EQ(test::QuerySqlite("two.cub", "SELECT source_rows FROM cube"), (test::Rows{{"12000"}}));
  EXPECT_EQ(test::ReadBytes("one.cub"), test::ReadBytes("two.cub"));
}

TEST(BuildCubeFileTest, ARowTheBuilderRefusesFailsTheBuildAlikeOnEitherPath) {
  test::TempDir dir;
  MakeSales("sales.db", 30000, 9001);
  test::WriteBytes("earlier.cub", "an earlier cube");
  const auto one = Build("earlier.cub", "sales.db", false);
  const auto two = Build("earlier.cub", "sales.db", true);
  ASSERT_TRUE(one.has_value());
  EXPECT_EQ(one->description, "row 9001, column 6 \"Measures.[Amount]\": \"n/a\" is not a number");
  EXPECT_EQ(one->number, kDataErrorNumber);
  EXPECT_EQ(two, one);
  EXPECT_EQ(test::ReadBytes("earlier.cub"), "an earlier cube");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 2);
}

// Rows of the little cube of Connection() until `rows`, then throws `thrown`.
class ThrowingSource : public RowSource {
 public:
  ThrowingSource(int rows, std::function<void()> thrown) : rows_(rows), thrown_(thrown) {}
  std::size_t ColumnCount() const override { return 8; }
  Result<bool> NextRow(std::vector<Value>& row) override {
    if (next_++ == rows_) thrown_();
    row = {Date{2024, 1, 2},
           std::string_view("Spain"),
           std::string_view("Madrid"),
           std::string_view("P"),
           std::int64_t{1},
           2.5,
           2.5,
           std::int64_t{1}};
    return true;
  }

 private:
  int rows_;
  std::function<void()> thrown_;
  int next_ = 0;
};

TEST(BuildCubeFileTest, WhatTheSourceThrowsWhileReadAheadBecomesTheConnectionsError) {
  const struct {
    std::function<void()> thrower;
    Error expected;
  } cases[] = {
      {[] { throw std::runtime_error("the driver fell over"); },
       EngineError("the cube build failed unexpectedly: the driver fell over",
                   kUnexpectedErrorNumber)},
      {[] { throw std::bad_alloc(); },
       EngineError("the cube build ran out of memory", kOutOfMemoryNumber)},
  };
  for (const auto& c : cases) {
    for (const int rows : {0, 20000}) {
      test::TempDir dir;
      auto open = [&c, rows](const std::string&, const std::string&,
                             const std::vector<ColumnHint>&) -> Result<std::unique_ptr<RowSource>> {
        return std::unique_ptr<RowSource>(std::make_unique<ThrowingSource>(rows, c.thrower));
      };
      auto connection = NewEngineConnection(open, {}, &kClock);
      connection->SetConnectionString(Connection("cube.cub", "sales.db"));
      connection->SetProvider("MSOLAP");
      EXPECT_EQ(connection->Open("", "", "", -1), c.expected) << rows << " rows";
      EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a failed build leaves no file";
    }
  }
}

}  // namespace
}  // namespace cubemill::provider::connection
