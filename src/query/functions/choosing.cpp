// Functions that choose or order a set's tuples by a value computed at each of them: on an
// axis or in a named set in the context of the WHERE clause, inside a calculated member at the
// cell being computed.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "query/execution/evaluation.h"
#include "query/functions/catalog.h"
#include "query/query_failure.h"

namespace cubemill::query::functions {

namespace {

using Kind = MdxExpression::Kind;
constexpr std::size_t npos = CubeModel::npos;

std::vector<Value> ValuesOf(Context& cx, const TupleList& set, const MdxExpression* value) {
  return cx.Eval().ValuesOver(set, value, cx.At());
}

TupleList SetOf(Context& cx, const MdxExpression& e, const char* function) {
  return cx.Eval().SetAt(e, cx.At(), function);
}

// The tuple order by `values`, ties in the set's order.
std::vector<std::size_t> SortedBy(const std::vector<Value>& values, bool descending,
                                  std::size_t position) {
  std::vector<std::size_t> order(values.size());
  for (std::size_t t = 0; t < order.size(); ++t) order[t] = t;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const int c = Compare(values[a], values[b], position);
    return descending ? c > 0 : c < 0;
  });
  return order;
}

// TopCount and BottomCount: the n tuples with the highest (lowest) values, in that order;
// without a value the set's first n as they come.
TupleList ByCount(Context& cx, const MdxExpression& e, bool top) {
  const TupleList set = SetOf(cx, e.operands[0], e.function->name);
  const double n = e.operands[1].number.real;
  std::vector<std::size_t> kept;
  if (e.operands.size() < 3) {
    for (std::size_t t = 0; t < set.count && static_cast<double>(t) < n; ++t) kept.push_back(t);
    return Picked(set, kept);
  }
  const std::vector<std::size_t> order =
      SortedBy(ValuesOf(cx, set, &e.operands[2]), top, e.position);
  for (std::size_t i = 0; i < order.size() && static_cast<double>(i) < n; ++i)
    kept.push_back(order[i]);
  return Picked(set, kept);
}

// TopSum and TopPercent: the fewest tuples, highest first, whose values reach the target;
// BottomSum and BottomPercent: the lowest tuples whose values stay within it.
TupleList BySum(Context& cx, const MdxExpression& e, bool top, bool percent) {
  const TupleList set = SetOf(cx, e.operands[0], e.function->name);
  const double n = e.operands[1].number.real;
  const std::vector<Value> values = ValuesOf(cx, set, &e.operands[2]);
  const std::vector<std::size_t> order = SortedBy(values, top, e.position);
  double total = 0;
  for (const Value& value : values) {
    if (value.type == Value::Type::kString)
      throw QueryFailure(std::string(e.function->name) + " needs numbers, found a string",
                         e.position);
    total += value.Number();
  }
  const double target = percent ? total * n / 100 : n;
  std::vector<std::size_t> kept;
  double sum = 0;
  for (std::size_t t : order) {
    const double value = values[t].Number();
    if (top ? sum >= target : sum + value > target) break;
    kept.push_back(t);
    sum += value;
  }
  return Picked(set, kept);
}

// The order ASC and DESC give the tuples `group` of a one-hierarchy set (at coordinate
// `column`): the hierarchy is kept, a member after its ancestors, and members with the same
// parent are ordered among themselves, each parent's branch by the parent's value. The values
// are those of each tuple with its member replaced by the ancestor.
std::vector<std::size_t> HierarchicalOrder(Context& cx, const TupleList& set,
                                           const std::vector<std::size_t>& group,
                                           std::size_t column, const MdxExpression& value,
                                           bool descending) {
  const CubeModel& model = cx.Model();
  std::vector<std::size_t> path_members;  // every ancestor of every tuple, and the tuple's
  std::map<std::size_t, std::size_t> index_of;
  std::map<std::size_t, std::vector<std::size_t>> paths;
  for (std::size_t t : group) {
    std::vector<std::size_t> path;
    const std::size_t member = set.At(t)[column];
    if (member >= model.MemberCount()) {
      path.push_back(member);
    } else {
      for (std::size_t m = member; m != npos; m = model.ParentOf(m)) path.push_back(m);
    }
    std::reverse(path.begin(), path.end());
    for (std::size_t m : path)
      if (index_of.emplace(m, path_members.size()).second) path_members.push_back(m);
    paths[t] = std::move(path);
  }
  // Each path member's value, in the context of the group's first tuple's other members.
  TupleList all{set.shape, {}, path_members.size()};
  for (std::size_t m : path_members) {
    for (std::size_t i = 0; i < set.Arity(); ++i)
      all.items.push_back(i == column ? m : set.At(group.front())[i]);
  }
  const std::vector<Value> values = ValuesOf(cx, all, &value);
  const auto rank = [&](std::size_t m) {
    return m >= model.MemberCount() ? m : model.HierarchyOrder(m);
  };
  std::vector<std::size_t> order = group;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const auto& pa = paths[a];
    const auto& pb = paths[b];
    for (std::size_t d = 0; d < std::min(pa.size(), pb.size()); ++d) {
      if (pa[d] == pb[d]) continue;
      const int c = Compare(values[index_of[pa[d]]], values[index_of[pb[d]]], value.position);
      if (c != 0) return descending ? c > 0 : c < 0;
      return rank(pa[d]) < rank(pb[d]);
    }
    return pa.size() < pb.size();
  });
  return order;
}

