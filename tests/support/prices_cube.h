// A cube of sales whose prices are in cents, built by the real engine through the SQLite ODBC
// driver from a generated source whose rows lie in a random order, and the totals it must show.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace cubemill::test {

struct PricesCube {
  std::string source;  // the SQLite database
  std::string cube;    // the cube file
  std::string error;   // why the build failed; "" when it did not
  // The exact total of [Store Sales] of each [Product].[Family], in cents.
  std::map<std::string, std::int64_t> family_cents;
  std::int64_t total_cents = 0;
};

// Builds the cube "Sales" (DIMENSION [Product], LEVEL [Family]; MEASURE [Store Sales] FUNCTION SUM
// over prices with two decimals, MEASURE [Units] FUNCTION SUM over integers) in `folder`, from
// `rows` rows shuffled with `seed`, into prices.db and prices.cub.
PricesCube BuildPricesCube(const std::string& folder, unsigned seed, int rows = 5000);

// `cents` as its decimal total with two decimals, thousands grouped: 363799 -> "3,637.99".
std::string CentsText(std::int64_t cents, const std::string& thousands = ",",
                      const std::string& decimal = ".");

}  // namespace cubemill::test
