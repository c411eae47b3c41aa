// Sums of prices in cents, built from rows in a random order, answered from stored rollups, from
// the leaf cells and by Sum and Aggregate over sets: every total is the real nearest to the exact
// sum of the source's values, bit for bit what Python's math.fsum gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "query_test_cube.h"
#include "support/python_fsum.h"
#include "support/sqlite_fixture.h"

namespace cubemill::query::test {
namespace {

struct Sale {
  int country;
  int city;  // within its country
  int month;
  std::int64_t cents;
};

std::string CountryName(int country) { return "Country " + std::to_string(country); }
std::string CityName(int country, int city) {
  return "City " + std::to_string(country) + "-" + std::to_string(city);
}
std::string MonthName(int month) { return (month < 9 ? "M0" : "M") + std::to_string(month + 1); }

// The price as its text in the source: "12.34".
std::string Price(std::int64_t cents) {
  std::string text = std::to_string(cents / 100) + ".";
  const std::int64_t rest = cents % 100;
  return text + (rest < 10 ? "0" : "") + std::to_string(rest);
}

double PriceValue(std::int64_t cents) { return std::stod(Price(cents)); }

TEST(ExactSumsTest, EveryPathGivesTheCorrectlyRoundedSumOfThePrices) {
  cubemill::test::TempDir dir;
  std::mt19937_64 random(35);
  std::vector<Sale> sales;
  std::uniform_int_distribution<std::int64_t> cents(1, 99'999);
  for (int i = 0; i < 20'000; ++i) {
    sales.push_back({static_cast<int>(random() % 5), static_cast<int>(random() % 8),
                     static_cast<int>(random() % 12), cents(random)});
  }
  std::string sql = "CREATE TABLE sales(country TEXT, city TEXT, month TEXT, amount REAL);";
  sql += "BEGIN;";
  for (const Sale& sale : sales) {
    sql += "INSERT INTO sales VALUES('" + CountryName(sale.country) + "', '" +
           CityName(sale.country, sale.city) + "', '" + MonthName(sale.month) + "', " +
           Price(sale.cents) + ");";
  }
  sql += "COMMIT;";
  cubemill::test::RunSqlite("sales.db", sql);
  ASSERT_EQ(BuildCube("sales.db", "sales.cub",
                      "CREATE CUBE [Sales] ( DIMENSION [Store], LEVEL [Country], LEVEL [City], "
                      "DIMENSION [Month], LEVEL [Month], MEASURE [Amount] FUNCTION SUM )",
                      "INSERT INTO Sales ( Store.Country, Store.City, Month.Month, "
                      "Measures.Amount ) SELECT country, city, month, amount FROM sales"),
            "");

  // The oracle's sums, keyed by what the query's row and column name.
  std::map<std::string, std::vector<double>> groups;
  for (const Sale& sale : sales) {
    const double price = PriceValue(sale.cents);
    groups["total"].push_back(price);
    groups[CountryName(sale.country)].push_back(price);
    groups[CityName(sale.country, sale.city)].push_back(price);
    groups[CountryName(sale.country) + "|" + MonthName(sale.month)].push_back(price);
  }
  std::vector<std::vector<double>> lists;
  for (const auto& [key, values] : groups) lists.push_back(values);
  const std::vector<double> sums = cubemill::test::PythonFsum(lists);
  std::map<std::string, double> expected;
  std::size_t next = 0;
  for (const auto& entry : groups) expected[entry.first] = sums[next++];

  const auto check = [&](const std::string& mdx, const std::string& key_of_row,
                         const QueryOptions& options) {
    auto answer = Ask("sales.cub", mdx, options);
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    ASSERT_FALSE(answer->rows.empty()) << mdx;
    for (std::size_t r = 0; r < answer->rows.size(); ++r) {
      for (std::size_t c = 0; c < answer->columns.size(); ++c) {
        std::string key = answer->rows[r].empty() || answer->rows[r].front() == "All Cities"
                              ? "total"
                              : answer->rows[r].front();
        if (key_of_row == "month") key += "|" + answer->columns[c].front();
        const auto cell = answer->cells[r][c];
        ASSERT_EQ(cell.kind, provider::cubefile::CellValue::Kind::kReal) << mdx << " " << key;
        EXPECT_EQ(cell.real, expected.at(key)) << mdx << " (" << answer->table << "): " << key;
      }
    }
  };
  for (const bool leaf : {false, true}) {
    QueryOptions options;
    options.leaf_cells_only = leaf;
    check("SELECT [Measures].[Amount] ON COLUMNS, [Store].[Country].Members ON ROWS FROM [Sales]",
          "", options);
    check("SELECT [Measures].[Amount] ON COLUMNS, [Store].[City].Members ON ROWS FROM [Sales]", "",
          options);
    check(
        "SELECT [Month].[Month].Members ON COLUMNS, [Store].[Country].Members ON ROWS FROM "
        "[Sales]",
        "month", options);
    check("SELECT [Measures].[Amount] ON COLUMNS FROM [Sales]", "", options);
    // The cities added up by Sum and by Aggregate: the whole total.
    check(
        "WITH MEMBER [Measures].[S] AS Sum([Store].[City].Members, [Measures].[Amount]) "
        "SELECT [Measures].[S] ON COLUMNS FROM [Sales]",
        "", options);
    check(
        "WITH MEMBER [Store].[All Cities] AS Aggregate([Store].[City].Members) "
        "SELECT [Measures].[Amount] ON COLUMNS, {[Store].[All Cities]} ON ROWS FROM [Sales]",
        "", options);
  }
}

}  // namespace
}  // namespace cubemill::query::test
