#include "provider/cubefile/cube_file_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>

#include "provider/aggregate/cube_builder.h"
#include "provider/aggregate/cube_fixtures.h"
#include "provider/cubefile/cube_file_reader.h"
#include "provider/engine_error.h"
#include "support/test_support.h"

namespace cubemill::provider::cubefile {
namespace {

using namespace test;  // NOLINT
namespace fs = std::filesystem;

CubeSchema SalesCube() {
  CubeSchema schema;
  schema.name = "Sales";
  schema.dimensions.push_back(
      MakeDimension("Region", {AllLevel("All Regions"), MakeLevel("Country"), MakeLevel("City")}));
  schema.dimensions.push_back(
      MakeDimension("Product", {MakeLevel("Item", LevelType::kRegular, MemberOrder::kByKey)}));
  schema.dimensions.push_back(MakeDimension(
      "Time", {MakeLevel("Year", LevelType::kYear), MakeLevel("Month", LevelType::kMonth)}, true));
  schema.measures = {MakeMeasure("Amount", AggregateFunction::kSum, "DBTYPE_I8"),
                     MakeMeasure("Price", AggregateFunction::kSum),
                     MakeMeasure("Orders", AggregateFunction::kCount),
                     MakeMeasure("Lowest", AggregateFunction::kMin),
                     MakeMeasure("Highest", AggregateFunction::kMax)};
  schema.measures[1].format = "#,##0.00;(#,##0.00)";
  return schema;
}

InsertInto SalesInsert() {
  return MakeInsert(
      "Sales",
      {LevelColumn(0, 0, 1, "Region.Country"), LevelColumn(0, 0, 2, "Region.City"),
       LevelColumn(1, 0, 0, "Product.Item"), TimeColumn(2, kAllHierarchies, "Time"),
       MeasureColumn(0, "Measures.Amount"), MeasureColumn(1, "Measures.Price"),
       MeasureColumn(2, "Orders"), MeasureColumn(3, "Lowest"), MeasureColumn(4, "Highest")});
}

// A deterministic data set of `count` rows; text values live in `storage`.
Rows GeneratedRows(int count, std::vector<std::string>& storage) {
  static const char* kCountries[] = {"France", "Italy", "Japan", "Peru"};
  storage.clear();
  storage.reserve(static_cast<std::size_t>(count) * 2);
  Rows rows;
  std::uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % 1000u;
  };
  for (int i = 0; i < count; ++i) {
    std::string country = kCountries[next() % 4];
    storage.push_back(country);
    storage.push_back(country.substr(0, 2) + "-city-" + std::to_string(next() % 7));
    const std::string& city = storage.back();
    const std::string& country_text = storage[storage.size() - 2];
    Date date{1996 + static_cast<int>(next() % 3), 1 + next() % 12, 1 + next() % 28};
    Value price = next() % 10 == 0 ? kNull : Value{static_cast<double>(next()) / 4.0};
    rows.push_back({Value{std::string_view(country_text)}, Value{std::string_view(city)},
                    Int(static_cast<std::int64_t>(next() % 50)), Value{date},
                    Int(static_cast<std::int64_t>(next()) - 300), price, price,
                    Int(static_cast<std::int64_t>(next())),
                    Int(static_cast<std::int64_t>(next()))});
  }
  return rows;
}

Result<BuiltCube> BuildCube(const CubeSchema& schema, const InsertInto& insert, const Rows& rows) {
  CubeBuilder builder(schema, insert);
  for (const auto& row : rows) {
    if (auto error = builder.AddRow(row)) return *error;
  }
  return builder.Finish();
}

BuildInfo Info(std::int64_t rows) {
  return BuildInfo{"CREATE CUBE [Sales] (...)", "INSERT INTO Sales (...) SELECT ...",
                   "DRIVER=SQLite3;Database=x.db;UID=ann;PWD=secret", "2024-03-05 07:08:09", rows};
}

TEST(CubeFileWriterTest, FlatTotalsEqualTotalsOverTheSourceRows) {
  cubemill::test::TempDir dir;
  std::vector<std::string> storage;
  const Rows rows = GeneratedRows(4000, storage);
  auto cube = BuildCube(SalesCube(), SalesInsert(), rows);
  ASSERT_TRUE(cube.ok()) << cube.error().description;
  ASSERT_EQ(WriteCubeFile("sales.cub", SalesCube(), *cube, Info(4000)), std::nullopt);

  struct Totals {
    std::int64_t amount = 0;
    double price = 0;
    std::int64_t orders = 0;
    std::int64_t lowest = INT64_MAX;
    std::int64_t highest = INT64_MIN;
  };
  std::map<std::string, Totals> by_country;
  for (const auto& row : rows) {
    Totals& totals = by_country[std::string(std::get<std::string_view>(row[0]))];
    totals.amount += std::get<std::int64_t>(row[4]);
    if (row[5].index() != 0) {
      totals.price += std::get<double>(row[5]);
      ++totals.orders;
    }
    totals.lowest = std::min(totals.lowest, std::get<std::int64_t>(row[7]));
    totals.highest = std::max(totals.highest, std::get<std::int64_t>(row[8]));
  }
  std::vector<std::vector<std::string>> expected;
  for (const auto& [country, totals] : by_country) {
    char price[64];
    std::snprintf(price, sizeof price, "%.15gr", totals.price);
    expected.push_back({country, std::to_string(totals.amount), price,
                        std::to_string(totals.orders), std::to_string(totals.lowest),
                        std::to_string(totals.highest)});
  }
  QueryResult result = Query("sales.cub",
                             "SELECT \"Region.Country\", SUM(\"Amount\"), SUM(\"Price\"), "
                             "SUM(\"Orders\"), MIN(\"Lowest\"), MAX(\"Highest\") FROM cube_flat "
                             "GROUP BY 1 ORDER BY 1");
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.rows, expected);
  EXPECT_EQ(Query("sales.cub", "SELECT COUNT(*) FROM cells").rows,
            (std::vector<std::vector<std::string>>{{std::to_string(cube->cell_count)}}));
}

