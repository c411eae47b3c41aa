// Cubes for the query tests: built by the real engine from a SQLite source through the SQLite
// ODBC driver, and answers checked against the same question asked of the source in SQL.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "query/query_evaluator.h"
#include "support/test_support.h"

namespace cubemill::query::test {

// Builds the cube file `cube` from the SQLite database `source` with the statements `create`
// and `insert`, and the connection-string properties `more` ("NAME=value;...", "" for none).
// Returns "" or the engine's failure.
std::string BuildCube(const std::string& source, const std::string& cube, const std::string& create,
                      const std::string& insert, const std::string& more = "");

// Opens `cube` and answers `mdx`.
Result<QueryResult> Ask(const std::string& cube, const std::string& mdx,
                        const QueryOptions& options = {});

// Compares every cell of `answer` with `sql` over `source`, whose rows are the row tuple's
// names, the column tuple's names and the value. Each SQL group must be a cell of the answer;
// every other cell of the answer must be NULL. Failures are reported to the current test.
void ExpectSameAsSql(const QueryResult& answer, const std::string& source, const std::string& sql);

// Asks `mdx` of `cube`, compares the answer with `sql` over `source` and returns it (an empty
// answer when the query failed, which fails the current test).
QueryResult AskSameAsSql(const std::string& cube, const std::string& source, const std::string& mdx,
                         const std::string& sql, const QueryOptions& options = {});

// Creates the small shop's source at `source` (one table `sales`) and builds its cube file `cube`
// (ShopCubeTest). Returns "" or what failed.
std::string BuildShopCube(const std::string& source, const std::string& cube);

// A small shop in its own temporary directory: Store (an ALL level, Country, City) with members
// named España, "Bad]City" and "" (from NULL values), Product (Line, Item; no ALL level) with a
// line "Gear]Box", Time (Year, Quarter, Month; no ALL level), and the measures Qty (SUM),
// Amount (SUM) and Top (MAX of amount). The source table is `sales`.
class ShopCubeTest : public ::testing::Test {
 protected:
  static constexpr char kSource[] = "shop.db";
  static constexpr char kCube[] = "shop.cub";

  void SetUp() override;
  Result<QueryResult> Ask(const std::string& mdx, const QueryOptions& options = {}) const;
  // Asks `mdx`, compares the answer with `sql` over the source and returns it.
  QueryResult ExpectSameAsSql(const std::string& mdx, const std::string& sql,
                              const QueryOptions& options = {}) const;
  // The error `mdx` fails with ("" and a test failure when it is answered).
  std::string AskError(const std::string& mdx, const QueryOptions& options = {}) const;

  cubemill::test::TempDir dir_;
};

}  // namespace cubemill::query::test
