// The cells of an evaluation: coordinates, the calculated member that computes a cell, and the
// stored values, read in batches.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "query/execution/evaluation.h"
#include "query/execution/scan.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

// How deep calculated members may refer to each other before the query is taken to refer to
// itself.
constexpr int kMaxFormulaDepth = 64;

}  // namespace

std::uint32_t Evaluation::SlotOf(const TupleList& set) {
  std::vector<std::size_t> key = set.shape;
  key.push_back(CubeModel::npos);
  key.insert(key.end(), set.items.begin(), set.items.end());
  const auto found = slot_ids_.find(key);
  if (found != slot_ids_.end()) return found->second;
  const auto id = static_cast<std::uint32_t>(kSetSlot | slot_sets_.size());
  slot_sets_.push_back(set);
  slot_ids_.emplace(std::move(key), id);
  return id;
}

void Evaluation::Put(Coord& at, std::size_t h, std::uint32_t slot) {
  slot = Restricted(h, slot);
  const std::uint32_t old = at[h];
  if (IsSetSlot(old)) {
    const TupleList& set = slot_sets_[old & ~kSetSlot];
    if (set.Arity() > 1) {
      TupleList rest;
      std::vector<std::size_t> columns;
      for (std::size_t i = 0; i < set.Arity(); ++i) {
        if (set.shape[i] == h) continue;
        rest.shape.push_back(set.shape[i]);
        columns.push_back(i);
      }
      std::set<std::vector<std::size_t>> seen;
      for (std::size_t t = 0; t < set.count; ++t) {
        std::vector<std::size_t> tuple;
        for (std::size_t i : columns) tuple.push_back(set.At(t)[i]);
        if (!seen.insert(tuple).second) continue;
        rest.items.insert(rest.items.end(), tuple.begin(), tuple.end());
        ++rest.count;
      }
      const std::uint32_t projected = SlotOf(rest);
      for (std::size_t other : rest.shape) at[other] = projected;
    }
  }
  at[h] = slot;
}

// A member of a hierarchy a subselect restricts counts only the rows under the subselect's
// members: itself when it lies under one of them, else the set of those under it.
std::uint32_t Evaluation::Restricted(std::size_t h, std::uint32_t slot) {
  const auto found = visible_.find(h);
  if (found == visible_.end() || slot == kAnySlot || IsSetSlot(slot) ||
      slot >= model_.MemberCount())
    return slot;
  const int depth = model_.DepthOf(slot);
  std::vector<std::size_t> under;
  for (std::size_t v : found->second) {
    const int own = model_.DepthOf(v);
    if (own <= depth && model_.AncestorAt(slot, own) == v) return slot;
    if (own > depth && model_.AncestorAt(v, depth) == slot) under.push_back(v);
  }
  if (under.size() == 1) return static_cast<std::uint32_t>(under.front());
  return SlotOf(TupleList{{h}, under, under.size()});
}

Coord Evaluation::With(const Coord& at, const TupleList& tuples, std::size_t t) {
  Coord moved = at;
  for (std::size_t i = 0; i < tuples.Arity(); ++i) {
    const std::size_t item = tuples.At(t)[i];
    if (tuples.shape[i] == kMeasuresHierarchy)
      moved.back() = static_cast<std::uint32_t>(item);
    else
      Put(moved, tuples.shape[i], static_cast<std::uint32_t>(item));
  }
  return moved;
}

Value Evaluation::CellAt(const Coord& at) {
  // The calculated member with the highest SOLVE_ORDER computes the cell; the measure on a tie.
  const BoundFormula* winner = bound_.FormulaOfItem(model_, kMeasuresHierarchy, at.back());
  for (std::size_t h = 0; h < hierarchies_; ++h) {
    const BoundFormula* f = bound_.FormulaOfItem(model_, h, at[h]);
    if (f != nullptr && (winner == nullptr || f->source->solve_order > winner->source->solve_order))
      winner = f;
  }
  if (winner == nullptr) return Stored(at);
  if (formula_depth_ >= kMaxFormulaDepth) {
    throw QueryFailure("the calculated member " + NameText(winner->source->name) +
                           " refers to itself, or its formulas nest deeper than " +
                           std::to_string(kMaxFormulaDepth),
                       winner->source->position);
  }
  ++formula_depth_;
  Value value = ValueAt(winner->source->expression, at);
  --formula_depth_;
  return value;
}

