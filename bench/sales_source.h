// The benchmarks' sources: SQLite databases with one fact table of N seeded pseudo-random rows,
// each made once and reused while its row count, seed and layout stay the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cubemill::bench {

// The table `sales` of a generated source, with the totals the cubes must give back.
//   sale_date DATE      one of the 1,095 days 2021-01-01 ... 2023-12-31 (36 months)
//   city_id INTEGER     0-399; city "City 001" ... "City 400", in country city_id % 20
//   country, city       "Country 01" ... "Country 20", "City 001" ... "City 400"
//   category, product   "Category 01" ... "Category 20"; "Product 001" ... "Product 300",
//                       product p in category p % 20
//   quantity INTEGER    1-20
//   amount REAL         quantity x the product's unit price (1.00-99.99), in whole cents
struct SalesSource {
  std::string path;
  std::int64_t rows = 0;
  std::uint64_t seed = 0;
  std::int64_t quantity_total = 0;      // SUM(quantity)
  std::int64_t amount_cents_total = 0;  // SUM(amount) in cents, exact
  bool reused = false;                  // found in the cache directory
  double generate_seconds = 0;          // time spent making it now; 0 when reused
};

// Returns the source of `rows` rows made from `seed` in the directory `dir` (which must exist):
// the file there when it was made with the same rows, seed and layout, otherwise a new one,
// written under a temporary name and renamed when complete. On failure sets `error`.
std::optional<SalesSource> EnsureSalesSource(const std::string& dir, std::int64_t rows,
                                             std::uint64_t seed, std::string& error);

// The same for the query benchmark's customer source `customers-<rows>-seed<seed>.db`, one table:
//   customer_sales(customer VARCHAR(20), region VARCHAR(20), category VARCHAR(20),
//                  quantity INTEGER, amount REAL)
// "Customer 000001" ... "Customer 100000" (the first 100,000 rows name each once, the others
// draw one), customer c in "Region 01" ... "Region 50" by c % 50, one of the 20 categories, a
// quantity of 1-20 and an amount of quantity x 1.00-99.99 in whole cents. The totals are
// SUM(quantity) and SUM(amount) in cents.
std::optional<SalesSource> EnsureCustomerSource(const std::string& dir, std::int64_t rows,
                                                std::uint64_t seed, std::string& error);

}  // namespace cubemill::bench
