// The drill functions a pivot table asks with: a set's members opened to their children, or
// closed again, by level or by member. Each keeps the order of the set it is given and puts a
// member's children right after it; the tuples of a set of several hierarchies are drilled on
// one of them, the others kept. A tuple that the drilling brings twice (a child the set
// already held) stays where it first comes.
#include <algorithm>
#include <string>
#include <vector>

#include "query/execution/evaluation.h"
#include "query/functions/catalog.h"
#include "query/query_failure.h"

namespace cubemill::query::functions {

namespace {

using Kind = MdxExpression::Kind;
constexpr std::size_t npos = CubeModel::npos;

// Whether argument `i` of `e` is given (not left out, not a flag).
bool Given(const MdxExpression& e, std::size_t i) {
  return e.operands.size() > i && e.operands[i].kind != Kind::kFlag;
}

// Whether the flag `word` stands among `e`'s arguments.
bool HasFlag(const MdxExpression& e, const char* word) {
  return std::any_of(e.operands.begin(), e.operands.end(), [&](const MdxExpression& operand) {
    return operand.kind == Kind::kFlag && operand.parts.front().text == word;
  });
}

// Builds the result of a drill function, failing past the axis limit.
class Drilled {
 public:
  Drilled(Context& cx, const TupleList& from, const char* function)
      : cx_(cx), function_(function), list_{from.shape, {}, 0} {}

  void Add(const std::size_t* tuple) {
    if (list_.count == cx_.MaxTuples())
      throw QueryFailure(std::string(function_) + " makes a set of more than " +
                         Grouped(cx_.MaxTuples()) + " tuples");
    list_.items.insert(list_.items.end(), tuple, tuple + list_.Arity());
    ++list_.count;
  }
  // `tuple` with its coordinate `index` replaced by `member`.
  void AddWith(const std::size_t* tuple, std::size_t index, std::size_t member) {
    std::vector<std::size_t> copy(tuple, tuple + list_.Arity());
    copy[index] = member;
    Add(copy.data());
  }
  // The tuples, each once: where a child was already in the set, or two members drilled bring
  // the same one, it stays where it first comes.
  TupleList Take() { return Deduplicated(list_); }
  std::size_t Arity() const { return list_.Arity(); }

