// The answer to a pivot layout's query laid out as the grid the window shows: each header's
// member found again from the unique name the engine gives, its indent and its + or -, the
// grand totals and the subtotals marked, and each cell's text as its measure's FORMAT shows it.
#include <string>
#include <unordered_map>
#include <vector>

#include "browse/pivot.h"
#include "browse/pivot_members.h"
#include "browse/pivot_names.h"
#include "query/value_format.h"

namespace cubemill::browse {

namespace {

using query::CubeModel;

// The headers of one axis's tuples. `fields` are the axis's fields in the order of the tuples'
// members; a measure, where the measures nest on the axis, comes after them. A member's caption
// is its name in context (ContextNames).
std::vector<std::vector<PivotHeader>> Headers(
    const CubeModel& model, ContextNames& context, const PivotLayout& layout,
    const std::vector<PivotField>& fields, const std::vector<std::vector<std::string>>& names,
    const std::vector<std::vector<std::string>>& unique_names,
    const std::vector<std::size_t>& measures) {
  // Only the members the fields can show are named: a field of a large level drilled into a
  // few members costs no more than what it shows.
  std::vector<std::unordered_map<std::string, std::size_t>> by_name(fields.size());
  std::vector<std::size_t> all(fields.size()), top(fields.size());
  for (std::size_t f = 0; f < fields.size(); ++f) {
    for (std::size_t m : ShownMembers(model, layout, fields[f], true))
      by_name[f].try_emplace(model.UniqueName(m), m);
    all[f] = AllMemberOf(model, fields[f].hierarchy);
    top[f] = static_cast<std::size_t>(model.Catalog().levels[fields[f].level].ordinal);
  }
  std::vector<std::vector<PivotHeader>> headers(names.size());
  for (std::size_t t = 0; t < names.size(); ++t) {
    headers[t].resize(names[t].size());
    bool total_named = false;
    for (std::size_t i = 0; i < names[t].size(); ++i) {
      PivotHeader& header = headers[t][i];
      if (i >= fields.size()) {
        header.caption = names[t][i];
        header.measure = t < measures.size() ? measures[t] : npos;
        continue;
      }
      std::size_t m = npos;
      if (t < unique_names.size() && i < unique_names[t].size()) {
        const auto found = by_name[i].find(unique_names[t][i]);
        if (found != by_name[i].end()) m = found->second;
      }
      if (m != npos && m == all[i]) {
        // The total tuple names each field's ALL member; one "Total" says it. A subtotal names
        // the outer member it totals: "CA Total".
        header.total = true;
        const bool subtotal = i > 0 && !headers[t][i - 1].total;
        header.caption =
            total_named ? "" : (subtotal ? headers[t][i - 1].caption + " " : "") + "Total";
        total_named = true;
        continue;
      }
      header.caption = names[t][i];
      if (m == npos) continue;
      header.member = m;
      header.caption = context.Name(m);
      header.indent = model.DepthOf(m) - static_cast<int>(top[i]);
      const bool has_children = !model.ChildrenOf(m).empty();
      header.expanded = has_children && layout.expanded.contains(m);
      header.can_expand = has_children && !header.expanded;
    }
  }
  return headers;
}

}  // namespace

std::size_t PivotGrid::MeasureAt(std::size_t row, std::size_t column) const {
  if (column < column_measure.size() && column_measure[column] != npos)
    return column_measure[column];
  if (row < row_measure.size() && row_measure[row] != npos) return row_measure[row];
  return slicer_measure != npos ? slicer_measure : 0;
}

const std::string& PivotGrid::FormatAt(std::size_t row, std::size_t column) const {
  static const std::string kNone;
  const std::size_t measure = MeasureAt(row, column);
  return measure < measure_formats.size() ? measure_formats[measure].format : kNone;
}

std::optional<int> PivotGrid::DecimalsAt(std::size_t row, std::size_t column) const {
  const std::size_t measure = MeasureAt(row, column);
  return measure < measure_formats.size() ? measure_formats[measure].decimals : std::nullopt;
}

Result<PivotGrid> AnswerPivot(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                              const PivotLayout& layout, const std::atomic<bool>* cancel,
                              const platform::NumberSeparators& separators) {
  if (auto error = CheckLayout(model, layout)) return *error;
  PivotGrid grid;
  grid.mdx = PivotMdx(model, layout);
  query::QueryOptions options;
  options.unique_names = true;
  options.cancel = cancel;
  auto answer = query::EvaluateMdx(reader, grid.mdx, options);
  if (!answer.ok()) return answer.error();
  query::QueryResult& result = *answer;

  const bool measures_on_rows = layout.measures_on_rows && !layout.columns.empty();
  ContextNames context(model);
  grid.row_headers =
      Headers(model, context, layout, layout.rows, result.rows, result.row_unique_names,
              measures_on_rows ? result.row_measure : std::vector<std::size_t>{});
  // One measure nested on the rows would repeat its name on every row: the measure column
  // shows only when there are several (row_measure still names each row's).
  if (measures_on_rows && layout.measures.size() == 1) {
    for (auto& headers : grid.row_headers) {
      if (headers.size() > layout.rows.size()) headers.resize(layout.rows.size());
    }
  }
  grid.column_headers =
      Headers(model, context, layout, layout.columns, result.columns, result.column_unique_names,
              measures_on_rows ? std::vector<std::size_t>{} : result.column_measure);
  grid.column_unique_names = std::move(result.column_unique_names);
  grid.row_unique_names = std::move(result.row_unique_names);
  grid.column_measure = std::move(result.column_measure);
  grid.row_measure = std::move(result.row_measure);
  grid.slicer_measure = result.slicer_measure;
  grid.measure_formats = query::FormatsOf(model.Catalog());
  grid.separators = separators;

  grid.texts.resize(result.cells.size());
  for (std::size_t r = 0; r < result.cells.size(); ++r) {
    grid.texts[r].reserve(result.cells[r].size());
    for (std::size_t c = 0; c < result.cells[r].size(); ++c) {
      const bool text = r < result.texts.size() && !result.texts[r][c].empty();
      grid.texts[r].push_back(text ? result.texts[r][c]
                                   : query::ReadableValue(result.cells[r][c], grid.FormatAt(r, c),
                                                          grid.DecimalsAt(r, c), separators));
    }
  }
  grid.cells = std::move(result.cells);
  return grid;
}

}  // namespace cubemill::browse
