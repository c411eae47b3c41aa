// Reals read from PostgreSQL through psqlODBC keep every digit and the sign of a zero, in the
// rows the source delivers and in the cube built from them, whether the engine or the server
// aggregates. One throwaway server (scripts/pg-cluster.sh) for the whole program.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "provider/source/odbc_source.h"
#include "provider/source/reals_cube.h"
#include "support/postgres_server.h"
#include "support/test_support.h"

namespace cubemill::provider::source {
namespace {

const char kClusterScript[] = CUBEMILL_SOURCE_DIR "/scripts/pg-cluster.sh";

test::PostgresEnvironment* const environment = static_cast<test::PostgresEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new test::PostgresEnvironment(kClusterScript, {})));

const test::PostgresServer& Server() {
  static const test::PostgresServer server(kClusterScript, environment->servers_dir());
  return server;
}

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// The table reals(id, name, d double precision, i bigint): reals that need 17 digits, the
// extremes and a negative zero, then k / 7 for k = 1..3000 (the server reads a literal
// exactly, and divides as C++ does). Returns the reals by name.
std::map<std::string, double> MakeRealsTable() {
  Server().Psql(
      "DROP TABLE IF EXISTS reals;"
      "CREATE TABLE reals(id integer, name text, d double precision, i bigint);"
      "INSERT INTO reals VALUES (1, 'third', 1::float8 / 3, 9007199254740993),"
      "(2, 'tenths', 0.1::float8 + 0.2::float8, 1),"
      "(3, 'smallest', '4.9406564584124654e-324', 1),"
      "(4, 'largest', '1.7976931348623157e308', 1),"
      "(5, 'negative zero', '-0', 1),"
      "(6, 'two53 plus one', 9007199254740993::float8, 1);"
      "INSERT INTO reals SELECT 100 + k, 'k' || k, k::float8 / 7, -k "
      "FROM generate_series(1, 3000) AS k;");
  std::map<std::string, double> reals = {
      {"third", 1.0 / 3},
      {"tenths", 0.1 + 0.2},
      {"smallest", std::numeric_limits<double>::denorm_min()},
      {"largest", std::numeric_limits<double>::max()},
      {"negative zero", -0.0},
      {"two53 plus one", 9007199254740992.0},
  };
  for (int k = 1; k <= 3000; ++k) reals["k" + std::to_string(k)] = k / 7.0;
  return reals;
}

TEST(ExactRealsPostgresTest, RealsArriveWithEveryDigitAndTheSignOfZero) {
  test::TempDir dir;
  const auto reals = MakeRealsTable();
  auto source = OdbcSource::Open(
      Server().OdbcConnection(), "SELECT id, name, d, i FROM reals ORDER BY id",
      {ColumnHint::kInteger, ColumnHint::kText, ColumnHint::kReal, ColumnHint::kInteger});
  ASSERT_TRUE(source.ok()) << source.error().description;
  std::vector<Value> row;
  std::size_t rows = 0;
  for (;;) {
    auto more = (*source)->NextRow(row);
    ASSERT_TRUE(more.ok()) << more.error().description;
    if (!*more) break;
    ++rows;
    const std::string name(std::get<std::string_view>(row[1]));
    ASSERT_TRUE(std::holds_alternative<double>(row[2])) << name;
    EXPECT_EQ(Bits(std::get<double>(row[2])), Bits(reals.at(name))) << name;
    if (name == "third") {
      EXPECT_EQ(row[3], Value(std::int64_t{9007199254740993}));
    }
  }
  EXPECT_EQ(rows, reals.size());
}

TEST(ExactRealsPostgresTest, TheCubeHoldsTheSourcesRealsBitForBit) {
  const auto reals = MakeRealsTable();
  for (const char* aggregate : {"CLIENT", "SOURCE"}) {
    SCOPED_TRACE(aggregate);
    test::TempDir dir;
    ASSERT_EQ(BuildCube("reals.cub", Server().OdbcConnection(),
                        "CREATE CUBE [Reals] ( DIMENSION [Item], LEVEL [Name], MEASURE [Max] "
                        "FUNCTION MAX TYPE DBTYPE_R8, MEASURE [Sum] FUNCTION SUM TYPE DBTYPE_R8, "
                        "MEASURE [Whole] FUNCTION SUM TYPE DBTYPE_I8 )",
                        "INSERT INTO Reals ( Item.Name, [Measures].[Max], [Measures].[Sum], "
                        "[Measures].[Whole] ) SELECT name, d, d, i FROM reals",
                        aggregate),
              "");
    const auto cells = CellsByName("reals.cub");
    ASSERT_EQ(cells.size(), reals.size());
    for (const auto& [name, values] : cells) {
      ASSERT_EQ(values.size(), 3u) << name;
      EXPECT_EQ(values[0].kind, cubefile::CellValue::Kind::kReal) << name;
      EXPECT_EQ(Bits(values[0].real), Bits(reals.at(name))) << name;
      EXPECT_EQ(values[1].kind, cubefile::CellValue::Kind::kReal) << name;
      // The server adds the NUMERIC of each real's text exactly, and NUMERIC has no negative
      // zero: its sum of -0 is 0.
      const double sum =
          std::string(aggregate) == "SOURCE" && name == "negative zero" ? 0.0 : reals.at(name);
      EXPECT_EQ(Bits(values[1].real), Bits(sum)) << name;
      if (name == "third") {
        EXPECT_EQ(values[2].integer, 9007199254740993) << name;
      }
    }
  }
}

}  // namespace
}  // namespace cubemill::provider::source
