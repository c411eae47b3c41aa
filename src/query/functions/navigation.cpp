// Functions that find members from a member by its place in the hierarchy, and the current
// member of the cell. Each gives the null member where none is there (the PrevMember of a
// level's first member).
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

const MdxExpression& Of(const MdxExpression& e) { return e.operands.front(); }

MemberValue Parent(Context& cx, const MdxExpression& e) {
  const MemberValue of = cx.Member(Of(e), ".Parent");
  if (of.member == npos) return of;
  const std::size_t parent = cx.Model().ParentOf(of.member);
  if (parent == npos)
    throw QueryFailure(Bracketed(cx.Model().Member(of.member).name) + " has no parent", e.position);
  return {parent, of.hierarchy};
}

MemberValue Child(Context& cx, const MdxExpression& e, bool first) {
  const MemberValue of = cx.Member(Of(e), first ? ".FirstChild" : ".LastChild");
  if (of.member == npos) return of;
  const auto& children = cx.Model().ChildrenOf(of.member);
  if (children.empty()) return {npos, of.hierarchy};
  return {first ? children.front() : children.back(), of.hierarchy};
}

// The member `offset` places after `of` in its level (before it when negative); the null
// member past either end.
MemberValue Shifted(const CubeModel& model, MemberValue of, long long offset) {
  if (of.member == npos) return of;
  const auto& level = model.MembersOf(model.LevelOf(of.member));
  const long long at = static_cast<long long>(model.PositionInLevel(of.member)) + offset;
  if (at < 0 || at >= static_cast<long long>(level.size())) return {npos, of.hierarchy};
  return {level[static_cast<std::size_t>(at)], of.hierarchy};
}

// The members with the same parent as the member, it among them; for a member without a
// parent, the members of its level without one.
std::vector<std::size_t> SiblingsOf(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const MemberValue of = cx.Member(Of(e), ".Siblings");
  if (of.member == npos) return {};
  const std::size_t parent = model.ParentOf(of.member);
  if (parent != npos) return model.ChildrenOf(parent);
  std::vector<std::size_t> tops;
  for (std::size_t m : model.MembersOf(model.LevelOf(of.member)))
    if (model.ParentOf(m) == npos) tops.push_back(m);
  return tops;
}

TupleList MembersList(const CubeModel& model, const std::vector<std::size_t>& members) {
  return {{members.empty() ? 0 : model.HierarchyOf(members.front())}, members, members.size()};
}

// X.Members: a level's members; a hierarchy's in hierarchy order (each member followed by its
// children); every measure.
TupleList Members(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const MdxExpression& of = Of(e);
  if (of.kind == Kind::kName && cx.Name(of).kind == NameBinding::Kind::kCube) {
    const NameRef& ref = cx.Name(of).ref;
    switch (ref.kind) {
      case NameRef::Kind::kLevel:
        return MembersList(model, model.MembersOf(ref.index));
      case NameRef::Kind::kHierarchy:
        return MembersList(model, model.MembersInHierarchyOrder(ref.index));
      case NameRef::Kind::kMeasures: {
        TupleList set{{kMeasuresHierarchy}, {}, model.Catalog().measures.size()};
        for (std::size_t m = 0; m < set.count; ++m) set.items.push_back(m);
        return set;
      }
      case NameRef::Kind::kMeasure:
        throw QueryFailure(".Members needs a level or a dimension, not a measure", e.position);
      case NameRef::Kind::kMember:
        throw QueryFailure(".Members needs a level or a dimension, not a member", e.position);
    }
  } else if (of.kind == Kind::kCall && of.function->returns == Returns::kLevel) {
    const std::size_t level = cx.Level(of, ".Members");
    return level == npos ? TupleList{} : MembersList(model, model.MembersOf(level));
  }
  throw QueryFailure(".Members needs a level or a dimension", e.position);
}

