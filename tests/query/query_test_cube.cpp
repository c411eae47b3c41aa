#include "query_test_cube.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "provider/connection/build_cube_file.h"
#include "provider/cubefile/cube_reader.h"
#include "provider/source/odbc_source.h"
#include "query/result_format.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::query::test {

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::string BuildCube(const std::string& source, const std::string& cube, const std::string& create,
                      const std::string& insert, const std::string& more) {
  const cubemill::test::FixedClock clock(platform::MakeDateTime(2024, 3, 5, 7, 8, 9));
  const auto open_source = [](const std::string& connection, const std::string& select,
                              const std::vector<provider::ColumnHint>& hints) {
    return provider::source::OpenOdbcSource(connection, select, hints);
  };
  const std::string connection = "LOCATION=" + cube +
                                 ";SOURCE_DSN=" + Quoted(cubemill::test::SqliteOdbc(source)) +
                                 ";CREATECUBE=" + Quoted(create) + ";INSERTINTO=" + Quoted(insert) +
                                 (more.empty() ? "" : ";" + more);
  const auto error = provider::connection::BuildCube(connection, open_source, {}, clock);
  return error ? error->description : "";
}

Result<QueryResult> Ask(const std::string& cube, const std::string& mdx,
                        const QueryOptions& options) {
  auto reader = provider::cubefile::CubeReader::Open(cube);
  if (!reader.ok()) return reader.error();
  return EvaluateMdx(**reader, mdx, options);
}

void ExpectSameAsSql(const QueryResult& answer, const std::string& source, const std::string& sql) {
  const cubemill::test::SqliteResult expected_rows = cubemill::test::ReadSqlite(source, sql);
  EXPECT_EQ(expected_rows.error, "") << sql;
  EXPECT_FALSE(expected_rows.rows.empty()) << sql;
  const std::size_t row_depth = answer.rows.empty() ? 0 : answer.rows.front().size();
  const std::size_t column_depth = answer.columns.empty() ? 0 : answer.columns.front().size();
  std::map<std::vector<std::string>, cubemill::test::SqliteValue> expected;
  for (const auto& row : expected_rows.rows) {
    EXPECT_EQ(row.size(), row_depth + column_depth + 1) << sql;
    std::vector<std::string> key;
    for (std::size_t i = 0; i + 1 < row.size(); ++i) key.push_back(row[i].text);
    expected[key] = row.back();
  }
  std::set<std::vector<std::string>> found;  // a tuple may come twice on an axis
  for (std::size_t r = 0; r < answer.rows.size(); ++r) {
    for (std::size_t c = 0; c < answer.columns.size(); ++c) {
      std::vector<std::string> key = answer.rows[r];
      key.insert(key.end(), answer.columns[c].begin(), answer.columns[c].end());
      const auto at = expected.find(key);
      const std::string actual = ValueText(answer.cells[r][c]);
      const std::string where = "cell " + testing::PrintToString(key);
      if (at == expected.end() || at->second.type == cubemill::test::SqliteValue::Type::kNull) {
        EXPECT_EQ(actual, "") << where;
        if (at != expected.end()) found.insert(key);
        continue;
      }
      found.insert(key);
      EXPECT_NE(actual, "") << where << " is NULL, the source says " << at->second.text;
      const double x = std::strtod(actual.c_str(), nullptr);
      const double y = std::strtod(at->second.text.c_str(), nullptr);
      EXPECT_NEAR(x, y, 1e-9 * std::max(1.0, std::fabs(y))) << where;
    }
  }
  EXPECT_EQ(found.size(), expected.size()) << "the answer lacks groups of the source";
}

std::string BuildShopCube(const std::string& source, const std::string& cube) {
  const std::vector<std::vector<cubemill::test::SqliteCell>> rows = {
      {"España", "Madrid", "Bikes", "Road", "2023", "2023-Q1", "2023-01", "2", "100.5"},
      {"España", "Madrid", "Bikes", "City", "2023", "2023-Q2", "2023-04", "1", "80"},
      {"España", "Sevilla", "Gear]Box", "Bell", "2024", "2024-Q1", "2024-02", "5", "12.25"},
      {"France", "Paris", "Bikes", "Road", "2024", "2024-Q3", "2024-08", "1", "300"},
      {"France", "Bad]City", "Gear]Box", "Lock", "2023", "2023-Q4", "2023-11", "3", "4"},
      {"France", "Lyon", "Bikes", "City", "2024", "2024-Q1", "2024-01", std::nullopt, "7"},
      {std::nullopt, std::nullopt, "Gear]Box", "Bell", "2023", "2023-Q1", "2023-02", "4", "9"},
      {std::nullopt, "Nice", "Bikes", "Road", "2024", "2024-Q2", "2024-05", "2", "50"},
      {"España", "Madrid", "Gear]Box", "Lock", "2024", "2024-Q3", "2024-08", "6", std::nullopt},
  };
  const std::string error = cubemill::test::CreateSqliteTable(
      source, "sales",
      {"country TEXT", "city TEXT", "line TEXT", "item TEXT", "year INTEGER", "quarter TEXT",
       "month TEXT", "qty INTEGER", "amount REAL"},
      rows);
  if (!error.empty()) return error;
  return BuildCube(
      source, cube,
      "CREATE CUBE [Shop] ( DIMENSION [Store], LEVEL [All Stores] TYPE ALL, "
      "LEVEL [Country], LEVEL [City], DIMENSION [Product], LEVEL [Line], LEVEL [Item], "
      "DIMENSION [Time], LEVEL [Year], LEVEL [Quarter], LEVEL [Month], "
      "MEASURE [Qty] FUNCTION SUM, MEASURE [Amount] FUNCTION SUM, "
      "MEASURE [Top] FUNCTION MAX )",
      "INSERT INTO Shop ( [Store].[Country], [Store].[City], [Product].[Line], "
      "[Product].[Item], [Time].[Year], [Time].[Quarter], [Time].[Month], "
      "Measures.[Qty], Measures.[Amount], Measures.[Top] ) SELECT country, city, line, "
      "item, year, quarter, month, qty, amount, amount FROM sales");
}

void ShopCubeTest::SetUp() { ASSERT_EQ(BuildShopCube(kSource, kCube), ""); }

Result<QueryResult> ShopCubeTest::Ask(const std::string& mdx, const QueryOptions& options) const {
  return test::Ask(kCube, mdx, options);
}

QueryResult AskSameAsSql(const std::string& cube, const std::string& source, const std::string& mdx,
                         const std::string& sql, const QueryOptions& options) {
  SCOPED_TRACE(mdx);
  auto answer = Ask(cube, mdx, options);
  EXPECT_TRUE(answer.ok()) << answer.error().description;
  if (!answer.ok()) return {};
  ExpectSameAsSql(*answer, source, sql);
  return *answer;
}

QueryResult ShopCubeTest::ExpectSameAsSql(const std::string& mdx, const std::string& sql,
                                          const QueryOptions& options) const {
  return test::AskSameAsSql(kCube, kSource, mdx, sql, options);
}

std::string ShopCubeTest::AskError(const std::string& mdx, const QueryOptions& options) const {
  auto answer = Ask(mdx, options);
  EXPECT_FALSE(answer.ok()) << mdx;
  return answer.ok() ? "" : answer.error().description;
}

}  // namespace cubemill::query::test