 private:
  Context& cx_;
  const char* function_;
  TupleList list_;
};

// Whether `item` of coordinate `index` of `set` is a member of the cube (not a measure, not a
// calculated member): what the drill functions open and close.
bool IsCubeMember(const CubeModel& model, const TupleList& set, std::size_t index,
                  std::size_t item) {
  return set.shape[index] != kMeasuresHierarchy && item < model.MemberCount();
}

// The calculated members of the WITH clause defined under member `parent`
// ([Geography].[Spain].[Iberia] under [Geography].[Spain]), in the order of the clause.
std::vector<std::size_t> CalculatedChildren(Context& cx, std::size_t parent) {
  std::vector<std::size_t> found;
  for (const BoundFormula& f : cx.Eval().Bound().formulas)
    if (f.parent == parent && f.hierarchy != kMeasuresHierarchy) found.push_back(f.item);
  return found;
}

// Adds the tuples of `tuple` with coordinate `index` replaced by each child of `member`, and
// the calculated members under it with INCLUDE_CALC_MEMBERS.
void AddChildren(Context& cx, Drilled& out, const std::size_t* tuple, std::size_t index,
                 std::size_t member, bool calculated) {
  for (std::size_t child : cx.Model().ChildrenOf(member)) out.AddWith(tuple, index, child);
  if (!calculated) return;
  for (std::size_t child : CalculatedChildren(cx, member)) out.AddWith(tuple, index, child);
}

// The coordinate of `set` that holds `hierarchy`, npos for none.
std::size_t IndexOf(const TupleList& set, std::size_t hierarchy) {
  const auto found = std::find(set.shape.begin(), set.shape.end(), hierarchy);
  return found == set.shape.end() ? npos : static_cast<std::size_t>(found - set.shape.begin());
}

// The deepest level ordinal among the cube's members at coordinate `index` of `set`; 0 for none.
int DeepestAt(const CubeModel& model, const TupleList& set, std::size_t index) {
  int deepest = 0;
  for (std::size_t t = 0; t < set.count; ++t) {
    const std::size_t item = set.At(t)[index];
    if (IsCubeMember(model, set, index, item)) deepest = std::max(deepest, model.DepthOf(item));
  }
  return deepest;
}

// The coordinate and the depth a DrilldownLevel or DrillupLevel works at: the level's
// hierarchy and ordinal when a level is given (npos when the set holds none of its hierarchy),
// else coordinate `index` (0 without one) and the deepest of its members.
std::pair<std::size_t, int> DrillTarget(Context& cx, const MdxExpression& e, const TupleList& set,
                                        const char* function) {
  const CubeModel& model = cx.Model();
  if (Given(e, 1)) {
    const std::size_t level = cx.Level(e.operands[1], function);
    if (level == npos) return {npos, 0};
    return {IndexOf(set, model.LevelHierarchy(level)), model.Catalog().levels[level].ordinal};
  }
  std::size_t index = 0;
  if (Given(e, 2)) {
    const long long given = WholeOf(e.operands[2]);
    if (given < 0 || static_cast<std::size_t>(given) >= set.Arity()) {
      throw QueryFailure(std::string(function) + ": the set's tuples have no hierarchy number " +
                             std::to_string(given) + " (0 for the first)",
                         e.operands[2].position);
    }
    index = static_cast<std::size_t>(given);
  }
  return {index, DeepestAt(model, set, index)};
}

// DrilldownLevel(set [, level] [, , index] [, INCLUDE_CALC_MEMBERS]): every member at the
// level (the set's deepest without one) followed by its children.
TupleList DrilldownLevel(Context& cx, const MdxExpression& e) {
  const TupleList set = cx.Bounded(e.operands[0], "DrilldownLevel");
  if (set.count == 0) return set;
  const auto [index, depth] = DrillTarget(cx, e, set, "DrilldownLevel");
  if (index == npos) return set;
  const bool calculated = HasFlag(e, "INCLUDE_CALC_MEMBERS");
  Drilled out(cx, set, "DrilldownLevel");
  for (std::size_t t = 0; t < set.count; ++t) {
    const std::size_t* tuple = set.At(t);
    out.Add(tuple);
    const std::size_t item = tuple[index];
    if (IsCubeMember(cx.Model(), set, index, item) && cx.Model().DepthOf(item) == depth)
      AddChildren(cx, out, tuple, index, item, calculated);
  }
  return out.Take();
}

// DrillupLevel(set [, level]): the set without its members below the level; without one,
// without the members of its deepest level (a set of one level is kept whole).
TupleList DrillupLevel(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const TupleList set = cx.Bounded(e.operands[0], "DrillupLevel");
  if (set.count == 0) return set;
  auto [index, depth] = DrillTarget(cx, e, set, "DrillupLevel");
  if (index == npos) return set;
  if (!Given(e, 1)) {
    int shallowest = depth;
    for (std::size_t t = 0; t < set.count; ++t) {
      const std::size_t item = set.At(t)[index];
      if (IsCubeMember(model, set, index, item))
        shallowest = std::min(shallowest, model.DepthOf(item));
    }
    if (shallowest == depth) return set;
    --depth;
  }
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < set.count; ++t) {
    const std::size_t item = set.At(t)[index];
    if (!IsCubeMember(model, set, index, item) || model.DepthOf(item) <= depth) kept.push_back(t);
  }
  return Picked(set, kept);
}

// The members of the second set of DrilldownMember, DrillupMember and ToggleDrillState, and
// the coordinate of the first set that holds their hierarchy (npos for none).
struct Chosen {
  std::vector<std::size_t> members;
  std::size_t index = npos;

