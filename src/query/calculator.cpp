#include "query/calculator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/key_table.h"
#include "platform/unicode_case.h"
#include "provider/cubefile/stored_value_merge.h"
#include "query/binder.h"
#include "query/executor.h"
#include "query/mdx_parser.h"
#include "query/member_properties.h"
#include "query/planner.h"
#include "query/query_failure.h"
#include "query/value_format.h"

namespace cubemill::query {

namespace {

using Kind = MdxExpression::Kind;
using provider::cubefile::CellValue;

// A value an expression computes.
struct Value {
  enum class Type { kEmpty, kInteger, kReal, kString, kBool };
  Type type = Type::kEmpty;
  std::int64_t integer = 0;
  double real = 0;
  std::string text;
  bool truth = false;
  // A stored real sum's rest (CellValue::rest), kept so that Sum and Aggregate over cells add
  // exactly; 0 for every value a calculation makes.
  double rest = 0;

  bool Empty() const { return type == Type::kEmpty; }
  bool IsNumber() const {
    return type == Type::kInteger || type == Type::kReal || type == Type::kBool;
  }
  double Number() const {
    switch (type) {
      case Type::kInteger:
        return static_cast<double>(integer);
      case Type::kReal:
        return real;
      case Type::kBool:
        return truth ? 1 : 0;
      default:
        return 0;
    }
  }
  static Value Integer(std::int64_t n) { return {Type::kInteger, n, 0, {}, false}; }
  static Value Real(double x) { return {Type::kReal, 0, x, {}, false}; }
  static Value String(std::string s) { return {Type::kString, 0, 0, std::move(s), false}; }
  static Value Bool(bool b) { return {Type::kBool, 0, 0, {}, b}; }
};

Value FromCell(const CellValue& cell) {
  switch (cell.kind) {
    case CellValue::Kind::kInteger:
      return Value::Integer(cell.integer);
    case CellValue::Kind::kReal: {
      Value value = Value::Real(cell.real);
      value.rest = cell.rest;
      return value;
    }
    case CellValue::Kind::kNull:
      break;
  }
  return {};
}

CellValue ToCell(const Value& value) {
  switch (value.type) {
    case Value::Type::kInteger:
      return {CellValue::Kind::kInteger, value.integer, 0};
    case Value::Type::kReal:
      return {CellValue::Kind::kReal, 0, value.real, value.rest};
    default:
      return {};
  }
}

// The most rounds of reading one query may take: each function that orders or chooses tuples
// by value over values of another such function adds one.
constexpr int kMaxRounds = 32;
// How deep calculated members may refer to each other before the query is taken to refer to
// itself.
constexpr int kMaxFormulaDepth = 64;
// How deep values and sets may be computed within one another (a formula's expression, the sets
// its functions take, the formulas those refer to): far from the end of the stack.
constexpr int kMaxEvaluationDepth = 400;

// A coordinate's slot for one hierarchy: a member (the cube's, or a calculated one numbered
// after them), no member at all (a hierarchy without an ALL level that the query does not
// name: every row counts), or a set registered with the calculator.
constexpr std::uint32_t kAnySlot = UINT32_MAX;
constexpr std::uint32_t kSetSlot = 0x8000'0000;
bool IsSetSlot(std::uint32_t slot) { return slot != kAnySlot && (slot & kSetSlot) != 0; }

// A coordinate: a slot per hierarchy, then the measure.
using Coord = std::vector<std::uint32_t>;

bool IsValueKind(Kind kind) {
  switch (kind) {
    case Kind::kString:
    case Kind::kUnary:
    case Kind::kProperty:
    case Kind::kIif:
    case Kind::kCoalesceEmpty:
    case Kind::kIsEmpty:
    case Kind::kSum:
    case Kind::kAvg:
    case Kind::kMin:
    case Kind::kMax:
    case Kind::kCount:
    case Kind::kAggregate:
      return true;
    default:
      return false;
  }
}

bool IsSetOperator(const MdxExpression& e) {
  if (e.kind != Kind::kBinary) return false;
  const std::string& op = e.parts.front().text;
  return op == "+" || op == "-" || op == "*";
}

// The functions the calculator answers in a set's place.
bool IsCalculatedSetKind(Kind kind) {
  switch (kind) {
    case Kind::kCurrentMember:
    case Kind::kTopCount:
    case Kind::kBottomCount:
    case Kind::kTopPercent:
    case Kind::kBottomPercent:
    case Kind::kTopSum:
    case Kind::kBottomSum:
    case Kind::kOrder:
    case Kind::kFilter:
    case Kind::kNonEmpty:
    case Kind::kGenerate:
    case Kind::kParallelPeriod:
    case Kind::kPeriodsToDate:
    case Kind::kYtd:
    case Kind::kQtd:
    case Kind::kMtd:
    case Kind::kWtd:
    case Kind::kOpeningPeriod:
    case Kind::kClosingPeriod:
      return true;
    default:
      return false;
  }
}

bool Mentions(const MdxExpression& e) {
  if (IsCalculatedSetKind(e.kind) || IsValueKind(e.kind)) return true;
  if (e.kind == Kind::kBinary && !IsSetOperator(e)) return true;
  return std::any_of(e.operands.begin(), e.operands.end(), Mentions);
}

std::string FunctionName(Kind kind) {
  const char* name = CallName(kind);
  return name != nullptr ? name : "the function";
}

bool PartsEqual(const std::vector<NamePart>& a, const std::vector<NamePart>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].is_key != b[i].is_key || !platform::EqualsFolded(a[i].text, b[i].text)) return false;
  return true;
}

// A number literal's value; the parser checked its form.
// Read the same in every locale (strtod would stop at the "." where "," is the decimal point).
double NumberOf(const MdxExpression& e) {
  const std::string& text = e.parts.front().text;
  double value = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  // Too large for a double (digits before the point), or too small (zeros before them).
  if (read.ec == std::errc::result_out_of_range)
    return text.find_first_of("123456789") < text.find('.') ? HUGE_VAL : 0.0;
  return value;
}

class Calculator final : public SetHook {
 public:
  Calculator(const provider::cubefile::CubeReader& reader, const CubeModel& model,
             const MdxQuery& query, const QueryOptions& options)
      : reader_(reader),
        model_(model),
        query_(query),
        options_(options),
        hierarchies_(model.HierarchyCount()),
        measures_(model.Catalog().measures.size()),
        cache_(hierarchies_ + 1) {
    if (measures_ == 0) throw QueryFailure("the cube has no measure", 1);
    for (const auto& m : model.Catalog().measures) {
      const auto function = provider::cubefile::FunctionOfMeasure(m);
      if (!function)
        throw std::runtime_error("measure [" + m.name + "] has an unknown function " + m.function);
      combine_.push_back(*function);
    }
    if (model.MemberCount() >= kSetSlot / 2) throw QueryFailure("the cube has too many members");
    for (const MdxFormula& formula : query.formulas) Define(formula);
  }

