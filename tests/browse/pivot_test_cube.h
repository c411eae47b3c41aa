// The cube of the pivot tests: a small shop built by the real engine from a SQLite source through
// the SQLite ODBC driver, and the pivot's grids keyed so that they compare with SQL over that
// source.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "browse/pivot.h"
#include "provider/cubefile/cube_reader.h"
#include "query/binder/cube_model.h"
#include "support/test_support.h"

namespace cubemill::browse::test {

// The shop, in its own temporary directory. Its source table `sales` (country, city, year,
// quarter, month, line, item, qty, price, amount) holds 14 sales of 2023 and 2024 in España,
// France and Ireland, with the cities "Bad]City" and `O'Neil "Town"` and the line "Gear]Box". The
// cube [Shop]: Store (All Stores, Country, City), Time (All Time, Year, Quarter "Q1".."Q4" under
// each year, Month "01".."12"), Product (Line, Item; no ALL level); the measures Qty (SUM of
// qty), Amount (SUM of amount, FORMAT '#,##0.00'), Low (MIN of price) and High (MAX of price).
class PivotCubeTest : public ::testing::Test {
 public:
  static constexpr char kSource[] = "shop.db";
  static constexpr char kCube[] = "shop.cub";

 protected:
  void SetUp() override;

  // The index of what a unique name names: a member, a level, a hierarchy or a measure.
  std::size_t Index(const std::string& unique_name) const;
  // Answers `layout`; an empty grid (and a test failure) when it fails.
  PivotGrid Answer(const PivotLayout& layout) const;

  cubemill::test::TempDir dir_;
  std::unique_ptr<provider::cubefile::CubeReader> reader_;
  std::unique_ptr<query::CubeModel> model_;
  std::size_t store_ = 0, time_ = 0, product_ = 0;            // hierarchies
  std::size_t country_ = 0, city_ = 0, year_ = 0, line_ = 0;  // levels
  std::size_t qty_ = 0, amount_ = 0, low_ = 0, high_ = 0;     // measures
};

// A header as the tests name it: the member's name after those of its ancestors up to its
// field's level ("2024/Q1"), "Total", or the measure's name.
std::string HeaderKey(const query::CubeModel& model, const PivotHeader& header);

// The keys of a grid's rows (columns): its headers' keys joined by " | ".
std::vector<std::string> RowKeys(const query::CubeModel& model, const PivotGrid& grid);
std::vector<std::string> ColumnKeys(const query::CubeModel& model, const PivotGrid& grid);

// SQL over the source giving, per cell, the row's key, the column's key and the value: `value`
// grouped by the key expressions `row` and `column` over `from` (FROM and WHERE), plus, where a
// total key is given, the rows of the total row (keyed `row_total`) and of the total column
// (keyed `column_total`), and their corner.
std::string PivotSql(const std::string& row, const std::string& column, const std::string& value,
                     const std::string& from, const std::string& row_total = "",
                     const std::string& column_total = "");

// Expects the grid's cells with a value to be the rows of `sql` over `source`, keyed as above,
// numbers within a relative 1e-9; NULL rows of the SQL stand for cells without a value.
void ExpectCellsAsSql(const query::CubeModel& model, const PivotGrid& grid,
                      const std::string& source, const std::string& sql);

}  // namespace cubemill::browse::test