std::size_t MembersCount(Context& cx, const MdxExpression& e) {
  const MdxExpression& of = Of(e);
  if (of.kind == Kind::kName && cx.Name(of).kind == NameBinding::Kind::kCube) {
    const NameRef& ref = cx.Name(of).ref;
    if (ref.kind == NameRef::Kind::kLevel) return cx.Model().MembersOf(ref.index).size();
    if (ref.kind == NameRef::Kind::kHierarchy)
      return cx.Model().MembersOfHierarchy(ref.index).size();
  }
  return Members(cx, e).count;
}

TupleList Children(Context& cx, const MdxExpression& e) {
  const MemberValue of = cx.Member(Of(e), ".Children");
  if (of.member == npos) return {{of.hierarchy}, {}, 0};
  return MembersList(cx.Model(), cx.Model().ChildrenOf(of.member));
}

std::size_t ChildrenCount(Context& cx, const MdxExpression& e) {
  const MemberValue of = cx.Member(Of(e), ".Children");
  return of.member == npos ? 0 : cx.Model().ChildrenOf(of.member).size();
}

// [Dimension].DefaultMember: the member a cell has where the query names none of the
// hierarchy: its ALL member, or (without an ALL level) its top level's first member.
MemberValue DefaultMember(Context& cx, const MdxExpression& e) {
  const MdxExpression& of = Of(e);
  if (of.kind == Kind::kName && cx.Name(of).kind == NameBinding::Kind::kCube) {
    const NameRef& ref = cx.Name(of).ref;
    if (ref.kind == NameRef::Kind::kMeasures) return {0, kMeasuresHierarchy};
    if (ref.kind == NameRef::Kind::kHierarchy) {
      const auto& top = cx.Model().MembersOf(cx.Model().LevelsOf(ref.index).front());
      return {top.empty() ? npos : top.front(), ref.index};
    }
  }
  throw QueryFailure(".DefaultMember needs a dimension or a hierarchy", of.position);
}

// [Dimension].CurrentMember: the member of the cell being computed.
MemberValue CurrentMember(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const MdxExpression& of = Of(e);
  std::size_t hierarchy = npos;
  if (of.kind == Kind::kName && cx.Name(of).kind == NameBinding::Kind::kCube) {
    const NameRef& ref = cx.Name(of).ref;
    if (ref.kind == NameRef::Kind::kMeasures) return {cx.At().back(), kMeasuresHierarchy};
    if (ref.kind == NameRef::Kind::kHierarchy) hierarchy = ref.index;
  }
  if (hierarchy == npos)
    throw QueryFailure(".CurrentMember needs a dimension or a hierarchy", of.position);
  const std::uint32_t slot = cx.At()[hierarchy];
  if (slot == kAnySlot) {
    throw QueryFailure(model.HierarchyName(hierarchy) +
                           " has no current member here: it has no ALL level and the query "
                           "names none of its members",
                       e.position);
  }
  if (IsSetSlot(slot)) {
    throw QueryFailure(model.HierarchyName(hierarchy) +
                           " has no current member here: the cell counts a set of its members",
                       e.position);
  }
  return {slot, hierarchy};
}

// The depth a level argument names for `of`'s hierarchy: a level's ordinal, or `of`'s depth
// less (for Ancestor) or plus (for Descendants) a distance; -1 for the level of the null
// member.
long long TargetDepth(Context& cx, const MdxExpression& e, MemberValue of, const char* function) {
  const CubeModel& model = cx.Model();
  const int own = model.DepthOf(of.member);
  if (e.kind == Kind::kNumber) {
    const long long distance = WholeOf(e);
    if (distance < 0)
      throw QueryFailure(std::string(function) + " needs a distance of 0 or more", e.position);
    const long long bounded = std::min<long long>(distance, 1'000'000);
    return std::string(function) == "Ancestor" ? own - bounded : own + bounded;
  }
  std::size_t level = npos;
  if (e.kind == Kind::kCall && e.function->returns == Returns::kLevel) {
    level = cx.Level(e, function);
    if (level == npos) return -1;
  } else if (e.kind == Kind::kName && cx.Name(e).kind == NameBinding::Kind::kCube &&
             cx.Name(e).ref.kind == NameRef::Kind::kLevel) {
    level = cx.Name(e).ref.index;
  }
  if (level == npos)
    throw QueryFailure(std::string(function) + " needs a level or a distance", e.position);
  if (model.LevelHierarchy(level) != of.hierarchy) {
    throw QueryFailure(std::string(function) + ": the level " +
                           Bracketed(model.Catalog().levels[level].name) + " is not of " +
                           model.HierarchyName(of.hierarchy),
                       e.position);
  }
  return model.Catalog().levels[level].ordinal;
}

