#include "provider/cubefile/rollup_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/sqlite_query.h"

namespace cubemill::test {
namespace {

// Equal values: the same storage class and text, reals within a relative 1e-12. With
// `numbers_only`, an integer and a real are compared as numbers too.
bool SameValue(const SqliteValue& a, const SqliteValue& b, bool numbers_only) {
  using Type = SqliteValue::Type;
  const auto number = [](Type type) { return type == Type::kInteger || type == Type::kReal; };
  if (a.type != b.type && !(numbers_only && number(a.type) && number(b.type))) return false;
  if (a.type == b.type && a.type != Type::kReal) return a.text == b.text;
  const double x = std::stod(a.text);
  const double y = std::stod(b.text);
  return x == y || std::fabs(x - y) <= 1e-12 * std::max(std::fabs(x), std::fabs(y));
}

}  // namespace

std::uint64_t ExpectRollupsMatchCells(const std::string& cube) {
  const Rows hierarchies = QuerySqlite(
      cube,
      "SELECT h.id, (SELECT MAX(ordinal) FROM levels WHERE hierarchy = h.id) FROM hierarchies h "
      "ORDER BY h.id");
  const Rows functions = QuerySqlite(cube, "SELECT function FROM measures ORDER BY id");
  const Rows rollups =
      QuerySqlite(cube, "SELECT id, table_name, cell_count FROM rollups ORDER BY id");
  std::uint64_t total = 0;
  for (const auto& rollup : rollups) {
    const std::string& id = rollup[0];
    const std::string& table = rollup[1];
    SCOPED_TRACE("rollup " + id + " (" + table + ")");
    EXPECT_EQ(table, "rollup_" + id);
    // The level of each hierarchy, and how many steps it stands above the leaf.
    const Rows levels =
        QuerySqlite(cube,
                    "SELECT r.hierarchy, l.hierarchy, l.ordinal FROM rollup_levels r "
                    "JOIN levels l ON l.id = r.level WHERE r.rollup = " +
                        id + " ORDER BY r.hierarchy");
    EXPECT_EQ(levels.size(), hierarchies.size());
    if (levels.size() != hierarchies.size()) continue;
    std::string keys, joins, members, order;
    bool rolled = false;
    for (std::size_t h = 0; h < levels.size(); ++h) {
      EXPECT_EQ(levels[h][0], hierarchies[h][0]);
      EXPECT_EQ(levels[h][1], levels[h][0]) << "a level of another hierarchy";
      const int steps = std::stoi(hierarchies[h][1]) - std::stoi(levels[h][2]);
      rolled = rolled || steps > 0;
      const std::string n = std::to_string(h + 1);
      // The leaf member, then each parent up to the rollup's level.
      std::string at = "c.h" + n;
      for (int s = 0; s <= steps && steps > 0; ++s) {
        const std::string alias = "a" + n + "_" + std::to_string(s);
        joins += " JOIN members " + alias + " ON " + alias +
                 ".id = " + (s == 0 ? at : "a" + n + "_" + std::to_string(s - 1) + ".parent");
        if (s == steps) at = alias + ".id";
      }
      keys += (h ? ", " : "") + at;
      members += (h ? ", h" : "h") + n;
      order += (h ? ", " : "") + std::to_string(h + 1);
    }
    EXPECT_TRUE(rolled) << "the leaf level combination is the cells table";
    // SQLite's SUM stops at an integer sum past 64 bits, where a rollup goes on as a real: then
    // the sums are TOTAL's reals, and compared with the stored values as numbers.
    auto aggregated = [&](const std::string& sum) {
      std::string values;
      for (std::size_t m = 0; m < functions.size(); ++m) {
        const std::string& function = functions[m][0];
        const bool adds = function == "SUM" || function == "COUNT";
        values += ", " + (adds ? sum : function) + "(c.m" + std::to_string(m + 1) + ")";
      }
      return ReadSqlite(cube, "SELECT " + keys + values + " FROM cells c" + joins + " GROUP BY " +
                                  order + " ORDER BY " + order);
    };
    for (std::size_t m = 0; m < functions.size(); ++m) members += ", m" + std::to_string(m + 1);
    SqliteResult expected = aggregated("SUM");
    const bool overflowed = expected.error == "integer overflow";
    if (overflowed) expected = aggregated("TOTAL");
    const SqliteResult stored =
        ReadSqlite(cube, "SELECT " + members + " FROM " + table + " ORDER BY id");
    const SqliteResult sorted =
        ReadSqlite(cube, "SELECT " + members + " FROM " + table + " ORDER BY " + order);
    EXPECT_EQ(expected.error, "");
    EXPECT_EQ(stored.error, "");
    EXPECT_EQ(QuerySqlite(cube, "SELECT COUNT(*) FROM " + table)[0][0], rollup[2]);
    EXPECT_EQ(stored.rows, sorted.rows) << "rows not in the order of their members";
    EXPECT_EQ(stored.rows.size(), expected.rows.size());
    for (std::size_t r = 0; r < stored.rows.size() && r < expected.rows.size(); ++r) {
      for (std::size_t i = 0; i < stored.rows[r].size(); ++i) {
        EXPECT_TRUE(SameValue(stored.rows[r][i], expected.rows[r][i], overflowed))
            << "row " << r << " column " << i << ": " << stored.rows[r][i].text << " vs "
            << expected.rows[r][i].text;
      }
    }
    total += std::stoull(rollup[2]);
  }
  return total;
}

}  // namespace cubemill::test
