// Reals read from a SQLite source through its ODBC driver keep every digit, in the rows the
// source delivers and in the cube built from them; text in a number column stays a value the
// build reports, integers stay as they are.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "provider/source/odbc_source.h"
#include "provider/source/reals_cube.h"
#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::provider::source {
namespace {

using namespace std::string_view_literals;
using test::RunSqlite;
using test::SqliteOdbc;

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// The reals of the test, by name, each made by SQLite with exact arithmetic (a division,
// halving and doubling, an integer turned real) so that C++ can make the same double.
struct NamedReal {
  std::string name;
  std::string sql;  // an expression over the table `p` of powers of two (see kPowers)
  double value;
};

// p(n, half, twice): 2^-n and 2^n for n = 0..1074 (2^n stays 1 from n = 1024 on).
constexpr char kPowers[] =
    "CREATE TABLE p AS WITH RECURSIVE h(n, half, twice) AS (SELECT 0, 1.0, 1.0 UNION ALL "
    "SELECT n + 1, half / 2, CASE WHEN n < 1023 THEN twice * 2 ELSE 1.0 END FROM h "
    "WHERE n < 1074) SELECT * FROM h;";

std::vector<NamedReal> SpecialReals() {
  return {
      {"third", "1.0 / 3", 1.0 / 3},
      {"tenths", "1.0 / 10 + 2.0 / 10", 1.0 / 10 + 2.0 / 10},
      {"smallest", "(SELECT half FROM p WHERE n = 1074)",
       std::numeric_limits<double>::denorm_min()},
      {"largest",
       "(2.0 - (SELECT half FROM p WHERE n = 52)) * (SELECT twice FROM p WHERE n = 1023)",
       std::numeric_limits<double>::max()},
      {"two53 plus one", "CAST(9007199254740993 AS REAL)", 9007199254740992.0},
      {"plain", "2.5", 2.5},
  };
}

// Makes `path` with the table t(id INTEGER, name TEXT, r REAL, u, i INTEGER): the special reals
// in r and in u (a column without a type, which the driver calls text), then k / 7 and
// 1 / k * 2^-(k % 1000) for k = 1..3000; i holds 9007199254740993 in the special rows.
// Returns the reals by name.
std::map<std::string, double> MakeRealsTable(const std::string& path) {
  std::map<std::string, double> reals;
  std::string sql = kPowers;
  sql += "CREATE TABLE t(id INTEGER, name TEXT, r REAL, u, i INTEGER);";
  int id = 0;
  for (const NamedReal& real : SpecialReals()) {
    ++id;
    sql += "INSERT INTO t VALUES (" + std::to_string(id) + ", '" + real.name + "', " + real.sql +
           ", " + real.sql + ", 9007199254740993);";
    reals[real.name] = real.value;
  }
  sql +=
      "INSERT INTO t WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM k "
      "WHERE x < 3000) SELECT 100 + x, 'k' || x, x / 7.0, "
      "1.0 / x * (SELECT half FROM p WHERE n = x % 1000), -x FROM k;";
  RunSqlite(path, sql);
  for (int k = 1; k <= 3000; ++k) {
    double power = 1;
    for (int n = 0; n < k % 1000; ++n) power /= 2;
    reals["k" + std::to_string(k)] = k / 7.0;
    reals["k" + std::to_string(k) + " u"] = 1.0 / k * power;
  }
  return reals;
}

// `text` read as a double, failing the test when it is not one.
double ReadReal(std::string_view text) {
  double value = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_TRUE(read.ec == std::errc() && read.ptr == text.data() + text.size()) << text;
  return value;
}

TEST(ExactRealsTest, RealsArriveWithEveryDigitWhateverTheColumnsType) {
  test::TempDir dir;
  const auto reals = MakeRealsTable(dir.File("t.db"));
  auto source =
      OdbcSource::Open(SqliteOdbc(dir.File("t.db")), "SELECT id, name, r, u, i FROM t ORDER BY id;",
                       {ColumnHint::kInteger, ColumnHint::kText, ColumnHint::kReal,
                        ColumnHint::kAny, ColumnHint::kInteger});
  ASSERT_TRUE(source.ok()) << source.error().description;
  EXPECT_EQ((*source)->ColumnCount(), 5u);
  std::vector<Value> row;
  std::size_t rows = 0;
  std::map<std::string, std::string> u_texts;
  for (;;) {
    auto more = (*source)->NextRow(row);
    ASSERT_TRUE(more.ok()) << more.error().description;
    if (!*more) break;
    ++rows;
    ASSERT_EQ(row.size(), 5u);
    const std::string name(std::get<std::string_view>(row[1]));
    const bool special = std::get<std::int64_t>(row[0]) <= 100;
    ASSERT_TRUE(std::holds_alternative<double>(row[2])) << name;
    EXPECT_EQ(Bits(std::get<double>(row[2])), Bits(reals.at(name))) << name;
    // A column without a type is text to the driver: its reals arrive as exact text.
    ASSERT_TRUE(std::holds_alternative<std::string_view>(row[3])) << name;
    const std::string_view u = std::get<std::string_view>(row[3]);
    EXPECT_EQ(Bits(ReadReal(u)), Bits(reals.at(special ? name : name + " u"))) << name << " " << u;
    if (special) u_texts[name] = std::string(u);
    // Integers stay integers, all 64 bits of them.
    EXPECT_EQ(row[4], Value(special ? std::int64_t{9007199254740993}
                                    : -(std::get<std::int64_t>(row[0]) - 100)))
        << name;
  }
  EXPECT_EQ(rows, 3006u);
  // SQLite's own text where it holds the real, the shortest exact text where it does not.
  EXPECT_EQ(u_texts["plain"], "2.5");
  EXPECT_EQ(u_texts["third"], "0.3333333333333333");
  EXPECT_EQ(u_texts["tenths"], "0.30000000000000004");
  EXPECT_EQ(u_texts["largest"], "1.7976931348623157e+308");
}

TEST(ExactRealsTest, TextInARealColumnStaysTextAndSqlStaysAsWritten) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"),
            "CREATE TABLE t(id INTEGER, r REAL, i INTEGER);"
            "INSERT INTO t VALUES (1, 'n/a', 'n/a'), (2, '', ''), (3, NULL, NULL), "
            "(4, ' 2.5 ', ' 7 '), (5, '12abc', '12abc'), (6, 1.0 / 3, 3);");
  // A comment or a ";" at the end is fine; a statement that cannot be the body of a WITH runs
  // as it is.
  for (const std::string select :
       {"SELECT id, r, i FROM t ORDER BY id -- the rows in order",
        "SELECT id, r, i FROM t ORDER BY id; ;", "PRAGMA table_info(t)"}) {
    auto source = OdbcSource::Open(SqliteOdbc(dir.File("t.db")), select,
                                   {ColumnHint::kInteger, ColumnHint::kReal, ColumnHint::kInteger});
    ASSERT_TRUE(source.ok()) << select << ": " << source.error().description;
    std::vector<std::vector<Value>> got;
    std::vector<std::string> texts;
    texts.reserve(20);
    std::vector<Value> row;
    for (;;) {
      auto more = (*source)->NextRow(row);
      ASSERT_TRUE(more.ok()) << more.error().description;
      if (!*more) break;
      for (Value& value : row) {
        if (const auto* text = std::get_if<std::string_view>(&value)) {
          texts.emplace_back(*text);
          value = std::string_view(texts.back());
        }
      }
      got.push_back(row);
    }
    if (select.starts_with("PRAGMA")) {
      ASSERT_EQ(got.size(), 3u);
      EXPECT_EQ(got[1][0], Value(std::int64_t{1}));
      EXPECT_EQ(got[1][1], Value("r"sv));
      continue;
    }
    // What is no number arrives as the text it is, for the build to report with its row and
    // column (the driver would have made NULL or 12 of it).
    const std::vector<std::vector<Value>> expected = {
        {std::int64_t{1}, "n/a"sv, "n/a"sv},
        {std::int64_t{2}, ""sv, ""sv},
        {std::int64_t{3}, std::monostate{}, std::monostate{}},
        {std::int64_t{4}, 2.5, std::int64_t{7}},  // SQLite stored the numbers they spell
        {std::int64_t{5}, "12abc"sv, "12abc"sv},
        {std::int64_t{6}, 1.0 / 3, std::int64_t{3}},
    };
    EXPECT_EQ(got, expected) << select;
  }
}

