// The analyst's cube and the shipped sample's, built by the real engine from SQLite sources
// through the SQLite ODBC driver.
#pragma once

#include <string>

namespace cubemill::query::test {

// Creates the analyst's source at `source`: one table `sales` of 3,000 sales (order_id, region,
// country, city, category, product, year, quarter, month, quantity, price, amount) over
// 2022-2024, spread by arithmetic on the order number, plus four rows without any value that
// make members nobody sold: the months 2023-08 and 2024-02 and the cities Bilbao (Spain) and
// Quebec (Canada). Portugal sells nothing in 2023. Then builds the cube file `cube` of it with
// the engine's stored rollups:
//   Time (TYPE TIME): All Time, Year (2022), Quarter (2022-Q1), Month (2022-01);
//   Geography: All Geography, Region (America, Asia, Europe), Country, City;
//   Product: All Products, Category (4), Product (20);
//   measures Amount (SUM), Quantity (SUM), Orders (COUNT of order_id), Lowest Price (MIN of
//   price), Highest Price (MAX of price).
// Returns "" or what failed.
std::string BuildAnalystCube(const std::string& source, const std::string& cube);

// Creates the shipped sample's source at `source` from sample/make_sample_db.sql and builds the
// cube file `cube` with the statements of the sample's OQY file, as a job would, plus a view
// `facts` of the source: one row per sale with the names the cube derives from its date (year
// "2024", quarter "Quarter 2", month "May"), its place, its product and its measures.
// Returns "" or what failed.
std::string BuildShippedSampleCube(const std::string& source, const std::string& cube);

}  // namespace cubemill::query::test
