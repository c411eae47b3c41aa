#include "support/prices_cube.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <vector>

#include "platform/clock.h"
#include "provider/connection/build_cube_file.h"
#include "provider/source/odbc_source.h"
#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::test {

PricesCube BuildPricesCube(const std::string& folder, unsigned seed, int rows) {
  namespace fs = std::filesystem;
  PricesCube prices;
  prices.source = (fs::path(folder) / "prices.db").string();
  prices.cube = (fs::path(folder) / "prices.cub").string();
  const char* const families[] = {"Drink", "Food", "Non-Consumable"};
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> cents(1, 99999);  // 0.01 to 999.99
  std::vector<std::string> values;
  for (int i = 0; i < rows; ++i) {
    const std::string family = families[random() % 3];
    const int price = cents(random);
    prices.family_cents[family] += price;
    prices.total_cents += price;
    values.push_back("('" + family + "', " + std::to_string(price / 100) + "." +
                     (price % 100 < 10 ? "0" : "") + std::to_string(price % 100) + ", " +
                     std::to_string(1 + random() % 9) + ")");
  }
  std::shuffle(values.begin(), values.end(), random);
  std::string sql = "CREATE TABLE sales (family TEXT, price REAL, units INTEGER);";
  for (const std::string& row : values) sql += "INSERT INTO sales VALUES " + row + ";";
  RunSqlite(prices.source, "BEGIN;" + sql + "COMMIT;");
  const std::string connection =
      "LOCATION=" + prices.cube + ";SOURCE_DSN=\"" + SqliteOdbc(prices.source) +
      "\";CREATECUBE=\"CREATE CUBE [Sales] ( DIMENSION [Product], LEVEL [All Products] TYPE ALL, "
      "LEVEL [Family], "
      "MEASURE [Store Sales] FUNCTION SUM, MEASURE [Units] FUNCTION SUM )\""
      ";INSERTINTO=\"INSERT INTO Sales ( Family, [Store Sales], Units ) "
      "SELECT family, price, units FROM sales\"";
  const FixedClock clock(platform::MakeDateTime(2024, 3, 5, 7, 8, 9));
  const auto open_source = [](const std::string& c, const std::string& select,
                              const std::vector<provider::ColumnHint>& hints) {
    return provider::source::OpenOdbcSource(c, select, hints);
  };
  if (auto error = provider::connection::BuildCube(connection, open_source, {}, clock))
    prices.error = error->description;
  return prices;
}

std::string CentsText(std::int64_t cents, const std::string& thousands,
                      const std::string& decimal) {
  std::string whole = std::to_string(cents / 100);
  for (auto at = static_cast<std::ptrdiff_t>(whole.size()) - 3; at > 0; at -= 3)
    whole.insert(static_cast<std::size_t>(at), thousands);
  const std::int64_t rest = cents % 100;
  return whole + decimal + (rest < 10 ? "0" : "") + std::to_string(rest);
}

}  // namespace cubemill::test
