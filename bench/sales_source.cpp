#include "bench/sales_source.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/source_kit.h"

namespace cubemill::bench {
namespace {

// Names the table layout and the generator; a cached file made by another one is made again.
constexpr char kLayout[] = "sales-v1";
constexpr char kCustomerLayout[] = "customers-v1";
constexpr int kFirstYear = 2021;
constexpr int kYears = 3;
constexpr std::uint64_t kCountries = 20;
constexpr std::uint64_t kCities = 400;
constexpr std::uint64_t kCategories = 20;
constexpr std::uint64_t kProducts = 300;
constexpr std::uint64_t kMaxQuantity = 20;
constexpr std::uint64_t kCustomers = 100000;
constexpr std::uint64_t kRegions = 50;

// The source at `path` when it exists and was made with these rows, seed and layout.
std::optional<SalesSource> CachedSource(const std::string& path, const char* layout,
                                        std::int64_t rows, std::uint64_t seed) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  Database db;
  if (!db.Open(path, SQLITE_OPEN_READONLY)) return std::nullopt;
  Statement query(db.get(),
                  "SELECT layout, rows, seed, quantity_total, amount_cents_total "
                  "FROM bench_source");
  if (query.get() == nullptr || sqlite3_step(query.get()) != SQLITE_ROW) return std::nullopt;
  const auto text = [&](int column) {
    const unsigned char* value = sqlite3_column_text(query.get(), column);
    return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
  };
  if (text(0) != layout || sqlite3_column_int64(query.get(), 1) != rows ||
      text(2) != std::to_string(seed)) {
    return std::nullopt;
  }
  SalesSource source;
  source.path = path;
  source.rows = rows;
  source.seed = seed;
  source.quantity_total = sqlite3_column_int64(query.get(), 3);
  source.amount_cents_total = sqlite3_column_int64(query.get(), 4);
  source.reused = true;
  return source;
}

// Records the source's layout, rows, seed and totals in `bench_source` and commits.
bool Finish(Database& db, const std::string& path, const char* layout, const SalesSource& source,
            std::string& error) {
  Statement meta(db.get(), "INSERT INTO bench_source VALUES (?, ?, ?, ?, ?)");
  const std::string seed_text = std::to_string(source.seed);
  sqlite3_bind_text(meta.get(), 1, layout, -1, SQLITE_STATIC);
  sqlite3_bind_int64(meta.get(), 2, source.rows);
  sqlite3_bind_text(meta.get(), 3, seed_text.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int64(meta.get(), 4, source.quantity_total);
  sqlite3_bind_int64(meta.get(), 5, source.amount_cents_total);
  if (sqlite3_step(meta.get()) != SQLITE_DONE || !db.Exec("COMMIT")) {
    error = "cannot finish " + path + ": " + db.Message();
    return false;
  }
  return true;
}

// Writes the source to `path`; returns false after setting `error`.
bool Generate(const std::string& path, SalesSource& source, std::string& error) {
  std::filesystem::remove(path);
  Database db;
  if (!db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
    error = "cannot create " + path + ": " + db.Message();
    return false;
  }
  if (!db.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
               "CREATE TABLE sales(sale_date DATE NOT NULL, city_id INTEGER NOT NULL,"
               " country VARCHAR(20) NOT NULL, city VARCHAR(20) NOT NULL,"
               " category VARCHAR(20) NOT NULL, product VARCHAR(20) NOT NULL,"
               " quantity INTEGER NOT NULL, amount REAL NOT NULL);"
               "CREATE TABLE bench_source(layout TEXT, rows INTEGER, seed TEXT,"
               " quantity_total INTEGER, amount_cents_total INTEGER);"
               "BEGIN")) {
    error = "cannot create the tables in " + path + ": " + db.Message();
    return false;
  }
  const std::vector<std::string> days = AllDays(kFirstYear, kYears);
  const std::vector<std::string> countries = Numbered("Country", kCountries, 2);
  const std::vector<std::string> cities = Numbered("City", kCities, 3);
  const std::vector<std::string> categories = Numbered("Category", kCategories, 2);
  const std::vector<std::string> products = Numbered("Product", kProducts, 3);
  Random random(source.seed);
  std::vector<std::int64_t> price_cents;  // unit price of each product
  for (std::uint64_t p = 0; p < kProducts; ++p) {
    price_cents.push_back(100 + static_cast<std::int64_t>(random.Next() % 9900));
  }

  Statement insert(db.get(), "INSERT INTO sales VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  if (insert.get() == nullptr) {
    error = "cannot prepare the insert: " + db.Message();
    return false;
  }
  sqlite3_stmt* s = insert.get();
  const auto bind_text = [s](int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  };
  for (std::int64_t row = 0; row < source.rows; ++row) {
    // One draw gives the day, city, product and quantity (a few billion combinations, so the
    // modulo bias is far below anything a benchmark could notice).
    std::uint64_t r = random.Next();
    const std::size_t day = r % days.size();
    r /= days.size();
    const std::uint64_t city = r % kCities;
    r /= kCities;
    const std::uint64_t product = r % kProducts;
    r /= kProducts;
    const std::int64_t quantity = 1 + static_cast<std::int64_t>(r % kMaxQuantity);
    const std::int64_t cents = quantity * price_cents[product];
    source.quantity_total += quantity;
    source.amount_cents_total += cents;
    bind_text(1, days[day]);
    sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(city));
    bind_text(3, countries[city % kCountries]);
    bind_text(4, cities[city]);
    bind_text(5, categories[product % kCategories]);
    bind_text(6, products[product]);
    sqlite3_bind_int64(s, 7, quantity);
    sqlite3_bind_double(s, 8, static_cast<double>(cents) / 100.0);
    if (sqlite3_step(s) != SQLITE_DONE) {
      error = "cannot insert row " + std::to_string(row + 1) + ": " + db.Message();
      return false;
    }
    sqlite3_reset(s);
  }