  bool Holds(std::size_t member) const {
    return std::find(members.begin(), members.end(), member) != members.end();
  }
};

Chosen ChosenMembers(Context& cx, const MdxExpression& e, const TupleList& set,
                     const char* function) {
  const TupleList chosen = cx.Bounded(e.operands[1], function);
  Chosen out;
  if (chosen.count == 0) return out;
  if (chosen.Arity() != 1)
    throw QueryFailure(std::string(function) + " takes members of one hierarchy as its second set",
                       e.operands[1].position);
  out.index = IndexOf(set, chosen.shape[0]);
  out.members.assign(chosen.items.begin(), chosen.items.end());
  return out;
}

// Whether `item` lies below `member` in the hierarchy.
bool IsBelow(const CubeModel& model, std::size_t item, std::size_t member) {
  if (item >= model.MemberCount() || member >= model.MemberCount()) return false;
  const int depth = model.DepthOf(member);
  return model.DepthOf(item) > depth && model.AncestorAt(item, depth) == member;
}

// Adds `tuple`'s children at `index` for DrilldownMember: with `recursive`, a child the second
// set holds is opened too, its children right after it.
void AddMemberChildren(Context& cx, Drilled& out, const Chosen& chosen, const std::size_t* tuple,
                       std::size_t member, bool recursive, bool calculated) {
  std::vector<std::size_t> children = cx.Model().ChildrenOf(member);
  if (calculated) {
    const std::vector<std::size_t> more = CalculatedChildren(cx, member);
    children.insert(children.end(), more.begin(), more.end());
  }
  std::vector<std::size_t> copy;
  for (std::size_t child : children) {
    out.AddWith(tuple, chosen.index, child);
    // Each child is a level deeper: the recursion ends at the hierarchy's leaves.
    if (recursive && child < cx.Model().MemberCount() && chosen.Holds(child)) {
      copy.assign(tuple, tuple + out.Arity());
      copy[chosen.index] = child;
      AddMemberChildren(cx, out, chosen, copy.data(), child, recursive, calculated);
    }
  }
}

// The member of `tuple` the second set chose, npos for none.
std::size_t ChosenAt(const CubeModel& model, const Chosen& chosen, const TupleList& set,
                     std::size_t t) {
  if (chosen.index == npos) return npos;
  const std::size_t item = set.At(t)[chosen.index];
  return IsCubeMember(model, set, chosen.index, item) && chosen.Holds(item) ? item : npos;
}

// The first tuple after `t` whose member at the chosen coordinate is not below `member`.
std::size_t PastDescendants(const CubeModel& model, const Chosen& chosen, const TupleList& set,
                            std::size_t t, std::size_t member) {
  std::size_t next = t + 1;
  while (next < set.count && IsBelow(model, set.At(next)[chosen.index], member)) ++next;
  return next;
}

// DrilldownMember(set1, set2 [, hierarchy] [, RECURSIVE] [, INCLUDE_CALC_MEMBERS]): each tuple
// of the first set whose member the second holds followed by its children. The hierarchy drilled
// is the second set's: a hierarchy given as the third argument is read and not used.
TupleList DrilldownMember(Context& cx, const MdxExpression& e) {
  const TupleList set = cx.Bounded(e.operands[0], "DrilldownMember");
  const Chosen chosen = ChosenMembers(cx, e, set, "DrilldownMember");
  const bool recursive = HasFlag(e, "RECURSIVE");
  const bool calculated = HasFlag(e, "INCLUDE_CALC_MEMBERS");
  Drilled out(cx, set, "DrilldownMember");
  for (std::size_t t = 0; t < set.count; ++t) {
    out.Add(set.At(t));
    const std::size_t member = ChosenAt(cx.Model(), chosen, set, t);
    if (member != npos)
      AddMemberChildren(cx, out, chosen, set.At(t), member, recursive, calculated);
  }
  return out.Take();
}

// DrillupMember(set1, set2): the first set without the tuples right after a member the second
// set holds that lie below it.
TupleList DrillupMember(Context& cx, const MdxExpression& e) {
  const TupleList set = cx.Bounded(e.operands[0], "DrillupMember");
  const Chosen chosen = ChosenMembers(cx, e, set, "DrillupMember");
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < set.count;) {
    kept.push_back(t);
    const std::size_t member = ChosenAt(cx.Model(), chosen, set, t);
    t = member == npos ? t + 1 : PastDescendants(cx.Model(), chosen, set, t, member);
  }
  return Picked(set, kept);
}

// ToggleDrillState(set1, set2 [, RECURSIVE]): each member the second set holds drilled up
// where tuples below it follow it, else drilled down.
TupleList ToggleDrillState(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const TupleList set = cx.Bounded(e.operands[0], "ToggleDrillState");
  const Chosen chosen = ChosenMembers(cx, e, set, "ToggleDrillState");
  const bool recursive = HasFlag(e, "RECURSIVE");
  Drilled out(cx, set, "ToggleDrillState");
  for (std::size_t t = 0; t < set.count;) {
    out.Add(set.At(t));
    const std::size_t member = ChosenAt(model, chosen, set, t);
    if (member == npos) {
      ++t;
      continue;
    }
    const std::size_t next = PastDescendants(model, chosen, set, t, member);
    if (next == t + 1) AddMemberChildren(cx, out, chosen, set.At(t), member, recursive, false);
    t = next;
  }
  return out.Take();
}

const Function kDrilling[] = {
    {.name = "DrilldownLevel",
     .required = "S",
     .optional = "ENF",
     .gaps = true,
     .flags = {"INCLUDE_CALC_MEMBERS"},
     .summary = "the set with each member of a level (its deepest) followed by its children",
     .set = DrilldownLevel},
    {.name = "DrilldownMember",
     .required = "SS",
     .optional = "EFF",
     .gaps = true,
     .flags = {"RECURSIVE", "INCLUDE_CALC_MEMBERS"},
     .summary = "the first set with each member the second holds followed by its children",
     .set = DrilldownMember},
    {.name = "DrillupLevel",
     .required = "S",
     .optional = "E",
     .summary = "the set without its members below a level (of its deepest level without one)",
     .set = DrillupLevel},
    {.name = "DrillupMember",
     .required = "SS",
     .summary = "the first set without the members right below a member the second holds",
     .set = DrillupMember},
    {.name = "ToggleDrillState",
     .required = "SS",
     .optional = "F",
     .flags = {"RECURSIVE"},
     .summary = "DrillupMember where the member is drilled down, else DrilldownMember",
     .set = ToggleDrillState},
};

}  // namespace

std::span<const Function> DrillFunctions() { return kDrilling; }

}  // namespace cubemill::query::functions
