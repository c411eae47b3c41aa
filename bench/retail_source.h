// The warm XMLA benchmark's source: a retail sales warehouse the size of the classic sample
// ones, as a star schema in a SQLite database (a fact table and four dimension tables), with
// the CREATE CUBE and INSERT INTO statements of its cube.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cubemill::bench {

// What GenerateRetailSource wrote, with the totals the cube must give back.
//   store(store_id, store_name, store_city, store_state, store_country)
//       25 stores in 25 cities of 12 states of the USA, Canada and Mexico
//   product(product_id, product_name, product_category, product_department, product_family,
//           price_cents)
//       1,500 products, 25 per category: 60 categories, 20 departments, 3 families
//   customer(customer_id, customer_name, city, state_province, country)
//       10,000 customers in 96 towns, 8 in each of the stores' 12 states
//   promotion(promotion_id, promotion_name)   "No Promotion" and 49 others
//   sales_fact(sale_date, store_id, product_id, customer_id, promotion_id, unit_sales,
//              store_sales, store_cost)
//       each row a day of 2023-2024, a customer, a product, a store (mostly one in the
//       customer's state), a promotion (none for 70 % of the rows), 1-6 units; store_sales is
//       the units times the product's price (0.50-9.99), store_cost 40-60 % of it, both in
//       whole cents stored as REAL
struct RetailSource {
  std::string path;
  std::int64_t rows = 0;
  std::uint64_t seed = 0;
  std::int64_t unit_sales_total = 0;   // SUM(unit_sales)
  std::int64_t sales_cents_total = 0;  // SUM(store_sales) in cents, exact
  std::int64_t cost_cents_total = 0;   // SUM(store_cost) in cents, exact
};

// Writes the source of `rows` fact rows drawn from `seed` to `path` (replacing a file there) in
// one transaction. The same rows and seed give the same file content on every platform. On
// failure sets `error` and returns nothing.
std::optional<RetailSource> GenerateRetailSource(const std::string& path, std::int64_t rows,
                                                 std::uint64_t seed, std::string& error);

// The cube Sales: Time (Year, Quarter, Month from sale_date; no ALL level, as in the classic
// warehouse), Store (All Stores, Store Country, Store State, Store City, Store Name), Product
// (All Products, Product Family, Product Department, Product Category, Product Name), Customer
// (All Customers, Country, State Province, City, Name), Promotion (All Promotions, Promotion
// Name); the measures Unit Sales (SUM, DBTYPE_I8), Store Sales and Store Cost (SUM,
// DBTYPE_R8) and Sales Count (COUNT).
inline constexpr char kRetailCreateCube[] =
    "CREATE CUBE [Sales] ( "
    "DIMENSION [Time] TYPE TIME, LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, "
    "LEVEL [Month] TYPE MONTH, "
    "DIMENSION [Store], LEVEL [All Stores] TYPE ALL, LEVEL [Store Country], "
    "LEVEL [Store State], LEVEL [Store City], LEVEL [Store Name], "
    "DIMENSION [Product], LEVEL [All Products] TYPE ALL, LEVEL [Product Family], "
    "LEVEL [Product Department], LEVEL [Product Category], LEVEL [Product Name], "
    "DIMENSION [Customer], LEVEL [All Customers] TYPE ALL, LEVEL [Country], "
    "LEVEL [State Province], LEVEL [City], LEVEL [Name], "
    "DIMENSION [Promotion], LEVEL [All Promotions] TYPE ALL, LEVEL [Promotion Name], "
    "MEASURE [Unit Sales] FUNCTION SUM TYPE DBTYPE_I8 FORMAT '#,##0', "
    "MEASURE [Store Sales] FUNCTION SUM TYPE DBTYPE_R8 FORMAT '#,##0.00', "
    "MEASURE [Store Cost] FUNCTION SUM TYPE DBTYPE_R8 FORMAT '#,##0.00', "
    "MEASURE [Sales Count] FUNCTION COUNT )";

// The fact rows joined to their dimensions, as a warehouse's cube is fed.
inline constexpr char kRetailInsertInto[] =
    "INSERT INTO Sales([Time], [Store].[Store Country], [Store].[Store State], "
    "[Store].[Store City], [Store].[Store Name], [Product].[Product Family], "
    "[Product].[Product Department], [Product].[Product Category], [Product].[Product Name], "
    "[Customer].[Country], [Customer].[State Province], [Customer].[City], [Customer].[Name], "
    "[Promotion].[Promotion Name], Measures.[Unit Sales], Measures.[Store Sales], "
    "Measures.[Store Cost], Measures.[Sales Count]) "
    "SELECT f.sale_date, s.store_country, s.store_state, s.store_city, s.store_name, "
    "p.product_family, p.product_department, p.product_category, p.product_name, "
    "c.country, c.state_province, c.city, c.customer_name, m.promotion_name, "
    "f.unit_sales, f.store_sales, f.store_cost, f.unit_sales "
    "FROM sales_fact f, store s, product p, customer c, promotion m "
    "WHERE f.store_id = s.store_id AND f.product_id = p.product_id "
    "AND f.customer_id = c.customer_id AND f.promotion_id = m.promotion_id";

}  // namespace cubemill::bench