TEST(CubeFileWriterTest, RecordsTheCubeAndItsStructure) {
  cubemill::test::TempDir dir;
  std::vector<std::string> storage;
  auto cube = BuildCube(SalesCube(), SalesInsert(), GeneratedRows(10, storage));
  ASSERT_TRUE(cube.ok());
  ASSERT_EQ(WriteCubeFile("s.cub", SalesCube(), *cube, Info(10)), std::nullopt);
  using Table = std::vector<std::vector<std::string>>;
  EXPECT_EQ(Query("s.cub", "PRAGMA application_id").rows,
            (Table{{std::to_string(kCubeFileApplicationId)}}));
  EXPECT_EQ(Query("s.cub", "PRAGMA user_version").rows, (Table{{"1"}}));
  EXPECT_EQ(
      Query("s.cub", "SELECT name, format_version, built_at, source, source_rows FROM cube").rows,
      (Table{{"Sales", "1", "2024-03-05 07:08:09", "DRIVER=SQLite3;Database=x.db;UID=ann", "10"}}));
  EXPECT_EQ(
      Query("s.cub",
            "SELECT d.name, d.is_time, h.cell_column, l.ordinal, l.name, l.type, "
            "l.member_order, l.options, l.flat_column FROM levels l JOIN hierarchies h ON "
            "h.id = l.hierarchy JOIN dimensions d ON d.id = h.dimension ORDER BY l.id")
          .rows,
      (Table{{"Region", "0", "h1", "1", "All Regions", "ALL", "NAME", "", "NULL"},
             {"Region", "0", "h1", "2", "Country", "REGULAR", "NAME", "", "Region.Country"},
             {"Region", "0", "h1", "3", "City", "REGULAR", "NAME", "", "Region.City"},
             {"Product", "0", "h2", "1", "Item", "REGULAR", "KEY", "SORTBYKEY", "Product.Item"},
             {"Time", "1", "h3", "1", "Year", "YEAR", "NAME", "", "Time.Year"},
             {"Time", "1", "h3", "2", "Month", "MONTH", "NAME", "", "Time.Month"}}));
  EXPECT_EQ(Query("s.cub", "SELECT name, function, format, type, cell_column FROM measures").rows,
            (Table{{"Amount", "SUM", "", "DBTYPE_I8", "m1"},
                   {"Price", "SUM", "#,##0.00;(#,##0.00)", "", "m2"},
                   {"Orders", "COUNT", "", "", "m3"},
                   {"Lowest", "MIN", "", "", "m4"},
                   {"Highest", "MAX", "", "", "m5"}}));
}