// Ancestor(member, level or distance): the null member where the level is below the member.
MemberValue Ancestor(Context& cx, const MdxExpression& e) {
  const MemberValue of = cx.Member(e.operands[0], "Ancestor");
  if (of.member == npos) return of;
  const long long depth = TargetDepth(cx, e.operands[1], of, "Ancestor");
  if (depth < 0) return {npos, of.hierarchy};
  return {cx.Model().AncestorAt(of.member, static_cast<int>(depth)), of.hierarchy};
}

// Ascendants(member): the member, its parent, and so on up to the top, in that order.
TupleList Ascendants(Context& cx, const MdxExpression& e) {
  const MemberValue of = cx.Member(e.operands[0], "Ascendants");
  TupleList set{{of.hierarchy}, {}, 0};
  for (std::size_t m = of.member; m != npos; m = cx.Model().ParentOf(m)) set.items.push_back(m);
  set.count = set.items.size();
  return set;
}

// Whether Descendants' `flag` keeps a member at `depth` (with or without `children`) for the
// level at `target`.
bool Kept(const std::string& flag, long long depth, long long target, bool leaf) {
  if (flag == "SELF") return depth == target;
  if (flag == "AFTER") return depth > target;
  if (flag == "BEFORE") return depth < target;
  if (flag == "SELF_AND_AFTER") return depth >= target;
  if (flag == "SELF_AND_BEFORE") return depth <= target;
  if (flag == "SELF_BEFORE_AFTER") return true;
  return depth == target || (depth < target && leaf);  // LEAVES
}

// Descendants(member [, level or distance [, flag]]): the members below the member (it
// included) that the flag keeps relative to the level's depth, in hierarchy order; put in
// `out` when given. Returns how many. Without a level, the member and all below it.
std::size_t Descend(Context& cx, const MdxExpression& e, std::vector<std::size_t>* out) {
  const CubeModel& model = cx.Model();
  const MemberValue of = cx.Member(e.operands[0], "Descendants");
  if (of.member == npos) return 0;
  long long target = model.DepthOf(of.member);
  std::string flag = e.operands.size() > 1 ? "SELF" : "SELF_AND_AFTER";
  if (e.operands.size() > 1) {
    target = TargetDepth(cx, e.operands[1], of, "Descendants");
    if (target < 0) return 0;
  }
  if (e.operands.size() > 2) flag = e.operands[2].parts.front().text;
  const bool deeper = flag == "AFTER" || flag == "SELF_AND_AFTER" || flag == "SELF_BEFORE_AFTER";
  std::size_t count = 0;
  std::vector<std::size_t> stack{of.member};
  while (!stack.empty()) {
    const std::size_t m = stack.back();
    stack.pop_back();
    const long long depth = model.DepthOf(m);
    const auto& children = model.ChildrenOf(m);
    if (Kept(flag, depth, target, children.empty())) {
      ++count;
      if (out != nullptr) out->push_back(m);
    }
    if (deeper || depth < target) {
      for (auto child = children.rbegin(); child != children.rend(); ++child)
        stack.push_back(*child);
    }
  }
  return count;
}