// Order(set, value [, ASC | DESC | BASC | BDESC]). BASC and BDESC order by value alone. ASC and
// DESC keep the hierarchy; over tuples of several hierarchies only the last is ordered: the
// tuples stay grouped by their other members, groups in the set's order, and each group is
// ordered by its last member.
TupleList Order(Context& cx, const MdxExpression& e) {
  const TupleList set = SetOf(cx, e.operands[0], "Order");
  const std::string flag = e.operands.size() > 2 ? e.operands[2].parts.front().text : "ASC";
  const bool descending = flag == "DESC" || flag == "BDESC";
  const bool breaks = flag == "BASC" || flag == "BDESC";
  if (breaks || set.count == 0)
    return Picked(set, SortedBy(ValuesOf(cx, set, &e.operands[1]), descending, e.position));
  const std::size_t last = set.Arity() - 1;
  std::vector<std::vector<std::size_t>> groups;
  std::map<std::vector<std::size_t>, std::size_t> group_of;
  for (std::size_t t = 0; t < set.count; ++t) {
    const std::vector<std::size_t> others(set.At(t), set.At(t) + last);
    const auto [found, added] = group_of.emplace(others, groups.size());
    if (added) groups.emplace_back();
    groups[found->second].push_back(t);
  }
  std::vector<std::size_t> order;
  for (const std::vector<std::size_t>& group : groups) {
    std::vector<std::size_t> ordered;
    if (set.shape[last] == kMeasuresHierarchy) {
      const TupleList part = Picked(set, group);
      for (std::size_t i : SortedBy(ValuesOf(cx, part, &e.operands[1]), descending, e.position))
        ordered.push_back(group[i]);
    } else {
      ordered = HierarchicalOrder(cx, set, group, last, e.operands[1], descending);
    }
    order.insert(order.end(), ordered.begin(), ordered.end());
  }
  return Picked(set, order);
}

TupleList Filter(Context& cx, const MdxExpression& e) {
  const TupleList set = SetOf(cx, e.operands[0], "Filter");
  const std::vector<Value> values = ValuesOf(cx, set, &e.operands[1]);
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < set.count; ++t)
    if (Truth(values[t], e.operands[1].position)) kept.push_back(t);
  return Picked(set, kept);
}

TupleList NonEmpty(Context& cx, const MdxExpression& e) {
  Evaluation& ev = cx.Eval();
  const TupleList set = SetOf(cx, e.operands[0], "NonEmpty");
  TupleList with{{}, {}, 1};
  if (e.operands.size() > 1) with = SetOf(cx, e.operands[1], "NonEmpty");
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < set.count; ++t) {
    const Coord there = ev.With(cx.At(), set, t);
    for (std::size_t s = 0; s < with.count; ++s) {
      if (!ev.CellAt(ev.With(there, with, s)).Empty()) {
        kept.push_back(t);
        break;
      }
    }
  }
  return Picked(set, kept);
}

// NonEmptyCrossJoin(set, set, ...): the cross join's tuples with a value, as NonEmpty of
// CrossJoin; what older clients write.
TupleList NonEmptyCrossJoin(Context& cx, const MdxExpression& e) {
  Evaluation& ev = cx.Eval();
  std::size_t count = 1;
  for (const MdxExpression& operand : e.operands) count = Multiplied(count, cx.Count(operand));
  if (count > cx.MaxTuples()) {
    throw QueryFailure("NonEmptyCrossJoin joins " + TuplesOverLimit(count, cx.MaxTuples()),
                       e.position);
  }
  TupleList joined = SetOf(cx, e.operands[0], "NonEmptyCrossJoin");
  for (std::size_t i = 1; i < e.operands.size(); ++i)
    joined = cx.Joined(joined, SetOf(cx, e.operands[i], "NonEmptyCrossJoin"), e.position);
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < joined.count; ++t)
    if (!ev.CellAt(ev.With(cx.At(), joined, t)).Empty()) kept.push_back(t);
  return Picked(joined, kept);
}