std::vector<std::string> DirectoryEntries(const fs::path& path) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CubeFileWriterTest, FailedWriteKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
  cubemill::test::TempDir dir;
  std::vector<std::string> storage;
  auto small = BuildCube(SalesCube(), SalesInsert(), GeneratedRows(5, storage));
  ASSERT_TRUE(small.ok());
  ASSERT_EQ(WriteCubeFile("cubes\\sales.cub", SalesCube(), *small, Info(5)),
            std::optional<Error>(EngineError(
                "cannot write the cube file \"cubes\\sales.cub\": cannot create a temporary file "
                "in \"cubes\": No such file or directory",
                kCubeFileErrorNumber)));
  fs::create_directory("cubes");
  ASSERT_EQ(WriteCubeFile("cubes\\sales.cub", SalesCube(), *small, Info(5)), std::nullopt);
  const std::string before = cubemill::test::ReadBytes("cubes/sales.cub");
  ASSERT_FALSE(before.empty());

  // A file-size limit below what the big cube needs makes the disk "full" mid-write.
  auto big = BuildCube(SalesCube(), SalesInsert(), GeneratedRows(3000, storage));
  ASSERT_TRUE(big.ok());
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previous = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = before.size() + 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  auto error = WriteCubeFile("cubes/sales.cub", SalesCube(), *big, Info(3000));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, kCubeFileErrorNumber);
  EXPECT_EQ(error->description.rfind("cannot write the cube file \"cubes/sales.cub\": ", 0), 0u)
      << error->description;
  EXPECT_EQ(cubemill::test::ReadBytes("cubes/sales.cub"), before);
  EXPECT_EQ(DirectoryEntries("cubes"), std::vector<std::string>{"sales.cub"});

  // A directory in the way is not replaced.
  fs::create_directory("cubes/dir.cub");
  error = WriteCubeFile("cubes/dir.cub", SalesCube(), *small, Info(5));
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->description, "cannot write the cube file \"cubes/dir.cub\": it is a directory");
  EXPECT_EQ(DirectoryEntries("cubes"), (std::vector<std::string>{"dir.cub", "sales.cub"}));
}

TEST(CubeFileWriterTest, ReplacesAnEarlierFile) {
  cubemill::test::TempDir dir;
  cubemill::test::WriteBytes("sales.cub", "not a cube");
  std::vector<std::string> storage;
  auto cube = BuildCube(SalesCube(), SalesInsert(), GeneratedRows(5, storage));
  ASSERT_TRUE(cube.ok());
  ASSERT_EQ(WriteCubeFile("sales.cub", SalesCube(), *cube, Info(5)), std::nullopt);
  EXPECT_EQ(Query("sales.cub", "SELECT source_rows FROM cube").rows,
            (std::vector<std::vector<std::string>>{{"5"}}));
  EXPECT_EQ(DirectoryEntries("."), std::vector<std::string>{"sales.cub"});
}

}  // namespace
}  // namespace cubemill::provider::cubefile
