#include "query/mdx_sets.h"

#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using Kind = MdxExpression::Kind;

std::string Described(const CubeModel& model, const TupleItem& item) {
  return item.hierarchy == TupleItem::kMeasures ? std::string("[Measures]")
                                                : model.HierarchyName(item.hierarchy);
}

// `a` and `b` joined into one tuple; fails when both hold the same hierarchy.
Tuple Joined(const CubeModel& model, const Tuple& a, const Tuple& b, std::size_t position) {
  Tuple joined = a;
  for (const TupleItem& item : b) {
    for (const TupleItem& held : a) {
      if (held.hierarchy == item.hierarchy)
        throw QueryFailure("hierarchy " + Described(model, item) + " appears twice in a tuple",
                           position);
    }
    joined.push_back(item);
  }
  return joined;
}

// True when `a` and `b` hold the same hierarchies in the same order.
bool SameShape(const Tuple& a, const Tuple& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].hierarchy != b[i].hierarchy) return false;
  return true;
}

TupleSet Members(const CubeModel& model, const std::vector<std::size_t>& members) {
  TupleSet set;
  for (std::size_t m : members) set.push_back({{model.HierarchyOf(m), m}});
  return set;
}

// The set a resolved name stands for.
TupleSet OfName(const CubeModel& model, const NameRef& ref, std::size_t position) {
  switch (ref.kind) {
    case NameRef::Kind::kMember:
      return {{{model.HierarchyOf(ref.index), ref.index}}};
    case NameRef::Kind::kLevel:
      return Members(model, model.MembersOf(ref.index));
    case NameRef::Kind::kMeasure:
      return {{{TupleItem::kMeasures, ref.index}}};
    case NameRef::Kind::kHierarchy: {
      const std::size_t top = model.LevelsOf(ref.index).front();
      if (!model.Catalog().levels[top].is_all)
        throw QueryFailure(
            model.HierarchyName(ref.index) + " has no ALL member: use .Members or name a member",
            position);
      return Members(model, model.MembersOf(top));
    }
    case NameRef::Kind::kMeasures:
      break;
  }
  throw QueryFailure("[Measures] alone is no set: use [Measures].Members or name a measure",
                     position);
}

// The one member `expression` stands for (for .Children and .Parent).
std::size_t OneMember(const CubeModel& model, const MdxExpression& expression, const char* what) {
  const TupleSet set = EvaluateSet(model, expression);
  if (set.size() == 1 && set.front().size() == 1 &&
      set.front().front().hierarchy != TupleItem::kMeasures)
    return set.front().front().index;
  throw QueryFailure(std::string(what) + " needs a member", expression.position);
}

}  // namespace

TupleSet EvaluateSet(const CubeModel& model, const MdxExpression& expression) {
  const std::size_t position = expression.position;
  switch (expression.kind) {
    case Kind::kName:
      return OfName(model, model.Resolve(expression.parts, position), position);
    case Kind::kMembers: {
      const MdxExpression& of = expression.operands.front();
      if (of.kind != Kind::kName)
        throw QueryFailure(".Members needs a level or a dimension", position);
      const NameRef ref = model.Resolve(of.parts, of.position);
      if (ref.kind == NameRef::Kind::kLevel) return Members(model, model.MembersOf(ref.index));
      if (ref.kind == NameRef::Kind::kMeasures) {
        TupleSet set;
        for (std::size_t m = 0; m < model.Catalog().measures.size(); ++m)
          set.push_back({{TupleItem::kMeasures, m}});
        return set;
      }
      if (ref.kind != NameRef::Kind::kHierarchy)
        throw QueryFailure(".Members needs a level or a dimension, not a member", position);
      TupleSet set;
      for (std::size_t level : model.LevelsOf(ref.index)) {
        for (auto& tuple : Members(model, model.MembersOf(level))) set.push_back(std::move(tuple));
      }
      return set;
    }
    case Kind::kChildren:
      return Members(model,
                     model.ChildrenOf(OneMember(model, expression.operands.front(), ".Children")));
    case Kind::kParent: {
      const std::size_t member = OneMember(model, expression.operands.front(), ".Parent");
      const std::size_t parent = model.ParentOf(member);
      if (parent == CubeModel::npos)
        throw QueryFailure("[" + model.Member(member).name + "] has no parent", position);
      return {{{model.HierarchyOf(parent), parent}}};
    }
    case Kind::kSet: {
      TupleSet set;
      for (const MdxExpression& operand : expression.operands) {
        for (auto& tuple : EvaluateSet(model, operand)) {
          if (!set.empty() && !SameShape(tuple, set.front()))
            throw QueryFailure("the tuples of a set differ in their dimensions", operand.position);
          set.push_back(std::move(tuple));
        }
      }
      return set;
    }
    case Kind::kTuple: {
      if (expression.operands.size() == 1) return EvaluateSet(model, expression.operands.front());
      Tuple tuple;
      for (const MdxExpression& operand : expression.operands) {
        const TupleSet part = EvaluateSet(model, operand);
        if (part.size() != 1)
          throw QueryFailure("a tuple takes one member of each dimension", operand.position);
        tuple = Joined(model, tuple, part.front(), operand.position);
      }
      return {tuple};
    }
    case Kind::kCrossJoin: {
      const TupleSet left = EvaluateSet(model, expression.operands[0]);
      const TupleSet right = EvaluateSet(model, expression.operands[1]);
      TupleSet set;
      for (const Tuple& a : left)
        for (const Tuple& b : right) set.push_back(Joined(model, a, b, position));
      return set;
    }
  }
  return {};
}

}  // namespace cubemill::query