  return Finish(db, path, kLayout, source, error);
}

// Writes the customer source to `path`; returns false after setting `error`.
bool GenerateCustomers(const std::string& path, SalesSource& source, std::string& error) {
  std::filesystem::remove(path);
  Database db;
  if (!db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
    error = "cannot create " + path + ": " + db.Message();
    return false;
  }
  if (!db.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
               "CREATE TABLE customer_sales(customer VARCHAR(20) NOT NULL,"
               " region VARCHAR(20) NOT NULL, category VARCHAR(20) NOT NULL,"
               " quantity INTEGER NOT NULL, amount REAL NOT NULL);"
               "CREATE TABLE bench_source(layout TEXT, rows INTEGER, seed TEXT,"
               " quantity_total INTEGER, amount_cents_total INTEGER);"
               "BEGIN")) {
    error = "cannot create the tables in " + path + ": " + db.Message();
    return false;
  }
  const std::vector<std::string> customers = Numbered("Customer", kCustomers, 6);
  const std::vector<std::string> regions = Numbered("Region", kRegions, 2);
  const std::vector<std::string> categories = Numbered("Category", kCategories, 2);
  Random random(source.seed);
  Statement insert(db.get(), "INSERT INTO customer_sales VALUES (?, ?, ?, ?, ?)");
  if (insert.get() == nullptr) {
    error = "cannot prepare the insert: " + db.Message();
    return false;
  }
  sqlite3_stmt* s = insert.get();
  const auto bind_text = [s](int index, const std::string& text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  };
  for (std::int64_t row = 0; row < source.rows; ++row) {
    // The first rows name every customer once, so that the level has all of them.
    std::uint64_t r = random.Next();
    const std::uint64_t customer = static_cast<std::uint64_t>(row) < kCustomers
                                       ? static_cast<std::uint64_t>(row)
                                       : r % kCustomers;
    r /= kCustomers;
    const std::uint64_t category = r % kCategories;
    r /= kCategories;
    const std::int64_t quantity = 1 + static_cast<std::int64_t>(r % kMaxQuantity);
    r /= kMaxQuantity;
    const std::int64_t cents = quantity * (100 + static_cast<std::int64_t>(r % 9900));
    source.quantity_total += quantity;
    source.amount_cents_total += cents;
    bind_text(1, customers[customer]);
    bind_text(2, regions[customer % kRegions]);
    bind_text(3, categories[category]);
    sqlite3_bind_int64(s, 4, quantity);
    sqlite3_bind_double(s, 5, static_cast<double>(cents) / 100.0);
    if (sqlite3_step(s) != SQLITE_DONE) {
      error = "cannot insert row " + std::to_string(row + 1) + ": " + db.Message();
      return false;
    }
    sqlite3_reset(s);
  }
  return Finish(db, path, kCustomerLayout, source, error);
}

// The source `name`-<rows>-seed<seed>.db in `dir`: the cached one when `layout` made it with
// these rows and seed, otherwise one `generate` writes under a temporary name, renamed when
// complete.
std::optional<SalesSource> EnsureSource(
    const std::string& dir, const std::string& name, const char* layout, std::int64_t rows,
    std::uint64_t seed,
    const std::function<bool(const std::string&, SalesSource&, std::string&)>& generate,
    std::string& error) {
  const std::string path = (std::filesystem::path(dir) / (name + "-" + std::to_string(rows) +
                                                          "-seed" + std::to_string(seed) + ".db"))
                               .string();
  if (auto cached = CachedSource(path, layout, rows, seed)) return cached;

  SalesSource source;
  source.path = path;
  source.rows = rows;
  source.seed = seed;
  const std::string temporary = path + ".tmp";
  const auto start = std::chrono::steady_clock::now();
  if (!generate(temporary, source, error)) {
    std::filesystem::remove(temporary);
    return std::nullopt;
  }
  std::error_code failure;
  std::filesystem::rename(temporary, path, failure);
  if (failure) {
    error = "cannot rename " + temporary + ": " + failure.message();
    return std::nullopt;
  }
  source.generate_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return source;
}

}  // namespace

std::optional<SalesSource> EnsureSalesSource(const std::string& dir, std::int64_t rows,
                                             std::uint64_t seed, std::string& error) {
  return EnsureSource(dir, "sales", kLayout, rows, seed, Generate, error);
}

std::optional<SalesSource> EnsureCustomerSource(const std::string& dir, std::int64_t rows,
                                                std::uint64_t seed, std::string& error) {
  return EnsureSource(dir, "customers", kCustomerLayout, rows, seed, GenerateCustomers, error);
}

}  // namespace cubemill::bench
