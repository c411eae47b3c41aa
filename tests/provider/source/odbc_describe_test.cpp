#include "provider/source/odbc_describe.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "provider/engine_error.h"
#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::provider::source {
namespace {

using test::RunSqlite;
using test::SqliteOdbc;

// The kind a value delivered without a hint has: what a check should have said of its column.
ColumnHint KindOfValue(const Value& value) {
  if (std::holds_alternative<std::int64_t>(value)) return ColumnHint::kInteger;
  if (std::holds_alternative<double>(value)) return ColumnHint::kReal;
  if (std::holds_alternative<Date>(value) || std::holds_alternative<Timestamp>(value))
    return ColumnHint::kDateTime;
  return ColumnHint::kText;
}

TEST(OdbcDescribeTest, ReportsEachColumnAsTheBuildReadsIt) {
  test::TempDir dir;
  const std::string path = dir.File("t.db");
  RunSqlite(path,
            "CREATE TABLE t(i INTEGER, big BIGINT, r REAL, n NUMERIC(10,2), whole NUMERIC(10,0), "
            "d DATE, ts TIMESTAMP, v VARCHAR(10), b BLOB);"
            "INSERT INTO t VALUES (1, 2, 2.5, 3.25, 4, '2024-03-05', '2024-03-05 07:08:09', "
            "'x', x'00');");
  const std::string select = "SELECT i, big, r, n, whole, d, ts, v, b FROM t";
  auto described = DescribeOdbcSelect(SqliteOdbc(path), select);
  ASSERT_TRUE(described.ok()) << described.error().description;
  std::vector<std::string> names;
  std::vector<ColumnHint> kinds;
  for (const SourceColumn& column : *described) {
    names.push_back(column.name);
    kinds.push_back(column.kind);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"i", "big", "r", "n", "whole", "d", "ts", "v", "b"}));
  // The SQLite driver gives NUMERIC(10,0) decimal digits, so it is a real like NUMERIC(10,2).
  EXPECT_EQ(kinds,
            (std::vector<ColumnHint>{ColumnHint::kInteger, ColumnHint::kInteger, ColumnHint::kReal,
                                     ColumnHint::kReal, ColumnHint::kReal, ColumnHint::kDateTime,
                                     ColumnHint::kDateTime, ColumnHint::kText, ColumnHint::kAny}));

  auto source = OdbcSource::Open(SqliteOdbc(path), select, {});
  ASSERT_TRUE(source.ok()) << source.error().description;
  std::vector<Value> row;
  auto more = (*source)->NextRow(row);
  ASSERT_TRUE(more.ok() && *more);
  ASSERT_EQ(row.size(), kinds.size());
  for (std::size_t i = 0; i < row.size(); ++i) {
    const ColumnHint read = KindOfValue(row[i]);
    EXPECT_EQ(read, kinds[i] == ColumnHint::kAny ? ColumnHint::kText : kinds[i]) << names[i];
  }
}

TEST(OdbcDescribeTest, NamesTheStepThatFailed) {
  test::TempDir dir;
  const std::string path = dir.File("t.db");
  RunSqlite(path, "CREATE TABLE t(a INTEGER);");
  auto missing = DescribeOdbcSelect(SqliteOdbc(path), "SELECT nope FROM t");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().number, kSourceErrorNumber);
  EXPECT_EQ(missing.error().description.rfind("source: SELECT failed: ", 0), 0u)
      << missing.error().description;
}

}  // namespace
}  // namespace cubemill::provider::source
