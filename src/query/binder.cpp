#include "query/binder.h"

#include <algorithm>

#include "platform/unicode_case.h"
#include "query/query_failure.h"

namespace cubemill::query {

std::size_t TupleList::MeasureOf(std::size_t t) const {
  for (std::size_t i = 0; i < shape.size(); ++i)
    if (shape[i] == kMeasuresHierarchy) return At(t)[i];
  return static_cast<std::size_t>(-1);
}

std::string Grouped(std::size_t count) {
  const std::string digits = std::to_string(count);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

namespace {

using Kind = MdxExpression::Kind;

constexpr std::size_t kMany = static_cast<std::size_t>(-1);

std::size_t Added(std::size_t a, std::size_t b) { return a > kMany - b ? kMany : a + b; }
std::size_t Multiplied(std::size_t a, std::size_t b) {
  return a != 0 && b > kMany / a ? kMany : a * b;
}

std::string Described(const CubeModel& model, std::size_t hierarchy) {
  return hierarchy == kMeasuresHierarchy ? std::string("[Measures]")
                                         : model.HierarchyName(hierarchy);
}

TupleList One(std::size_t hierarchy, std::size_t index) { return {{hierarchy}, {index}, 1}; }

TupleList Members(const CubeModel& model, const std::vector<std::size_t>& members) {
  TupleList list;
  list.count = members.size();
  list.shape = {members.empty() ? 0 : model.HierarchyOf(members.front())};
  list.items = members;
  return list;
}

// Evaluates the sets of one query. Each set is counted before it is built, so that a set
// beyond the limit fails before anything of its size is allocated.
class SetBinder {
 public:
  // With `tuples_of_sets`, (a, b) with a set among its operands is their cross join, as the
  // WHERE clause takes it; else each operand of a tuple must be one member.
  explicit SetBinder(const CubeModel& model, bool tuples_of_sets = false)
      : model_(model), tuples_of_sets_(tuples_of_sets) {}

  // How many tuples `e` stands for (kMany when that does not fit a size_t); resolves the names
  // it needs to know that.
  std::size_t Count(const MdxExpression& e) const {
    switch (e.kind) {
      case Kind::kName:
        return OfName(model_.Resolve(e.parts, e.position), e.position, true).count;
      case Kind::kMembers:
        return MembersOf(e, true).count;
      case Kind::kChildren:
        return model_.ChildrenOf(OneMember(e.operands.front(), ".Children")).size();
      case Kind::kParent:
        return 1;
      case Kind::kSet: {
        std::size_t count = 0;
        for (const MdxExpression& operand : e.operands) count = Added(count, Count(operand));
        return count;
      }
      case Kind::kTuple: {
        if (e.operands.size() == 1 || !tuples_of_sets_)
          return e.operands.size() == 1 ? Count(e.operands.front()) : 1;
        std::size_t count = 1;
        for (const MdxExpression& operand : e.operands) count = Multiplied(count, Count(operand));
        return count;
      }
      case Kind::kCrossJoin:
        return Multiplied(Count(e.operands[0]), Count(e.operands[1]));
    }
    return 0;
  }

  TupleList Build(const MdxExpression& e) const {
    switch (e.kind) {
      case Kind::kName:
        return OfName(model_.Resolve(e.parts, e.position), e.position, false);
      case Kind::kMembers:
        return MembersOf(e, false);
      case Kind::kChildren:
        return Members(model_, model_.ChildrenOf(OneMember(e.operands.front(), ".Children")));
      case Kind::kParent: {
        const std::size_t member = OneMember(e.operands.front(), ".Parent");
        const std::size_t parent = model_.ParentOf(member);
        if (parent == CubeModel::npos)
          throw QueryFailure(Bracketed(model_.Member(member).name) + " has no parent", e.position);
        return One(model_.HierarchyOf(parent), parent);
      }
      case Kind::kSet: {
        TupleList set;
        for (const MdxExpression& operand : e.operands) {
          const TupleList part = Build(operand);
          if (part.count == 0) continue;
          if (set.count == 0) {
            set.shape = part.shape;
          } else if (part.shape != set.shape) {
            throw QueryFailure("the tuples of a set differ in their dimensions", operand.position);
          }
          set.items.insert(set.items.end(), part.items.begin(), part.items.end());
          set.count += part.count;
        }
        return set;
      }
      case Kind::kTuple: {
        if (e.operands.size() == 1) return Build(e.operands.front());
        TupleList tuple{{}, {}, 1};
        for (const MdxExpression& operand : e.operands) {
          if (!tuples_of_sets_ && Count(operand) != 1)
            throw QueryFailure("a tuple takes one member of each dimension", operand.position);
          tuple = Joined(tuple, Build(operand), operand.position);
        }
        return tuple;
      }
      case Kind::kCrossJoin:
        return Joined(Build(e.operands[0]), Build(e.operands[1]), e.position);
    }
    return {};
  }

 private:
  // Every tuple of `a` joined with every tuple of `b`; fails when both hold one hierarchy.
  TupleList Joined(const TupleList& a, const TupleList& b, std::size_t position) const {
    TupleList joined;
    if (a.count == 0 || b.count == 0) return joined;
    for (std::size_t h : b.shape) {
      if (std::find(a.shape.begin(), a.shape.end(), h) != a.shape.end())
        throw QueryFailure("hierarchy " + Described(model_, h) + " appears twice in a tuple",
                           position);
    }
    joined.shape = a.shape;
    joined.shape.insert(joined.shape.end(), b.shape.begin(), b.shape.end());
    joined.count = a.count * b.count;
    joined.items.reserve(joined.count * joined.Arity());
    for (std::size_t i = 0; i < a.count; ++i) {
      for (std::size_t j = 0; j < b.count; ++j) {
        joined.items.insert(joined.items.end(), a.At(i), a.At(i) + a.Arity());
        joined.items.insert(joined.items.end(), b.At(j), b.At(j) + b.Arity());
      }
    }
    return joined;
  }

  // The set a resolved name stands for; only its count when `counting`.
  TupleList OfName(const NameRef& ref, std::size_t position, bool counting) const {
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
              position);
        return Listed(model_.MembersOf(top), counting);
      }
      case NameRef::Kind::kMeasures:
        break;
    }
    throw QueryFailure("[Measures] alone is no set: use [Measures].Members or name a measure",
                       position);
  }

