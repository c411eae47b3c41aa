#include "query/execution/scan.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/key_table.h"
#include "provider/cubefile/stored_value_merge.h"
#include "query/binder/member_properties.h"
#include "query/execution/axis_index.h"
#include "query/execution/context.h"
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
                        ? MeasureUniqueName(model.Catalog().measures[item].name)
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
      values.push_back(AxisPropertyValue(model, tuples, t, i, name));
    members.push_back(std::move(values));
  }
  return members;
}

}  // namespace

void FailCells(std::size_t rows, std::size_t columns, std::size_t limit) {
  const std::size_t cells = Multiplied(rows, columns);
  throw QueryFailure("the answer has " + (cells == Context::kMany ? "too many" : Grouped(cells)) +
                     " cells (" + Grouped(rows) + " rows x " + Grouped(columns) +
                     " columns), more than the limit of " + Grouped(limit));
}

std::vector<provider::AggregateFunction> MeasureMerges(const CubeModel& model) {
  std::vector<provider::AggregateFunction> merges;
  for (const auto& m : model.Catalog().measures) {
    const auto function = provider::cubefile::FunctionOfMeasure(m);
    if (!function)
      throw std::runtime_error("measure [" + m.name + "] has an unknown function " + m.function);
    merges.push_back(*function);
  }
  return merges;
}

namespace {

// One scan: the measure of each cell, the rows read into the cells they count for, and the
// grid of what is kept.
class Scanner {
 public:
  Scanner(const CubeModel& model, const Grid& query, std::size_t max_cells)
      : model_(model),
        query_(query),
        rows_(query.rows.tuples),
        columns_(query.columns.tuples),
        max_cells_(max_cells),
        merges_(MeasureMerges(model)),
        cells_(2, query.rows.non_empty || query.columns.non_empty
                      ? 0
                      : std::min<std::size_t>(rows_.count * columns_.count, 1 << 20)) {
    slicer_measure_ = query.slicer.count == 0 ? QueryResult::npos : query.slicer.MeasureOf(0);
    const std::size_t fallback = slicer_measure_ == QueryResult::npos ? 0 : slicer_measure_;
    column_measure_.resize(columns_.count);
    row_measure_.resize(rows_.count);
    row_or_slicer_.resize(rows_.count);
    for (std::size_t c = 0; c < columns_.count; ++c) column_measure_[c] = columns_.MeasureOf(c);
    for (std::size_t r = 0; r < rows_.count; ++r) {
      row_measure_[r] = rows_.MeasureOf(r);
      row_or_slicer_[r] = row_measure_[r] == QueryResult::npos ? fallback : row_measure_[r];
    }
  }

