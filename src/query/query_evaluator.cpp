#include "query/query_evaluator.h"

#include <algorithm>

#include "query/cube_model.h"
#include "query/mdx_parser.h"
#include "query/mdx_sets.h"
#include "query/query_failure.h"
#include "query/rollup_choice.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CellValue;
using provider::cubefile::CubeCatalog;

enum class Combine { kSum, kMin, kMax };

double AsReal(const CellValue& v) {
  return v.kind == CellValue::Kind::kInteger ? static_cast<double>(v.integer) : v.real;
}

// Adds `value` into `total` as the measure's function combines values.
void Accumulate(CellValue& total, const CellValue& value, Combine combine) {
  if (value.kind == CellValue::Kind::kNull) return;
  if (total.kind == CellValue::Kind::kNull) {
    total = value;
    return;
  }
  const bool integers =
      total.kind == CellValue::Kind::kInteger && value.kind == CellValue::Kind::kInteger;
  if (combine == Combine::kSum) {
    std::int64_t sum = 0;
    if (integers && !__builtin_add_overflow(total.integer, value.integer, &sum)) {
      total.integer = sum;
      return;
    }
    total = {CellValue::Kind::kReal, 0, AsReal(total) + AsReal(value)};
    return;
  }
  const bool smaller = integers ? value.integer < total.integer : AsReal(value) < AsReal(total);
  const bool larger = integers ? value.integer > total.integer : AsReal(value) > AsReal(total);
  if ((combine == Combine::kMin && smaller) || (combine == Combine::kMax && larger)) total = value;
}

Combine CombineOf(const std::string& function) {
  if (function == "MIN") return Combine::kMin;
  if (function == "MAX") return Combine::kMax;
  return Combine::kSum;  // SUM, and COUNT: counts of the parts add up
}

std::vector<std::string> Names(const CubeModel& model, const Tuple& tuple) {
  std::vector<std::string> names;
  for (const TupleItem& item : tuple) {
    names.push_back(item.hierarchy == TupleItem::kMeasures
                        ? model.Catalog().measures[item.index].name
                        : model.Member(item.index).name);
  }
  return names;
}

// The hierarchies (and measures) of the axes and the slicer, each on one of them only.
void CheckAxesApart(const CubeModel& model,
                    const std::vector<std::pair<const Tuple*, std::size_t>>& axes) {
  std::vector<std::size_t> seen;
  for (const auto& [tuple, position] : axes) {
    if (tuple == nullptr) continue;
    for (const TupleItem& item : *tuple) {
      if (std::find(seen.begin(), seen.end(), item.hierarchy) != seen.end()) {
        const std::string name = item.hierarchy == TupleItem::kMeasures
                                     ? std::string("[Measures]")
                                     : model.HierarchyName(item.hierarchy);
        throw QueryFailure(name + " appears on two axes", position);
      }
    }
    for (const TupleItem& item : *tuple) seen.push_back(item.hierarchy);
  }
}

// True when the cell with members `cell` (member indexes per hierarchy) lies under every
// member of `tuple`.
bool Under(const CubeModel& model, const std::vector<std::size_t>& cell, const Tuple& tuple) {
  for (const TupleItem& item : tuple) {
    if (item.hierarchy == TupleItem::kMeasures) continue;
    if (model.AncestorAt(cell[item.hierarchy], model.DepthOf(item.index)) != item.index)
      return false;
  }
  return true;
}

std::size_t MeasureOf(const Tuple& tuple, std::size_t otherwise) {
  for (const TupleItem& item : tuple)
    if (item.hierarchy == TupleItem::kMeasures) return item.index;
  return otherwise;
}

// Drops the rows, or the columns, whose cells are all NULL.
void DropEmpty(QueryResult& result, bool rows) {
  const auto empty = [&](std::size_t r, std::size_t c) {
    return result.cells[r][c].kind == CellValue::Kind::kNull;
  };
  if (rows) {
    std::size_t kept = 0;
    for (std::size_t r = 0; r < result.rows.size(); ++r) {
      bool all_empty = true;
      for (std::size_t c = 0; c < result.columns.size(); ++c) all_empty = all_empty && empty(r, c);
      if (all_empty) continue;
      if (kept != r) {
        result.rows[kept] = std::move(result.rows[r]);
        result.row_measure[kept] = result.row_measure[r];
        result.cells[kept] = std::move(result.cells[r]);
      }
      ++kept;
    }
    result.rows.resize(kept);
    result.row_measure.resize(kept);
    result.cells.resize(kept);
    return;
  }
  std::vector<std::size_t> keep;
  for (std::size_t c = 0; c < result.columns.size(); ++c) {
    bool all_empty = true;
    for (std::size_t r = 0; r < result.rows.size(); ++r) all_empty = all_empty && empty(r, c);
    if (!all_empty) keep.push_back(c);
  }
  std::vector<std::vector<std::string>> columns;
  std::vector<std::size_t> measures;
  for (std::size_t c : keep) {
    columns.push_back(std::move(result.columns[c]));
    measures.push_back(result.column_measure[c]);
  }
  result.columns = std::move(columns);
  result.column_measure = std::move(measures);
  for (auto& row : result.cells) {
    std::vector<CellValue> kept;
    for (std::size_t c : keep) kept.push_back(row[c]);
    row = std::move(kept);
  }
}

