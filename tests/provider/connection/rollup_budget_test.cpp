// The Rollups property of the engine connection: it caps the rows of the stored rollups, 0
// stores none, and anything but a whole number fails before the source is read. The cube is
// built from a SQLite source through the SQLite ODBC driver.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "provider/connection/connection.h"
#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"
#include "provider/cubefile/rollup_check.h"
#include "provider/engine_error.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::provider::connection {
namespace {

// 400 sales over 12 cities in 3 countries and 20 items in 4 categories: 60 cells.
constexpr char kSource[] =
    "CREATE TABLE sales AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
    "WHERE i < 400) SELECT 'C' || (i % 3) AS country, 'T' || (i % 12) AS city, "
    "'K' || (i % 4) AS category, 'I' || (i % 20) AS item, i * 1.5 AS amount FROM n";

std::string Connection() {
  EngineProperties properties;
  properties.location = "cube.cub";
  properties.source_dsn = test::SqliteOdbc("source.db");
  properties.create_cube =
      "CREATE CUBE [Sales] ( DIMENSION [Region], LEVEL [All] TYPE ALL, "
      "LEVEL [Country], LEVEL [City], DIMENSION [Product], LEVEL [Category], LEVEL [Item], "
      "MEASURE [Amount] FUNCTION SUM, MEASURE [Sales] FUNCTION COUNT, MEASURE [Low] "
      "FUNCTION MIN )";
  properties.insert_into =
      "INSERT INTO Sales ( Region.Country, Region.City, "
      "Product.Category, Product.Item, Measures.Amount, Measures.Sales, Measures.Low ) "
      "SELECT country, city, category, item, amount, amount, amount FROM sales";
  return WriteEngineProperties(properties);
}

struct RollupBudgetTest : ::testing::Test {
  test::TempDir dir;
  RollupBudgetTest() { test::RunSqlite("source.db", kSource); }

  // Builds the cube, with the Rollups property set to `rollups` when given.
  std::optional<Error> Build(const std::optional<std::string>& rollups) {
    std::filesystem::remove("cube.cub");
    auto connection = NewEngineConnection();
    std::optional<Error> error = connection->SetConnectionString(Connection());
    if (!error) error = connection->SetProvider("MSOLAP");
    if (!error && rollups) error = connection->SetProperty(kRollupsProperty, *rollups);
    if (!error) error = connection->Open("", "", "", -1);
    if (!error) error = connection->Close();
    return error;
  }

  // The rows of the rollups in all, each checked against the cells.
  std::uint64_t RollupRows() {
    const std::uint64_t rows = test::ExpectRollupsMatchCells("cube.cub");
    EXPECT_EQ(test::QuerySqlite("cube.cub",
                                "SELECT COUNT(*) FROM sqlite_master WHERE type = "
                                "'table' AND name GLOB 'rollup_[0-9]*'")[0][0],
              test::QuerySqlite("cube.cub", "SELECT COUNT(*) FROM rollups")[0][0])
        << "a rollup table that rollups does not list";
    return rows;
  }
};

TEST_F(RollupBudgetTest, TheBudgetCapsTheRollupRows) {
  ASSERT_EQ(Build(std::nullopt), std::nullopt);
  ASSERT_EQ(test::QuerySqlite("cube.cub", "SELECT cell_count FROM cube")[0][0], "60");
  const std::uint64_t by_default = RollupRows();
  EXPECT_GT(by_default, 0u);
  EXPECT_LE(by_default, 60u);  // as many rows as the cells at most

  ASSERT_EQ(Build("0"), std::nullopt);
  EXPECT_EQ(RollupRows(), 0u);
  EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT COUNT(*) FROM rollup_levels")[0][0], "0");

  ASSERT_EQ(Build(" 5 "), std::nullopt);  // blanks around the number are fine
  const std::uint64_t small = RollupRows();
  EXPECT_GT(small, 0u);  // (All, Category) has 4 rows and saves the most
  EXPECT_LE(small, 5u);
  EXPECT_LT(small, by_default);

  ASSERT_EQ(Build("1000000"), std::nullopt);
  EXPECT_GE(RollupRows(), by_default);
}

TEST_F(RollupBudgetTest, AnythingButAWholeNumberFailsBeforeTheBuild) {
  for (const char* bad : {"-1", "1.5", "ten", "", "  ", "5 rows", "18446744073709551616"}) {
    const std::optional<Error> error = Build(bad);
    ASSERT_TRUE(error.has_value()) << bad;
    EXPECT_EQ(error->description, std::string(kRollupsValueText) + ", not \"" + bad + "\"");
    EXPECT_EQ(error->number, kPropertyErrorNumber);
    EXPECT_EQ(error->source, kEngineSource);
    EXPECT_FALSE(std::filesystem::exists("cube.cub")) << bad;
  }
  // The name is matched without regard to letter case, and the largest number is taken.
  auto connection = NewEngineConnection();
  EXPECT_EQ(connection->SetProperty(" rollups ", "18446744073709551615"), std::nullopt);
  EXPECT_EQ(ParseRollupBudget("\t007\t"), 7u);
  EXPECT_EQ(ParseRollupBudget(" 0 "), 0u);
  for (const char* bad : {"+5", "\n5", "5\r", "0x5", "1 000"})
    EXPECT_EQ(ParseRollupBudget(bad), std::nullopt) << bad;
}

// The Refresh property's values: FULL, FULL=<column> and INCREMENTAL=<column> in any letter
// case with blanks around their parts; anything else is refused by the property, naming it.
TEST(RefreshPropertyTest, ReadsFullAndIncrementalWithTheirColumn) {
  EXPECT_EQ(ParseRefresh(" full "), RefreshSetting{});
  EXPECT_EQ(ParseRefresh("Incremental = loaded_at"), (RefreshSetting{"loaded_at", true}));
  EXPECT_EQ(ParseRefresh("FULL=\"Load Time\""), (RefreshSetting{"\"Load Time\"", false}));
  EXPECT_EQ(ParseRefresh("incremental=\"a\"\"b\""), (RefreshSetting{"\"a\"\"b\"", true}));
  // The column goes into SQL as written: only a name, never an expression or a statement.
  for (const char* bad :
       {"", "INCREMENTAL", "INCREMENTAL=", "SOMETIMES=id", "PARTIAL",
        "INCREMENTAL=id; DROP TABLE sales", "INCREMENTAL=id OR 1=1", "INCREMENTAL=1id",
        "INCREMENTAL=\"a\"b\"", "INCREMENTAL=\"\"", "INCREMENTAL=q.id"})
    EXPECT_EQ(ParseRefresh(bad), std::nullopt) << bad;
  auto connection = NewEngineConnection();
  const auto refused = connection->SetProperty("Refresh", "INCREMENTAL");
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->description, std::string(kRefreshValueText) + ", not \"INCREMENTAL\"");
  EXPECT_EQ(refused->number, kPropertyErrorNumber);
  EXPECT_EQ(connection->SetProperty(" refresh ", "incremental=id"), std::nullopt);
}

}  // namespace
}  // namespace cubemill::provider::connection
