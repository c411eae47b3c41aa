#include "sql_oracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "query/value_format.h"
#include "support/sqlite_query.h"

namespace cubemill::query::test {

void ExpectSameCellsAsSql(const QueryResult& answer, const std::string& source,
                          const std::string& sql, bool ordered) {
  using cubemill::test::SqliteValue;
  const cubemill::test::SqliteResult result = cubemill::test::ReadSqlite(source, sql);
  ASSERT_EQ(result.error, "") << sql;
  ASSERT_FALSE(result.rows.empty()) << sql;
  const std::size_t row_depth = answer.rows.empty() ? 0 : answer.rows.front().size();
  const std::size_t column_depth = answer.columns.empty() ? 0 : answer.columns.front().size();
  using Key = std::vector<std::string>;
  std::map<Key, SqliteValue> expected;
  std::vector<Key> row_order, column_order;  // each tuple where SQL first names it
  std::set<Key> rows_seen, columns_seen;
  for (const auto& row : result.rows) {
    ASSERT_EQ(row.size(), row_depth + column_depth + 1)
        << "SQL columns per row, for " << row_depth << " row and " << column_depth
        << " column names: " << sql;
    Key key;
    for (std::size_t i = 0; i + 1 < row.size(); ++i) key.push_back(row[i].text);
    EXPECT_TRUE(expected.emplace(key, row.back()).second)
        << "SQL gives the cell " << testing::PrintToString(key) << " twice";
    const Key row_key(key.begin(), key.begin() + static_cast<long>(row_depth));
    const Key column_key(key.begin() + static_cast<long>(row_depth), key.end());
    if (rows_seen.insert(row_key).second) row_order.push_back(row_key);
    if (columns_seen.insert(column_key).second) column_order.push_back(column_key);
  }

  std::set<Key> found;  // a tuple may come twice on an axis
  for (std::size_t r = 0; r < answer.rows.size(); ++r) {
    for (std::size_t c = 0; c < answer.columns.size(); ++c) {
      Key key = answer.rows[r];
      key.insert(key.end(), answer.columns[c].begin(), answer.columns[c].end());
      // A string cell's text stands beside its NULL value.
      const bool text = r < answer.texts.size() && !answer.texts[r][c].empty();
      const std::string actual = text ? answer.texts[r][c] : ValueText(answer.cells[r][c]);
      const std::string where = "cell " + testing::PrintToString(key);
      const auto at = expected.find(key);
      if (at != expected.end()) found.insert(key);
      if (at == expected.end() || at->second.type == SqliteValue::Type::kNull) {
        EXPECT_EQ(actual, "") << where << " should be NULL";
        continue;
      }
      if (at->second.type == SqliteValue::Type::kText) {
        EXPECT_EQ(actual, at->second.text) << where;
        continue;
      }
      ASSERT_NE(actual, "") << where << " is NULL, the source says " << at->second.text;
      EXPECT_FALSE(text) << where << " is the text " << actual;
      const double x = std::strtod(actual.c_str(), nullptr);
      const double y = std::strtod(at->second.text.c_str(), nullptr);
      EXPECT_NEAR(x, y, 1e-9 * std::max(1.0, std::fabs(y))) << where;
    }
  }
  for (const auto& [key, value] : expected) {
    EXPECT_TRUE(found.count(key) > 0)
        << "the answer lacks the cell " << testing::PrintToString(key) << " (" << value.text << ")";
  }
  if (!ordered) return;
  if (row_depth == 0) {
    EXPECT_EQ(answer.columns, column_order) << "the columns' order";
    return;
  }
  EXPECT_EQ(answer.rows, row_order) << "the rows' order";
  // The columns, in any order, are those SQL names (NON EMPTY may drop some).
  const std::set<Key> columns(answer.columns.begin(), answer.columns.end());
  EXPECT_EQ(columns, columns_seen) << "the columns";
}

void ExpectSqlAnswers(const std::string& source, const std::string& sql) {
  const cubemill::test::SqliteResult result = cubemill::test::ReadSqlite(source, sql);
  EXPECT_EQ(result.error, "") << sql;
  EXPECT_FALSE(result.rows.empty()) << sql;
}

}  // namespace cubemill::query::test
