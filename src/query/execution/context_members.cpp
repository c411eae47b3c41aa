// The members, levels and named sets a context's expressions stand for.
#include <algorithm>
#include <string>

#include "query/execution/context.h"
#include "query/execution/evaluation.h"
#include "query/functions/function.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using Kind = MdxExpression::Kind;
using functions::Returns;

}  // namespace

MemberValue Context::Member(const MdxExpression& e, const char* what) {
  const auto found = members_.find(&e);
  if (found != members_.end()) return found->second;
  // Counting a node of a kind nothing else takes asks for its member, which counts it: such a
  // node is no member.
  if (!resolving_.insert(&e).second)
    throw QueryFailure(std::string(what) + " needs a member", e.position);
  const MemberValue value = MemberValueOf(e, what);
  resolving_.erase(&e);
  if (what[0] != '\0' && value.member != npos && value.member >= model_.MemberCount()) {
    throw QueryFailure(std::string(what) + " needs a member of the cube, not a calculated one",
                       e.position);
  }
  members_[&e] = value;
  return value;
}

MemberValue Context::MemberValueOf(const MdxExpression& e, const char* what) {
  if (e.kind == Kind::kCall && e.function->returns == Returns::kMember)
    return e.function->member(*this, e);
  if (e.kind == Kind::kTuple && e.operands.size() == 1) return Member(e.operands.front(), what);
  if (Count(e) == 1) {
    const TupleList set = Build(e);
    if (set.Arity() == 1 && set.shape.front() == kMeasuresHierarchy) {
      const auto& measures = model_.Catalog().measures;
      const std::string measure = set.items.front() < measures.size()
                                      ? MeasureUniqueName(measures[set.items.front()].name)
                                      : "a calculated one";
      const std::string function = what;
      if (function == ".Parent" || function == ".Children")
        throw QueryFailure(function + " of a measure (" + measure + "): only a member has " +
                               (function == ".Parent" ? "a parent" : "children"),
                           e.position);
      throw QueryFailure(function + " needs a member, not a measure (" + measure + ")", e.position);
    }
    if (set.Arity() == 1) return {set.items.front(), set.shape.front()};
  }
  throw QueryFailure(std::string(what) + " needs a member", e.position);
}

std::size_t Context::Level(const MdxExpression& e, const char* function) {
  if (e.kind == Kind::kCall && e.function->returns == Returns::kLevel)
    return e.function->level(*this, e);
  if (e.kind == Kind::kName) {
    const NameBinding& name = Name(e);
    if (name.kind == NameBinding::Kind::kCube && name.ref.kind == NameRef::Kind::kLevel)
      return name.ref.index;
  }
  throw QueryFailure(std::string(function) + " needs a level", e.position);
}

TupleList Context::Listed(const std::vector<std::size_t>& members, bool counting) const {
  TupleList list;
  list.count = members.size();
  if (counting) return list;
  list.shape = {members.empty() ? 0 : model_.HierarchyOf(members.front())};
  list.items = members;
  return list;
}

// The set a name of the cube stands for; only its count when `counting`. A member is a set of
// one tuple; a level, its members; a hierarchy, its ALL member (one without must be asked for
// with .Members).
TupleList Context::OfName(const MdxExpression& e, bool counting) {
  const NameRef& ref = Name(e).ref;
  switch (ref.kind) {
    case NameRef::Kind::kMember:
      return One(model_.HierarchyOf(ref.index), ref.index);
    case NameRef::Kind::kLevel:
      return Listed(model_.MembersOf(ref.index), counting);
    case NameRef::Kind::kMeasure:
      return One(kMeasuresHierarchy, ref.index);
    case NameRef::Kind::kHierarchy: {
      const std::size_t top = model_.LevelsOf(ref.index).front();
      if (!model_.Catalog().levels[top].is_all)
        throw QueryFailure(
            model_.HierarchyName(ref.index) + " has no ALL member: use .Members or name a member",
            e.position);
      return Listed(model_.MembersOf(top), counting);
    }
    case NameRef::Kind::kMeasures:
      break;
  }
  throw QueryFailure(kMeasuresAloneIsNoSet, e.position);
}

// m1 : m2, the members of one level from the one to the other in level order (from m2 to m1
// when m2 comes first); a null end stands for the level's first (as m1) or last (as m2)
// member, and two null ends for no member.
Context::LevelSpan Context::RangeOf(const MdxExpression& e) {
  const MemberValue a = Member(e.operands[0], ":");
  const MemberValue b = Member(e.operands[1], ":");
  if (a.member == npos && b.member == npos) return {};
  if (a.member != npos && b.member != npos &&
      model_.LevelOf(a.member) != model_.LevelOf(b.member)) {
    throw QueryFailure("a range takes two members of one level, not " +
                           Bracketed(model_.Member(a.member).name) + " and " +
                           Bracketed(model_.Member(b.member).name),
                       e.position);
  }
  const std::size_t level = model_.LevelOf(a.member != npos ? a.member : b.member);
  std::size_t first = a.member == npos ? 0 : model_.PositionInLevel(a.member);
  std::size_t last =
      b.member == npos ? model_.MembersOf(level).size() - 1 : model_.PositionInLevel(b.member);
  if (first > last) std::swap(first, last);
  return {level, first, last};
}

}  // namespace cubemill::query
