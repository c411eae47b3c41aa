// The chart's shape over the shop cube: for each layout in tests/data/browse_chart (NAME.mdx),
// its title, subtitle, categories and series as NAME.txt writes them; and over every case, that
// no category stands beside its own drilled parent and that an "Other" series makes the charted
// series add up to the total column.
#include "browse/pivot_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pivot_test_cube.h"

namespace cubemill::browse::test {
namespace {

const std::filesystem::path kCases = std::filesystem::path(CUBEMILL_TEST_DATA_DIR) / "browse_chart";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Value(const std::optional<double>& value) {
  if (!value) return "-";
  std::ostringstream text;
  text << *value;
  return text.str();
}

// The chart as the cases' .txt files write it.
std::string Written(const PivotChart& chart) {
  std::ostringstream text;
  text << "title: " << chart.title << "\n";
  text << "subtitle: " << chart.subtitle << "\n";
  text << "level: " << chart.level_rows << " rows, " << chart.level_columns << " columns"
       << (chart.other ? ", other" : "") << "\n";
  text << "categories:";
  for (const std::string& category : chart.categories) text << " [" << category << "]";
  text << "\n";
  for (const ChartSeries& series : chart.series) {
    text << "[" << series.name << "]:";
    for (const auto& value : series.values) text << " " << Value(value);
    text << "\n";
  }
  return text.str();
}

class PivotChartTest : public PivotCubeTest {};

// No charted row (column) has its parent charted beside it in the same field.
void ExpectNoParentBesideChild(const query::CubeModel& model,
                               const std::vector<std::vector<PivotHeader>>& headers,
                               const std::vector<std::size_t>& tuples, const std::string& name) {
  for (std::size_t a : tuples) {
    for (std::size_t b : tuples) {
      for (std::size_t k = 0; k < headers[a].size() && k < headers[b].size(); ++k) {
        const std::size_t child = headers[b][k].member;
        if (headers[a][k].member == npos || child == npos) continue;
        EXPECT_NE(model.ParentOf(child), headers[a][k].member)
            << name << ": " << headers[a][k].caption << " beside " << headers[b][k].caption;
      }
    }
  }
}

// With "Other", the charted series add up, per category, to the row's total column.
void ExpectOtherCompletesTheTotal(const PivotGrid& grid, const PivotChart& chart,
                                  const std::string& name) {
  if (!chart.other) return;
  std::size_t total = npos;
  for (std::size_t c = 0; c < grid.Columns(); ++c) {
    for (const PivotHeader& header : grid.column_headers[c])
      if (header.total) total = c;
  }
  ASSERT_NE(total, npos) << name << ": the case needs a total column";
  for (std::size_t i = 0; i < chart.rows.size(); ++i) {
    double sum = 0;
    for (const ChartSeries& series : chart.series) sum += series.values[i].value_or(0);
    const auto& cell = grid.cells[chart.rows[i]][total];
    const double expected = cell.kind == provider::cubefile::CellValue::Kind::kInteger
                                ? static_cast<double>(cell.integer)
                                : cell.real;
    EXPECT_NEAR(sum, expected, 1e-9 * std::abs(expected)) << name << " " << chart.categories[i];
  }
}

TEST_F(PivotChartTest, EachLayoutGivesItsChart) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kCases)) {
    if (entry.path().extension() == ".mdx") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  ASSERT_GE(names.size(), 6u);
  for (const std::string& name : names) {
    const auto layout = LayoutFromMdx(*model_, ReadFile(kCases / (name + ".mdx")));
    ASSERT_TRUE(layout.ok()) << name << ": " << layout.error().description;
    const PivotGrid grid = Answer(*layout);
    const PivotChart chart = ShapeChart(*model_, *layout, grid);
    EXPECT_EQ(Written(chart), ReadFile(kCases / (name + ".txt"))) << name;
    ExpectNoParentBesideChild(*model_, grid.row_headers, chart.rows, name);
    std::vector<std::size_t> columns;
    for (const ChartSeries& series : chart.series)
      if (series.column != npos) columns.push_back(series.column);
    ExpectNoParentBesideChild(*model_, grid.column_headers, columns, name);
    ExpectOtherCompletesTheTotal(grid, chart, name);
    EXPECT_LE(chart.series.size(), kChartMaxSeries) << name;
  }
}

TEST_F(PivotChartTest, NoAnswerNoSeries) {
  PivotLayout layout = DefaultLayout(*model_);
  const PivotChart chart = ShapeChart(*model_, layout, PivotGrid{});
  EXPECT_TRUE(chart.series.empty());
  EXPECT_TRUE(chart.categories.empty());
  EXPECT_FALSE(chart.title.empty());
}

}  // namespace
}  // namespace cubemill::browse::test
