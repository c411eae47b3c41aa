// Sets with the calculated members of the WITH clause added or taken out. A set of members
// leaves them out unless asked: [Measures].Members is the cube's measures, [Measures].AllMembers
// adds the calculated ones.
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

// Whether `item` of `hierarchy` is a calculated member or measure.
bool IsCalculated(const CubeModel& model, std::size_t hierarchy, std::size_t item) {
  return hierarchy == kMeasuresHierarchy ? item >= model.Catalog().measures.size()
                                         : item >= model.MemberCount();
}

// The parent a member shares with its siblings: npos for a member of the top level below ALL
// (or of a hierarchy's top level without ALL), the ALL member's own index for the ALL member.
std::size_t SiblingKey(const CubeModel& model, std::size_t m) {
  const std::size_t parent = model.ParentOf(m);
  if (parent == npos) return model.Catalog().levels[model.LevelOf(m)].is_all ? m : npos;
  return model.Catalog().levels[model.LevelOf(parent)].is_all ? npos : parent;
}

// The level ordinal a calculated member stands at: one below its parent; the top level below
// ALL for one defined under its dimension.
int CalculatedDepth(const CubeModel& model, const BoundFormula& f) {
  if (f.parent != npos) return model.DepthOf(f.parent) + 1;
  const auto& levels = model.LevelsOf(f.hierarchy);
  if (levels.empty()) return 1;
  const auto& top = model.Catalog().levels[levels.front()];
  return top.is_all && levels.size() > 1 ? model.Catalog().levels[levels[1]].ordinal : top.ordinal;
}

// `set` followed by the calculated members `keep` accepts (those of its hierarchy), each once.
template <typename Keep>
TupleList WithCalculated(Context& cx, TupleList set, std::size_t hierarchy, const Keep& keep) {
  for (const BoundFormula& f : cx.Eval().Bound().formulas) {
    if (f.hierarchy != hierarchy || !keep(f)) continue;
    if (std::find(set.items.begin(), set.items.end(), f.item) != set.items.end()) continue;
    if (set.count >= cx.MaxTuples()) {
      throw QueryFailure("the calculated members make a set of more than " +
                         Grouped(cx.MaxTuples()) + " tuples");
    }
    set.shape = {hierarchy};
    set.items.push_back(f.item);
    ++set.count;
  }
  return set;
}

// AddCalculatedMembers(set): the set, then the calculated members beside its members: every
// calculated measure for a set of measures; else those defined under a parent of the set's
// members (or under the dimension, for members of its top level).
TupleList AddCalculatedMembers(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  TupleList set = cx.Bounded(e.operands[0], "AddCalculatedMembers");
  if (set.count == 0) return set;
  if (set.Arity() != 1)
    throw QueryFailure("AddCalculatedMembers takes a set of one hierarchy", e.position);
  const std::size_t h = set.shape[0];
  if (h == kMeasuresHierarchy)
    return WithCalculated(cx, std::move(set), h, [](const BoundFormula&) { return true; });
  std::vector<std::size_t> parents;
  for (std::size_t item : set.items)
    if (item < model.MemberCount()) parents.push_back(SiblingKey(model, item));
  return WithCalculated(cx, std::move(set), h, [&](const BoundFormula& f) {
    return std::find(parents.begin(), parents.end(), f.parent) != parents.end();
  });
}

// StripCalculatedMembers(set): the tuples without a calculated member or measure.
TupleList StripCalculatedMembers(Context& cx, const MdxExpression& e) {
  const TupleList set = cx.Bounded(e.operands[0], "StripCalculatedMembers");
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < set.count; ++t) {
    bool calculated = false;
    for (std::size_t i = 0; i < set.Arity(); ++i)
      calculated = calculated || IsCalculated(cx.Model(), set.shape[i], set.At(t)[i]);
    if (!calculated) kept.push_back(t);
  }
  return Picked(set, kept);
}

// X.AllMembers: X.Members, then the calculated members of the level, the hierarchy or
// [Measures].
TupleList AllMembers(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const MdxExpression& of = e.operands.front();
  std::size_t level = npos;
  if (of.kind == Kind::kCall && of.function->returns == Returns::kLevel) {
    level = cx.Level(of, ".AllMembers");
    if (level == npos) return {};
  } else if (of.kind == Kind::kName && cx.Name(of).kind == NameBinding::Kind::kCube) {
    const NameRef& ref = cx.Name(of).ref;
    if (ref.kind == NameRef::Kind::kLevel) level = ref.index;
    if (ref.kind == NameRef::Kind::kHierarchy) {
      const std::vector<std::size_t> members = model.MembersInHierarchyOrder(ref.index);
      return WithCalculated(cx, {{ref.index}, members, members.size()}, ref.index,
                            [](const BoundFormula&) { return true; });
    }
    if (ref.kind == NameRef::Kind::kMeasures) {
      TupleList set{{kMeasuresHierarchy}, {}, model.Catalog().measures.size()};
      for (std::size_t m = 0; m < set.count; ++m) set.items.push_back(m);
      return WithCalculated(cx, std::move(set), kMeasuresHierarchy,
                            [](const BoundFormula&) { return true; });
    }
  }
  if (level == npos) throw QueryFailure(".AllMembers needs a level or a dimension", e.position);
  const std::size_t h = model.LevelHierarchy(level);
  const std::vector<std::size_t>& members = model.MembersOf(level);
  const int depth = model.Catalog().levels[level].ordinal;
  return WithCalculated(cx, {{h}, members, members.size()}, h,
                        [&](const BoundFormula& f) { return CalculatedDepth(model, f) == depth; });
}

const Function kCalculated[] = {
    {.name = "AllMembers",
     .syntax = Syntax::kDotted,
     .summary = ".Members with the calculated members of the level, dimension or measures",
     .set = AllMembers},
    {.name = "AddCalculatedMembers",
     .required = "S",
     .summary = "the set, then the calculated members beside its members",
     .set = AddCalculatedMembers},
    {.name = "StripCalculatedMembers",
     .required = "S",
     .summary = "the set without the tuples that hold a calculated member",
     .set = StripCalculatedMembers},
};

}  // namespace

std::span<const Function> CalculatedMemberFunctions() { return kCalculated; }

}  // namespace cubemill::query::functions
