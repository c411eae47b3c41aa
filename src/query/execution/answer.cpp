// The answer of an evaluation: the axes, the WHERE clause and the subselect, then the cells,
// scanned from one table or computed.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "query/binder/member_properties.h"
#include "query/execution/evaluation.h"
#include "query/execution/scan.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

// Fails when the WHERE tuples name more than one measure: a cell adds up one measure's values,
// and the values of two measures do not add up to anything.
void CheckSlicerMeasures(const CubeModel& model, const TupleList& slicer, std::size_t position) {
  const std::size_t first = slicer.count == 0 ? CubeModel::npos : slicer.MeasureOf(0);
  for (std::size_t t = 1; t < slicer.count && first != CubeModel::npos; ++t) {
    const std::size_t measure = slicer.MeasureOf(t);
    if (measure != first) {
      const auto& measures = model.Catalog().measures;
      throw QueryFailure("WHERE names more than one measure (" + Bracketed(measures[first].name) +
                             ", " + Bracketed(measures[measure].name) +
                             "): a cell shows one measure, so put the measures on an axis",
                         position);
    }
  }
}

// Fails when a hierarchy (or [Measures]) is on two of the axes and the WHERE clause.
void CheckAxesApart(const Context& context, const Grid& grid) {
  std::vector<std::size_t> seen;
  std::vector<std::pair<const TupleList*, std::size_t>> parts{
      {&grid.columns.tuples, grid.columns.position}, {&grid.rows.tuples, grid.rows.position}};
  if (grid.pages) parts.emplace_back(&grid.pages->tuples, grid.pages->position);
  parts.emplace_back(&grid.slicer, grid.slicer_position);
  for (const auto& [tuples, position] : parts) {
    if (tuples->count == 0) continue;
    for (std::size_t h : tuples->shape) {
      if (std::find(seen.begin(), seen.end(), h) != seen.end())
        throw QueryFailure(context.Described(h) + " appears on two axes", position);
    }
    seen.insert(seen.end(), tuples->shape.begin(), tuples->shape.end());
  }
}

}  // namespace

TupleList Evaluation::AxisSet(const MdxExpression& e, const char* axis) {
  Context context(*this, default_);
  const std::size_t count = context.Count(e);
  if (count > options_.max_axis_tuples) {
    throw QueryFailure(std::string("the ") + axis + " axis has " +
                       TuplesOverLimit(count, options_.max_axis_tuples));
  }
  return Visible(context.Build(e));
}

// The WHERE clause's tuples: a tuple, a set, a cross join, or a tuple whose operands are sets,
// taken as their cross join ((a set, [Time].[2023])).
TupleList Evaluation::SlicerSet(const MdxExpression& where) {
  Context context(*this, default_, true);
  const std::size_t count = context.Count(where);
  if (count > options_.max_axis_tuples) {
    throw QueryFailure("WHERE has " + TuplesOverLimit(count, options_.max_axis_tuples),
                       where.position);
  }
  TupleList slicer = context.Build(where);
  CheckSlicerMeasures(model_, slicer, where.position);
  return slicer;
}

Grid Evaluation::Axes(const TupleList* slicer) {
  const MdxQuery& query = *bound_.query;
  Grid grid;
  grid.unique_names = options_.unique_names;
  grid.columns = {AxisSet(query.columns.set, "columns"), query.columns.non_empty,
                  bound_.columns.properties, query.columns.set.position};
  if (query.rows) {
    grid.rows = {AxisSet(query.rows->set, "rows"), query.rows->non_empty, bound_.rows.properties,
                 query.rows->set.position};
  } else {
    grid.rows.tuples.count = 1;
  }
  if (query.pages) {
    grid.pages = {AxisSet(query.pages->set, "pages"), query.pages->non_empty,
                  bound_.pages.properties, query.pages->set.position};
  }
  grid.slicer = {{}, {}, 1};
  if (query.where) {
    grid.slicer_position = query.where->position;
    grid.slicer = slicer != nullptr ? *slicer : SlicerSet(*query.where);
  }
  const Context context(*this, default_);
  CheckAxesApart(context, grid);
  if (grid.pages) JoinPages(context, grid);
  return grid;
}

// With a PAGES axis the rows become each page's tuple joined with each row's, every one kept:
// the cells are read and computed as for two axes, and SplitPages makes the pages of them.
void Evaluation::JoinPages(const Context& context, Grid& grid) {
  const std::size_t pages = grid.pages->tuples.count, rows = grid.rows.tuples.count;
  const std::size_t columns = grid.columns.tuples.count;
  if (Multiplied(Multiplied(pages, rows), std::max<std::size_t>(columns, 1)) > options_.max_cells)
    FailCells(Multiplied(pages, rows), columns, options_.max_cells);
  page_rows_ = grid.rows;
  pages_ = grid.pages;
  grid.rows.tuples = context.Joined(grid.pages->tuples, grid.rows.tuples, grid.rows.position);
  grid.rows.non_empty = false;
}

Grid Evaluation::Tuples() {
  StartRound();
  return Axes(nullptr);
}

// A query without a calculation step: its axes, then one scan of the table the plan chooses.
QueryResult Evaluation::Read(const QueryPlan& plan) {
  StartRound();
  const Grid grid = Axes(nullptr);
  return Scan(reader_, model_, grid, PlanScan(model_, grid, plan.leaf_cells_only),
              options_.max_cells, options_.cancel);
}

