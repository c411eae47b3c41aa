// The cube-file writer's durability: a file written complete or not at all, an earlier cube kept
// when a write fails and replaced when it succeeds. What a cube file holds is checked by the
// engine's case files (tests/data/engine).
#include "provider/cubefile/cube_file_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <vector>

#include "provider/aggregate/cube_builder.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"
#include "provider/engine_error.h"
#include "support/sqlite_query.h"
#include "support/system.h"
#include "support/test_support.h"

namespace cubemill::provider::cubefile {
namespace {

namespace fs = std::filesystem;

const char kCreateCube[] =
    "CREATE CUBE [Sales] ( DIMENSION [Region], LEVEL [All Regions] TYPE ALL, LEVEL [Country], "
    "LEVEL [City], DIMENSION [Product], LEVEL [Item] OPTIONS(SORTBYKEY), "
    "DIMENSION [Time] TYPE TIME, LEVEL [Year] TYPE YEAR, LEVEL [Month] TYPE MONTH, "
    "MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_I8, MEASURE [Price] FUNCTION SUM, "
    "MEASURE [Orders] FUNCTION COUNT, MEASURE [Lowest] FUNCTION MIN, "
    "MEASURE [Highest] FUNCTION MAX )";
const char kInsertInto[] =
    "INSERT INTO Sales ( Region.Country, Region.City, Product.Item, Time, Measures.Amount, "
    "Measures.Price, Orders, Lowest, Highest ) SELECT * FROM sales";

CubeSchema SalesCube() {
  auto schema = ddl::ParseCreateCube(kCreateCube);
  EXPECT_TRUE(schema.ok()) << schema.error().description;
  return schema.ok() ? *schema : CubeSchema{};
}

InsertInto SalesInsert() {
  auto insert = ddl::ParseInsertInto(kInsertInto, SalesCube());
  EXPECT_TRUE(insert.ok()) << insert.error().description;
  return insert.ok() ? *insert : InsertInto{};
}

using Rows = std::vector<std::vector<Value>>;

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
    Value price = next() % 10 == 0 ? Value{} : Value{static_cast<double>(next()) / 4.0};
    rows.push_back({Value{std::string_view(country_text)}, Value{std::string_view(city)},
                    Value{static_cast<std::int64_t>(next() % 50)}, Value{date},
                    Value{static_cast<std::int64_t>(next()) - 300}, price, price,
                    Value{static_cast<std::int64_t>(next())},
                    Value{static_cast<std::int64_t>(next())}});
  }
  return rows;
}

Result<aggregate::BuiltCube> BuildCube(const CubeSchema& schema, const InsertInto& insert,
                                       const Rows& rows) {
  aggregate::CubeBuilder builder(schema, insert);
  for (const auto& row : rows) {
    if (auto error = builder.AddRow(row)) return *error;
  }
  return builder.Finish();
}

BuildInfo Info(std::int64_t rows) {
  return BuildInfo{"CREATE CUBE [Sales] (...)",
                   "INSERT INTO Sales (...) SELECT ...",
                   "DRIVER=SQLite3;Database=x.db;UID=ann;PWD=secret",
                   "2024-03-05 07:08:09",
                   rows,
                   "",
                   {}};
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
  std::optional<Error> error;
  {
    cubemill::test::FileSizeLimit limit(before.size() + 4096);
    if (!limit.applied()) GTEST_SKIP() << "no file-size limit on this system";
    error = WriteCubeFile("cubes/sales.cub", SalesCube(), *big, Info(3000));
  }
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, kCubeFileErrorNumber);
  EXPECT_EQ(error->description.rfind("cannot write the cube file \"cubes/sales.cub\": ", 0), 0u)
      << error->description;
  // The system's reason, not only SQLite's "disk I/O error", though the write that failed may
  // have been the commit's, when SQLite no longer holds the system's error number.
  EXPECT_NE(error->description.find("File too large"), std::string::npos) << error->description;
  EXPECT_EQ(cubemill::test::ReadBytes("cubes/sales.cub"), before);
  EXPECT_EQ(DirectoryEntries("cubes"), std::vector<std::string>{"sales.cub"});

  // Rollups that could not be computed (what the thread computing them threw, handed over when
  // the writer asks for them after the cells) fail the write alike.
  error = WriteCubeFile("cubes/sales.cub", SalesCube(), *big, Info(3000),
                        []() -> const std::vector<aggregate::Rollup>& { throw std::bad_alloc(); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->description, "cannot write the cube file \"cubes/sales.cub\": std::bad_alloc");
  EXPECT_EQ(cubemill::test::ReadBytes("cubes/sales.cub"), before);
  EXPECT_EQ(DirectoryEntries("cubes"), std::vector<std::string>{"sales.cub"});

  // The location's backslashes are directory separators: sub/ does not exist.
  error = WriteCubeFile("sub\\..\\cube.cub", SalesCube(), *small, Info(5));
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->description,
            "cannot write the cube file \"sub\\..\\cube.cub\": cannot create a temporary file "
            "in \"sub/..\": No such file or directory");

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
  EXPECT_EQ(cubemill::test::QuerySqlite("sales.cub", "SELECT source_rows FROM cube"),
            (cubemill::test::Rows{{"5"}}));
  EXPECT_EQ(DirectoryEntries("."), std::vector<std::string>{"sales.cub"});
}

}  // namespace
}  // namespace cubemill::provider::cubefile
