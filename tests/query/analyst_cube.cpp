#include "analyst_cube.h"

#include <string>

#include "query_test_cube.h"
#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::query::test {

namespace {

// Places and products are picked by arithmetic on the order number; the month from the 34 that
// sell. Portugal's picks of 2023 go to Monterrey and Tokyo instead. A price is the list price
// less a discount of 0 to 20 percent; the amount is quantity times price.
constexpr char kAnalystSource[] = R"sql(
CREATE TABLE places (id INTEGER PRIMARY KEY, region TEXT, country TEXT, city TEXT);
INSERT INTO places VALUES
  (1, 'Europe', 'Spain', 'Madrid'), (2, 'Europe', 'Spain', 'Sevilla'),
  (3, 'Europe', 'Spain', 'Valencia'), (4, 'Europe', 'Portugal', 'Lisbon'),
  (5, 'Europe', 'Portugal', 'Porto'), (6, 'Europe', 'France', 'Paris'),
  (7, 'Europe', 'France', 'Lyon'), (8, 'America', 'USA', 'Boston'),
  (9, 'America', 'USA', 'Chicago'), (10, 'America', 'USA', 'Denver'),
  (11, 'America', 'Canada', 'Toronto'), (12, 'America', 'Canada', 'Vancouver'),
  (13, 'America', 'Mexico', 'Monterrey'), (14, 'Asia', 'Japan', 'Tokyo'),
  (15, 'Asia', 'Japan', 'Osaka');
CREATE TABLE products (id INTEGER PRIMARY KEY, category TEXT, product TEXT, price REAL);
INSERT INTO products VALUES
  (1, 'Bikes', 'Road Bike', 899.0), (2, 'Bikes', 'Mountain Bike', 749.5),
  (3, 'Bikes', 'City Bike', 499.0), (4, 'Bikes', 'Kids Bike', 259.0),
  (5, 'Bikes', 'E-Bike', 1899.0), (6, 'Accessories', 'Helmet', 59.9),
  (7, 'Accessories', 'Lock', 24.95), (8, 'Accessories', 'Bottle', 7.5),
  (9, 'Accessories', 'Lights', 19.99), (10, 'Accessories', 'Pump', 29.0),
  (11, 'Accessories', 'Bell', 6.25), (12, 'Clothing', 'Jersey', 45.0),
  (13, 'Clothing', 'Gloves', 15.5), (14, 'Clothing', 'Cap', 9.99),
  (15, 'Clothing', 'Shorts', 39.0), (16, 'Clothing', 'Jacket', 119.0),
  (17, 'Components', 'Chain', 22.5), (18, 'Components', 'Tire', 31.0),
  (19, 'Components', 'Saddle', 49.0), (20, 'Components', 'Pedals', 35.75);
CREATE TABLE months AS
  WITH RECURSIVE m(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM m WHERE i < 35)
  SELECT 2022 + i / 12 AS year, (2022 + i / 12) || '-Q' || ((i % 12) / 3 + 1) AS quarter,
         (2022 + i / 12) || '-' || substr('0' || (i % 12 + 1), -2) AS month
  FROM m;
CREATE TABLE sales (order_id INTEGER, region TEXT, country TEXT, city TEXT, category TEXT,
  product TEXT, year INTEGER, quarter TEXT, month TEXT, quantity INTEGER, price REAL,
  amount REAL);
INSERT INTO sales
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000),
  picks AS (
    SELECT i, (i * 7919) % 3001 % 34 AS month_pick, 1 + (i * 104729) % 2999 % 15 AS place,
           1 + (i * 15485863) % 2909 % 20 AS product, 1 + (i * 31) % 97 % 7 AS quantity,
           round(1 - (i * 11) % 5 * 0.05, 2) AS discount
    FROM n),
  selling AS (SELECT ROW_NUMBER() OVER (ORDER BY month) - 1 AS pick, * FROM months
              WHERE month NOT IN ('2023-08', '2024-02'))
  SELECT p.i, g.region, g.country, g.city, r.category, r.product, m.year, m.quarter, m.month,
         p.quantity, round(r.price * p.discount, 2),
         round(p.quantity * round(r.price * p.discount, 2), 2)
  FROM picks p JOIN selling m ON m.pick = p.month_pick
  JOIN places g ON g.id = CASE WHEN m.year = 2023 AND p.place IN (4, 5) THEN p.place + 9
                               ELSE p.place END
  JOIN products r ON r.id = p.product
  ORDER BY p.i;
