#include "query/drillthrough.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "query/binder/binder.h"
#include "query/binder/cube_model.h"
#include "query/execution/evaluation.h"
#include "query/parser/mdx_parser.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CellValue;
constexpr std::size_t npos = CubeModel::npos;

// The columns: levels (by index) and measures (by index).
struct Columns {
  std::vector<std::size_t> levels, measures;
};

std::string LevelUniqueName(const CubeModel& model, std::size_t level) {
  return model.HierarchyName(model.LevelHierarchy(level)) + "." +
         Bracketed(model.Catalog().levels[level].name);
}

// RETURN's names as columns; without RETURN, each hierarchy's leaf level and every measure.
Columns ColumnsOf(const CubeModel& model, const MdxDrillthrough& statement) {
  Columns columns;
  if (statement.returns.empty()) {
    for (std::size_t h = 0; h < model.HierarchyCount(); ++h)
      columns.levels.push_back(model.LevelsOf(h).back());
    for (std::size_t m = 0; m < model.Catalog().measures.size(); ++m) columns.measures.push_back(m);
    return columns;
  }
  for (const std::vector<NamePart>& name : statement.returns) {
    const NameRef ref = model.Resolve(name, name.front().position);
    if (ref.kind == NameRef::Kind::kLevel) {
      columns.levels.push_back(ref.index);
    } else if (ref.kind == NameRef::Kind::kHierarchy) {
      columns.levels.push_back(model.LevelsOf(ref.index).back());
    } else if (ref.kind == NameRef::Kind::kMeasure) {
      columns.measures.push_back(ref.index);
    } else {
      throw QueryFailure("RETURN takes levels, hierarchies and measures, not " + NameText(name),
                         name.front().position);
    }
  }
  return columns;
}

// The member each hierarchy's coordinate of the cell names (npos where none does), from the
// tuple of each axis.
std::vector<std::size_t> CellMembers(const CubeModel& model, const Grid& grid, bool& empty) {
  std::vector<std::size_t> cell(model.HierarchyCount(), npos);
  const std::pair<const GridAxis*, const char*> axes[] = {{&grid.columns, "columns"},
                                                          {&grid.rows, "rows"}};
  for (const auto& [axis, name] : axes) {
    const TupleList& tuples = axis->tuples;
    if (tuples.count == 0) empty = true;
    if (tuples.count > 1) {
      throw QueryFailure(std::string("DRILLTHROUGH needs one cell: the ") + name + " axis has " +
                             Grouped(tuples.count) + " tuples",
                         axis->position);
    }
    for (std::size_t i = 0; i < tuples.Arity() && tuples.count == 1; ++i)
      if (tuples.shape[i] != kMeasuresHierarchy) cell[tuples.shape[i]] = tuples.items[i];
  }
  return cell;
}

// Whether the leaf member `m` lies at or under `member`.
bool Under(const CubeModel& model, std::size_t m, std::size_t member) {
  return model.AncestorAt(m, model.DepthOf(member)) == member;
}

// Reads the leaf cells under the cell and keeps their columns.
class DrillthroughReader {
 public:
  DrillthroughReader(const CubeModel& model, const Grid& grid, Columns columns,
                     const MdxDrillthrough& statement, const QueryOptions& options)
      : model_(model), grid_(grid), columns_(std::move(columns)), options_(options) {
    bool empty = grid.slicer.count == 0;
    cell_ = CellMembers(model, grid, empty);
    empty_ = empty;
    max_rows_ = statement.max_rows ? static_cast<std::size_t>(*statement.max_rows) : npos;
  }

