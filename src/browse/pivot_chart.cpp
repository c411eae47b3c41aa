#include "browse/pivot_chart.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "browse/pivot_names.h"

namespace cubemill::browse {
namespace {

using provider::cubefile::CellValue;
using query::CubeModel;
using Tuples = std::vector<std::vector<PivotHeader>>;

// "A", "A and B", "A, B and C".
std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

bool AnyTotal(const std::vector<PivotHeader>& headers) {
  return std::any_of(headers.begin(), headers.end(), [](const PivotHeader& h) { return h.total; });
}

std::optional<double> Number(const CellValue& value) {
  switch (value.kind) {
    case CellValue::Kind::kInteger:
      return static_cast<double>(value.integer);
    case CellValue::Kind::kReal:
      if (std::isfinite(value.real)) return value.real;
      return std::nullopt;
    case CellValue::Kind::kNull:
      break;
  }
  return std::nullopt;
}

std::optional<double> Cell(const PivotGrid& grid, std::size_t row, std::size_t column) {
  if (row >= grid.cells.size() || column >= grid.cells[row].size()) return std::nullopt;
  return Number(grid.cells[row][column]);
}

// The tuples of one axis the chart takes, and what they are when a drill chose them.
struct AxisChoice {
  std::vector<std::size_t> tuples;
  std::string shown;  // "City in España and France"; "" when no drill is charted
};

// The drilled members whose children are the tuples' headers at `k`, described in context.
std::string DrilledParents(const CubeModel& model, const Tuples& headers,
                           const std::vector<std::size_t>& tuples, std::size_t k) {
  ContextNames names(model);
  std::vector<std::size_t> parents;
  std::size_t level = npos;
  for (std::size_t t : tuples) {
    const std::size_t m = headers[t][k].member;
    if (m == npos || m >= model.MemberCount()) continue;
    level = model.LevelOf(m);
    const std::size_t parent = model.ParentOf(m);
    if (parent != CubeModel::npos &&
        std::find(parents.begin(), parents.end(), parent) == parents.end())
      parents.push_back(parent);
  }
  if (level == npos) return "";
  std::string text = model.Catalog().levels[level].name;
  if (parents.size() > 3)
    return text + " in " + std::to_string(parents.size()) + " drilled members";
  std::vector<std::string> parent_names;
  for (std::size_t p : parents) parent_names.push_back(names.Name(p));
  return parent_names.empty() ? text : text + " in " + Listed(parent_names);
}

// The tuples (no total) at the deepest level each field shows, so that a drilled member is not
// beside its own children; where no tuple is at every field's deepest level (NON EMPTY dropped
// them), the tuples with nothing drilled.
AxisChoice DeepestTuples(const CubeModel& model, const Tuples& headers) {
  std::vector<std::size_t> candidates;
  std::vector<int> deepest;
  for (std::size_t t = 0; t < headers.size(); ++t) {
    if (AnyTotal(headers[t])) continue;
    candidates.push_back(t);
    if (deepest.size() < headers[t].size()) deepest.resize(headers[t].size(), 0);
    for (std::size_t k = 0; k < headers[t].size(); ++k)
      deepest[k] = std::max(deepest[k], headers[t][k].indent);
  }
  AxisChoice choice;
  for (std::size_t t : candidates) {
    bool at_deepest = true;
    for (std::size_t k = 0; k < headers[t].size(); ++k)
      at_deepest = at_deepest && headers[t][k].indent == deepest[k];
    if (at_deepest) choice.tuples.push_back(t);
  }
  if (choice.tuples.empty()) {
    for (std::size_t t : candidates) {
      if (std::none_of(headers[t].begin(), headers[t].end(),
                       [](const PivotHeader& h) { return h.expanded; }))
        choice.tuples.push_back(t);
    }
    return choice;
  }
  std::vector<std::string> parts;
  for (std::size_t k = 0; k < deepest.size(); ++k) {
    if (deepest[k] > 0) parts.push_back(DrilledParents(model, headers, choice.tuples, k));
  }
  choice.shown = Listed(parts);
  return choice;
}

// Which levels of the tuples `which` hold the same caption in every tuple (such as the one
// measure), which a caption would only repeat; one level always stays.
std::vector<bool> SameLevels(const Tuples& headers, const std::vector<std::size_t>& which) {
  if (which.empty()) return {};
  const auto& first = headers[which.front()];
  std::vector<bool> same(first.size(), which.size() > 1);
  for (std::size_t i : which) {
    for (std::size_t k = 0; k < same.size() && k < headers[i].size(); ++k) {
      if (headers[i][k].caption != first[k].caption) same[k] = false;
    }
  }
  if (!same.empty() && std::all_of(same.begin(), same.end(), [](bool s) { return s; }))
    same.back() = false;
  return same;
}

std::string Caption(const std::vector<PivotHeader>& headers, const std::vector<bool>& same) {
  std::string caption;
  for (std::size_t k = 0; k < headers.size(); ++k) {
    if (k < same.size() && same[k]) continue;
    caption += (caption.empty() ? "" : " / ") + headers[k].caption;
  }
  return caption;
}

// Whether the values of `columns` add up in each of `rows`: one measure per row, a SUM or a COUNT.
bool AddsUp(const CubeModel& model, const PivotGrid& grid, const std::vector<std::size_t>& rows,
            const std::vector<std::size_t>& columns) {
  if (rows.empty() || columns.empty()) return false;
  const auto& measures = model.Catalog().measures;
  for (std::size_t r : rows) {
    const std::size_t measure = grid.MeasureAt(r, columns.front());
    if (measure >= measures.size()) return false;
    std::string function = measures[measure].function;
    for (char& c : function) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (function != "SUM" && function != "COUNT") return false;
    for (std::size_t c : columns)
      if (grid.MeasureAt(r, c) != measure) return false;
  }
  return true;
}

std::string Title(const CubeModel& model, const PivotLayout& layout) {
  const auto& catalog = model.Catalog();
  ContextNames names(model);
  std::vector<std::string> measures, fields;
  for (std::size_t m : layout.measures)
    if (m < catalog.measures.size()) measures.push_back(catalog.measures[m].name);
  for (const auto* axis : {&layout.rows, &layout.columns}) {
    for (const PivotField& field : *axis)
      if (field.level < catalog.levels.size()) fields.push_back(catalog.levels[field.level].name);
  }
  std::string title = Listed(measures);
  if (!fields.empty()) title += " by " + Listed(fields);
  for (const PivotSlicer& slicer : layout.slicers) {
    if (slicer.hierarchy >= model.HierarchyCount() || slicer.members.empty()) continue;
    std::string members;
    if (slicer.members.size() > 3) {
      members = std::to_string(slicer.members.size()) + " members";
    } else {
      for (std::size_t m : slicer.members)
        if (m < model.MemberCount()) members += (members.empty() ? "" : " + ") + names.Name(m);
    }
    title += ", " + model.HierarchyCaption(slicer.hierarchy) + ": " + members;
  }
  return title;
}

// The columns charted as series of their own: all, or past kChartMaxSeries the largest by their
// sum over `rows` (in the grid's order), with `other` set when the rest add up as one more.
std::vector<std::size_t> SeriesColumns(const CubeModel& model, const PivotGrid& grid,
                                       const std::vector<std::size_t>& rows,
                                       std::vector<std::size_t> columns, bool& other,
                                       std::vector<std::size_t>& rest) {
  other = false;
  if (columns.size() <= kChartMaxSeries) return columns;
  std::vector<double> sums;
  for (std::size_t c : columns) {
    double sum = 0;
    for (std::size_t r : rows) sum += Cell(grid, r, c).value_or(0);
    sums.push_back(sum);
  }
  std::vector<std::size_t> ranked(columns.size());
  for (std::size_t i = 0; i < ranked.size(); ++i) ranked[i] = i;
  std::stable_sort(ranked.begin(), ranked.end(),
                   [&sums](std::size_t a, std::size_t b) { return sums[a] > sums[b]; });
  std::vector<std::size_t> others;
  for (std::size_t i = kChartMaxSeries - 1; i < ranked.size(); ++i)
    others.push_back(columns[ranked[i]]);
  // The rest add up as one series when every column is of one additive measure: "Other" beside
  // series of another measure would be a sum of a part of the chart only.
  other = AddsUp(model, grid, rows, columns);
  const std::size_t kept = other ? kChartMaxSeries - 1 : kChartMaxSeries;
  ranked.resize(kept);
  std::sort(ranked.begin(), ranked.end());
  std::vector<std::size_t> chosen;
  for (std::size_t i : ranked) chosen.push_back(columns[i]);
  if (other) rest = std::move(others);
  return chosen;
}

}  // namespace

PivotChart ShapeChart(const CubeModel& model, const PivotLayout& layout, const PivotGrid& grid) {
  PivotChart chart;
  chart.title = Title(model, layout);
  const AxisChoice rows = DeepestTuples(model, grid.row_headers);
  const AxisChoice columns = DeepestTuples(model, grid.column_headers);
  chart.level_rows = rows.tuples.size();
  chart.level_columns = columns.tuples.size();
  chart.rows.assign(rows.tuples.begin(),
                    rows.tuples.begin() + static_cast<std::ptrdiff_t>(
                                              std::min(rows.tuples.size(), kChartMaxCategories)));
  const std::vector<bool> same_rows = SameLevels(grid.row_headers, chart.rows);
  for (std::size_t r : chart.rows)
    chart.categories.push_back(Caption(grid.row_headers[r], same_rows));

  std::vector<std::size_t> rest;
  const std::vector<std::size_t> kept =
      SeriesColumns(model, grid, chart.rows, columns.tuples, chart.other, rest);
  const std::vector<bool> same_columns = SameLevels(grid.column_headers, kept);
  for (std::size_t c : kept) {
    ChartSeries series{Caption(grid.column_headers[c], same_columns), {}, c};
    for (std::size_t r : chart.rows) series.values.push_back(Cell(grid, r, c));
    chart.series.push_back(std::move(series));
  }
  if (chart.other) {
    ChartSeries series{"Other", {}, npos};
    for (std::size_t r : chart.rows) {
      std::optional<double> sum;
      for (std::size_t c : rest)
        if (auto value = Cell(grid, r, c)) sum = sum.value_or(0) + *value;
      series.values.push_back(sum);
    }
    chart.series.push_back(std::move(series));
  }

  std::vector<std::string> parts;
  if (!rows.shown.empty()) parts.push_back("Rows: " + rows.shown);
  if (!columns.shown.empty()) parts.push_back("Columns: " + columns.shown);
  const std::string of = std::to_string(chart.level_columns);
  if (chart.other) {
    parts.push_back("top " + std::to_string(kChartMaxSeries - 1) + " of " + of +
                    " columns, the rest as Other");
  } else if (kept.size() < chart.level_columns) {
    parts.push_back("top " + std::to_string(kept.size()) + " of " + of + " columns");
  }
  for (const std::string& part : parts)
    chart.subtitle += (chart.subtitle.empty() ? "" : "; ") + part;
  return chart;
}

}  // namespace cubemill::browse