TupleList Generate(Context& cx, const MdxExpression& e) {
  Evaluation& ev = cx.Eval();
  const TupleList set = SetOf(cx, e.operands[0], "Generate");
  const bool all = e.operands.size() > 2;
  TupleList out;
  std::set<std::vector<std::size_t>> seen;
  for (std::size_t t = 0; t < set.count; ++t) {
    const TupleList part = ev.SetAt(e.operands[1], ev.With(cx.At(), set, t), "Generate");
    if (part.count == 0) continue;
    if (out.count == 0) {
      out.shape = part.shape;
    } else if (out.shape != part.shape) {
      throw QueryFailure("Generate makes tuples of different dimensions", e.operands[1].position);
    }
    for (std::size_t p = 0; p < part.count; ++p) {
      std::vector<std::size_t> tuple(part.At(p), part.At(p) + part.Arity());
      if (!all && !seen.insert(tuple).second) continue;
      if (out.count == cx.MaxTuples()) {
        throw QueryFailure(
            "Generate makes a set of more than " + Grouped(cx.MaxTuples()) + " tuples", e.position);
      }
      out.items.insert(out.items.end(), tuple.begin(), tuple.end());
      ++out.count;
    }
  }
  return out;
}

// Rank(tuple, set [, value]): the tuple's place in the set, 1 for the first, 0 when it is not
// there. With a value, its place among the set's tuples ordered by that value, highest first;
// tuples with equal values share the place of the first of them.
Value Rank(Context& cx, const MdxExpression& e) {
  const TupleList tuple = SetOf(cx, e.operands[0], "Rank");
  const TupleList set = SetOf(cx, e.operands[1], "Rank");
  if (tuple.count != 1) return Value::Integer(0);
  std::size_t found = npos;
  for (std::size_t t = 0; t < set.count && found == npos; ++t) {
    if (set.shape == tuple.shape && std::equal(set.At(t), set.At(t) + set.Arity(), tuple.At(0)))
      found = t;
  }
  if (found == npos) return Value::Integer(0);
  if (e.operands.size() < 3) return Value::Integer(static_cast<std::int64_t>(found + 1));
  const std::vector<Value> values = ValuesOf(cx, set, &e.operands[2]);
  std::int64_t higher = 0;
  for (const Value& value : values)
    if (Compare(value, values[found], e.position) > 0) ++higher;
  return Value::Integer(higher + 1);
}

const Function kChoosing[] = {
    {.name = "TopCount",
     .required = "SN",
     .optional = "V",
     .per_cell = true,
     .summary = "the n tuples with the highest values, highest first",
     .set = [](Context& cx, const MdxExpression& e) { return ByCount(cx, e, true); }},
    {.name = "BottomCount",
     .required = "SN",
     .optional = "V",
     .per_cell = true,
     .summary = "the n tuples with the lowest values, lowest first",
     .set = [](Context& cx, const MdxExpression& e) { return ByCount(cx, e, false); }},
    {.name = "TopPercent",
     .required = "SDV",
     .per_cell = true,
     .summary = "the fewest tuples, highest first, that reach a percent of the total",
     .set = [](Context& cx, const MdxExpression& e) { return BySum(cx, e, true, true); }},
    {.name = "BottomPercent",
     .required = "SDV",
     .per_cell = true,
     .summary = "the lowest tuples whose values stay within a percent of the total",
     .set = [](Context& cx, const MdxExpression& e) { return BySum(cx, e, false, true); }},
    {.name = "TopSum",
     .required = "SDV",
     .per_cell = true,
     .summary = "the fewest tuples, highest first, whose values reach a sum",
     .set = [](Context& cx, const MdxExpression& e) { return BySum(cx, e, true, false); }},
    {.name = "BottomSum",
     .required = "SDV",
     .per_cell = true,
     .summary = "the lowest tuples whose values stay within a sum",
     .set = [](Context& cx, const MdxExpression& e) { return BySum(cx, e, false, false); }},
    {.name = "Order",
     .required = "SV",
     .optional = "F",
     .flags = {"ASC", "DESC", "BASC", "BDESC"},
     .per_cell = true,
     .summary = "the set ordered by a value, keeping the hierarchy or breaking it",
     .set = Order},
    {.name = "Filter",
     .required = "SV",
     .per_cell = true,
     .summary = "the tuples for which a condition holds",
     .set = Filter},
    {.name = "NonEmpty",
     .required = "S",
     .optional = "S",
     .per_cell = true,
     .summary = "the tuples with a value (with any tuple of a second set)",
     .set = NonEmpty},
    {.name = "NonEmptyCrossJoin",
     .required = "SS",
     .repeats = true,
     .per_cell = true,
     .summary = "the tuples of the sets' cross join that have a value",
     .set = NonEmptyCrossJoin},
    {.name = "Generate",
     .required = "SS",
     .optional = "F",
     .flags = {"ALL"},
     .per_cell = true,
     .summary = "the second set computed at each tuple of the first, joined",
     .set = Generate},
    {.name = "Rank",
     .required = "SS",
     .optional = "V",
     .returns = Returns::kValue,
     .per_cell = true,
     .summary = "a tuple's place in a set (1 for the first, 0 when not in it), or by a value",
     .value = Rank},
};

}  // namespace

std::span<const Function> ChoosingFunctions() { return kChoosing; }

}  // namespace cubemill::query::functions
