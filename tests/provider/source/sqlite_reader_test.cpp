// A SQLite source read through SQLite's library gives the values the driver's path gives, bit for
// bit: random doubles (any bit pattern: subnormals, the largest, negative zero, infinities),
// integers at the 64-bit limits, text that is or is not a number, blobs, dates, NULL, in columns
// of every declared type and read as every kind.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"
#include "support/system.h"
#include "support/test_support.h"

namespace cubemill::provider::source {
namespace {

using test::SqliteOdbc;

// Every row of `source`, text copied, each value printed with its alternative and, for a double,
// its bits; converted on the caller's side when `deferred`, as a read-ahead source does.
std::vector<std::string> ReadPrinted(OdbcSource& source, bool deferred) {
  RowConversion convert;
  if (deferred) convert = source.DeferConversion();
  std::vector<std::string> printed;
  std::vector<Value> row;
  for (;;) {
    auto more = source.NextRow(row);
    EXPECT_TRUE(more.ok()) << (more.ok() ? "" : more.error().description);
    if (!more.ok() || !*more) break;
    if (convert) convert(row);
    std::string line;
    for (const Value& value : row) {
      if (std::holds_alternative<std::monostate>(value)) {
        line += "NULL";
      } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        line += "int " + std::to_string(*integer);
      } else if (const auto* real = std::get_if<double>(&value)) {
        line += "real " + std::to_string(std::bit_cast<std::uint64_t>(*real));
      } else if (const auto* text = std::get_if<std::string_view>(&value)) {
        line += "text '" + std::string(*text) + "'";
      } else if (const auto* date = std::get_if<Date>(&value)) {
        line += "date " + std::to_string(date->year) + "-" + std::to_string(date->month) + "-" +
                std::to_string(date->day);
      } else {
        const auto& moment = std::get<Timestamp>(value);
        line += "timestamp " + std::to_string(moment.date.year) + "-" +
                std::to_string(moment.date.day) + " " + std::to_string(moment.hour) + ":" +
                std::to_string(moment.minute) + ":" + std::to_string(moment.second);
      }
      line += " | ";
    }
    printed.push_back(line);
  }
  return printed;
}

// Binds one random value of any storage class to parameter `index`.
void BindRandom(sqlite3_stmt* insert, int index, std::mt19937_64& random) {
  static const char* const kTexts[] = {"n/a",   "12",         " 7 ",        "1e3",
                                       "-0",    "2024-02-29", "2024-02-30", "2023-01-02 03:04:05",
                                       "12abc", "",           "Zürich",     "9223372036854775808",
                                       "0x10"};
  static const std::int64_t kIntegers[] = {std::numeric_limits<std::int64_t>::max(),
                                           std::numeric_limits<std::int64_t>::min(),
                                           std::numeric_limits<std::int64_t>::max() - 1,
                                           std::numeric_limits<std::int64_t>::min() + 1,
                                           9007199254740993,
                                           0,
                                           -1,
                                           20240229};
  static const double kReals[] = {-0.0,
                                  0.0,
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::lowest(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  9223372036854775808.0,
                                  -9223372036854775808.0,
                                  1.0 / 3,
                                  2.0,
                                  12345678901.234568,
                                  2459000.5};
  switch (random() % 8) {
    case 0:
      sqlite3_bind_null(insert, index);
      break;
    case 1: {
      const char* text = kTexts[random() % std::size(kTexts)];
      sqlite3_bind_text(insert, index, text, -1, SQLITE_STATIC);
      break;
    }
    case 2:
      sqlite3_bind_int64(insert, index, kIntegers[random() % std::size(kIntegers)]);
      break;
    case 3:
      sqlite3_bind_int64(insert, index, static_cast<std::int64_t>(random()));
      break;
    case 4:
      sqlite3_bind_double(insert, index, kReals[random() % std::size(kReals)]);
      break;
    case 5: {
      static const unsigned char kBytes[] = {0x00, 0xff, 0x41, 0x0a};
      sqlite3_bind_blob(insert, index, kBytes, 1 + static_cast<int>(random() % 4), SQLITE_STATIC);
      break;
    }
    default:  // any bit pattern; a NaN is stored as NULL
      sqlite3_bind_double(insert, index, std::bit_cast<double>(random()));
      break;
  }
}

// The table t(id, and one column of each declared type) with `rows` rows of random values.
void MakeRandomTable(const std::string& path, int rows, std::uint64_t seed) {
  test::RunSqlite(path,
                  "CREATE TABLE t(id INTEGER PRIMARY KEY, r REAL, i INTEGER, n NUMERIC(10,2), "
                  "s TEXT, v VARCHAR(20), u, d DATE, ts TIMESTAMP, b BLOB);");
  sqlite3* database = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
  sqlite3_stmt* insert = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(database, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", -1,
                               &insert, nullptr),
            SQLITE_OK);
  sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
  std::mt19937_64 random(seed);
  for (int row = 1; row <= rows; ++row) {
    sqlite3_bind_int64(insert, 1, row);
    for (int column = 2; column <= 10; ++column) BindRandom(insert, column, random);
    ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE) << sqlite3_errmsg(database);
    sqlite3_reset(insert);
  }
  sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(insert);
  sqlite3_close(database);
}