  // Reads `table` once, adding each row's values into the cells it counts for.
  void Read(const provider::cubefile::CubeReader& reader, const std::string& table,
            const std::atomic<bool>* cancel) {
    MemberAncestry ancestry(model_);
    const AxisIndex row_index(model_, rows_, ancestry);
    const AxisIndex column_index(model_, columns_, ancestry);
    const AxisIndex slicer_index(model_, query_.slicer, ancestry);
    const std::size_t hierarchies = model_.HierarchyCount();
    std::vector<std::uint32_t> row(hierarchies), in_slicer, in_rows, in_columns;
    std::string fault;
    bool over_limit = false, cancelled = false;
    std::uint32_t rows_read = 0;
    const auto error =
        reader.ForEachCell(table, [&](const std::int64_t* ids, const CellValue* values) {
          // A relaxed load every 1,024 rows: the flag is a request, not data to synchronise with.
          if (cancel != nullptr && (++rows_read & 1023U) == 0 &&
              cancel->load(std::memory_order_relaxed)) {
            cancelled = true;
            return false;
          }
          for (std::size_t h = 0; h < hierarchies; ++h) {
            const std::size_t m = model_.MemberIndex(ids[h]);
            if (m == CubeModel::npos || model_.HierarchyOf(m) != h) {
              fault =
                  "table " + table + " refers to member " + std::to_string(ids[h]) +
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
          over_limit = !Add(values, in_rows, in_columns);
          return !over_limit;
        });
    if (error) throw std::runtime_error(error->description);
    if (!fault.empty()) throw std::runtime_error(fault);
    if (cancelled) throw QueryFailure("Cancelled");
    if (over_limit) {
      throw QueryFailure("the answer has more cells with a value than the limit of " +
                         Grouped(max_cells_));
    }
  }

  // The answer: NON EMPTY keeps the tuples that have a cell with a value; then the grid of what
  // is kept.
  QueryResult Answer(const std::string& table) const {
    QueryResult result;
    result.table = table;
    result.column_property_names = query_.columns.properties;
    result.row_property_names = query_.rows.properties;
    result.slicer_measure = slicer_measure_;
    if (query_.unique_names) {
      for (std::size_t t = 0; t < query_.slicer.count; ++t)
        result.slicer_tuples.push_back(UniqueNames(model_, query_.slicer, t));
    }
    std::vector<std::uint32_t> row_at(rows_.count, UINT32_MAX);
    std::vector<std::uint32_t> column_at(columns_.count, UINT32_MAX);
    std::vector<bool> row_used(rows_.count, !query_.rows.non_empty),
        column_used(columns_.count, !query_.columns.non_empty);
    for (std::size_t id = 0; id < cells_.Size(); ++id) {
      row_used[cells_.KeyOf(id)[0]] = true;
      column_used[cells_.KeyOf(id)[1]] = true;
    }
    for (std::size_t r = 0; r < rows_.count; ++r) {
      if (!row_used[r]) continue;
      row_at[r] = static_cast<std::uint32_t>(result.rows.size());
      result.rows.push_back(Names(model_, rows_, r));
      if (query_.unique_names) result.row_unique_names.push_back(UniqueNames(model_, rows_, r));
      if (!query_.rows.properties.empty())
        result.row_properties.push_back(Properties(model_, rows_, r, query_.rows.properties));
      result.row_measure.push_back(row_measure_[r]);
    }
    for (std::size_t c = 0; c < columns_.count; ++c) {
      if (!column_used[c]) continue;
      column_at[c] = static_cast<std::uint32_t>(result.columns.size());
      result.columns.push_back(Names(model_, columns_, c));
      if (query_.unique_names)
        result.column_unique_names.push_back(UniqueNames(model_, columns_, c));
      if (!query_.columns.properties.empty()) {
        result.column_properties.push_back(
            Properties(model_, columns_, c, query_.columns.properties));
      }
      result.column_measure.push_back(column_measure_[c]);
    }
    if (Multiplied(result.rows.size(), result.columns.size()) > max_cells_)
      FailCells(result.rows.size(), result.columns.size(), max_cells_);
    result.cells.assign(result.rows.size(), std::vector<CellValue>(result.columns.size()));
    for (std::size_t id = 0; id < cells_.Size(); ++id) {
      const std::uint32_t* key = cells_.KeyOf(id);
      result.cells[row_at[key[0]]][column_at[key[1]]] = totals_[id];
    }
    return result;
  }

 private:
  // Adds a row's `values` into the cells of its rows and columns; false past the limit of cells.
  bool Add(const CellValue* values, const std::vector<std::uint32_t>& in_rows,
           const std::vector<std::uint32_t>& in_columns) {
    for (std::uint32_t c : in_columns) {
      for (std::uint32_t r : in_rows) {
        const std::size_t measure =
            column_measure_[c] != QueryResult::npos ? column_measure_[c] : row_or_slicer_[r];
        const CellValue& value = values[measure];
        if (value.kind == CellValue::Kind::kNull) continue;
        const std::uint32_t key[2] = {r, c};
        const std::size_t id = cells_.Insert(key);
        if (id < totals_.size()) {
          provider::cubefile::MergeStoredValue(totals_[id], value, merges_[measure]);
        } else if (totals_.size() < max_cells_) {
          totals_.push_back(value);
        } else {
          return false;
        }
      }
    }
    return true;
  }

  const CubeModel& model_;
  const Grid& query_;
  const TupleList& rows_;
  const TupleList& columns_;
  const std::size_t max_cells_;
  const std::vector<provider::AggregateFunction> merges_;
  std::size_t slicer_measure_ = QueryResult::npos;
  std::vector<std::size_t> column_measure_, row_measure_;
  std::vector<std::size_t> row_or_slicer_;  // the measure where the column names none
  KeyTable cells_;                          // the cells with a value: (row tuple, column tuple)
  std::vector<CellValue> totals_;
};

}  // namespace

QueryResult Scan(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                 const Grid& query, const ScanPlan& plan, std::size_t max_cells,
                 const std::atomic<bool>* cancel) {
  const TupleList& rows = query.rows.tuples;
  const TupleList& columns = query.columns.tuples;
  const bool non_empty = query.rows.non_empty || query.columns.non_empty;
  if (!non_empty && Multiplied(rows.count, columns.count) > max_cells)
    FailCells(rows.count, columns.count, max_cells);
  // The key table numbers cells with 32 bits.
  Scanner scanner(model, query, std::min<std::size_t>(max_cells, UINT32_MAX - 2));
  scanner.Read(reader, plan.table, cancel);
  return scanner.Answer(plan.table);
}

}  // namespace cubemill::query
