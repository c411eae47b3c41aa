#include "bench/retail_source.h"

#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/source_kit.h"

namespace cubemill::bench {
namespace {

constexpr int kFirstYear = 2023;
constexpr int kYears = 2;
constexpr std::uint64_t kProductsPerCategory = 25;
constexpr std::uint64_t kCustomers = 10000;
constexpr std::uint64_t kTownsPerState = 8;
constexpr std::uint64_t kPromotions = 50;  // "No Promotion" first
constexpr std::uint64_t kMaxUnits = 6;
constexpr std::uint64_t kNoPromotionPercent = 70;
constexpr std::uint64_t kLocalStorePercent = 80;

struct State {
  const char* country;
  const char* name;
  std::vector<const char*> store_cities;  // one store in each
};

const std::vector<State>& States() {
  static const std::vector<State> states = {
      {"USA", "California", {"Fresno", "Oakland", "Sacramento", "San Jose"}},
      {"USA", "Oregon", {"Bend", "Eugene"}},
      {"USA", "Texas", {"Austin", "Dallas", "El Paso", "Houston"}},
      {"USA", "Washington", {"Everett", "Olympia", "Yakima"}},
      {"Canada", "British Columbia", {"Kelowna", "Victoria"}},
      {"Canada", "Ontario", {"Hamilton", "Ottawa"}},
      {"Mexico", "Jalisco", {"Guadalajara", "Zapopan"}},
      {"Mexico", "Nuevo Leon", {"Monterrey"}},
      {"Mexico", "Puebla", {"Puebla"}},
      {"Mexico", "Sonora", {"Hermosillo"}},
      {"Mexico", "Veracruz", {"Veracruz", "Xalapa"}},
      {"Mexico", "Yucatan", {"Merida"}},
  };
  return states;
}

struct Department {
  const char* family;
  const char* name;
  std::array<const char*, 3> categories;
};

const std::vector<Department>& Departments() {
  static const std::vector<Department> departments = {
      {"Drink", "Alcoholic Beverages", {"Beer", "Wine", "Spirits"}},
      {"Drink", "Beverages", {"Soda", "Juice", "Coffee and Tea"}},
      {"Drink", "Dairy", {"Milk", "Cheese", "Yogurt"}},
      {"Food", "Bakery", {"Bread", "Pastry", "Cakes"}},
      {"Food", "Baking Goods", {"Flour", "Sugar", "Spices"}},
      {"Food", "Breakfast Foods", {"Cereal", "Oatmeal", "Pancake Mix"}},
      {"Food", "Canned Foods", {"Canned Soup", "Canned Vegetables", "Canned Fish"}},
      {"Food", "Deli", {"Cold Cuts", "Salads", "Prepared Meals"}},
      {"Food", "Frozen Foods", {"Frozen Vegetables", "Frozen Pizza", "Ice Cream"}},
      {"Food", "Meat", {"Beef", "Pork", "Poultry"}},
      {"Food", "Produce", {"Fruit", "Vegetables", "Herbs"}},
      {"Food", "Seafood", {"Fresh Fish", "Shellfish", "Smoked Fish"}},
      {"Food", "Snack Foods", {"Chips", "Cookies", "Nuts"}},
      {"Food", "Starchy Foods", {"Pasta", "Rice", "Potatoes"}},
      {"Non-Consumable", "Garden", {"Seeds", "Garden Tools", "Plants"}},
      {"Non-Consumable", "Health and Hygiene", {"Soap", "Toothpaste", "Vitamins"}},
      {"Non-Consumable", "Household", {"Cleaners", "Paper Goods", "Batteries"}},
      {"Non-Consumable", "Kitchenware", {"Cookware", "Utensils", "Food Storage"}},
      {"Non-Consumable", "Periodicals", {"Magazines", "Newspapers", "Books"}},
      {"Non-Consumable", "Pet Supplies", {"Pet Food", "Cat Litter", "Pet Toys"}},
  };
  return departments;
}

constexpr char kSchema[] =
    "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
    "CREATE TABLE store(store_id INTEGER PRIMARY KEY, store_name VARCHAR(30) NOT NULL,"
    " store_city VARCHAR(30) NOT NULL, store_state VARCHAR(30) NOT NULL,"
    " store_country VARCHAR(30) NOT NULL);"
    "CREATE TABLE product(product_id INTEGER PRIMARY KEY, product_name VARCHAR(40) NOT NULL,"
    " product_category VARCHAR(30) NOT NULL, product_department VARCHAR(30) NOT NULL,"
    " product_family VARCHAR(30) NOT NULL, price_cents INTEGER NOT NULL);"
    "CREATE TABLE customer(customer_id INTEGER PRIMARY KEY, customer_name VARCHAR(30) NOT NULL,"
    " city VARCHAR(30) NOT NULL, state_province VARCHAR(30) NOT NULL,"
    " country VARCHAR(30) NOT NULL);"
    "CREATE TABLE promotion(promotion_id INTEGER PRIMARY KEY,"
    " promotion_name VARCHAR(30) NOT NULL);"
    "CREATE TABLE sales_fact(sale_date DATE NOT NULL, store_id INTEGER NOT NULL,"
    " product_id INTEGER NOT NULL, customer_id INTEGER NOT NULL, promotion_id INTEGER NOT NULL,"
    " unit_sales INTEGER NOT NULL, store_sales REAL NOT NULL, store_cost REAL NOT NULL);"
    "BEGIN";

// Inserts one row of text and integer values (an integer where `texts` has nullptr) with the
// prepared `insert`; false after setting `error`.
bool InsertRow(Database& db, sqlite3_stmt* insert, const std::vector<const char*>& texts,
               const std::vector<std::int64_t>& numbers, std::string& error) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const int index = static_cast<int>(i) + 1;
    if (texts[i] != nullptr) {
      sqlite3_bind_text(insert, index, texts[i], -1, SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_int64(insert, index, numbers[i]);
    }
  }
  const bool ok = sqlite3_step(insert) == SQLITE_DONE;
  sqlite3_reset(insert);
  if (!ok) error = "cannot insert a dimension row: " + db.Message();
  return ok;
}

// The store, product, customer and promotion tables. `prices` gets each product's price in
// cents, `store_state` each store's state (an index into States()), `customer_state` each
// customer's.
bool WriteDimensions(Database& db, Random& random, std::vector<std::int64_t>& prices,
                     std::vector<std::size_t>& store_state,
                     std::vector<std::size_t>& customer_state, std::string& error) {
  Statement store(db.get(), "INSERT INTO store VALUES (?, ?, ?, ?, ?)");
  Statement product(db.get(), "INSERT INTO product VALUES (?, ?, ?, ?, ?, ?)");
  Statement customer(db.get(), "INSERT INTO customer VALUES (?, ?, ?, ?, ?)");
  Statement promotion(db.get(), "INSERT INTO promotion VALUES (?, ?)");
  const std::vector<State>& states = States();
  for (std::size_t s = 0; s < states.size(); ++s) {
    for (const char* city : states[s].store_cities) {
      const std::int64_t id = static_cast<std::int64_t>(store_state.size());
      char name[32];
      std::snprintf(name, sizeof name, "Store %02lld", static_cast<long long>(id + 1));
      if (!InsertRow(db, store.get(), {nullptr, name, city, states[s].name, states[s].country},
                     {id}, error))
        return false;
      store_state.push_back(s);
    }
  }
  std::int64_t id = 0;
  for (const Department& department : Departments()) {
    for (const char* category : department.categories) {
      for (std::uint64_t p = 1; p <= kProductsPerCategory; ++p, ++id) {
        char name[64];
        std::snprintf(name, sizeof name, "%s %02llu", category, static_cast<unsigned long long>(p));
        prices.push_back(50 + static_cast<std::int64_t>(random.Next() % 950));
        if (!InsertRow(db, product.get(),
                       {nullptr, name, category, department.name, department.family, nullptr},
                       {id, 0, 0, 0, 0, prices.back()}, error))
          return false;
      }
    }
  }
  const std::vector<std::string> towns = Numbered("Town", states.size() * kTownsPerState, 2);
  const std::vector<std::string> customers = Numbered("Customer", kCustomers, 5);
  for (std::size_t c = 0; c < customers.size(); ++c) {
    const std::size_t town = c % towns.size();
    const State& state = states[town % states.size()];
    customer_state.push_back(town % states.size());
    if (!InsertRow(db, customer.get(),
                   {nullptr, customers[c].c_str(), towns[town].c_str(), state.name, state.country},
                   {static_cast<std::int64_t>(c)}, error))
      return false;
  }
  const std::vector<std::string> promotions = Numbered("Promotion", kPromotions - 1, 2);
  for (std::size_t p = 0; p < kPromotions; ++p) {
    const char* name = p == 0 ? "No Promotion" : promotions[p - 1].c_str();
    if (!InsertRow(db, promotion.get(), {nullptr, name}, {static_cast<std::int64_t>(p)}, error))
      return false;
  }
  return true;
}

// The fact rows; adds their totals to `source`.
bool WriteFacts(Database& db, Random& random, const std::vector<std::int64_t>& prices,
                const std::vector<std::size_t>& store_state,
                const std::vector<std::size_t>& customer_state, RetailSource& source,
                std::string& error) {
  std::vector<std::vector<std::int64_t>> stores_in(States().size());
  for (std::size_t s = 0; s < store_state.size(); ++s)
    stores_in[store_state[s]].push_back(static_cast<std::int64_t>(s));
  const std::vector<std::string> days = AllDays(kFirstYear, kYears);
  Statement insert(db.get(), "INSERT INTO sales_fact VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  sqlite3_stmt* s = insert.get();
  if (s == nullptr) {
    error = "cannot prepare the insert: " + db.Message();
    return false;
  }
  for (std::int64_t row = 0; row < source.rows; ++row) {
    // Two draws give the row (about 10^11 and 10^6 combinations: the modulo bias is far below
    // anything a benchmark could notice).
    std::uint64_t r = random.Next();
    const std::uint64_t customer = r % kCustomers;
    r /= kCustomers;
    const std::uint64_t product = r % prices.size();
    r /= prices.size();
    const std::uint64_t day = r % days.size();
    r /= days.size();
    const std::int64_t units = 1 + static_cast<std::int64_t>(r % kMaxUnits);
    r /= kMaxUnits;
    const std::vector<std::int64_t>& local = stores_in[customer_state[customer]];
    const std::int64_t store = r % 100 < kLocalStorePercent
                                   ? local[(r / 100) % local.size()]
                                   : static_cast<std::int64_t>((r / 100) % store_state.size());
    std::uint64_t r2 = random.Next();
    const std::int64_t promotion =
        r2 % 100 < kNoPromotionPercent ? 0 : 1 + static_cast<std::int64_t>((r2 / 100) % 49);
    r2 /= 100 * 49;
    const std::int64_t sales_cents = units * prices[product];
    const std::int64_t cost_cents = sales_cents * (40 + static_cast<std::int64_t>(r2 % 21)) / 100;
    source.unit_sales_total += units;
    source.sales_cents_total += sales_cents;
    source.cost_cents_total += cost_cents;
    sqlite3_bind_text(s, 1, days[day].c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(s, 2, store);
    sqlite3_bind_int64(s, 3, static_cast<std::int64_t>(product));
    sqlite3_bind_int64(s, 4, static_cast<std::int64_t>(customer));
    sqlite3_bind_int64(s, 5, promotion);
    sqlite3_bind_int64(s, 6, units);
    sqlite3_bind_double(s, 7, static_cast<double>(sales_cents) / 100.0);
    sqlite3_bind_double(s, 8, static_cast<double>(cost_cents) / 100.0);
    if (sqlite3_step(s) != SQLITE_DONE) {
      error = "cannot insert fact row " + std::to_string(row + 1) + ": " + db.Message();
      return false;
    }
    sqlite3_reset(s);
  }
  return true;
}

}  // namespace

std::optional<RetailSource> GenerateRetailSource(const std::string& path, std::int64_t rows,
                                                 std::uint64_t seed, std::string& error) {
  std::filesystem::remove(path);
  Database db;
  if (!db.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
    error = "cannot create " + path + ": " + db.Message();
    return std::nullopt;
  }
  if (!db.Exec(kSchema)) {
    error = "cannot create the tables in " + path + ": " + db.Message();
    return std::nullopt;
  }
  RetailSource source;
  source.path = path;
  source.rows = rows;
  source.seed = seed;
  Random random(seed);
  std::vector<std::int64_t> prices;
  std::vector<std::size_t> store_state, customer_state;
  if (!WriteDimensions(db, random, prices, store_state, customer_state, error) ||
      !WriteFacts(db, random, prices, store_state, customer_state, source, error))
    return std::nullopt;
  if (!db.Exec("COMMIT")) {
    error = "cannot commit " + path + ": " + db.Message();
    return std::nullopt;
  }
  return source;
}

}  // namespace cubemill::bench
