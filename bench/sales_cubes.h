// The two cubes the speed benchmark builds from the generated sales source: their CREATE CUBE
// and INSERT INTO statements, which the engine's parsers read (the SELECT a build runs is the
// one inside INSERT INTO), and the GROUP BY a user would hand-roll with the sqlite3 shell for
// the same leaf cells.
#pragma once

#include <string>

namespace cubemill::bench {

// One cube of the benchmark.
struct SalesCube {
  const char* name;         // "coarse" or "fine"
  const char* grain;        // the leaf cells in words, for the report
  const char* create_cube;  // CREATE CUBE statement
  const char* insert_into;  // INSERT INTO ... SELECT statement
  const char* peer_select;  // the same leaf cells as one GROUP BY over src.sales
};

// month x country x category: 36 x 20 x 20 = 14,400 cells.
inline constexpr SalesCube kCoarseCube = {
    "coarse",
    "month x country x category",
    "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, LEVEL [All Time] TYPE ALL, "
    "LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH, "
    "DIMENSION [Geography], LEVEL [Country], "
    "DIMENSION [Product], LEVEL [Category], "
    "MEASURE [Quantity] FUNCTION SUM TYPE DBTYPE_I8, "
    "MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_R8, "
    "MEASURE [Sales] FUNCTION COUNT );",
    "INSERT INTO Sales([Time], [Geography].[Country], [Product].[Category], "
    "Measures.[Quantity], Measures.[Amount], Measures.[Sales]) "
    "SELECT sale_date, country, category, quantity, amount, quantity FROM sales",
    "SELECT strftime('%Y-%m', sale_date) AS month, country, category, "
    "SUM(quantity) AS quantity, SUM(amount) AS amount, COUNT(quantity) AS sales "
    "FROM src.sales GROUP BY 1, 2, 3",
};

// month x city x product: up to 36 x 400 x 300 = 4,320,000 cells (about 0.9 million filled at
// 1M source rows, 3.9 million at 10M).
inline constexpr SalesCube kFineCube = {
    "fine",
    "month x city x product",
    "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, LEVEL [All Time] TYPE ALL, "
    "LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH, "
    "DIMENSION [Geography], LEVEL [Country], LEVEL [City], "
    "DIMENSION [Product], LEVEL [Category], LEVEL [Product], "
    "MEASURE [Quantity] FUNCTION SUM TYPE DBTYPE_I8, "
    "MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_R8, "
    "MEASURE [Sales] FUNCTION COUNT );",
    "INSERT INTO Sales([Time], [Geography].[Country], [Geography].[City], "
    "[Product].[Category], [Product].[Product], "
    "Measures.[Quantity], Measures.[Amount], Measures.[Sales]) "
    "SELECT sale_date, country, city, category, product, quantity, amount, quantity FROM sales",
    "SELECT strftime('%Y-%m', sale_date) AS month, country, city, category, product, "
    "SUM(quantity) AS quantity, SUM(amount) AS amount, COUNT(quantity) AS sales "
    "FROM src.sales GROUP BY 1, 2, 3, 4, 5",
};

inline constexpr const SalesCube* kSalesCubes[] = {&kCoarseCube, &kFineCube};

// The query benchmark's cube with a large level, built from the customer source
// (EnsureCustomerSource): region x customer x category, 50 regions of 2,000 customers each.
// Not one of kSalesCubes: it reads another table.
inline constexpr SalesCube kCustomerCube = {
    "customers",
    "customer x category",
    "CREATE CUBE [Customers] ( DIMENSION [Customer], LEVEL [Region], LEVEL [Customer], "
    "DIMENSION [Product], LEVEL [Category], "
    "MEASURE [Quantity] FUNCTION SUM TYPE DBTYPE_I8, "
    "MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_R8 );",
    "INSERT INTO Customers([Customer].[Region], [Customer].[Customer], [Product].[Category], "
    "Measures.[Quantity], Measures.[Amount]) "
    "SELECT region, customer, category, quantity, amount FROM customer_sales",
    "SELECT region, customer, category, SUM(quantity) AS quantity, SUM(amount) AS amount "
    "FROM src.customer_sales GROUP BY 1, 2, 3",
};

// The cube named `name` (one of kSalesCubes, or kCustomerCube), or nullptr.
inline const SalesCube* FindSalesCube(const std::string& name) {
  for (const SalesCube* cube : kSalesCubes) {
    if (name == cube->name) return cube;
  }
  return name == kCustomerCube.name ? &kCustomerCube : nullptr;
}

// The ODBC connection string of the source at `path` as a user writes it; the engine adds the
// driver's streaming option itself.
inline std::string SalesSourceDsn(const std::string& path) {
  return "DRIVER=SQLite3;Database=" + path;
}

}  // namespace cubemill::bench