  TupleList Listed(const std::vector<std::size_t>& members, bool counting) const {
    if (!counting) return Members(model_, members);
    TupleList counted;
    counted.count = members.size();
    return counted;
  }

  TupleList MembersOf(const MdxExpression& e, bool counting) const {
    const MdxExpression& of = e.operands.front();
    if (of.kind != Kind::kName)
      throw QueryFailure(".Members needs a level or a dimension", e.position);
    const NameRef ref = model_.Resolve(of.parts, of.position);
    switch (ref.kind) {
      case NameRef::Kind::kLevel:
        return Listed(model_.MembersOf(ref.index), counting);
      case NameRef::Kind::kHierarchy:
        return Listed(model_.MembersOfHierarchy(ref.index), counting);
      case NameRef::Kind::kMeasures: {
        TupleList set{{kMeasuresHierarchy}, {}, model_.Catalog().measures.size()};
        for (std::size_t m = 0; m < set.count && !counting; ++m) set.items.push_back(m);
        return set;
      }
      case NameRef::Kind::kMeasure:
        throw QueryFailure(".Members needs a level or a dimension, not a measure", e.position);
      case NameRef::Kind::kMember:
        break;
    }
    throw QueryFailure(".Members needs a level or a dimension, not a member", e.position);
  }

  // The one member `e` stands for (for .Children and .Parent).
  std::size_t OneMember(const MdxExpression& e, const char* what) const {
    if (Count(e) == 1) {
      const TupleList set = Build(e);
      if (set.Arity() == 1 && set.shape.front() == kMeasuresHierarchy) {
        throw QueryFailure(std::string(what) + " of a measure ([Measures]." +
                               Bracketed(model_.Catalog().measures[set.items.front()].name) +
                               "): only a member has " +
                               (std::string(what) == ".Parent" ? "a parent" : "children"),
                           e.position);
      }
      if (set.Arity() == 1) return set.items.front();
    }
    throw QueryFailure(std::string(what) + " needs a member", e.position);
  }

