#include "query/executor.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/key_table.h"
#include "provider/cubefile/stored_value_merge.h"
#include "query/axis_index.h"
#include "query/member_properties.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CellValue;

std::vector<std::string> Names(const CubeModel& model, const TupleList& tuples, std::size_t t) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < tuples.Arity(); ++i) {
    const std::size_t item = tuples.At(t)[i];
    names.push_back(tuples.shape[i] == kMeasuresHierarchy ? model.Catalog().measures[item].name
                                                          : model.Member(item).name);
  }
  return names;
}

std::vector<std::string> UniqueNames(const CubeModel& model, const TupleList& tuples,
                                     std::size_t t) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < tuples.Arity(); ++i) {
    const std::size_t item = tuples.At(t)[i];
    names.push_back(tuples.shape[i] == kMeasuresHierarchy
                        ? "[Measures]." + Bracketed(model.Catalog().measures[item].name)
                        : model.UniqueName(item));
  }
  return names;
}

// The DIMENSION PROPERTIES `names` of each member of tuple `t`.
std::vector<std::vector<std::string>> Properties(const CubeModel& model, const TupleList& tuples,
                                                 std::size_t t,
                                                 const std::vector<std::string>& names) {
  std::vector<std::vector<std::string>> members;
  for (std::size_t i = 0; i < tuples.Arity(); ++i) {
    std::vector<std::string> values;
    for (const std::string& name : names)
      values.push_back(PropertyValue(model, tuples.shape[i], tuples.At(t)[i], name));
    members.push_back(std::move(values));
  }
  return members;
}

std::size_t Multiplied(std::size_t a, std::size_t b) {
  return a != 0 && b > static_cast<std::size_t>(-1) / a ? static_cast<std::size_t>(-1) : a * b;
}

[[noreturn]] void FailCells(std::size_t rows, std::size_t columns, std::size_t limit) {
  const std::size_t cells = Multiplied(rows, columns);
  throw QueryFailure("the answer has " +
                     (cells == static_cast<std::size_t>(-1) ? "too many" : Grouped(cells)) +
                     " cells (" + Grouped(rows) + " rows x " + Grouped(columns) +
                     " columns), more than the limit of " + Grouped(limit));
}

}  // namespace