INSERT INTO sales VALUES
  (NULL, 'Europe', 'Spain', 'Madrid', 'Accessories', 'Helmet', 2023, '2023-Q3', '2023-08',
   NULL, NULL, NULL),
  (NULL, 'America', 'USA', 'Boston', 'Bikes', 'E-Bike', 2024, '2024-Q1', '2024-02',
   NULL, NULL, NULL),
  (NULL, 'Europe', 'Spain', 'Bilbao', 'Accessories', 'Bell', 2022, '2022-Q2', '2022-05',
   NULL, NULL, NULL),
  (NULL, 'America', 'Canada', 'Quebec', 'Clothing', 'Cap', 2024, '2024-Q4', '2024-11',
   NULL, NULL, NULL);
DROP TABLE places;
DROP TABLE products;
DROP TABLE months;
)sql";

constexpr char kAnalystCreateCube[] =
    "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, LEVEL [All Time] TYPE ALL, "
    "LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH, "
    "DIMENSION [Geography], LEVEL [All Geography] TYPE ALL, LEVEL [Region], LEVEL [Country], "
    "LEVEL [City], DIMENSION [Product], LEVEL [All Products] TYPE ALL, LEVEL [Category], "
    "LEVEL [Product], MEASURE [Amount] FUNCTION SUM, MEASURE [Quantity] FUNCTION SUM, "
    "MEASURE [Orders] FUNCTION COUNT, MEASURE [Lowest Price] FUNCTION MIN, "
    "MEASURE [Highest Price] FUNCTION MAX )";
// The time levels are fed one column each, so their members are named as the source names them.
constexpr char kAnalystInsertInto[] =
    "INSERT INTO Sales ( [Time].[Year], [Time].[Quarter], [Time].[Month], [Geography].[Region], "
    "[Geography].[Country], [Geography].[City], [Product].[Category], [Product].[Product], "
    "Measures.[Amount], Measures.[Quantity], Measures.[Orders], Measures.[Lowest Price], "
    "Measures.[Highest Price] ) SELECT year, quarter, month, region, country, city, category, "
    "product, amount, quantity, order_id, price, price FROM sales";

// The names the sample cube derives from a sale's date.
constexpr char kSampleFacts[] = R"sql(
CREATE VIEW facts AS
SELECT strftime('%Y', s.sale_date) AS year,
       'Quarter ' || ((CAST(strftime('%m', s.sale_date) AS INTEGER) + 2) / 3) AS quarter,
       CASE CAST(strftime('%m', s.sale_date) AS INTEGER)
         WHEN 1 THEN 'January' WHEN 2 THEN 'February' WHEN 3 THEN 'March'
         WHEN 4 THEN 'April' WHEN 5 THEN 'May' WHEN 6 THEN 'June' WHEN 7 THEN 'July'
         WHEN 8 THEN 'August' WHEN 9 THEN 'September' WHEN 10 THEN 'October'
         WHEN 11 THEN 'November' ELSE 'December' END AS month,
       CAST(strftime('%m', s.sale_date) AS INTEGER) AS month_number,
       c.country, c.city, p.category, p.product, s.quantity, s.amount, s.sale_id
FROM sales s JOIN cities c ON c.city_id = s.city_id JOIN products p ON p.product_id = s.product_id;
)sql";

// The text of the OQY connection line between `key` and the next of `end`, or "".
std::string Between(const std::string& text, const std::string& key, const std::string& end) {
  const std::size_t start = text.find(key);
  if (start == std::string::npos) return "";
  const std::size_t stop = text.find(end, start + key.size());
  if (stop == std::string::npos) return "";
  return text.substr(start + key.size(), stop - start - key.size());
}

}  // namespace

std::string BuildAnalystCube(const std::string& source, const std::string& cube) {
  cubemill::test::RunSqlite(source, kAnalystSource);
  return BuildCube(source, cube, kAnalystCreateCube, kAnalystInsertInto);
}

std::string BuildShippedSampleCube(const std::string& source, const std::string& cube) {
  const std::string sample = std::string(CUBEMILL_SOURCE_DIR) + "/sample/";
  cubemill::test::RunSqlite(source, cubemill::test::ReadBytes(sample + "make_sample_db.sql"));
  const std::string oqy = cubemill::test::ReadBytes(sample + "OQY-Dateien/rel01/Output_Detail.oqy");
  const std::string create = Between(oqy, "CreateCube=", ";InsertInto=");
  const std::string insert = Between(oqy, ";InsertInto=", ";Source_DSN=");
  if (create.empty() || insert.empty()) return "the sample's OQY file has no statements";
  const std::string error = BuildCube(source, cube, create, insert);
  cubemill::test::RunSqlite(source, kSampleFacts);
  return error;
}

}  // namespace cubemill::query::test