const Function kNavigation[] = {
    {.name = "Members",
     .syntax = Syntax::kDotted,
     .summary = "a level's members; a dimension's, each followed by its children; all measures",
     .set = Members,
     .count = MembersCount},
    {.name = "Children",
     .syntax = Syntax::kDotted,
     .summary = "the member's children",
     .set = Children,
     .count = ChildrenCount},
    {.name = "Parent",
     .syntax = Syntax::kDotted,
     .returns = Returns::kMember,
     .summary = "the member's parent",
     .member = Parent},
    {.name = "FirstChild",
     .syntax = Syntax::kDotted,
     .returns = Returns::kMember,
     .summary = "the member's first child",
     .member = [](Context& cx, const MdxExpression& e) { return Child(cx, e, true); }},
    {.name = "LastChild",
     .syntax = Syntax::kDotted,
     .returns = Returns::kMember,
     .summary = "the member's last child",
     .member = [](Context& cx, const MdxExpression& e) { return Child(cx, e, false); }},
    {.name = "Siblings",
     .syntax = Syntax::kDotted,
     .summary = "the member and the others with its parent",
     .set = [](Context& cx,
               const MdxExpression& e) { return MembersList(cx.Model(), SiblingsOf(cx, e)); },
     .count = [](Context& cx, const MdxExpression& e) { return SiblingsOf(cx, e).size(); }},
    {.name = "PrevMember",
     .syntax = Syntax::kDotted,
     .returns = Returns::kMember,
     .summary = "the member before it in its level",
     .member =
         [](Context& cx, const MdxExpression& e) {
           return Shifted(cx.Model(), cx.Member(Of(e), ".PrevMember"), -1);
         }},
    {.name = "NextMember",
     .syntax = Syntax::kDotted,
     .returns = Returns::kMember,
     .summary = "the member after it in its level",
     .member =
         [](Context& cx, const MdxExpression& e) {
           return Shifted(cx.Model(), cx.Member(Of(e), ".NextMember"), 1);
         }},
    {.name = "Lag",
     .syntax = Syntax::kDotted,
     .required = "N",
     .returns = Returns::kMember,
     .summary = "the member n places before it in its level",
     .member =
         [](Context& cx, const MdxExpression& e) {
           return Shifted(cx.Model(), cx.Member(Of(e), ".Lag"), -WholeOf(e.operands[1]));
         }},
    {.name = "Lead",
     .syntax = Syntax::kDotted,
     .required = "N",
     .returns = Returns::kMember,
     .summary = "the member n places after it in its level",
     .member =
         [](Context& cx, const MdxExpression& e) {
           return Shifted(cx.Model(), cx.Member(Of(e), ".Lead"), WholeOf(e.operands[1]));
         }},
    {.name = "Level",
     .syntax = Syntax::kDotted,
     .returns = Returns::kLevel,
     .summary = "the member's level; as a set, its members",
     .level =
         [](Context& cx, const MdxExpression& e) {
           const MemberValue of = cx.Member(Of(e), ".Level");
           return of.member == npos ? npos : cx.Model().LevelOf(of.member);
         }},
    {.name = "DefaultMember",
     .syntax = Syntax::kDotted,
     .returns = Returns::kMember,
     .summary = "a dimension's ALL member; without one, its top level's first member",
     .member = DefaultMember},
    {.name = "CurrentMember",
     .syntax = Syntax::kDotted,
     .returns = Returns::kMember,
     .per_cell = true,
     .summary = "the member of the cell being computed",
     .member = CurrentMember},
    {.name = "Ancestor",
     .required = "ML",
     .returns = Returns::kMember,
     .summary = "the member's ancestor at a level, or a distance up",
     .member = Ancestor},
    {.name = "Ascendants",
     .required = "M",
     .summary = "the member and its ancestors, the member first",
     .set = Ascendants},
    {.name = "Descendants",
     .required = "M",
     .optional = "LF",
     .flags = {"SELF", "AFTER", "BEFORE", "SELF_AND_AFTER", "SELF_AND_BEFORE", "SELF_BEFORE_AFTER",
               "LEAVES"},
     .summary = "the members below the member at a level, or before or after it",
     .set =
         [](Context& cx, const MdxExpression& e) {
           std::vector<std::size_t> members;
           Descend(cx, e, &members);
           return MembersList(cx.Model(), members);
         },
     .count = [](Context& cx, const MdxExpression& e) { return Descend(cx, e, nullptr); }},
};

}  // namespace

std::span<const Function> NavigationFunctions() { return kNavigation; }

}  // namespace cubemill::query::functions