constexpr char kRealsCube[] =
    "CREATE CUBE [Reals] ( DIMENSION [Item], LEVEL [Name], MEASURE [Typed] FUNCTION MAX "
    "TYPE DBTYPE_R8, MEASURE [Untyped] FUNCTION SUM, MEASURE [Whole] FUNCTION SUM TYPE DBTYPE_I8 )";

TEST(ExactRealsTest, TheCubeHoldsTheSourcesRealsBitForBit) {
  test::TempDir dir;
  const auto reals = MakeRealsTable(dir.File("t.db"));
  ASSERT_EQ(BuildCube("reals.cub", SqliteOdbc(dir.File("t.db")), kRealsCube,
                      "INSERT INTO Reals ( Item.Name, [Measures].[Typed], [Measures].[Untyped], "
                      "[Measures].[Whole] ) SELECT name, r, u, i FROM t"),
            "");
  const auto cells = CellsByName("reals.cub");
  ASSERT_EQ(cells.size(), 3006u);
  for (const auto& [name, values] : cells) {
    ASSERT_EQ(values.size(), 3u) << name;
    const bool special = !name.starts_with('k');
    EXPECT_EQ(values[0].kind, cubefile::CellValue::Kind::kReal) << name;
    EXPECT_EQ(Bits(values[0].real), Bits(reals.at(name))) << name;
    const double untyped = reals.at(special ? name : name + " u");
    EXPECT_EQ(Bits(values[1].kind == cubefile::CellValue::Kind::kReal
                       ? values[1].real
                       : static_cast<double>(values[1].integer)),
              Bits(untyped))
        << name;
    EXPECT_EQ(values[2].kind, cubefile::CellValue::Kind::kInteger) << name;
    if (special) {
      EXPECT_EQ(values[2].integer, 9007199254740993) << name;
    }
  }
}

TEST(ExactRealsTest, TextInARealColumnIsStillADataError) {
  for (const char* text : {"n/a", ""}) {
    test::TempDir dir;
    RunSqlite(dir.File("t.db"), std::string("CREATE TABLE t(name TEXT, r REAL);"
                                            "INSERT INTO t VALUES ('a', 1.0 / 3), ('b', '") +
                                    text + "');");
    const std::string error =
        BuildCube("reals.cub", SqliteOdbc(dir.File("t.db")),
                  "CREATE CUBE [Reals] ( DIMENSION [Item], LEVEL [Name], MEASURE [Value] "
                  "FUNCTION SUM TYPE DBTYPE_R8 )",
                  "INSERT INTO Reals ( Item.Name, [Measures].[Value] ) SELECT name, r FROM t");
    EXPECT_NE(error.find(std::string("row 2, column 2 \"[Measures].[Value]\": \"") + text +
                         "\" is not a number"),
              std::string::npos)
        << text << ": " << error;
  }
}

}  // namespace
}  // namespace cubemill::provider::source