  DrillthroughResult Read(const provider::cubefile::CubeReader& reader) {
    for (std::size_t level : columns_.levels)
      result_.columns.push_back(LevelUniqueName(model_, level));
    result_.level_columns = columns_.levels.size();
    for (std::size_t measure : columns_.measures)
      result_.columns.push_back(MeasureUniqueName(model_.Catalog().measures[measure].name));
    if (empty_) return result_;
    std::string fault;
    bool cancelled = false;
    std::size_t read = 0;
    const auto error =
        reader.ForEachCell("cells", [&](const std::int64_t* ids, const CellValue* values) {
          if (options_.cancel != nullptr && (++read & 1023U) == 0 && options_.cancel->load()) {
            cancelled = true;
            return false;
          }
          return Take(ids, values, fault);
        });
    if (error) throw std::runtime_error(error->description);
    if (!fault.empty()) throw std::runtime_error(fault);
    if (cancelled) throw QueryFailure("Cancelled");
    return result_;
  }

 private:
  // Keeps the leaf cell `ids`, `values` when it lies under the cell; false to stop reading.
  bool Take(const std::int64_t* ids, const CellValue* values, std::string& fault) {
    const std::size_t hierarchies = model_.HierarchyCount();
    members_.resize(hierarchies);
    for (std::size_t h = 0; h < hierarchies; ++h) {
      members_[h] = model_.MemberIndex(ids[h]);
      if (members_[h] == npos || model_.HierarchyOf(members_[h]) != h) {
        fault = "table cells refers to member " + std::to_string(ids[h]) + ", which is not there";
        return false;
      }
      if (cell_[h] != npos && !Under(model_, members_[h], cell_[h])) return true;
    }
    if (!InSlicer()) return true;
    if (result_.members.size() == max_rows_) {
      result_.truncated = true;
      return false;
    }
    if ((result_.members.size() + 1) * std::max<std::size_t>(result_.columns.size(), 1) >
        options_.max_cells) {
      throw QueryFailure("the drillthrough has more fields than the limit of " +
                         Grouped(options_.max_cells) + ": ask for fewer rows with MAXROWS");
    }
    std::vector<std::string> names;
    for (std::size_t level : columns_.levels) {
      const std::size_t h = model_.LevelHierarchy(level);
      const std::size_t at = model_.AncestorAt(members_[h], model_.Catalog().levels[level].ordinal);
      names.push_back(at == npos ? std::string() : model_.Member(at).name);
    }
    std::vector<CellValue> row;
    for (std::size_t measure : columns_.measures) row.push_back(values[measure]);
    result_.members.push_back(std::move(names));
    result_.values.push_back(std::move(row));
    return true;
  }

  // Whether the leaf cell in members_ lies under a tuple of the WHERE clause.
  bool InSlicer() const {
    const TupleList& slicer = grid_.slicer;
    for (std::size_t t = 0; t < slicer.count; ++t) {
      bool under = true;
      for (std::size_t i = 0; i < slicer.Arity() && under; ++i) {
        if (slicer.shape[i] == kMeasuresHierarchy) continue;
        under = Under(model_, members_[slicer.shape[i]], slicer.At(t)[i]);
      }
      if (under) return true;
    }
    return false;
  }

  const CubeModel& model_;
  const Grid& grid_;
  const Columns columns_;
  const QueryOptions& options_;
  std::vector<std::size_t> cell_;
  bool empty_ = false;
  std::size_t max_rows_ = npos;
  std::vector<std::size_t> members_;
  DrillthroughResult result_;
};

}  // namespace

Result<DrillthroughResult> EvaluateDrillthrough(const provider::cubefile::CubeReader& reader,
                                                std::string_view mdx, const QueryOptions& options) {
  auto statement = ParseDrillthrough(mdx);
  if (!statement.ok()) return statement.error();
  return Answered<DrillthroughResult>(kQuerySource, [&] {
    const MdxQuery& select = statement->select;
    if (!select.formulas.empty() || !select.subselect.empty())
      throw QueryFailure("DRILLTHROUGH answers a cell of the cube: no WITH clause or subselect");
    const CubeModel model(reader.Catalog());
    const BoundQuery bound = Bind(model, select);
    Columns columns = ColumnsOf(model, *statement);
    Evaluation evaluation(reader, model, bound, options);
    const Grid grid = evaluation.Tuples();
    DrillthroughReader drill(model, grid, std::move(columns), *statement, options);
    return drill.Read(reader);
  });
}

}  // namespace cubemill::query
