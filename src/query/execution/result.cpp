// The answer of a computed query: the kept rows and columns, their names and properties, and
// the cells' values and texts.
#include <string>
#include <vector>

#include "query/binder/member_properties.h"
#include "query/execution/evaluation.h"

namespace cubemill::query {

QueryResult Evaluation::Result(const Grid& grid,
                               const std::vector<std::vector<Value>>& cells) const {
  const TupleList& rows = grid.rows.tuples;
  const TupleList& columns = grid.columns.tuples;
  // NON EMPTY keeps the rows and columns with a value.
  std::vector<bool> row_kept(rows.count, !grid.rows.non_empty);
  std::vector<bool> column_kept(columns.count, !grid.columns.non_empty);
  for (std::size_t r = 0; r < rows.count; ++r) {
    for (std::size_t c = 0; c < columns.count; ++c) {
      if (cells[r][c].Empty()) continue;
      row_kept[r] = true;
      column_kept[c] = true;
    }
  }
  const auto names = [&](const TupleList& tuples, std::size_t t, bool unique) {
    return TupleNames(tuples, t, unique);
  };
  QueryResult result;
  for (const std::string& table : tables_)
    result.table += (result.table.empty() ? "" : ", ") + table;
  result.slicer_measure = grid.slicer.count == 0 ? QueryResult::npos : grid.slicer.MeasureOf(0);
  if (options_.unique_names) {
    for (std::size_t t = 0; t < grid.slicer.count; ++t)
      result.slicer_tuples.push_back(names(grid.slicer, t, true));
  }
  result.column_property_names = grid.columns.properties;
  result.row_property_names = grid.rows.properties;
  for (std::size_t c = 0; c < columns.count; ++c) {
    if (!column_kept[c]) continue;
    result.columns.push_back(names(columns, c, false));
    result.column_measure.push_back(columns.MeasureOf(c));
    if (options_.unique_names) result.column_unique_names.push_back(names(columns, c, true));
    if (!grid.columns.properties.empty())
      result.column_properties.push_back(Properties(columns, c, grid.columns.properties));
  }
  bool texts = false;
  for (std::size_t r = 0; r < rows.count; ++r) {
    if (!row_kept[r]) continue;
    result.rows.push_back(names(rows, r, false));
    result.row_measure.push_back(rows.MeasureOf(r));
    if (options_.unique_names) result.row_unique_names.push_back(names(rows, r, true));
    if (!grid.rows.properties.empty())
      result.row_properties.push_back(Properties(rows, r, grid.rows.properties));
    std::vector<provider::cubefile::CellValue> row_cells;
    std::vector<std::string> row_texts;
    for (std::size_t c = 0; c < columns.count; ++c) {
      if (!column_kept[c]) continue;
      const Value& value = cells[r][c];
      row_cells.push_back(ToCell(value));
      if (value.type == Value::Type::kString) {
        row_texts.push_back(value.text);
        texts = true;
      } else if (value.type == Value::Type::kBool) {
        row_texts.push_back(value.truth ? "True" : "False");
        texts = true;
      } else {
        row_texts.emplace_back();
      }
    }
    result.cells.push_back(std::move(row_cells));
    result.texts.push_back(std::move(row_texts));
  }
  if (!texts) result.texts.clear();
  for (const BoundFormula& f : bound_.formulas) {
    if (f.hierarchy == kMeasuresHierarchy)
      result.calculated_formats.push_back(f.source->format_string.value_or(""));
  }
  return result;
}

// The DIMENSION PROPERTIES `names` of each member of tuple `t`; a calculated member has no
// parent, no children and stands at level 0 (its MEMBER_TYPE is 4, a formula).
std::vector<std::vector<std::string>> Evaluation::Properties(
    const TupleList& tuples, std::size_t t, const std::vector<std::string>& names) const {
  std::vector<std::vector<std::string>> members;
  for (std::size_t i = 0; i < tuples.Arity(); ++i) {
    const std::size_t h = tuples.shape[i], item = tuples.At(t)[i];
    std::vector<std::string> values;
    for (const std::string& name : names) {
      if (bound_.FormulaOfItem(model_, h, item) == nullptr) {
        values.push_back(AxisPropertyValue(model_, tuples, t, i, name));
      } else if (name == "MEMBER_TYPE") {
        values.push_back("4");
      } else if (name == "HIERARCHY_UNIQUE_NAME") {
        values.push_back(h == kMeasuresHierarchy ? "[Measures]" : model_.HierarchyName(h));
      } else if (name == "MEMBER_UNIQUE_NAME") {
        values.push_back(UniqueName(h, item));
      } else if (name == "MEMBER_NAME" || name == "MEMBER_CAPTION") {
        values.push_back(Caption(h, item));
      } else {
        values.push_back(IsNumericProperty(name) ? "0" : "");
      }
    }
    members.push_back(std::move(values));
  }
  return members;
}

std::vector<std::string> Evaluation::TupleNames(const TupleList& tuples, std::size_t t,
                                                bool unique) const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < tuples.Arity(); ++i) {
    out.push_back(unique ? UniqueName(tuples.shape[i], tuples.At(t)[i])
                         : Caption(tuples.shape[i], tuples.At(t)[i]));
  }
  return out;
}

}  // namespace cubemill::query
