// Functions that make sets from sets: joined, cut, united, compared, ordered by the hierarchy,
// or reduced to some of their hierarchies. A function that takes a set whole holds it within
// the axis limit.
#include <algorithm>
#include <string>
#include <vector>

#include "query/execution/evaluation.h"
#include "query/functions/catalog.h"
#include "query/query_failure.h"

namespace cubemill::query::functions {

namespace {

using Kind = MdxExpression::Kind;

TupleList CrossJoin(Context& cx, const MdxExpression& e) {
  TupleList joined = cx.Build(e.operands.front());
  for (std::size_t i = 1; i < e.operands.size(); ++i)
    joined = cx.Joined(joined, cx.Build(e.operands[i]), e.position);
  return joined;
}

std::size_t CrossJoinCount(Context& cx, const MdxExpression& e) {
  std::size_t count = 1;
  for (const MdxExpression& operand : e.operands) count = Multiplied(count, cx.Count(operand));
  return count;
}

// Head and Tail: the first or last n tuples (1 without n).
std::size_t EndCount(Context& cx, const MdxExpression& e) {
  const std::size_t n = e.operands.size() > 1 ? Clamped(WholeOf(e.operands[1])) : 1;
  return std::min(n, cx.Count(e.operands.front()));
}

TupleList End(Context& cx, const MdxExpression& e, bool head) {
  const TupleList all = cx.Bounded(e.operands.front(), head ? "Head" : "Tail");
  const std::size_t n =
      std::min(all.count, e.operands.size() > 1 ? Clamped(WholeOf(e.operands[1])) : std::size_t{1});
  return Slice(all, head ? 0 : all.count - n, n);
}

// Subset's start: 0 or more.
std::size_t Start(const MdxExpression& e) {
  const long long start = WholeOf(e.operands[1]);
  if (start < 0) throw QueryFailure("Subset needs a start of 0 or more", e.operands[1].position);
  return static_cast<std::size_t>(start);
}

TupleList Subset(Context& cx, const MdxExpression& e) {
  const TupleList all = cx.Bounded(e.operands.front(), "Subset");
  return Slice(all, Start(e), e.operands.size() > 2 ? Clamped(WholeOf(e.operands[2])) : all.count);
}

std::size_t SubsetCount(Context& cx, const MdxExpression& e) {
  const std::size_t all = cx.Count(e.operands.front());
  const std::size_t first = Start(e);
  const std::size_t rest = first >= all ? 0 : all - first;
  return e.operands.size() > 2 ? std::min(rest, Clamped(WholeOf(e.operands[2]))) : rest;
}

TupleList Union(Context& cx, const MdxExpression& e) {
  std::size_t sets = e.operands.size();
  const bool all = e.operands.back().kind == Kind::kFlag;
  if (all) --sets;
  TupleList united;
  for (std::size_t i = 0; i < sets; ++i) {
    const TupleList part = cx.Bounded(e.operands[i], "Union");
    cx.CheckSameShape("Union", united, part, e.operands[i].position);
    if (part.count == 0) continue;
    if (united.count == 0) united.shape = part.shape;
    if (Added(united.count, part.count) > cx.MaxTuples()) {
      throw QueryFailure("Union makes a set of more than " + Grouped(cx.MaxTuples()) + " tuples",
                         e.position);
    }
    united.items.insert(united.items.end(), part.items.begin(), part.items.end());
    united.count += part.count;
  }
  return all ? united : Deduplicated(united);
}

// Except and Intersect: the first set's tuples that are not (are) in the second, each once.
TupleList Compare(Context& cx, const MdxExpression& e, bool common) {
  const char* name = common ? "Intersect" : "Except";
  const TupleList a = cx.Bounded(e.operands[0], name);
  const TupleList b = cx.Bounded(e.operands[1], name);
  cx.CheckSameShape(name, a, b, e.operands[1].position);
  return Compared(a, b, common);
}

// The tuples of `list` in hierarchy order, coordinate by coordinate: a member after its parent
// and before its next sibling; measures in the cube's order; calculated members after the
// cube's, in the order they were defined. Equal tuples keep their order.
TupleList Hierarchize(Context& cx, const MdxExpression& e) {
  const CubeModel& model = cx.Model();
  const TupleList list = cx.Bounded(e.operands.front(), "Hierarchize");
  std::vector<std::size_t> order(list.count);
  for (std::size_t t = 0; t < list.count; ++t) order[t] = t;
  const auto rank = [&](std::size_t t, std::size_t i) {
    const std::size_t item = list.At(t)[i];
    return list.shape[i] == kMeasuresHierarchy || item >= model.MemberCount()
               ? item
               : model.HierarchyOrder(item);
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    for (std::size_t i = 0; i < list.Arity(); ++i) {
      if (rank(a, i) != rank(b, i)) return rank(a, i) < rank(b, i);
    }
    return false;
  });
  return Picked(list, order);
}

// Extract(set, hierarchy...): the set's coordinates of the hierarchies named, each tuple once.
TupleList Extract(Context& cx, const MdxExpression& e) {
  const TupleList all = cx.Bounded(e.operands.front(), "Extract");
  std::vector<std::size_t> shape, columns;
  for (std::size_t i = 1; i < e.operands.size(); ++i) {
    const MdxExpression& name = e.operands[i];
    std::size_t hierarchy = CubeModel::npos;
    if (name.kind == Kind::kName && cx.Name(name).kind == NameBinding::Kind::kCube) {
      const NameRef& ref = cx.Name(name).ref;
      if (ref.kind == NameRef::Kind::kHierarchy) hierarchy = ref.index;
      if (ref.kind == NameRef::Kind::kMeasures) hierarchy = kMeasuresHierarchy;
    }
    if (hierarchy == CubeModel::npos)
      throw QueryFailure("Extract needs a hierarchy", name.position);
    if (std::find(shape.begin(), shape.end(), hierarchy) != shape.end())
      throw QueryFailure("Extract names " + cx.Described(hierarchy) + " twice", name.position);
    const auto column = std::find(all.shape.begin(), all.shape.end(), hierarchy);
    if (all.count > 0 && column == all.shape.end()) {
      throw QueryFailure("Extract: the set holds no " + cx.Described(hierarchy), name.position);
    }
    shape.push_back(hierarchy);
    columns.push_back(static_cast<std::size_t>(column - all.shape.begin()));
  }
  TupleList extracted{shape, {}, all.count};
  if (all.count == 0) {
    extracted.count = 0;
    return extracted;
  }
  for (std::size_t t = 0; t < all.count; ++t)
    for (std::size_t column : columns) extracted.items.push_back(all.At(t)[column]);
  return Deduplicated(extracted);
}

const Function kSets[] = {
    {.name = "CrossJoin",
     .required = "SS",
     .repeats = true,
     .summary = "every tuple of the first set joined with every tuple of the others",
     .set = CrossJoin,
     .count = CrossJoinCount},
    {.name = "Head",
     .required = "S",
     .optional = "N",
     .summary = "the set's first n tuples (1 without n)",
     .set = [](Context& cx, const MdxExpression& e) { return End(cx, e, true); },
     .count = EndCount},
    {.name = "Tail",
     .required = "S",
     .optional = "N",
     .summary = "the set's last n tuples (1 without n)",
     .set = [](Context& cx, const MdxExpression& e) { return End(cx, e, false); },
     .count = EndCount},
    {.name = "Subset",
     .required = "SN",
     .optional = "N",
     .summary = "the set's tuples from a start (0 for the first), at most n of them",
     .set = Subset,
     .count = SubsetCount},
    {.name = "Union",
     .required = "SS",
     .optional = "F",
     .repeats = true,
     .flags = {"ALL"},
     .summary = "the sets' tuples, each once (every one with ALL)",
     .set = Union},
    {.name = "Except",
     .required = "SS",
     .summary = "the first set's tuples that are not in the second",
     .set = [](Context& cx, const MdxExpression& e) { return Compare(cx, e, false); }},
    {.name = "Intersect",
     .required = "SS",
     .summary = "the first set's tuples that are in the second",
     .set = [](Context& cx, const MdxExpression& e) { return Compare(cx, e, true); }},
    {.name = "Distinct",
     .required = "S",
     .summary = "the set's tuples, each once",
     .set =
         [](Context& cx, const MdxExpression& e) {
           return Deduplicated(cx.Bounded(e.operands[0], "Distinct"));
         }},
    {.name = "Hierarchize",
     .required = "S",
     .summary = "the set in hierarchy order: each member after its parent",
     .set = Hierarchize,
     .count = [](Context& cx, const MdxExpression& e) { return cx.Count(e.operands[0]); }},
    {.name = "Extract",
     .required = "SS",
     .repeats = true,
     .summary = "the set's members of the hierarchies named, each tuple once",
     .set = Extract},
};

}  // namespace

std::span<const Function> SetFunctions() { return kSets; }

}  // namespace cubemill::query::functions
