#include "query/execution/evaluation.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "provider/cubefile/stored_value_merge.h"
#include "query/execution/scan.h"
#include "query/functions/function.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using Kind = MdxExpression::Kind;

// The most rounds of reading one query may take: each function that orders or chooses tuples
// by value over values of another such function adds one.
constexpr int kMaxRounds = 32;
// How deep values and sets may be computed within one another (a formula's expression, the
// sets its functions take, the formulas those refer to): far from the end of the stack.
constexpr int kMaxEvaluationDepth = 400;

}  // namespace

Deeper::Deeper(Evaluation& evaluation, std::size_t position)
    : depth_(evaluation.evaluation_depth_) {
  // Every value and set computed passes here: a query that computes for long (a sum over a large
  // crossjoin in each cell) still hears that it was cancelled, now and then.
  const std::atomic<bool>* cancel = evaluation.options_.cancel;
  if (cancel != nullptr && (++evaluation.steps_ & 4095U) == 0 &&
      cancel->load(std::memory_order_relaxed))
    throw QueryFailure("Cancelled");
  if (++depth_ > kMaxEvaluationDepth) {
    --depth_;
    throw QueryFailure("the query's values and sets are computed more than " +
                           std::to_string(kMaxEvaluationDepth) + " levels deep",
                       position);
  }
}

Evaluation::Evaluation(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                       const BoundQuery& bound, const QueryOptions& options)
    : reader_(reader),
      model_(model),
      bound_(bound),
      options_(options),
      hierarchies_(model.HierarchyCount()),
      measures_(model.Catalog().measures.size()),
      combine_(MeasureMerges(model)),
      cache_(hierarchies_ + 1) {
  if (model.MemberCount() >= kSetSlot / 2) throw QueryFailure("the cube has too many members");
}

QueryResult Evaluation::Answer(const QueryPlan& plan) {
  leaf_cells_only_ = plan.leaf_cells_only;
  QueryResult result = plan.calculate ? Calculate() : Read(plan);
  if (pages_) result = SplitPages(result);
  result.cell_properties = bound_.cell_properties;
  return result;
}

QueryResult Evaluation::Calculate() {
  for (int round = 0;; ++round) {
    if (options_.cancel != nullptr && options_.cancel->load()) throw QueryFailure("Cancelled");
    StartRound();
    try {
      QueryResult result = Compute();
      if (misses_.Size() == 0) return result;
    } catch (const QueryFailure&) {
      // Values not read yet stand in as empty; a failure that follows from them (a set chosen
      // by them, a branch taken on them) is no failure of the query until the round that has
      // every value.
      if (misses_.Size() == 0) throw;
    }
    if (round + 1 == kMaxRounds) {
      throw QueryFailure("the query needs more than " + std::to_string(kMaxRounds) +
                         " rounds of reading the cube");
    }
    Load();
  }
}

void Evaluation::StartRound() {
  misses_ = KeyTable(hierarchies_ + 1);
  named_sets_.clear();
  fixed_sets_.clear();
  // Where each cell starts: the ALL member of each hierarchy that has one, else every row;
  // the cube's first measure.
  default_.assign(hierarchies_ + 1, kAnySlot);
  default_.back() = 0;
  for (std::size_t h = 0; h < hierarchies_; ++h) {
    const std::size_t top = model_.LevelsOf(h).front();
    if (model_.Catalog().levels[top].is_all && !model_.MembersOf(top).empty())
      default_[h] = static_cast<std::uint32_t>(model_.MembersOf(top).front());
  }
  empty_slicer_ = false;
}

TupleList Evaluation::NamedSet(std::size_t k, std::size_t position) {
  const auto found = named_sets_.find(k);
  if (found != named_sets_.end()) {
    if (!found->second) {
      throw QueryFailure("the set " + NameText(bound_.sets[k]->name) + " refers to itself",
                         position);
    }
    return *found->second;
  }
  named_sets_[k] = std::nullopt;
  TupleList set = SetAt(bound_.sets[k]->expression, default_, "the named set");
  named_sets_[k] = set;
  return set;
}

TupleList Evaluation::SetAt(const MdxExpression& e, const Coord& at, const char* function) {
  const Deeper deeper(*this, e.position);
  // A set that is the same in every cell ([Measures].[Amount], [Time].[2024].Children) is
  // found once per round, not once per cell.
  const bool fixed = IsFixed(e);
  if (fixed) {
    const auto found = fixed_sets_.find(&e);
    if (found != fixed_sets_.end()) return found->second;
  }
  Context context(*this, at);
  TupleList set = context.Bounded(e, function);
  if (fixed) fixed_sets_.emplace(&e, set);
  return set;
}

MemberValue Evaluation::MemberAt(const MdxExpression& e, const Coord& at, const char* what) {
  Context context(*this, at);
  return context.Member(e, what);
}

// Whether `e` stands for the same set wherever it is computed: it names no current member and
// chooses nothing by value.
bool Evaluation::IsFixed(const MdxExpression& e) {
  const auto known = fixed_.find(&e);
  if (known != fixed_.end()) return known->second;
  bool fixed = false;
  switch (e.kind) {
    case Kind::kName:
    case Kind::kSet:
    case Kind::kTuple:
    case Kind::kRange:
    case Kind::kNumber:
    case Kind::kFlag:
      fixed = true;
      break;
    case Kind::kCall:
      fixed = !e.function->per_cell && e.function->returns != functions::Returns::kValue;
      break;
    case Kind::kBinary: {
      const std::string& op = e.parts.front().text;
      fixed = op == "+" || op == "-" || op == "*";
      break;
    }
    default:
      break;
  }
  for (const MdxExpression& operand : e.operands) fixed = fixed && IsFixed(operand);
  fixed_.emplace(&e, fixed);
  return fixed;
}

std::string Evaluation::Caption(std::size_t hierarchy, std::size_t item) const {
  if (const BoundFormula* f = bound_.FormulaOfItem(model_, hierarchy, item)) return f->name;
  return hierarchy == kMeasuresHierarchy ? model_.Catalog().measures[item].name
                                         : model_.Member(item).name;
}

std::string Evaluation::UniqueName(std::size_t hierarchy, std::size_t item) const {
  if (const BoundFormula* f = bound_.FormulaOfItem(model_, hierarchy, item))
    return NameText(f->source->name);
  if (hierarchy == kMeasuresHierarchy)
    return MeasureUniqueName(model_.Catalog().measures[item].name);
  return model_.UniqueName(item);
}

}  // namespace cubemill::query
