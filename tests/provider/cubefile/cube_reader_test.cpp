// The cube reader on files the writer made and then changed with SQLite: the measures' formats,
// the format version and application id it accepts or refuses, and table names it looks up; and
// measure values read from a file merged by the builder's rule.
#include "provider/cubefile/cube_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "provider/aggregate/cube_builder.h"
#include "provider/cubefile/base_cube.h"
#include "provider/cubefile/cube_file_layout.h"
#include "provider/cubefile/cube_file_writer.h"
#include "provider/cubefile/stored_value_merge.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::provider::cubefile {
namespace {

using test::RunSqlite;

const char kCreateCube[] =
    "CREATE CUBE [Sales] ( DIMENSION [Region], LEVEL [Country], "
    "MEASURE [Amount] FUNCTION SUM FORMAT '#,##0.00;(#,##0.00)', MEASURE [Rows] FUNCTION COUNT )";
const char kInsertInto[] =
    "INSERT INTO Sales ( Region.Country, Measures.Amount, Measures.Rows ) SELECT * FROM sales";

// Builds the cube from three rows and writes it to `path`.
void WriteSalesCube(const std::string& path) {
  auto schema = ddl::ParseCreateCube(kCreateCube);
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  auto insert = ddl::ParseInsertInto(kInsertInto, *schema);
  ASSERT_TRUE(insert.ok()) << insert.error().description;
  aggregate::CubeBuilder builder(*schema, *insert);
  for (const char* country : {"Peru", "Chile", "Peru"}) {
    ASSERT_EQ(builder.AddRow({Value{std::string_view(country)}, Value{std::int64_t{2}},
                              Value{std::int64_t{1}}}),
              std::nullopt);
  }
  auto cube = builder.Finish();
  ASSERT_TRUE(cube.ok()) << cube.error().description;
  const BuildInfo info{
      kCreateCube, kInsertInto, "DRIVER=SQLite3;Database=x.db", "2024-03-05 07:08:09", 3, "", {}};
  ASSERT_EQ(WriteCubeFile(path, *schema, *cube, info), std::nullopt);
}

// The description of the error Open gives, or "opened" when it succeeds.
std::string OpenError(const std::string& path) {
  auto reader = CubeReader::Open(path);
  return reader.ok() ? "opened" : reader.error().description;
}

TEST(CubeReaderTest, ReadsEachMeasuresFormat) {
  test::TempDir dir;
  WriteSalesCube("sales.cub");
  auto reader = CubeReader::Open("sales.cub");
  ASSERT_TRUE(reader.ok()) << reader.error().description;
  EXPECT_EQ((*reader)->Catalog().measures,
            (std::vector<StoredMeasure>{{1, "Amount", "SUM", "#,##0.00;(#,##0.00)", 0},
                                        {2, "Rows", "COUNT", "", 0}}));
}

TEST(CubeReaderTest, GivesNoFormatWhereTheFileHasNone) {
  test::TempDir dir;
  WriteSalesCube("sales.cub");
  RunSqlite("sales.cub", "ALTER TABLE measures DROP COLUMN format");
  auto reader = CubeReader::Open("sales.cub");
  ASSERT_TRUE(reader.ok()) << reader.error().description;
  EXPECT_EQ((*reader)->Catalog().measures,
            (std::vector<StoredMeasure>{{1, "Amount", "SUM", "", 0}, {2, "Rows", "COUNT", "", 0}}));
}

// A file of format version 2 or older does not say how many decimals a measure shows, and a
// value the writer never stores says nothing either: the figures then show 15 digits at most.
TEST(CubeReaderTest, GivesNoDecimalsWhereTheFileDoesNotSayThem) {
  test::TempDir dir;
  WriteSalesCube("sales.cub");
  RunSqlite("sales.cub", "ALTER TABLE measures DROP COLUMN decimals; PRAGMA user_version = 2");
  auto reader = CubeReader::Open("sales.cub");
  ASSERT_TRUE(reader.ok()) << reader.error().description;
  EXPECT_EQ((*reader)->Catalog().measures[0].decimals, std::nullopt);

  for (const char* odd : {"NULL", "-1", "31", "2.5", "'two'"}) {
    WriteSalesCube("odd.cub");
    RunSqlite("odd.cub", std::string("UPDATE measures SET decimals = ") + odd + " WHERE id = 1");
    auto odd_reader = CubeReader::Open("odd.cub");
    ASSERT_TRUE(odd_reader.ok()) << odd_reader.error().description;
    EXPECT_EQ((*odd_reader)->Catalog().measures[0].decimals, std::nullopt) << odd;
    EXPECT_EQ((*odd_reader)->Catalog().measures[1].decimals, 0) << odd;
  }
}

TEST(CubeReaderTest, ReadsItsOwnAndOlderFormatVersions) {
  test::TempDir dir;
  WriteSalesCube("sales.cub");
  EXPECT_EQ(test::QueryCube("sales.cub", "PRAGMA user_version"),
            std::to_string(kCubeFileFormatVersion));
  EXPECT_EQ(test::QueryCube("sales.cub", "PRAGMA application_id"),
            std::to_string(kCubeFileApplicationId));
  EXPECT_EQ(OpenError("sales.cub"), "opened");
  RunSqlite("sales.cub", "PRAGMA user_version = 1");
  EXPECT_EQ(OpenError("sales.cub"), "opened");
}

TEST(CubeReaderTest, RefusesANewerFormatVersion) {
  test::TempDir dir;
  WriteSalesCube("sales.cub");
  RunSqlite("sales.cub", "PRAGMA user_version = " + std::to_string(kCubeFileFormatVersion + 1));
  EXPECT_EQ(OpenError("sales.cub"),
            "sales.cub: cube file format version 5 is newer than this "
            "program reads (4); use a newer Cubemill");
}

// Version 4 added the refresh column and the watermark to the cube table: a file of version 3
// is read as before, but is no base for an incremental refresh, which builds in full from it.
TEST(CubeReaderTest, ReadsAVersion3FileThatIsNoBaseForARefresh) {
  test::TempDir dir;
  WriteSalesCube("sales.cub");
  auto base = ReadBaseCube("sales.cub");
  ASSERT_TRUE(base.ok()) << base.error().description;
  EXPECT_EQ(base->refresh_column, "");
  EXPECT_EQ(base->seed.source_rows, 3);
  EXPECT_EQ(base->seed.cell_count, 2);
  std::size_t cells = 0;
  ASSERT_FALSE(base->seed.for_each_cell([&cells](const std::int64_t*, const aggregate::CellValue*) {
    ++cells;
    return true;
  }));
  EXPECT_EQ(cells, 2u);
  RunSqlite("sales.cub",
            "ALTER TABLE cube DROP COLUMN refresh_column; ALTER TABLE cube DROP COLUMN watermark; "
            "PRAGMA user_version = 3");
  EXPECT_EQ(OpenError("sales.cub"), "opened");
  auto reader = CubeReader::Open("sales.cub");
  ASSERT_TRUE(reader.ok());
  EXPECT_EQ((*reader)->Catalog().cell_count, 2);
  base = ReadBaseCube("sales.cub");
  ASSERT_FALSE(base.ok());
  EXPECT_EQ(base.error().description, "its format version is 3, not 4");
}

// A base whose cells do not fit its members or its own count is refused when it is seeded, the
// last cell as any other.
TEST(CubeReaderTest, ABaseWithDamagedCellsIsNoSeed) {
  test::TempDir dir;
  auto schema = ddl::ParseCreateCube(kCreateCube);
  ASSERT_TRUE(schema.ok());
  auto insert = ddl::ParseInsertInto(kInsertInto, *schema);
  ASSERT_TRUE(insert.ok());
  auto seeded = [&](const char* damage) {
    WriteSalesCube("sales.cub");
    RunSqlite("sales.cub", damage);
    auto base = ReadBaseCube("sales.cub");
    if (!base.ok()) return base.error().description;
    aggregate::CubeBuilder builder(*schema, *insert);
    auto error = builder.Seed(base->seed);
    return error ? error->description : std::string("seeded");
  };
  EXPECT_EQ(seeded("SELECT 1"), "seeded");
  EXPECT_EQ(seeded("UPDATE cells SET h1 = 99 WHERE id = (SELECT MAX(id) FROM cells)"),
            "the base cube does not fit its statements: cell 2");
  EXPECT_EQ(seeded("UPDATE cells SET h1 = 0 WHERE id = 1"),
            "the base cube does not fit its statements: cell 1");
  EXPECT_EQ(seeded("UPDATE cube SET cell_count = 3"),
            "the base cube does not fit its statements: cell 2");
}

TEST(CubeReaderTest, RefusesWhatIsNotACubeFile) {
  test::TempDir dir;
  RunSqlite("other.db", "CREATE TABLE t (x)");
  EXPECT_EQ(OpenError("other.db"), "other.db: not a cube file (no table cube)");

  test::WriteBytes("text.cub", "name;value\nnot a database at all, but long enough to be read\n");
  EXPECT_EQ(OpenError("text.cub"), "text.cub: not a cube file (file is not a database)");

  // A cube's tables in a file another program marked as its own.
  WriteSalesCube("marked.cub");
  RunSqlite("marked.cub", "PRAGMA application_id = 42");
  EXPECT_EQ(OpenError("marked.cub"),
            "marked.cub: not a cube file (its application id is 42, a cube file's is "
            "1129663820)");

  EXPECT_EQ(OpenError("missing.cub").rfind("cannot open the cube file missing.cub: ", 0), 0u);
}

// A cube file changed by hand or cut short is refused on opening, naming the damage, instead of
// failing a lookup later or answering from what is left.
TEST(CubeReaderTest, RefusesADamagedFile) {
  test::TempDir dir;
  const std::vector<std::pair<const char*, const char*>> damages = {
      {"PRAGMA user_version = 0", "its format version reads 0"},
      {"PRAGMA user_version = -1", "its format version reads -1"},
      {"UPDATE members SET level = 999 WHERE id = (SELECT MAX(id) FROM members)",
       "names no level of the file"},
      {"UPDATE levels SET hierarchy = 999 WHERE id = (SELECT MAX(id) FROM levels)",
       "names no hierarchy of the file"},
      {"UPDATE hierarchies SET dimension = 999", "names no dimension of the file"},
      {"UPDATE members SET parent = 999 WHERE id = (SELECT MAX(id) FROM members)",
       "names no parent of the file"},
      {"DELETE FROM levels", "no levels"},
  };
  for (const auto& [sql, damage] : damages) {
    std::filesystem::remove("sales.cub");
    WriteSalesCube("sales.cub");
    RunSqlite("sales.cub", sql);
    EXPECT_EQ(OpenError("sales.cub").rfind("sales.cub: damaged cube file (", 0), 0u)
        << sql << ": " << OpenError("sales.cub");
    EXPECT_NE(OpenError("sales.cub").find(damage), std::string::npos) << OpenError("sales.cub");
  }
  // Cut short by its last page.
  std::filesystem::remove("sales.cub");
  WriteSalesCube("sales.cub");
  const auto length = std::filesystem::file_size("sales.cub");
  std::filesystem::resize_file("sales.cub", length - 512);
  EXPECT_EQ(OpenError("sales.cub").rfind("sales.cub: damaged cube file (cut short: ", 0), 0u)
      << OpenError("sales.cub");
  EXPECT_EQ(OpenError(""), "no cube file named (the path is empty)");
}

TEST(CubeReaderTest, LooksUpTableNamesWithQuotesAsNames) {
  test::TempDir dir;
  WriteSalesCube("sales.cub");
  RunSqlite("sales.cub", "CREATE TABLE \"it's\" (x)");
  auto reader = CubeReader::Open("sales.cub");
  ASSERT_TRUE(reader.ok()) << reader.error().description;
  EXPECT_TRUE((*reader)->HasTable("it's"));
  EXPECT_TRUE((*reader)->HasTable(kCellsTable));
  EXPECT_FALSE((*reader)->HasTable("its"));
  EXPECT_FALSE((*reader)->HasTable("x' OR 'a' = 'a"));
  EXPECT_FALSE((*reader)->HasTable("cube_flat"));  // a view
}

TEST(CubeReaderTest, NamesTheColumnsAndTablesAsTheFileHasThem) {
  EXPECT_EQ(HierarchyColumn(1), "h1");
  EXPECT_EQ(MeasureColumn(12), "m12");
  EXPECT_EQ(RollupTableName(3), "rollup_3");
  EXPECT_EQ(QuoteIdentifier("a\"b"), "\"a\"\"b\"");
}

CellValue Integer(std::int64_t integer) { return {CellValue::Kind::kInteger, integer, 0}; }
CellValue Real(double real) { return {CellValue::Kind::kReal, 0, real}; }

TEST(StoredValueMergeTest, MergesReadValuesAsTheBuilderDoes) {
  CellValue low;
  EXPECT_TRUE(MergeStoredValue(low, Integer(9007199254740993), AggregateFunction::kMin));
  EXPECT_TRUE(MergeStoredValue(low, CellValue{}, AggregateFunction::kMin));
  EXPECT_TRUE(MergeStoredValue(low, Real(9007199254740992.0), AggregateFunction::kMin));
  EXPECT_EQ(low, Real(9007199254740992.0));

  CellValue high = Real(9007199254740992.0);
  EXPECT_TRUE(MergeStoredValue(high, Integer(9007199254740993), AggregateFunction::kMax));
  EXPECT_EQ(high, Integer(9007199254740993));

  CellValue sum = Integer(std::numeric_limits<std::int64_t>::max());
  EXPECT_FALSE(MergeStoredValue(sum, Integer(1), AggregateFunction::kSum));
  EXPECT_EQ(sum, Real(9223372036854775808.0));

  CellValue count;
  for (int i = 0; i < 3; ++i) MergeStoredValue(count, Integer(2), AggregateFunction::kCount);
  EXPECT_EQ(count, Integer(6));
}

TEST(StoredValueMergeTest, ReadsTheFunctionOfAMeasure) {
  EXPECT_EQ(FunctionOfMeasure({1, "A", "MAX", "", std::nullopt}), AggregateFunction::kMax);
  EXPECT_EQ(FunctionOfMeasure({1, "A", "count", "", std::nullopt}), AggregateFunction::kCount);
  EXPECT_EQ(FunctionOfMeasure({1, "A", "AVG", "", std::nullopt}), std::nullopt);
}

}  // namespace
}  // namespace cubemill::provider::cubefile