QueryResult Evaluate(const provider::cubefile::CubeReader& reader, const MdxQuery& query) {
  const CubeCatalog& catalog = reader.Catalog();
  const CubeModel model(catalog);
  if (!SameFolded(query.cube, catalog.name))
    throw QueryFailure("unknown cube [" + query.cube + "] (the file holds [" + catalog.name + "])",
                       query.cube_position);
  const TupleSet columns = EvaluateSet(model, query.columns.set);
  const TupleSet rows = query.rows ? EvaluateSet(model, query.rows->set) : TupleSet{Tuple{}};
  Tuple where;
  if (query.where) {
    const TupleSet slicer = EvaluateSet(model, *query.where);
    if (slicer.size() != 1) throw QueryFailure("WHERE needs one tuple", query.where->position);
    where = slicer.front();
  }
  CheckAxesApart(
      model, {{columns.empty() ? nullptr : &columns.front(), query.columns.set.position},
              {rows.empty() ? nullptr : &rows.front(), query.rows ? query.rows->set.position : 0},
              {&where, query.where ? query.where->position : 0}});
  if (catalog.measures.empty()) throw QueryFailure("the cube has no measure", 1);

  // The detail each hierarchy needs: the deepest level any member of the query is at.
  std::vector<int> needed(catalog.hierarchies.size(), 1);
  for (const TupleSet* set : {&columns, &rows}) {
    for (const Tuple& tuple : *set)
      for (const TupleItem& item : tuple)
        if (item.hierarchy != TupleItem::kMeasures)
          needed[item.hierarchy] = std::max(needed[item.hierarchy], model.DepthOf(item.index));
  }
  for (const TupleItem& item : where)
    if (item.hierarchy != TupleItem::kMeasures)
      needed[item.hierarchy] = std::max(needed[item.hierarchy], model.DepthOf(item.index));

  QueryResult result;
  result.table = ChooseCellTable(catalog, needed);
  for (const Tuple& tuple : columns) {
    result.columns.push_back(Names(model, tuple));
    result.column_measure.push_back(MeasureOf(tuple, QueryResult::npos));
  }
  for (const Tuple& tuple : rows) {
    result.rows.push_back(Names(model, tuple));
    result.row_measure.push_back(MeasureOf(tuple, QueryResult::npos));
  }
  result.slicer_measure = MeasureOf(where, QueryResult::npos);
  result.cells.assign(rows.size(), std::vector<CellValue>(columns.size()));

  std::vector<std::vector<std::size_t>> measure(rows.size(),
                                                std::vector<std::size_t>(columns.size()));
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < columns.size(); ++c)
      measure[r][c] = MeasureOf(columns[c], MeasureOf(rows[r], MeasureOf(where, 0)));
  std::vector<Combine> combine;
  for (const auto& m : catalog.measures) combine.push_back(CombineOf(m.function));

  auto cells = reader.ReadCells(result.table);
  if (!cells.ok()) throw std::runtime_error(cells.error().description);
  std::vector<std::size_t> cell(catalog.hierarchies.size());
  std::vector<std::size_t> in_rows, in_columns;
  for (std::size_t i = 0; i < cells->members.size(); ++i) {
    for (std::size_t h = 0; h < cell.size(); ++h) {
      cell[h] = model.MemberIndex(cells->members[i][h]);
      if (cell[h] == CubeModel::npos)
        throw std::runtime_error("table " + result.table + " refers to member " +
                                 std::to_string(cells->members[i][h]) + ", which is not there");
    }
    if (!Under(model, cell, where)) continue;
    in_rows.clear();
    in_columns.clear();
    for (std::size_t r = 0; r < rows.size(); ++r)
      if (Under(model, cell, rows[r])) in_rows.push_back(r);
    if (in_rows.empty()) continue;
    for (std::size_t c = 0; c < columns.size(); ++c)
      if (Under(model, cell, columns[c])) in_columns.push_back(c);
    for (std::size_t r : in_rows) {
      for (std::size_t c : in_columns) {
        const std::size_t m = measure[r][c];
        Accumulate(result.cells[r][c], cells->values[i][m], combine[m]);
      }
    }
  }
  if (query.columns.non_empty) DropEmpty(result, false);
  if (query.rows && query.rows->non_empty) DropEmpty(result, true);
  return result;
}

}  // namespace

std::size_t QueryResult::MeasureAt(std::size_t row, std::size_t column) const {
  if (column < column_measure.size() && column_measure[column] != npos)
    return column_measure[column];
  if (row < row_measure.size() && row_measure[row] != npos) return row_measure[row];
  return slicer_measure != npos ? slicer_measure : 0;
}

Result<QueryResult> EvaluateMdx(const provider::cubefile::CubeReader& reader, std::string_view mdx,
                                const QueryOptions& /*options*/) {
  auto query = ParseMdx(mdx);
  if (!query.ok()) return query.error();
  try {
    return Evaluate(reader, *query);
  } catch (const QueryFailure& failure) {
    return Error{failure.what(), 1, kQuerySource};
  } catch (const std::exception& failure) {
    return Error{failure.what(), 2, "cube file"};
  }
}

}  // namespace cubemill::query
