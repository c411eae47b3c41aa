// A cube built by the built program from a sharded PostgreSQL source (scripts/pg-sharded.sh: a
// coordinator whose table is partitioned by date into foreign tables on two shards): the
// coordinator hands the grouped statement of a build to both shards, and the cube's totals are
// the sums of what each shard holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "e2e/postgres_jobs.h"
#include "e2e/run_cubemill.h"
#include "support/postgres_server.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

using Lines = std::vector<std::string>;

const char kClusterScript[] = CUBEMILL_SOURCE_DIR "/scripts/pg-cluster.sh";
const char kShardedScript[] = CUBEMILL_SOURCE_DIR "/scripts/pg-sharded.sh";

// The three servers for the whole program, with 100,000 sales: up to June 2022 on shard 1, from
// July 2022 on shard 2.
test::PostgresEnvironment* const environment = static_cast<test::PostgresEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new test::PostgresEnvironment(kShardedScript, {"100000"})));

test::PostgresServer Server(const std::string& name) {
  return test::PostgresServer(kClusterScript, environment->servers_dir() + "/" + name);
}

// Months by category: the source makes one group per day and category (21,900 at most), about
// five sales each, so that grouping at the source pays.
const char kSalesCube[] =
    "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, LEVEL [Year] TYPE YEAR, "
    "LEVEL [Month] TYPE MONTH, DIMENSION [Product], LEVEL [Category], "
    "MEASURE [Quantity] FUNCTION SUM, MEASURE [Amount] FUNCTION SUM, "
    "MEASURE [Sales] FUNCTION COUNT )";
const char kSalesInsert[] =
    "INSERT INTO Sales([Time], [Product].[Category], Measures.[Quantity], Measures.[Amount], "
    "Measures.[Sales]) SELECT sale_date, category, quantity, amount, amount FROM sales";

// The statement a build of kSalesCube sends with its rows grouped at the source, explained.
const char kExplainGrouped[] =
    "EXPLAIN (VERBOSE, COSTS OFF) WITH q(c1, c2, c3, c4, c5) AS (\n"
    "SELECT sale_date, category, quantity, amount, amount FROM sales\n"
    ") SELECT c1, c2, SUM(c3), SUM(c4), COUNT(c5), COUNT(*) FROM q GROUP BY c1, c2";

// Quantity, amount in cents and number of sales.
using Totals = std::tuple<std::int64_t, std::int64_t, std::int64_t>;

// Adds rows of (name, quantity, cents, sales) into `totals` by name.
void AddTotals(const test::Rows& rows, std::map<std::string, Totals>& totals) {
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 4u);
    auto& [quantity, cents, sales] = totals[row[0]];
    quantity += std::stoll(row[1]);
    cents += std::stoll(row[2]);
    sales += std::stoll(row[3]);
  }
}

// The coordinator sends a build's grouped statement (the SELECT as written, grouped by its level
// columns, which hold the partition key sale_date) to both shards as one GROUP BY each, run at
// once: the set-up the sharded tests and benchmarks rely on.
TEST(ShardedPostgresTest, CoordinatorPushesTheGroupingToBothShards) {
  const test::Rows plan = Server("coordinator").Psql(kExplainGrouped);
  std::string text;
  for (const auto& row : plan) text += row.at(0) + "\n";
  int async_scans = 0;
  int grouped_remote = 0;
  for (const auto& row : plan) {
    if (row.at(0).find("Async Foreign Scan") != std::string::npos) ++async_scans;
    if (row.at(0).find("Remote SQL: SELECT") != std::string::npos &&
        row.at(0).find("GROUP BY") != std::string::npos)
      ++grouped_remote;
  }
  EXPECT_EQ(async_scans, 2) << text;
  EXPECT_EQ(grouped_remote, 2) << text;
  EXPECT_NE(text.find("Aggregate on (public.sales_to_2022_06"), std::string::npos) << text;
  EXPECT_NE(text.find("Aggregate on (public.sales_from_2022_07"), std::string::npos) << text;
}

// Built through the coordinator without an AGGREGATE key, the cube is grouped at the source and
// its totals per year and per category are the sums of the shards' own rows.
TEST(ShardedPostgresTest, CubeThroughTheCoordinatorHasTheShardsTotals) {
  test::TempDir dir;
  const test::PostgresServer coordinator = Server("coordinator");
  const test::PostgresServer shards[] = {Server("shard1"), Server("shard2")};
  test::WriteJob("", "sales.cub", kSalesCube, kSalesInsert, coordinator.OdbcConnection());
  const test::RunResult run = test::RunJob();
  ASSERT_EQ(run.status, 0) << testing::PrintToString(run.lines)
                           << testing::PrintToString(run.errors);
  EXPECT_EQ(test::AggregationLines(run), Lines{"Aggregation: source"});

  // 2022 lies on both shards, each of the other years on one.
  std::map<std::string, Totals> years;
  std::map<std::string, Totals> categories;
  std::int64_t rows = 0;
  for (const auto& shard : shards) {
    AddTotals(shard.Psql("SELECT EXTRACT(YEAR FROM sale_date)::integer::text, SUM(quantity), "
                         "SUM(amount * 100)::bigint, COUNT(*) FROM sales GROUP BY 1"),
              years);
    AddTotals(shard.Psql("SELECT category, SUM(quantity), SUM(amount * 100)::bigint, COUNT(*) "
                         "FROM sales GROUP BY 1"),
              categories);
    rows += std::stoll(shard.Psql("SELECT COUNT(*) FROM sales").at(0).at(0));
  }
  std::map<std::string, Totals> cube_years;
  AddTotals(test::QuerySqlite("sales.cub",
                              "SELECT \"Time.Year\", SUM(\"Quantity\"), "
                              "CAST(ROUND(SUM(\"Amount\") * 100) AS INTEGER), SUM(\"Sales\") "
                              "FROM cube_flat GROUP BY 1"),
            cube_years);
  EXPECT_EQ(cube_years, years);
  EXPECT_EQ(years.size(), 3u);
  std::map<std::string, Totals> cube_categories;
  AddTotals(test::QuerySqlite("sales.cub",
                              "SELECT \"Product.Category\", SUM(\"Quantity\"), "
                              "CAST(ROUND(SUM(\"Amount\") * 100) AS INTEGER), SUM(\"Sales\") "
                              "FROM cube_flat GROUP BY 1"),
            cube_categories);
  EXPECT_EQ(cube_categories, categories);
  EXPECT_EQ(categories.size(), 20u);
  EXPECT_EQ(test::QuerySqlite("sales.cub", "SELECT source_rows FROM cube"),
            (test::Rows{{std::to_string(rows)}}));
  EXPECT_EQ(rows, 100000);
}

}  // namespace
}  // namespace cubemill