  const CubeModel& model_;
  const bool tuples_of_sets_;
};

// Fails when the slicer's tuples name more than one measure: a cell adds up one measure's
// values, and the values of two measures do not add up to anything.
void CheckSlicerMeasures(const CubeModel& model, const TupleList& slicer, std::size_t position) {
  const std::size_t first = slicer.count == 0 ? kMany : slicer.MeasureOf(0);
  for (std::size_t t = 1; t < slicer.count && first != kMany; ++t) {
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

}  // namespace

TupleList BindSet(const CubeModel& model, const MdxExpression& expression, const char* axis,
                  std::size_t max_tuples) {
  const SetBinder binder(model);
  const std::size_t count = binder.Count(expression);
  if (count > max_tuples) {
    throw QueryFailure(std::string("the ") + axis + " axis has " +
                       (count == kMany ? "more than " + Grouped(kMany) : Grouped(count)) +
                       " tuples, more than the limit of " + Grouped(max_tuples));
  }
  return binder.Build(expression);
}

BoundQuery Bind(const CubeModel& model, const MdxQuery& query, std::size_t max_axis_tuples) {
  const auto& catalog = model.Catalog();
  if (!platform::EqualsFolded(query.cube, catalog.name)) {
    throw QueryFailure("unknown cube " + Bracketed(query.cube) + " (the file holds " +
                           Bracketed(catalog.name) + ")",
                       query.cube_position);
  }
  BoundQuery bound;
  bound.columns = {BindSet(model, query.columns.set, "columns", max_axis_tuples),
                   query.columns.non_empty, query.columns.set.position};
  if (query.rows) {
    bound.rows = {BindSet(model, query.rows->set, "rows", max_axis_tuples), query.rows->non_empty,
                  query.rows->set.position};
  } else {
    bound.rows.tuples.count = 1;
  }
  bound.slicer.count = 1;
  if (query.where) {
    bound.slicer_position = query.where->position;
    const SetBinder binder(model, true);
    const std::size_t count = binder.Count(*query.where);
    if (count > max_axis_tuples) {
      throw QueryFailure("WHERE has " +
                             (count == kMany ? "more than " + Grouped(kMany) : Grouped(count)) +
                             " tuples, more than the limit of " + Grouped(max_axis_tuples),
                         query.where->position);
    }
    bound.slicer = binder.Build(*query.where);
    CheckSlicerMeasures(model, bound.slicer, query.where->position);
  }

  // Each hierarchy (and [Measures]) on one of the axes and the slicer only.
  std::vector<std::size_t> seen;
  const std::pair<const TupleList*, std::size_t> parts[] = {
      {&bound.columns.tuples, bound.columns.position},
      {&bound.rows.tuples, bound.rows.position},
      {&bound.slicer, bound.slicer_position}};
  for (const auto& [tuples, position] : parts) {
    if (tuples->count == 0) continue;
    for (std::size_t h : tuples->shape) {
      if (std::find(seen.begin(), seen.end(), h) != seen.end())
        throw QueryFailure(Described(model, h) + " appears on two axes", position);
    }
    seen.insert(seen.end(), tuples->shape.begin(), tuples->shape.end());
  }
  if (catalog.measures.empty()) throw QueryFailure("the cube has no measure", 1);
  return bound;
}

}  // namespace cubemill::query