std::unique_ptr<OdbcSource> OpenOrFail(const std::string& connection, const std::string& select,
                                       const std::vector<ColumnHint>& hints,
                                       SqliteReading reading) {
  auto source = OdbcSource::Open(connection, select, hints, {}, reading);
  EXPECT_TRUE(source.ok()) << (source.ok() ? "" : source.error().description);
  return source.ok() ? std::move(*source) : nullptr;
}

TEST(SqliteReaderTest, GivesTheDriversValuesBitForBit) {
  test::TempDir dir;
  const std::string path = dir.File("t.db");
  MakeRandomTable(path, 3000, 35);
  const std::string columns = "r, i, n, s, v, u, d, ts, b";
  const std::vector<std::string> selects = {
      "SELECT " + columns + " FROM t ORDER BY id",
      // Expressions, which the driver describes as text, and an aggregate per group.
      "SELECT r * 1, i + 0, s || '', u, typeof(u) FROM t ORDER BY id",
      "SELECT id % 7, SUM(r), TOTAL(r), COUNT(u), MIN(d) FROM t GROUP BY id % 7 ORDER BY 1",
  };
  using H = ColumnHint;
  const std::vector<std::vector<ColumnHint>> hint_sets = {
      {},  // as the driver describes them
      std::vector<ColumnHint>(9, H::kReal),
      std::vector<ColumnHint>(9, H::kInteger),
      std::vector<ColumnHint>(9, H::kText),
      std::vector<ColumnHint>(9, H::kDateTime),
  };
  for (const std::string& select : selects) {
    for (const auto& hints : hint_sets) {
      for (const bool deferred : {false, true}) {
        auto driver = OpenOrFail(SqliteOdbc(path), select, hints, SqliteReading::kDriver);
        auto library = OpenOrFail(SqliteOdbc(path), select, hints, SqliteReading::kLibrary);
        ASSERT_NE(driver, nullptr);
        ASSERT_NE(library, nullptr);
        EXPECT_FALSE(driver->ReadsThroughSqliteLibrary());
        ASSERT_TRUE(library->ReadsThroughSqliteLibrary()) << select;
        const auto expected = ReadPrinted(*driver, deferred);
        const auto got = ReadPrinted(*library, deferred);
        ASSERT_EQ(got.size(), expected.size()) << select;
        for (std::size_t row = 0; row < got.size(); ++row) {
          ASSERT_EQ(got[row], expected[row])
              << select << ", row " << row + 1 << ", hint " << (hints.empty() ? -1 : int(hints[0]))
              << (deferred ? ", deferred" : "");
        }
      }
    }
  }
}

// The file is found as the driver finds it: named by the connection string (relative to the
// current directory) or by a data source, whose options the connection string may override.
// What the library cannot do as the driver's connection did goes through the driver.
TEST(SqliteReaderTest, ReadsTheFileTheDriverOpensAndFallsBackToTheDriver) {
  test::TempDir dir;
  test::RunSqlite(dir.File("t.db"),
                  "CREATE TABLE t(a INTEGER, r REAL); INSERT INTO t VALUES "
                  "(1, 0.1), (2, 1.0 / 3);");
  test::WriteBytes(dir.File("odbc.ini"),
                   "[CubemillReaderSource]\nDriver=SQLite3\nDatabase=" + dir.File("t.db") + "\n");
  std::optional<std::string> saved;
  if (const char* previous = std::getenv("ODBCINI")) saved = previous;
  test::SetEnvironment("ODBCINI", dir.File("odbc.ini"));
  const struct {
    std::string connection;
    std::string select;
    bool library;
  } cases[] = {
      {"DRIVER=SQLite3;Database=t.db", "SELECT a, r FROM t ORDER BY a", true},
      {"DSN=CubemillReaderSource", "SELECT a, r FROM t ORDER BY a", true},
      {SqliteOdbc(dir.File("t.db")) + ";Timeout=2000;BigInt=1;NoWCHAR=1;LongNames=1;JDConv=1",
       "SELECT a, r FROM t ORDER BY a", true},
      // A code page the driver translates text into (Windows).
      {SqliteOdbc(dir.File("t.db")) + ";OEMCP=1", "SELECT a, r FROM t ORDER BY a", false},
      // A database in memory is no file to open again.
      {"DRIVER=SQLite3;Database=:memory:", "SELECT 1, 0.1", false},
  };
  for (const auto& c : cases) {
    auto source = OpenOrFail(c.connection, c.select, {ColumnHint::kInteger, ColumnHint::kReal},
                             SqliteReading::kLibrary);
    ASSERT_NE(source, nullptr) << c.connection;
    EXPECT_EQ(source->ReadsThroughSqliteLibrary(), c.library) << c.connection;
    std::vector<Value> row;
    ASSERT_TRUE(source->NextRow(row).ok());
    EXPECT_EQ(row[1], Value(0.1)) << c.connection;
  }
  test::SetEnvironment("ODBCINI", saved);
}

}  // namespace
}  // namespace cubemill::provider::source