Value Evaluation::Stored(const Coord& at) {
  if (empty_slicer_) return {};
  const std::size_t id = cache_.Find(at.data());
  if (id != KeyTable::npos) return FromCell(values_[id]);
  misses_.Insert(at.data());
  return {};
}

// The stored values the round asked for and did not have, read in batches: one scan per
// pattern of slots (which hierarchies have a member, which a set, which none).
void Evaluation::Load() {
  std::map<std::vector<std::uint32_t>, std::vector<std::size_t>> groups;
  for (std::size_t id = 0; id < misses_.Size(); ++id) {
    const std::uint32_t* key = misses_.KeyOf(id);
    std::vector<std::uint32_t> pattern(hierarchies_);
    for (std::size_t h = 0; h < hierarchies_; ++h)
      pattern[h] = key[h] == kAnySlot ? kAnySlot : IsSetSlot(key[h]) ? key[h] : 0;
    groups[pattern].push_back(id);
  }
  if (cache_.Size() + misses_.Size() > options_.max_cells) {
    throw QueryFailure("the query needs more than " + Grouped(options_.max_cells) +
                       " cells, the limit of an answer's cells");
  }
  for (const auto& [pattern, ids] : groups) {
    Grid grid;
    TupleList& tuples = grid.columns.tuples;
    for (std::size_t h = 0; h < hierarchies_; ++h)
      if (pattern[h] == 0) tuples.shape.push_back(h);
    tuples.shape.push_back(kMeasuresHierarchy);
    for (std::size_t id : ids) {
      const std::uint32_t* key = misses_.KeyOf(id);
      for (std::size_t h = 0; h < hierarchies_; ++h)
        if (pattern[h] == 0) tuples.items.push_back(key[h]);
      tuples.items.push_back(key[hierarchies_]);
    }
    tuples.count = ids.size();
    grid.rows.tuples.count = 1;
    // The rows under the sets the coordinates name: under a tuple of each.
    grid.slicer.count = 1;
    std::vector<std::uint32_t> joined;
    for (std::uint32_t slot : pattern) {
      if (!IsSetSlot(slot) || std::find(joined.begin(), joined.end(), slot) != joined.end())
        continue;
      joined.push_back(slot);
      grid.slicer = Crossed(grid.slicer, slot_sets_[slot & ~kSetSlot]);
    }
    const ScanPlan plan = PlanScan(model_, grid, leaf_cells_only_);
    tables_.insert(plan.table);
    const QueryResult read = Scan(reader_, model_, grid, plan, tuples.count, options_.cancel);
    for (std::size_t i = 0; i < ids.size(); ++i) {
      cache_.Insert(misses_.KeyOf(ids[i]));
      values_.push_back(read.cells.front()[i]);
    }
  }
}

TupleList Evaluation::Crossed(const TupleList& a, const TupleList& b) const {
  TupleList joined;
  joined.shape = a.shape;
  joined.shape.insert(joined.shape.end(), b.shape.begin(), b.shape.end());
  if (a.count != 0 && b.count > options_.max_axis_tuples / a.count) {
    throw QueryFailure("the sets a cell counts make more than " +
                       Grouped(options_.max_axis_tuples) + " tuples together");
  }
  for (std::size_t i = 0; i < a.count; ++i) {
    for (std::size_t j = 0; j < b.count; ++j) {
      joined.items.insert(joined.items.end(), a.At(i), a.At(i) + a.Arity());
      joined.items.insert(joined.items.end(), b.At(j), b.At(j) + b.Arity());
      ++joined.count;
    }
  }
  return joined;
}

}  // namespace cubemill::query
