// What the chart of a pivot's answer shows, without its widgets: one category per row, one series
// per column, totals left out. A drilled member is not drawn beside its own children (they would
// count it twice): each axis shows its deepest level on view, which is the drilled member's
// children when one member is drilled, and the subtitle says so. Past kChartMaxSeries columns,
// the chart keeps the largest by their sum over the categories and, where the values add up
// (SUM and COUNT of one measure), draws the rest as one series "Other", their sum; where they do
// not (MIN, MAX, several measures), it keeps kChartMaxSeries and says it shows the top of them.
// The title names the measures, the fields and the slice ("Qty by Country, Time: 2024").
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "query/binder/cube_model.h"

namespace cubemill::browse {

inline constexpr std::size_t kChartMaxCategories = 40;
inline constexpr std::size_t kChartMaxSeries = 12;

struct ChartSeries {
  std::string name;
  std::vector<std::optional<double>> values;  // [category]; nothing where the cell has none
  std::size_t column = npos;                  // the grid's column; npos for "Other"
  bool operator==(const ChartSeries&) const = default;
};

struct PivotChart {
  std::string title;     // measures by fields, then the slicers: "Qty by Country, Time: 2024"
  std::string subtitle;  // what of the answer it shows: "Rows: City in España"; "" for all of it
  std::vector<std::string> categories;  // the rows' captions
  std::vector<std::size_t> rows;        // [category] the grid's row
  std::vector<ChartSeries> series;      // in the grid's order, "Other" last
  // The rows (columns) of the charted level: the categories are the first kChartMaxCategories
  // of those rows; the series some or all of those columns.
  std::size_t level_rows = 0;
  std::size_t level_columns = 0;
  bool other = false;  // the last series is "Other"
  bool operator==(const PivotChart&) const = default;
};

// The chart of `grid`, the answer to `layout`.
PivotChart ShapeChart(const query::CubeModel& model, const PivotLayout& layout,
                      const PivotGrid& grid);

}  // namespace cubemill::browse