QueryResult Execute(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                    const BoundQuery& query, const QueryPlan& plan, std::size_t max_cells,
                    const std::atomic<bool>* cancel) {
  const TupleList& rows = query.rows.tuples;
  const TupleList& columns = query.columns.tuples;
  const bool non_empty = query.rows.non_empty || query.columns.non_empty;
  if (!non_empty && Multiplied(rows.count, columns.count) > max_cells)
    FailCells(rows.count, columns.count, max_cells);
  // The key table numbers cells with 32 bits.
  max_cells = std::min<std::size_t>(max_cells, UINT32_MAX - 2);

  MemberAncestry ancestry(model);
  const AxisIndex row_index(model, rows, ancestry);
  const AxisIndex column_index(model, columns, ancestry);
  const AxisIndex slicer_index(model, query.slicer, ancestry);

  QueryResult result;
  result.table = plan.table;
  result.column_property_names = query.columns.properties;
  result.row_property_names = query.rows.properties;
  result.slicer_measure = query.slicer.count == 0 ? QueryResult::npos : query.slicer.MeasureOf(0);
  const std::size_t fallback =
      result.slicer_measure == QueryResult::npos ? 0 : result.slicer_measure;
  std::vector<std::size_t> column_measure(columns.count), row_measure(rows.count);
  std::vector<std::size_t> row_or_slicer(rows.count);  // the measure where the column names none
  for (std::size_t c = 0; c < columns.count; ++c) column_measure[c] = columns.MeasureOf(c);
  for (std::size_t r = 0; r < rows.count; ++r) {
    row_measure[r] = rows.MeasureOf(r);
    row_or_slicer[r] = row_measure[r] == QueryResult::npos ? fallback : row_measure[r];
  }
  const auto& measures = model.Catalog().measures;
  // Each measure's values merge by the rule the builder and the stored rollups follow.
  std::vector<provider::AggregateFunction> combine;
  for (const auto& m : measures) {
    const auto function = provider::cubefile::FunctionOfMeasure(m);
    if (!function)
      throw std::runtime_error("measure [" + m.name + "] has an unknown function " + m.function);
    combine.push_back(*function);
  }

  // The cells with a value, keyed by (row tuple, column tuple).
  const std::size_t hierarchies = model.HierarchyCount();
  KeyTable cells(2, non_empty ? 0 : std::min<std::size_t>(rows.count * columns.count, 1 << 20));
  std::vector<CellValue> totals;
  std::vector<std::uint32_t> row(hierarchies), in_slicer, in_rows, in_columns;
  std::string fault;
  bool over_limit = false, cancelled = false;
  std::uint32_t rows_read = 0;
  const auto error =
      reader.ForEachCell(plan.table, [&](const std::int64_t* ids, const CellValue* values) {
        // A relaxed load every 1,024 rows: the flag is a request, not data to synchronise with.
        if (cancel != nullptr && (++rows_read & 1023U) == 0 &&
            cancel->load(std::memory_order_relaxed)) {
          cancelled = true;
          return false;
        }
        for (std::size_t h = 0; h < hierarchies; ++h) {
          const std::size_t m = model.MemberIndex(ids[h]);
          if (m == CubeModel::npos || model.HierarchyOf(m) != h) {
            fault = "table " + plan.table + " refers to member " + std::to_string(ids[h]) +
                    (m == CubeModel::npos ? ", which is not there"
                                          : ", which is not of hierarchy " + std::to_string(h + 1));
            return false;
          }
          row[h] = ancestry.LocalOf(m);
        }
        // A row under two tuples of the WHERE set (a year and one of its quarters) counts once.
        in_slicer.clear();
        slicer_index.Match(row.data(), in_slicer);
        if (in_slicer.empty()) return true;
        in_rows.clear();
        row_index.Match(row.data(), in_rows);
        if (in_rows.empty()) return true;
        in_columns.clear();
        column_index.Match(row.data(), in_columns);
        for (std::uint32_t c : in_columns) {
          for (std::uint32_t r : in_rows) {
            const std::size_t measure =
                column_measure[c] != QueryResult::npos ? column_measure[c] : row_or_slicer[r];
            const CellValue& value = values[measure];
            if (value.kind == CellValue::Kind::kNull) continue;
            const std::uint32_t key[2] = {r, c};
            const std::size_t id = cells.Insert(key);
            if (id < totals.size()) {
              provider::cubefile::MergeStoredValue(totals[id], value, combine[measure]);
            } else if (totals.size() < max_cells) {
              totals.push_back(value);
            } else {
              over_limit = true;
              return false;
            }
          }
        }
        return true;
      });
  if (error) throw std::runtime_error(error->description);
  if (!fault.empty()) throw std::runtime_error(fault);
  if (cancelled) throw QueryFailure("Cancelled");
  if (over_limit) {
    throw QueryFailure("the answer has more cells with a value than the limit of " +
                       Grouped(max_cells));
  }

  // NON EMPTY keeps the tuples that have a cell with a value; then the grid of what is kept.
  std::vector<std::uint32_t> row_at(rows.count, UINT32_MAX), column_at(columns.count, UINT32_MAX);
  std::vector<bool> row_used(rows.count, !query.rows.non_empty),
      column_used(columns.count, !query.columns.non_empty);
  for (std::size_t id = 0; id < cells.Size(); ++id) {
    row_used[cells.KeyOf(id)[0]] = true;
    column_used[cells.KeyOf(id)[1]] = true;
  }
  for (std::size_t r = 0; r < rows.count; ++r) {
    if (!row_used[r]) continue;
    row_at[r] = static_cast<std::uint32_t>(result.rows.size());
    result.rows.push_back(Names(model, rows, r));
    if (query.unique_names) result.row_unique_names.push_back(UniqueNames(model, rows, r));
    if (!query.rows.properties.empty())
      result.row_properties.push_back(Properties(model, rows, r, query.rows.properties));
    result.row_measure.push_back(row_measure[r]);
  }
  for (std::size_t c = 0; c < columns.count; ++c) {
    if (!column_used[c]) continue;
    column_at[c] = static_cast<std::uint32_t>(result.columns.size());
    result.columns.push_back(Names(model, columns, c));
    if (query.unique_names) result.column_unique_names.push_back(UniqueNames(model, columns, c));
    if (!query.columns.properties.empty())
      result.column_properties.push_back(Properties(model, columns, c, query.columns.properties));
    result.column_measure.push_back(column_measure[c]);
  }
  if (Multiplied(result.rows.size(), result.columns.size()) > max_cells)
    FailCells(result.rows.size(), result.columns.size(), max_cells);
  result.cells.assign(result.rows.size(), std::vector<CellValue>(result.columns.size()));
  for (std::size_t id = 0; id < cells.Size(); ++id) {
    const std::uint32_t* key = cells.KeyOf(id);
    result.cells[row_at[key[0]]][column_at[key[1]]] = totals[id];
  }
  return result;
}

}  // namespace cubemill::query