QueryResult Evaluation::Compute() {
  const MdxQuery& query = *bound_.query;
  if (!query.subselect.empty()) Subselect(query.subselect.front());
  TupleList slicer;
  if (query.where) {
    slicer = SlicerSet(*query.where);
    Slice(slicer, query.where->position);
  }
  // The WHERE clause is in every cell's coordinate now.
  const Grid grid = Axes(query.where ? &slicer : nullptr);
  const TupleList& rows = grid.rows.tuples;
  const TupleList& columns = grid.columns.tuples;
  if (Multiplied(rows.count, columns.count) > options_.max_cells)
    FailCells(rows.count, columns.count, options_.max_cells);
  std::vector<std::vector<Value>> cells(rows.count, std::vector<Value>(columns.count));
  for (std::size_t r = 0; r < rows.count; ++r) {
    const Coord row = With(default_, rows, r);
    for (std::size_t c = 0; c < columns.count; ++c) cells[r][c] = CellAt(With(row, columns, c));
  }
  if (misses_.Size() != 0) return {};
  return Result(grid, cells);
}

// The WHERE tuples set where every cell starts: one tuple's members, or the set.
void Evaluation::Slice(const TupleList& slicer, std::size_t position) {
  if (slicer.count == 0) {
    empty_slicer_ = true;
    return;
  }
  if (slicer.count == 1) {
    default_ = With(default_, slicer, 0);
    return;
  }
  for (std::size_t i = 0; i < slicer.Arity(); ++i) {
    if (slicer.shape[i] == kMeasuresHierarchy) continue;
    for (std::size_t t = 0; t < slicer.count; ++t) {
      if (slicer.At(t)[i] >= model_.MemberCount())
        throw QueryFailure("a set in WHERE takes members of the cube, not calculated ones",
                           position);
    }
  }
  // The measure goes in the cell; the members make one set.
  TupleList members;
  std::vector<std::size_t> columns;
  for (std::size_t i = 0; i < slicer.Arity(); ++i) {
    if (slicer.shape[i] == kMeasuresHierarchy) {
      default_.back() = static_cast<std::uint32_t>(slicer.At(0)[i]);
      continue;
    }
    members.shape.push_back(slicer.shape[i]);
    columns.push_back(i);
  }
  std::set<std::vector<std::size_t>> seen;
  for (std::size_t t = 0; t < slicer.count; ++t) {
    std::vector<std::size_t> tuple;
    for (std::size_t i : columns) tuple.push_back(slicer.At(t)[i]);
    if (!seen.insert(tuple).second) continue;
    members.items.insert(members.items.end(), tuple.begin(), tuple.end());
    ++members.count;
  }
  if (members.Arity() == 0) return;
  if (members.count == 1) {
    default_ = With(default_, members, 0);
    return;
  }
  const std::uint32_t slot = SlotOf(members);
  for (std::size_t h : members.shape) default_[h] = slot;
}

// FROM (SELECT ... FROM ...): the cells count only the rows under the members the subselect
// names on each hierarchy, and the axes keep only those members, their ancestors and their
// descendants.
void Evaluation::Subselect(const MdxQuery& inner) {
  if (!inner.subselect.empty()) Subselect(inner.subselect.front());
  std::vector<const MdxAxis*> axes{&inner.columns};
  if (inner.rows) axes.push_back(&*inner.rows);
  if (inner.pages) axes.push_back(&*inner.pages);
  for (const MdxAxis* axis : axes) {
    const TupleList set = SetAt(axis->set, default_, "the subselect");
    for (std::size_t i = 0; i < set.Arity(); ++i) {
      const std::size_t h = set.shape[i];
      if (h == kMeasuresHierarchy) continue;
      std::vector<std::size_t> members;
      for (std::size_t t = 0; t < set.count; ++t) {
        const std::size_t m = set.At(t)[i];
        if (m >= model_.MemberCount())
          throw QueryFailure("a subselect takes members of the cube, not calculated ones",
                             axis->set.position);
        if (std::find(members.begin(), members.end(), m) == members.end()) members.push_back(m);
      }
      visible_[h] = members;
      default_[h] = members.size() == 1 ? static_cast<std::uint32_t>(members.front())
                                        : SlotOf(TupleList{{h}, members, members.size()});
    }
  }
  if (inner.where) Slice(SlicerSet(*inner.where), inner.where->position);
}

bool Evaluation::Related(std::size_t a, std::size_t b) const {
  if (a >= model_.MemberCount() || b >= model_.MemberCount()) return a == b;
  const int da = model_.DepthOf(a), db = model_.DepthOf(b);
  return da <= db ? model_.AncestorAt(b, da) == a : model_.AncestorAt(a, db) == b;
}

// `set` without the tuples a subselect hides.
TupleList Evaluation::Visible(const TupleList& set) const {
  if (visible_.empty()) return set;
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < set.count; ++t) {
    bool shown = true;
    for (std::size_t i = 0; i < set.Arity() && shown; ++i) {
      const auto found = visible_.find(set.shape[i]);
      if (found == visible_.end()) continue;
      const std::size_t m = set.At(t)[i];
      shown =
          m >= model_.MemberCount() || std::any_of(found->second.begin(), found->second.end(),
                                                   [&](std::size_t v) { return Related(m, v); });
    }
    if (shown) kept.push_back(t);
  }
  return Picked(set, kept);
}

}  // namespace cubemill::query