  QueryResult Answer() {
    for (int round = 0;; ++round) {
      if (options_.cancel != nullptr && options_.cancel->load()) throw QueryFailure("Cancelled");
      misses_ = KeyTable(hierarchies_ + 1);
      named_sets_.clear();
      fixed_sets_.clear();
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

  bool Handles(const MdxExpression& e) const override {
    if (e.kind == Kind::kName) return FindFormula(e.parts) != npos || FindSet(e.parts) != npos;
    if (e.kind == Kind::kBinary) return !IsSetOperator(e);
    return IsCalculatedSetKind(e.kind) || IsValueKind(e.kind);
  }

  TupleList SetOf(const MdxExpression& e) override {
    const Deeper deeper(evaluation_depth_, e.position);
    const Coord& at = *current_;
    switch (e.kind) {
      case Kind::kName: {
        const std::size_t formula = FindFormula(e.parts);
        if (formula != npos) {
          const Formula& f = formulas_[formula];
          return {{f.hierarchy}, {f.item}, 1};
        }
        return NamedSet(FindSet(e.parts), e.position);
      }
      case Kind::kCurrentMember:
        return CurrentMember(e, at);
      case Kind::kTopCount:
      case Kind::kBottomCount:
      case Kind::kTopPercent:
      case Kind::kBottomPercent:
      case Kind::kTopSum:
      case Kind::kBottomSum:
        return Top(e, at);
      case Kind::kOrder:
        return Ordered(e, at);
      case Kind::kFilter:
        return Filtered(e, at);
      case Kind::kNonEmpty:
        return NonEmpty(e, at);
      case Kind::kGenerate:
        return Generated(e, at);
      case Kind::kParallelPeriod:
      case Kind::kPeriodsToDate:
      case Kind::kYtd:
      case Kind::kQtd:
      case Kind::kMtd:
      case Kind::kWtd:
      case Kind::kOpeningPeriod:
      case Kind::kClosingPeriod:
        return TimeSet(e, at);
      default:
        throw QueryFailure("a value is no set", e.position);
    }
  }

 private:
  static constexpr std::size_t npos = CubeModel::npos;

  struct Formula {
    const MdxFormula* source = nullptr;
    std::size_t hierarchy = 0;  // kMeasuresHierarchy for a measure
    std::size_t item = 0;       // its number in tuples
    std::string name;           // its last part
  };

  // A set a coordinate's slots may name: its tuples, of the cube's members only.
  struct SlotSet {
    TupleList tuples;
  };

  // ---- The WITH clause.

  void Define(const MdxFormula& formula) {
    if (formula.kind == MdxFormula::Kind::kSet) {
      if (formula.name.size() != 1)
        throw QueryFailure("a named set's name has one part", formula.position);
      if (FindSet(formula.name) != npos)
        throw QueryFailure("the set " + NameText(formula.name) + " is defined twice",
                           formula.position);
      sets_.push_back(&formula);
      return;
    }
    if (formula.name.size() < 2) {
      throw QueryFailure("a calculated member's name starts with its dimension, as in " +
                             std::string("[Measures].") + NameText(formula.name),
                         formula.position);
    }
    if (FindFormula(formula.name) != npos)
      throw QueryFailure("the member " + NameText(formula.name) + " is defined twice",
                         formula.position);
    const std::vector<NamePart> parent(formula.name.begin(), formula.name.end() - 1);
    const NameRef ref = model_.Resolve(parent, formula.name.front().position);
    Formula f;
    f.source = &formula;
    f.name = formula.name.back().text;
    switch (ref.kind) {
      case NameRef::Kind::kMeasures:
        f.hierarchy = kMeasuresHierarchy;
        f.item = measures_ + CountOf(kMeasuresHierarchy);
        break;
      case NameRef::Kind::kHierarchy:
        f.hierarchy = ref.index;
        break;
      case NameRef::Kind::kMember:
        f.hierarchy = model_.HierarchyOf(ref.index);
        break;
      default:
        throw QueryFailure(
            "a calculated member belongs to a dimension, a hierarchy or a member, not " +
                NameText(parent),
            formula.position);
    }
    if (f.hierarchy == kMeasuresHierarchy)
      measure_formulas_.push_back(formulas_.size());
    else
      f.item = model_.MemberCount() + formulas_.size();
    formulas_.push_back(std::move(f));
  }

  std::size_t CountOf(std::size_t hierarchy) const {
    return static_cast<std::size_t>(
        std::count_if(formulas_.begin(), formulas_.end(),
                      [&](const Formula& f) { return f.hierarchy == hierarchy; }));
  }

  // The calculated member `parts` names, npos for none. A measure may be named without
  // [Measures].
  std::size_t FindFormula(const std::vector<NamePart>& parts) const {
    for (std::size_t k = 0; k < formulas_.size(); ++k) {
      const Formula& f = formulas_[k];
      if (PartsEqual(f.source->name, parts)) return k;
      if (parts.back().is_key || !platform::EqualsFolded(parts.back().text, f.name)) continue;
      if (f.hierarchy == kMeasuresHierarchy && parts.size() == 1) return k;
      // [Time].[H1] finds [Time].[Calendar].[H1]: the same hierarchy, named another way.
      if (f.hierarchy != kMeasuresHierarchy && parts.size() > 1) {
        try {
          const NameRef ref = model_.Resolve({parts.begin(), parts.end() - 1}, 0);
          const std::size_t h = ref.kind == NameRef::Kind::kHierarchy ? ref.index
                                : ref.kind == NameRef::Kind::kMember ? model_.HierarchyOf(ref.index)
                                                                     : npos;
          if (h == f.hierarchy) return k;
        } catch (const QueryFailure&) {
        }
      }
    }
    return npos;
  }

  std::size_t FindSet(const std::vector<NamePart>& parts) const {
    for (std::size_t k = 0; k < sets_.size(); ++k)
      if (PartsEqual(sets_[k]->name, parts)) return k;
    return npos;
  }

  // A named set, evaluated once per round where the query starts, before any axis.
  TupleList NamedSet(std::size_t k, std::size_t position) {
    const auto found = named_sets_.find(k);
    if (found != named_sets_.end()) {
      if (!found->second) {
        throw QueryFailure("the set " + NameText(sets_[k]->name) + " refers to itself", position);
      }
      return *found->second;
    }
    named_sets_[k] = std::nullopt;
    TupleList set = SetAt(sets_[k]->expression, default_, "the named set");
    named_sets_[k] = set;
    return set;
  }

  const Formula* FormulaOfItem(std::size_t hierarchy, std::size_t item) const {
    if (hierarchy == kMeasuresHierarchy) {
      if (item < measures_ || item - measures_ >= measure_formulas_.size()) return nullptr;
      return &formulas_[measure_formulas_[item - measures_]];
    }
    if (item >= model_.MemberCount() && item < kSetSlot && item != kAnySlot)
      return &formulas_[item - model_.MemberCount()];
    return nullptr;
  }

  // ---- Sets in a context.

  // Makes `at` the context of the sets evaluated while it lives.
  class Within {
   public:
    Within(Calculator& calculator, const Coord& at)
        : calculator_(calculator), saved_(calculator.current_) {
      calculator.current_ = &at;
    }
    ~Within() { calculator_.current_ = saved_; }
    Within(const Within&) = delete;
    Within& operator=(const Within&) = delete;

   private:
    Calculator& calculator_;
    const Coord* saved_;
  };

  TupleList SetAt(const MdxExpression& e, const Coord& at, const char* function) {
    // A set that is the same in every cell ([Measures].[Amount], [Time].[2024].Children) is
    // found once per round, not once per cell.
    const bool fixed = IsFixed(e);
    if (fixed) {
      const auto found = fixed_sets_.find(&e);
      if (found != fixed_sets_.end()) return found->second;
    }
    const Within within(*this, at);
    const SetEvaluator sets(model_, options_.max_axis_tuples, this);
    TupleList set = sets.Bounded(e, function);
    if (fixed) fixed_sets_.emplace(&e, set);
    return set;
  }

  // Whether `e` stands for the same set wherever it is computed: it names no current member
  // and chooses nothing by value.
  bool IsFixed(const MdxExpression& e) {
    const auto known = fixed_.find(&e);
    if (known != fixed_.end()) return known->second;
    bool fixed = false;
    switch (e.kind) {
      case Kind::kName:
      case Kind::kMembers:
      case Kind::kChildren:
      case Kind::kParent:
      case Kind::kSet:
      case Kind::kTuple:
      case Kind::kCrossJoin:
      case Kind::kFirstChild:
      case Kind::kLastChild:
      case Kind::kSiblings:
      case Kind::kPrevMember:
      case Kind::kNextMember:
      case Kind::kLag:
      case Kind::kLead:
      case Kind::kLevel:
      case Kind::kRange:
      case Kind::kAncestor:
      case Kind::kDescendants:
      case Kind::kHead:
      case Kind::kTail:
      case Kind::kSubset:
      case Kind::kUnion:
      case Kind::kExcept:
      case Kind::kIntersect:
      case Kind::kDistinct:
      case Kind::kHierarchize:
      case Kind::kExtract:
      case Kind::kNumber:
      case Kind::kFlag:
        fixed = true;
        break;
      case Kind::kBinary:
        fixed = IsSetOperator(e);
        break;
      default:
        break;
    }
    for (const MdxExpression& operand : e.operands) fixed = fixed && IsFixed(operand);
    fixed_.emplace(&e, fixed);
    return fixed;
  }

  MemberValue MemberAt(const MdxExpression& e, const Coord& at, const char* what) {
    const Within within(*this, at);
    const SetEvaluator sets(model_, options_.max_axis_tuples, this);
    return sets.MemberOf(e, what);
  }

  // [Dimension].CurrentMember: the member of the cell being computed.
  TupleList CurrentMember(const MdxExpression& e, const Coord& at) {
    const MdxExpression& of = e.operands.front();
    std::size_t hierarchy = npos;
    if (of.kind == Kind::kName) {
      const NameRef ref = model_.Resolve(of.parts, of.position);
      if (ref.kind == NameRef::Kind::kMeasures) return {{kMeasuresHierarchy}, {at.back()}, 1};
      if (ref.kind == NameRef::Kind::kHierarchy) hierarchy = ref.index;
    }
    if (hierarchy == npos)
      throw QueryFailure(".CurrentMember needs a dimension or a hierarchy", of.position);
    const std::uint32_t slot = at[hierarchy];
    if (slot == kAnySlot) {
      throw QueryFailure(model_.HierarchyName(hierarchy) +
                             " has no current member here: it has no ALL level and the query "
                             "names none of its members",
                         e.position);
    }
    if (IsSetSlot(slot)) {
      throw QueryFailure(model_.HierarchyName(hierarchy) +
                             " has no current member here: the cell counts a set of its members",
                         e.position);
    }
    return {{hierarchy}, {slot}, 1};
  }

  // ---- Coordinates.

  // Registers `set` (of the cube's members) and returns its slot number.
  std::uint32_t SlotOf(const TupleList& set) {
    std::vector<std::size_t> key = set.shape;
    key.push_back(npos);
    key.insert(key.end(), set.items.begin(), set.items.end());
    const auto found = slot_ids_.find(key);
    if (found != slot_ids_.end()) return found->second;
    const auto id = static_cast<std::uint32_t>(kSetSlot | slot_sets_.size());
    slot_sets_.push_back({set});
    slot_ids_.emplace(std::move(key), id);
    return id;
  }

  // Puts `slot` in hierarchy `h` of `at`. A set that spanned `h` and other hierarchies stays
  // on those as its tuples' other members.
  void Put(Coord& at, std::size_t h, std::uint32_t slot) {
    slot = Restricted(h, slot);
    const std::uint32_t old = at[h];
    if (IsSetSlot(old)) {
      const TupleList& set = slot_sets_[old & ~kSetSlot].tuples;
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
  std::uint32_t Restricted(std::size_t h, std::uint32_t slot) {
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

  Coord With(const Coord& at, const TupleList& tuples, std::size_t t) {
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

  // ---- Cells.

  Value CellAt(const Coord& at) {
    // The calculated member with the highest SOLVE_ORDER computes the cell; the measure on a tie.
    const Formula* winner = FormulaOfItem(kMeasuresHierarchy, at.back());
    for (std::size_t h = 0; h < hierarchies_; ++h) {
      const Formula* f = FormulaOfItem(h, at[h]);
      if (f != nullptr &&
          (winner == nullptr || f->source->solve_order > winner->source->solve_order))
        winner = f;
    }
    if (winner == nullptr) return Stored(at);
    if (depth_ >= kMaxFormulaDepth) {
      throw QueryFailure("the calculated member " + NameText(winner->source->name) +
                             " refers to itself, or its formulas nest deeper than " +
                             std::to_string(kMaxFormulaDepth),
                         winner->source->position);
    }
    ++depth_;
    Value value = ValueAt(winner->source->expression, at);
    --depth_;
    return value;
  }

  Value Stored(const Coord& at) {
    if (empty_slicer_) return {};
    const std::size_t id = cache_.Find(at.data());
    if (id != KeyTable::npos) return FromCell(values_[id]);
    misses_.Insert(at.data());
    return {};
  }

  // The stored values the round asked for and did not have, read in batches: one read per
  // pattern of slots (which hierarchies have a member, which a set, which none).
  void Load() {
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
      BoundQuery bound;
      TupleList& tuples = bound.columns.tuples;
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
      bound.rows.tuples.count = 1;
      // The rows under the sets the coordinates name: under a tuple of each.
      bound.slicer.count = 1;
      std::vector<std::uint32_t> joined;
      for (std::uint32_t slot : pattern) {
        if (!IsSetSlot(slot) || std::find(joined.begin(), joined.end(), slot) != joined.end())
          continue;
        joined.push_back(slot);
        bound.slicer = Crossed(bound.slicer, slot_sets_[slot & ~kSetSlot].tuples);
      }
      const QueryPlan plan = PlanQuery(model_, bound, options_.leaf_cells_only);
      tables_.insert(plan.table);
      const QueryResult read = Execute(reader_, model_, bound, plan, tuples.count, options_.cancel);
      for (std::size_t i = 0; i < ids.size(); ++i) {
        cache_.Insert(misses_.KeyOf(ids[i]));
        values_.push_back(read.cells.front()[i]);
      }
    }
  }

  TupleList Crossed(const TupleList& a, const TupleList& b) const {
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

  // ---- Values.

  // Counts one level of computing within another while it lives.
  class Deeper {
   public:
    Deeper(int& depth, std::size_t position) : depth_(depth) {
      if (++depth_ > kMaxEvaluationDepth) {
        --depth_;
        throw QueryFailure("the query's values and sets are computed more than " +
                               std::to_string(kMaxEvaluationDepth) + " levels deep",
                           position);
      }
    }
    ~Deeper() { --depth_; }
    Deeper(const Deeper&) = delete;
    Deeper& operator=(const Deeper&) = delete;

   private:
    int& depth_;
  };

  Value ValueAt(const MdxExpression& e, const Coord& at) {
    const Deeper deeper(evaluation_depth_, e.position);
    switch (e.kind) {
      case Kind::kNumber: {
        const std::string& text = e.parts.front().text;
        if (text.find('.') == std::string::npos && text.size() < 19)
          return Value::Integer(std::strtoll(text.c_str(), nullptr, 10));
        return Value::Real(NumberOf(e));
      }
      case Kind::kString:
        return Value::String(e.parts.front().text);
      case Kind::kTuple:
        if (e.operands.size() == 1) return ValueAt(e.operands.front(), at);
        break;
      case Kind::kUnary:
        return Unary(e, at);
      case Kind::kBinary:
        if (!IsSetOperator(e) || !IsSetValued(e)) return Binary(e, at);
        break;
      case Kind::kIif:
        return Truth(ValueAt(e.operands[0], at), e.operands[0].position)
                   ? ValueAt(e.operands[1], at)
                   : ValueAt(e.operands[2], at);
      case Kind::kCoalesceEmpty:
        for (const MdxExpression& operand : e.operands) {
          Value value = ValueAt(operand, at);
          if (!value.Empty()) return value;
        }
        return {};
      case Kind::kIsEmpty:
        return Value::Bool(ValueAt(e.operands.front(), at).Empty());
      case Kind::kSum:
      case Kind::kAvg:
      case Kind::kMin:
      case Kind::kMax:
        return Summary(e, at);
      case Kind::kCount:
        return Counted(e, at);
      case Kind::kAggregate:
        return Aggregated(e, at);
      case Kind::kProperty:
        return Property(e, at);
      default:
        break;
    }
    // A member, a tuple or a name: the value of the cell it points at from here.
    const TupleList tuple = SetAt(e, at, "a value");
    if (tuple.count == 0) return {};
    if (tuple.count > 1) {
      throw QueryFailure("a set of " + Grouped(tuple.count) + " tuples where a value is needed",
                         e.position);
    }
    return CellAt(With(at, tuple, 0));
  }

  // Whether a "+", "-" or "*" stands between sets rather than values: sets are in braces, are
  // functions of sets, or are names of levels, dimensions or named sets. Members and tuples are
  // values there, as an analyst writes [Measures].[Amount] * 2 or [A] - [B].
  bool IsSetValued(const MdxExpression& e) const {
    switch (e.kind) {
      case Kind::kSet:
      case Kind::kMembers:
      case Kind::kChildren:
      case Kind::kSiblings:
      case Kind::kLevel:
      case Kind::kRange:
      case Kind::kDescendants:
      case Kind::kCrossJoin:
      case Kind::kHead:
      case Kind::kTail:
      case Kind::kSubset:
      case Kind::kUnion:
      case Kind::kExcept:
      case Kind::kIntersect:
      case Kind::kDistinct:
      case Kind::kHierarchize:
      case Kind::kExtract:
      case Kind::kTopCount:
      case Kind::kBottomCount:
      case Kind::kTopPercent:
      case Kind::kBottomPercent:
      case Kind::kTopSum:
      case Kind::kBottomSum:
      case Kind::kOrder:
      case Kind::kFilter:
      case Kind::kNonEmpty:
      case Kind::kGenerate:
      case Kind::kPeriodsToDate:
      case Kind::kYtd:
      case Kind::kQtd:
      case Kind::kMtd:
      case Kind::kWtd:
        return true;
      case Kind::kBinary:
        return IsSetOperator(e) &&
               (IsSetValued(e.operands.front()) || IsSetValued(e.operands.back()));
      case Kind::kName: {
        if (FindSet(e.parts) != npos) return true;
        if (FindFormula(e.parts) != npos) return false;
        try {
          const NameRef ref = model_.Resolve(e.parts, e.position);
          return ref.kind == NameRef::Kind::kLevel;
        } catch (const QueryFailure&) {
          return false;
        }
      }
      default:
        return false;
    }
  }

  bool Truth(const Value& value, std::size_t position) const {
    switch (value.type) {
      case Value::Type::kEmpty:
        return false;
      case Value::Type::kString:
        throw QueryFailure("a string where a condition is needed", position);
      case Value::Type::kBool:
        return value.truth;
      default:
        return value.Number() != 0;
    }
  }

  Value Unary(const MdxExpression& e, const Coord& at) {
    const Value value = ValueAt(e.operands.front(), at);
    if (e.parts.front().text == "NOT") return Value::Bool(!Truth(value, e.position));
    if (value.Empty()) return {};
    if (value.type == Value::Type::kString)
      throw QueryFailure("\"-\" needs a number, found a string", e.position);
    if (value.type == Value::Type::kInteger && value.integer != INT64_MIN)
      return Value::Integer(-value.integer);
    return Value::Real(-value.Number());
  }

  Value Binary(const MdxExpression& e, const Coord& at) {
    const std::string& op = e.parts.front().text;
    if (op == "AND" || op == "OR") {
      const bool left = Truth(ValueAt(e.operands[0], at), e.operands[0].position);
      if (op == "AND" && !left) return Value::Bool(false);
      if (op == "OR" && left) return Value::Bool(true);
      return Value::Bool(Truth(ValueAt(e.operands[1], at), e.operands[1].position));
    }
    const Value a = ValueAt(e.operands[0], at);
    const Value b = ValueAt(e.operands[1], at);
    if (op == "XOR") return Value::Bool(Truth(a, e.position) != Truth(b, e.position));
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
      const int order = Compare(a, b, e.position);
      if (op == "=") return Value::Bool(order == 0);
      if (op == "<>") return Value::Bool(order != 0);
      if (op == "<") return Value::Bool(order < 0);
      if (op == ">") return Value::Bool(order > 0);
      if (op == "<=") return Value::Bool(order <= 0);
      return Value::Bool(order >= 0);
    }
    if (a.type == Value::Type::kString || b.type == Value::Type::kString) {
      if (op == "+" && a.type != Value::Type::kEmpty && b.type != Value::Type::kEmpty &&
          a.type == b.type)
        return Value::String(a.text + b.text);
      if (op == "+" && (a.Empty() || b.Empty())) return a.Empty() ? b : a;
      throw QueryFailure("\"" + op + "\" needs two numbers" + (op == "+" ? " or two strings" : ""),
                         e.position);
    }
    // An empty operand gives an empty cell, as does a division by zero: a ratio or a growth
    // over a period without sales is unknown, not 0 and not infinite.
    if (a.Empty() || b.Empty()) return {};
    if (op == "/") {
      if (b.Number() == 0) return {};
      return Value::Real(a.Number() / b.Number());
    }
    if (a.type == Value::Type::kInteger && b.type == Value::Type::kInteger) {
      std::int64_t out = 0;
      const bool overflow = op == "+"   ? __builtin_add_overflow(a.integer, b.integer, &out)
                            : op == "-" ? __builtin_sub_overflow(a.integer, b.integer, &out)
                                        : __builtin_mul_overflow(a.integer, b.integer, &out);
      if (!overflow) return Value::Integer(out);
    }
    const double x = a.Number(), y = b.Number();
    return Value::Real(op == "+" ? x + y : op == "-" ? x - y : x * y);
  }

  // Orders two values: numbers by size (empty as 0), strings by their bytes (empty as "").
  static int Compare(const Value& a, const Value& b, std::size_t position) {
    const bool text = a.type == Value::Type::kString || b.type == Value::Type::kString;
    if (text) {
      if ((!a.Empty() && a.type != Value::Type::kString) ||
          (!b.Empty() && b.type != Value::Type::kString))
        throw QueryFailure("a string compared with a number", position);
      return a.text < b.text ? -1 : a.text == b.text ? 0 : 1;
    }
    if (a.type == Value::Type::kInteger && b.type == Value::Type::kInteger)
      return a.integer < b.integer ? -1 : a.integer == b.integer ? 0 : 1;
    const double x = a.Number(), y = b.Number();
    return x < y ? -1 : x > y ? 1 : 0;
  }

  // The value of `e`'s second operand (else of the cell) at each tuple of its set.
  std::vector<Value> ValuesOver(const TupleList& set, const MdxExpression* value, const Coord& at) {
    std::vector<Value> values;
    values.reserve(set.count);
    for (std::size_t t = 0; t < set.count; ++t) {
      const Coord there = With(at, set, t);
      values.push_back(value != nullptr ? ValueAt(*value, there) : CellAt(there));
    }
    return values;
  }

  Value Summary(const MdxExpression& e, const Coord& at) {
    const std::string name = FunctionName(e.kind);
    const TupleList set = SetAt(e.operands.front(), at, name.c_str());
    const std::vector<Value> values =
        ValuesOver(set, e.operands.size() > 1 ? &e.operands[1] : nullptr, at);
    Value total;
    CellValue sum;  // Sum and Avg add by the stored measures' rule: exactly, rounded once
    std::size_t count = 0;
    for (const Value& value : values) {
      if (value.Empty()) continue;
      if (value.type == Value::Type::kString)
        throw QueryFailure(name + " needs numbers, found a string", e.position);
      ++count;
      const Value number =
          value.type == Value::Type::kBool ? Value::Integer(value.truth ? 1 : 0) : value;
      if (e.kind == Kind::kSum || e.kind == Kind::kAvg) {
        provider::cubefile::MergeStoredValue(sum, ToCell(number),
                                             provider::AggregateFunction::kSum);
        continue;
      }
      if (total.Empty()) {
        total = number;
        continue;
      }
      const int order = Compare(value, total, e.position);
      if ((e.kind == Kind::kMin && order < 0) || (e.kind == Kind::kMax && order > 0)) total = value;
    }
    if (e.kind == Kind::kSum) return FromCell(sum);
    if (e.kind == Kind::kAvg && count > 0)
      return Value::Real(FromCell(sum).Number() / static_cast<double>(count));
    return total;
  }

  Value Counted(const MdxExpression& e, const Coord& at) {
    const TupleList set = SetAt(e.operands.front(), at, "Count");
    const bool exclude_empty =
        e.operands.size() > 1 && e.operands[1].parts.front().text == "EXCLUDEEMPTY";
    if (!exclude_empty) return Value::Integer(static_cast<std::int64_t>(set.count));
    std::int64_t count = 0;
    for (const Value& value : ValuesOver(set, nullptr, at))
      if (!value.Empty()) ++count;
    return Value::Integer(count);
  }

  // Aggregate(set [, value]): the cell's measure over the set by its own function. A stored
  // measure over a set of the cube's members counts the rows under any of its tuples once,
  // as a set in WHERE does; otherwise the values at the tuples merge by the measure's function
  // (adding for a calculated measure).
  Value Aggregated(const MdxExpression& e, const Coord& at) {
    const TupleList set = SetAt(e.operands.front(), at, "Aggregate");
    const std::size_t measure = at.back();
    if (set.count == 0) return {};
    const bool stored_members =
        std::none_of(set.shape.begin(), set.shape.end(),
                     [](std::size_t h) { return h == kMeasuresHierarchy; }) &&
        std::none_of(set.items.begin(), set.items.end(),
                     [&](std::size_t m) { return m >= model_.MemberCount(); });
    if (e.operands.size() == 1 && measure < measures_ && stored_members) {
      if (set.count == 1) return CellAt(With(at, set, 0));
      Coord there = at;
      const std::uint32_t slot = SlotOf(set);
      for (std::size_t h : set.shape) Put(there, h, slot);
      for (std::size_t h : set.shape) there[h] = slot;
      return CellAt(there);
    }
    const auto function =
        measure < measures_ ? combine_[measure] : provider::AggregateFunction::kSum;
    CellValue total;
    for (const Value& value :
         ValuesOver(set, e.operands.size() > 1 ? &e.operands[1] : nullptr, at)) {
      if (value.type == Value::Type::kString)
        throw QueryFailure("Aggregate needs numbers, found a string", e.position);
      const CellValue cell =
          ToCell(value.type == Value::Type::kBool ? Value::Integer(value.truth ? 1 : 0) : value);
      if (total.kind == CellValue::Kind::kNull)
        total = cell;
      else
        provider::cubefile::MergeStoredValue(total, cell, function);
    }
    return FromCell(total);
  }

  Value Property(const MdxExpression& e, const Coord& at) {
    const std::string& property = e.parts.front().text;
    const MdxExpression& of = e.operands.front();
    if (property == "Value") return ValueAt(of, at);
    if (property == "Count")
      return Value::Integer(static_cast<std::int64_t>(SetAt(of, at, ".Count").count));
    // A level's name and ordinal.
    std::size_t level = npos;
    if (of.kind == Kind::kLevel) {
      const MemberValue member = MemberAt(of.operands.front(), at, ".Level");
      if (member.member == npos) return {};
      level = model_.LevelOf(member.member);
    } else if (of.kind == Kind::kName && FindFormula(of.parts) == npos &&
               FindSet(of.parts) == npos) {
      const NameRef ref = model_.Resolve(of.parts, of.position);
      if (ref.kind == NameRef::Kind::kLevel) level = ref.index;
      if (ref.kind == NameRef::Kind::kHierarchy && property != "Ordinal") {
        const std::string name = model_.HierarchyName(ref.index);
        return Value::String(property == "UniqueName" ? name : Unbracketed(name));
      }
    }
    if (level != npos) {
      const auto& stored = model_.Catalog().levels[level];
      if (property == "Ordinal") return Value::Integer(stored.ordinal - 1);
      if (property == "UniqueName")
        return Value::String(model_.HierarchyName(model_.LevelHierarchy(level)) + "." +
                             Bracketed(stored.name));
      return Value::String(stored.name);
    }
    if (property == "Ordinal") throw QueryFailure(".Ordinal needs a level", e.position);
    const TupleList member = SetAt(of, at, ".Name");
    if (member.count == 0) return {};
    if (member.count != 1 || member.Arity() != 1)
      throw QueryFailure("." + property + " needs a member", e.position);
    return Value::String(property == "UniqueName" ? UniqueName(member.shape[0], member.items[0])
                                                  : Caption(member.shape[0], member.items[0]));
  }

  static std::string Unbracketed(const std::string& name) {
    const std::size_t open = name.rfind('[');
    return open == std::string::npos ? name : name.substr(open + 1, name.size() - open - 2);
  }

 public:
  std::string Caption(std::size_t hierarchy, std::size_t item) const {
    if (const Formula* f = FormulaOfItem(hierarchy, item)) return f->name;
    return hierarchy == kMeasuresHierarchy ? model_.Catalog().measures[item].name
                                           : model_.Member(item).name;
  }

  std::string UniqueName(std::size_t hierarchy, std::size_t item) const {
    if (const Formula* f = FormulaOfItem(hierarchy, item)) return NameText(f->source->name);
    if (hierarchy == kMeasuresHierarchy)
      return "[Measures]." + Bracketed(model_.Catalog().measures[item].name);
    return model_.UniqueName(item);
  }

 private:
  // ---- Sets chosen and ordered by value.

  // The values a sorting function orders `set` by: its value expression, else the cell's.
  std::vector<Value> SortValues(const TupleList& set, const MdxExpression* value, const Coord& at) {
    return ValuesOver(set, value, at);
  }

  static TupleList Picked(const TupleList& set, const std::vector<std::size_t>& order) {
    TupleList picked{set.shape, {}, order.size()};
    picked.items.reserve(order.size() * set.Arity());
    for (std::size_t t : order)
      picked.items.insert(picked.items.end(), set.At(t), set.At(t) + set.Arity());
    if (order.empty()) picked.count = 0;
    return picked;
  }

  // The tuple order by `values`, ties in the set's order.
  static std::vector<std::size_t> SortedBy(const std::vector<Value>& values, bool descending,
                                           std::size_t position) {
    std::vector<std::size_t> order(values.size());
    for (std::size_t t = 0; t < order.size(); ++t) order[t] = t;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const int c = Compare(values[a], values[b], position);
      return descending ? c > 0 : c < 0;
    });
    return order;
  }

  TupleList Top(const MdxExpression& e, const Coord& at) {
    const std::string name = FunctionName(e.kind);
    const TupleList set = SetAt(e.operands[0], at, name.c_str());
    const double n = NumberOf(e.operands[1]);
    const bool top =
        e.kind == Kind::kTopCount || e.kind == Kind::kTopPercent || e.kind == Kind::kTopSum;
    const bool by_count = e.kind == Kind::kTopCount || e.kind == Kind::kBottomCount;
    if (by_count && e.operands.size() < 3) {
      // Without a value TopCount takes the set's first tuples as they come.
      std::vector<std::size_t> first;
      for (std::size_t t = 0; t < set.count && static_cast<double>(t) < n; ++t) first.push_back(t);
      return Picked(set, first);
    }
    const std::vector<Value> values = SortValues(set, &e.operands[2], at);
    const std::vector<std::size_t> order = SortedBy(values, top, e.position);
    std::vector<std::size_t> kept;
    if (by_count) {
      for (std::size_t i = 0; i < order.size() && static_cast<double>(i) < n; ++i)
        kept.push_back(order[i]);
      return Picked(set, kept);
    }
    double total = 0;
    for (const Value& value : values) {
      if (value.type == Value::Type::kString)
        throw QueryFailure(name + " needs numbers, found a string", e.position);
      total += value.Number();
    }
    const double target =
        e.kind == Kind::kTopPercent || e.kind == Kind::kBottomPercent ? total * n / 100 : n;
    // TopSum and TopPercent: the fewest tuples, highest first, whose values reach the target;
    // BottomSum and BottomPercent: the lowest tuples whose values stay within it.
    double sum = 0;
    for (std::size_t t : order) {
      const double value = values[t].Number();
      if (top ? sum >= target : sum + value > target) break;
      kept.push_back(t);
      sum += value;
    }
    return Picked(set, kept);
  }

  TupleList Ordered(const MdxExpression& e, const Coord& at) {
    const TupleList set = SetAt(e.operands[0], at, "Order");
    const std::string flag = e.operands.size() > 2 ? e.operands[2].parts.front().text : "ASC";
    const bool descending = flag == "DESC" || flag == "BDESC";
    const bool breaks = flag == "BASC" || flag == "BDESC";
    if (breaks || set.Arity() != 1 || set.shape.front() == kMeasuresHierarchy) {
      const std::vector<Value> values = SortValues(set, &e.operands[1], at);
      return Picked(set, SortedBy(values, descending, e.position));
    }
    // ASC and DESC keep the hierarchy: a member comes after its ancestors, and members with the
    // same parent are ordered among themselves, each parent's branch by the parent's value.
    const std::size_t h = set.shape.front();
    std::vector<std::size_t> path_members;  // every ancestor of every tuple, and the tuple
    std::map<std::size_t, std::size_t> index_of;
    std::vector<std::vector<std::size_t>> paths(set.count);
    for (std::size_t t = 0; t < set.count; ++t) {
      std::vector<std::size_t> path;
      const std::size_t member = set.At(t)[0];
      if (member >= model_.MemberCount()) {
        path.push_back(member);
      } else {
        for (std::size_t m = member; m != npos; m = model_.ParentOf(m)) path.push_back(m);
      }
      std::reverse(path.begin(), path.end());
      for (std::size_t m : path) {
        if (index_of.emplace(m, path_members.size()).second) path_members.push_back(m);
      }
      paths[t] = std::move(path);
    }
    TupleList all{{h}, path_members, path_members.size()};
    const std::vector<Value> values = SortValues(all, &e.operands[1], at);
    const auto rank = [&](std::size_t m) {
      return m >= model_.MemberCount() ? m : model_.HierarchyOrder(m);
    };
    std::vector<std::size_t> order(set.count);
    for (std::size_t t = 0; t < set.count; ++t) order[t] = t;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const auto& pa = paths[a];
      const auto& pb = paths[b];
      for (std::size_t d = 0; d < std::min(pa.size(), pb.size()); ++d) {
        if (pa[d] == pb[d]) continue;
        const int c = Compare(values[index_of[pa[d]]], values[index_of[pb[d]]], e.position);
        if (c != 0) return descending ? c > 0 : c < 0;
        return rank(pa[d]) < rank(pb[d]);
      }
      return pa.size() < pb.size();
    });
    return Picked(set, order);
  }

  TupleList Filtered(const MdxExpression& e, const Coord& at) {
    const TupleList set = SetAt(e.operands[0], at, "Filter");
    const std::vector<Value> values = SortValues(set, &e.operands[1], at);
    std::vector<std::size_t> kept;
    for (std::size_t t = 0; t < set.count; ++t)
      if (Truth(values[t], e.operands[1].position)) kept.push_back(t);
    return Picked(set, kept);
  }

  TupleList NonEmpty(const MdxExpression& e, const Coord& at) {
    const TupleList set = SetAt(e.operands[0], at, "NonEmpty");
    TupleList with{{}, {}, 1};
    if (e.operands.size() > 1) with = SetAt(e.operands[1], at, "NonEmpty");
    std::vector<std::size_t> kept;
    for (std::size_t t = 0; t < set.count; ++t) {
      const Coord there = With(at, set, t);
      for (std::size_t s = 0; s < with.count; ++s) {
        if (!CellAt(With(there, with, s)).Empty()) {
          kept.push_back(t);
          break;
        }
      }
    }
    return Picked(set, kept);
  }

  TupleList Generated(const MdxExpression& e, const Coord& at) {
    const TupleList set = SetAt(e.operands[0], at, "Generate");
    const bool all = e.operands.size() > 2;
    TupleList out;
    std::set<std::vector<std::size_t>> seen;
    for (std::size_t t = 0; t < set.count; ++t) {
      const TupleList part = SetAt(e.operands[1], With(at, set, t), "Generate");
      if (part.count == 0) continue;
      if (out.count == 0) {
        out.shape = part.shape;
      } else if (out.shape != part.shape) {
        throw QueryFailure("Generate makes tuples of different dimensions", e.operands[1].position);
      }
      for (std::size_t p = 0; p < part.count; ++p) {
        std::vector<std::size_t> tuple(part.At(p), part.At(p) + part.Arity());
        if (!all && !seen.insert(tuple).second) continue;
        if (out.count == options_.max_axis_tuples) {
          throw QueryFailure(
              "Generate makes a set of more than " + Grouped(options_.max_axis_tuples) + " tuples",
              e.position);
        }
        out.items.insert(out.items.end(), tuple.begin(), tuple.end());
        ++out.count;
      }
    }
    return out;
  }

  // ---- Time.

  // The level `e` names.
  std::size_t LevelArgument(const MdxExpression& e, const Coord& at, const char* function) {
    if (e.kind == Kind::kLevel) {
      const MemberValue member = MemberAt(e.operands.front(), at, function);
      return member.member == npos ? npos : model_.LevelOf(member.member);
    }
    if (e.kind == Kind::kName) {
      const NameRef ref = model_.Resolve(e.parts, e.position);
      if (ref.kind == NameRef::Kind::kLevel) return ref.index;
    }
    throw QueryFailure(std::string(function) + " needs a level", e.position);
  }

  // The level named `name` of the hierarchy a time function works in when none is named: the
  // first with a level of that name (Year, Quarter, Month, Week).
  std::size_t LevelNamed(const char* name, std::size_t position, const char* function) const {
    for (std::size_t level = 0; level < model_.Catalog().levels.size(); ++level)
      if (platform::EqualsFolded(model_.Catalog().levels[level].name, name)) return level;
    throw QueryFailure(std::string(function) + " needs a level named " + name +
                           " in the cube, or use PeriodsToDate with a level",
                       position);
  }

  // The member a time function starts from: its member argument, else the current member of
  // `level`'s hierarchy.
  MemberValue TimeMember(const MdxExpression* e, std::size_t level, const Coord& at,
                         const char* function, std::size_t position) {
    if (e != nullptr) return MemberAt(*e, at, function);
    const std::size_t h = model_.LevelHierarchy(level);
    const MdxExpression current{Kind::kCurrentMember, position, {}, {}};
    const std::uint32_t slot = at[h];
    if (slot == kAnySlot || IsSetSlot(slot) || slot >= model_.MemberCount()) {
      throw QueryFailure(std::string(function) + ": " + model_.HierarchyName(h) +
                             " has no current member of the cube here",
                         position);
    }
    return {slot, h};
  }

  // The member at the same place under `to` as `member` is under `from` (its ancestor); the
  // null member where `to` has no such descendant.
  std::size_t Cousin(std::size_t member, std::size_t from, std::size_t to) const {
    std::vector<std::size_t> steps;
    for (std::size_t m = member; m != from; m = model_.ParentOf(m)) {
      const auto& siblings = model_.ChildrenOf(model_.ParentOf(m));
      steps.push_back(static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), m) -
                                               siblings.begin()));
    }
    std::size_t at = to;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
      const auto& children = model_.ChildrenOf(at);
      if (*step >= children.size()) return npos;
      at = children[*step];
    }
    return at;
  }

  TupleList TimeSet(const MdxExpression& e, const Coord& at) {
    const std::string name = FunctionName(e.kind);
    const char* function = name.c_str();
    const auto& ops = e.operands;
    std::size_t level = npos;
    const MdxExpression* member_expression = nullptr;
    switch (e.kind) {
      case Kind::kYtd:
      case Kind::kQtd:
      case Kind::kMtd:
      case Kind::kWtd:
        level = LevelNamed(e.kind == Kind::kYtd   ? "Year"
                           : e.kind == Kind::kQtd ? "Quarter"
                           : e.kind == Kind::kMtd ? "Month"
                                                  : "Week",
                           e.position, function);
        if (!ops.empty()) member_expression = &ops.front();
        break;
      case Kind::kParallelPeriod:
        if (!ops.empty()) level = LevelArgument(ops[0], at, function);
        if (ops.size() > 2) member_expression = &ops[2];
        break;
      default:
        if (!ops.empty()) level = LevelArgument(ops[0], at, function);
        if (ops.size() > 1) member_expression = &ops[1];
        break;
    }
    if (level == npos && ops.empty()) {
      // No level: that above the current member of the time hierarchy (ParallelPeriod,
      // PeriodsToDate), or below it (OpeningPeriod, ClosingPeriod).
      const std::size_t year = LevelNamed("Year", e.position, function);
      const MemberValue current = TimeMember(nullptr, year, at, function, e.position);
      const auto& levels = model_.LevelsOf(current.hierarchy);
      const auto here = std::find(levels.begin(), levels.end(), model_.LevelOf(current.member));
      const bool down = e.kind == Kind::kOpeningPeriod || e.kind == Kind::kClosingPeriod;
      if (down ? here + 1 == levels.end() : here == levels.begin())
        return {{current.hierarchy}, {}, 0};
      level = down ? *(here + 1) : *(here - 1);
    }
    if (level == npos) return {};
    const MemberValue of = TimeMember(member_expression, level, at, function, e.position);
    const std::size_t h = model_.LevelHierarchy(level);
    const TupleList none{{h}, {}, 0};
    if (of.member == npos) return none;
    if (of.hierarchy != h) {
      throw QueryFailure(
          std::string(function) + ": the member is not of " + model_.HierarchyName(h), e.position);
    }
    const int depth = model_.Catalog().levels[level].ordinal;
    const int own = model_.DepthOf(of.member);
    switch (e.kind) {
      case Kind::kParallelPeriod: {
        const double lag = ops.size() > 1 ? NumberOf(ops[1]) : 1;
        if (depth > own) return none;
        const std::size_t ancestor = model_.AncestorAt(of.member, depth);
        const auto& members = model_.MembersOf(level);
        const double place = static_cast<double>(model_.PositionInLevel(ancestor)) - lag;
        if (place < 0 || place >= static_cast<double>(members.size())) return none;
        const std::size_t cousin =
            Cousin(of.member, ancestor, members[static_cast<std::size_t>(place)]);
        return cousin == npos ? none : TupleList{{h}, {cousin}, 1};
      }
      case Kind::kOpeningPeriod:
      case Kind::kClosingPeriod: {
        if (depth < own) return none;
        std::size_t m = of.member;
        while (model_.DepthOf(m) < depth) {
          const auto& children = model_.ChildrenOf(m);
          if (children.empty()) return none;
          m = e.kind == Kind::kOpeningPeriod ? children.front() : children.back();
        }
        return {{h}, {m}, 1};
      }
      default: {
        // PeriodsToDate and its kin: from the first member at the member's level under its
        // ancestor at `level` to the member itself.
        if (depth > own) return none;
        const std::size_t ancestor = model_.AncestorAt(of.member, depth);
        std::size_t first = ancestor;
        while (model_.DepthOf(first) < own) {
          const auto& children = model_.ChildrenOf(first);
          if (children.empty()) return none;
          first = children.front();
        }
        const auto& members = model_.MembersOf(model_.LevelOf(of.member));
        const std::size_t from = model_.PositionInLevel(first);
        const std::size_t to = model_.PositionInLevel(of.member);
        TupleList span{{h}, {}, 0};
        for (std::size_t p = from; p <= to; ++p) span.items.push_back(members[p]);
        span.count = span.items.size();
        return span;
      }
    }
  }

  // ---- The query.

  QueryResult Compute() {
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
    if (!query_.subselect.empty()) Subselect(query_.subselect.front());

    BoundQuery bound;
    bound.slicer = {{}, {}, 1};
    if (query_.where) {
      const MdxExpression& where = *query_.where;
      bound.slicer_position = where.position;
      const Within within(*this, default_);
      const SetEvaluator sets(model_, options_.max_axis_tuples, this, true);
      bound.slicer = sets.Bounded(where, "WHERE");
      Slice(bound.slicer, where.position);
    }
    bound.columns = {AxisSet(query_.columns.set, "columns"), query_.columns.non_empty,
                     DimensionPropertyNames(query_.columns.properties),
                     query_.columns.set.position};
    if (query_.rows) {
      bound.rows = {AxisSet(query_.rows->set, "rows"), query_.rows->non_empty,
                    DimensionPropertyNames(query_.rows->properties), query_.rows->set.position};
    } else {
      bound.rows.tuples.count = 1;
    }
    CheckAxesApart(model_, bound);
    const TupleList& rows = bound.rows.tuples;
    const TupleList& columns = bound.columns.tuples;
    if (rows.count != 0 && columns.count > options_.max_cells / rows.count) {
      throw QueryFailure("the answer has " + Grouped(rows.count) + " rows x " +
                         Grouped(columns.count) + " columns, more than the limit of " +
                         Grouped(options_.max_cells) + " cells");
    }

    std::vector<std::vector<Value>> grid(rows.count, std::vector<Value>(columns.count));
    for (std::size_t r = 0; r < rows.count; ++r) {
      const Coord row = With(default_, rows, r);
      for (std::size_t c = 0; c < columns.count; ++c) grid[r][c] = CellAt(With(row, columns, c));
    }
    if (misses_.Size() != 0) return {};

    // NON EMPTY keeps the rows and columns with a value.
    std::vector<bool> row_kept(rows.count, !bound.rows.non_empty);
    std::vector<bool> column_kept(columns.count, !bound.columns.non_empty);
    for (std::size_t r = 0; r < rows.count; ++r) {
      for (std::size_t c = 0; c < columns.count; ++c) {
        if (grid[r][c].Empty()) continue;
        row_kept[r] = true;
        column_kept[c] = true;
      }
    }
    QueryResult result;
    for (const std::string& table : tables_)
      result.table += (result.table.empty() ? "" : ", ") + table;
    result.slicer_measure = bound.slicer.count == 0 ? QueryResult::npos : bound.slicer.MeasureOf(0);
    bool texts = false;
    for (std::size_t c = 0; c < columns.count; ++c) {
      if (!column_kept[c]) continue;
      result.columns.push_back(Names(columns, c));
      result.column_measure.push_back(columns.MeasureOf(c));
    }
    for (std::size_t r = 0; r < rows.count; ++r) {
      if (!row_kept[r]) continue;
      result.rows.push_back(Names(rows, r));
      result.row_measure.push_back(rows.MeasureOf(r));
      std::vector<CellValue> cells;
      std::vector<std::string> row_texts;
      for (std::size_t c = 0; c < columns.count; ++c) {
        if (!column_kept[c]) continue;
        const Value& value = grid[r][c];
        cells.push_back(ToCell(value));
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
      result.cells.push_back(std::move(cells));
      result.texts.push_back(std::move(row_texts));
    }
    if (!texts) result.texts.clear();
    for (const Formula& f : formulas_) {
      if (f.hierarchy == kMeasuresHierarchy)
        result.calculated_formats.push_back(f.source->format_string.value_or(""));
    }
    result.column_property_names = bound.columns.properties;
    result.row_property_names = bound.rows.properties;
    for (std::size_t c = 0; c < columns.count; ++c) {
      if (!column_kept[c]) continue;
      if (options_.unique_names) result.column_unique_names.push_back(UniqueNames(columns, c));
      if (!bound.columns.properties.empty())
        result.column_properties.push_back(Properties(columns, c, bound.columns.properties));
    }
    for (std::size_t r = 0; r < rows.count; ++r) {
      if (!row_kept[r]) continue;
      if (options_.unique_names) result.row_unique_names.push_back(UniqueNames(rows, r));
      if (!bound.rows.properties.empty())
        result.row_properties.push_back(Properties(rows, r, bound.rows.properties));
    }
    return result;
  }

  TupleList AxisSet(const MdxExpression& e, const char* axis) {
    const Within within(*this, default_);
    const SetEvaluator sets(model_, options_.max_axis_tuples, this);
    const std::size_t count = sets.Count(e);
    if (count > options_.max_axis_tuples) {
      throw QueryFailure(std::string("the ") + axis + " axis has " + Grouped(count) +
                         " tuples, more than the limit of " + Grouped(options_.max_axis_tuples));
    }
    TupleList set = sets.Build(e);
    return Visible(set);
  }

  // The WHERE tuples set where every cell starts: one tuple's members, or the set.
  void Slice(const TupleList& slicer, std::size_t position) {
    if (slicer.count == 0) {
      empty_slicer_ = true;
      return;
    }
    if (slicer.count == 1) {
      default_ = With(default_, slicer, 0);
      return;
    }
    CheckSlicerMeasures(model_, slicer, position);
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
  void Subselect(const MdxQuery& inner) {
    if (!inner.subselect.empty()) Subselect(inner.subselect.front());
    std::vector<const MdxAxis*> axes{&inner.columns};
    if (inner.rows) axes.push_back(&*inner.rows);
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
        if (members.size() == 1) {
          default_[h] = static_cast<std::uint32_t>(members.front());
        } else {
          default_[h] = SlotOf(TupleList{{h}, members, members.size()});
        }
      }
    }
    if (inner.where) {
      const Within within(*this, default_);
      const SetEvaluator sets(model_, options_.max_axis_tuples, this, true);
      Slice(sets.Bounded(*inner.where, "WHERE"), inner.where->position);
    }
  }

  bool Related(std::size_t a, std::size_t b) const {
    if (a >= model_.MemberCount() || b >= model_.MemberCount()) return a == b;
    const int da = model_.DepthOf(a), db = model_.DepthOf(b);
    return da <= db ? model_.AncestorAt(b, da) == a : model_.AncestorAt(a, db) == b;
  }

  // `set` without the tuples a subselect hides.
  TupleList Visible(const TupleList& set) const {
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

  std::vector<std::string> Names(const TupleList& tuples, std::size_t t) const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < tuples.Arity(); ++i)
      names.push_back(Caption(tuples.shape[i], tuples.At(t)[i]));
    return names;
  }

  // The DIMENSION PROPERTIES `names` of each member of tuple `t`; a calculated member has no
  // parent, no children and stands at level 0.
  std::vector<std::vector<std::string>> Properties(const TupleList& tuples, std::size_t t,
                                                   const std::vector<std::string>& names) const {
    std::vector<std::vector<std::string>> members;
    for (std::size_t i = 0; i < tuples.Arity(); ++i) {
      const std::size_t h = tuples.shape[i], item = tuples.At(t)[i];
      std::vector<std::string> values;
      for (const std::string& name : names) {
        if (FormulaOfItem(h, item) == nullptr) {
          values.push_back(PropertyValue(model_, h, item, name));
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

  std::vector<std::string> UniqueNames(const TupleList& tuples, std::size_t t) const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < tuples.Arity(); ++i)
      names.push_back(UniqueName(tuples.shape[i], tuples.At(t)[i]));
    return names;
  }

  const provider::cubefile::CubeReader& reader_;
  const CubeModel& model_;
  const MdxQuery& query_;
  const QueryOptions& options_;
  const std::size_t hierarchies_;
  const std::size_t measures_;
  std::vector<provider::AggregateFunction> combine_;
  std::vector<Formula> formulas_;
  std::vector<std::size_t> measure_formulas_;  // formulas_ index of each calculated measure
  std::vector<const MdxFormula*> sets_;
  std::map<std::size_t, std::optional<TupleList>> named_sets_;
  std::unordered_map<const MdxExpression*, bool> fixed_;            // IsFixed, once per node
  std::unordered_map<const MdxExpression*, TupleList> fixed_sets_;  // this round's fixed sets

  Coord default_;
  bool empty_slicer_ = false;
  std::map<std::size_t, std::vector<std::size_t>> visible_;  // hierarchy: the subselect's members
  const Coord* current_ = nullptr;
  int depth_ = 0;             // calculated members computing one another
  int evaluation_depth_ = 0;  // values and sets computed within one another

  std::vector<SlotSet> slot_sets_;
  std::map<std::vector<std::size_t>, std::uint32_t> slot_ids_;

  KeyTable cache_;  // coordinates read, numbered as values_
  std::vector<CellValue> values_;
  KeyTable misses_{1};  // coordinates this round needs and has not read
  std::set<std::string> tables_;
};

}  // namespace

bool NeedsCalculation(const MdxQuery& query) {
  if (!query.formulas.empty() || !query.subselect.empty()) return true;
  if (Mentions(query.columns.set)) return true;
  if (query.rows && Mentions(query.rows->set)) return true;
  return query.where && Mentions(*query.where);
}

QueryResult Calculate(const provider::cubefile::CubeReader& reader, const CubeModel& model,
                      const MdxQuery& query, const QueryOptions& options) {
  const auto& catalog = model.Catalog();
  if (!platform::EqualsFolded(query.cube, catalog.name)) {
    throw QueryFailure("unknown cube " + Bracketed(query.cube) + " (the file holds " +
                           Bracketed(catalog.name) + ")",
                       query.cube_position);
  }
  Calculator calculator(reader, model, query, options);
  return calculator.Answer();
}

}  // namespace cubemill::query
