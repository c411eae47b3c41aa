#include "query/execution/context.h"

#include <algorithm>
#include <string>
#include <utility>

#include "query/execution/evaluation.h"
#include "query/functions/function.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using Kind = MdxExpression::Kind;
using functions::Returns;

// The set operation a "+", "-" or "*" between sets stands for.
enum class SetOperator { kNone, kUnion, kExcept, kCrossJoin };

SetOperator OperatorOf(const MdxExpression& e) {
  if (e.kind != Kind::kBinary) return SetOperator::kNone;
  const std::string& op = e.parts.front().text;
  if (op == "+") return SetOperator::kUnion;
  if (op == "-") return SetOperator::kExcept;
  if (op == "*") return SetOperator::kCrossJoin;
  return SetOperator::kNone;
}

Returns ReturnsOf(const MdxExpression& e) { return e.function->returns; }

// Fails for `e` where a set is wanted and `e` is none.
[[noreturn]] void FailNoSet(const MdxExpression& e) {
  if (e.kind == Kind::kNumber || e.kind == Kind::kFlag)
    throw QueryFailure("a number or a flag is no set", e.position);
  throw QueryFailure("a value is no set", e.position);
}

}  // namespace

std::size_t Added(std::size_t a, std::size_t b) {
  return a > Context::kMany - b ? Context::kMany : a + b;
}
std::size_t Multiplied(std::size_t a, std::size_t b) {
  return a != 0 && b > Context::kMany / a ? Context::kMany : a * b;
}
std::string CountText(std::size_t count) {
  return count == Context::kMany ? "more than " + Grouped(Context::kMany) : Grouped(count);
}
std::string TuplesOverLimit(std::size_t count, std::size_t limit) {
  return CountText(count) + " tuples, more than the limit of " + Grouped(limit);
}
std::size_t Clamped(long long n) { return n <= 0 ? 0 : static_cast<std::size_t>(n); }

Context::Context(Evaluation& evaluation, const Coord& at, bool tuples_of_sets)
    : evaluation_(evaluation),
      model_(evaluation.Model()),
      bound_(evaluation.Bound()),
      at_(at),
      max_tuples_(evaluation.Options().max_axis_tuples),
      tuples_of_sets_(tuples_of_sets) {}

const NameBinding& Context::Name(const MdxExpression& e) const { return bound_.NameOf(e); }

std::string Context::Described(std::size_t hierarchy) const {
  return hierarchy == kMeasuresHierarchy ? std::string("[Measures]")
                                         : model_.HierarchyName(hierarchy);
}

Value Context::ValueOf(const MdxExpression& e) { return evaluation_.ValueAt(e, at_); }

std::size_t Context::Count(const MdxExpression& e) {
  const auto found = counts_.find(&e);
  if (found != counts_.end()) return found->second;
  const std::size_t count = Counted(e);
  counts_[&e] = count;
  return count;
}

TupleList Context::Build(const MdxExpression& e) {
  const auto found = built_.find(&e);
  if (found == built_.end()) return Built(e);
  TupleList list = std::move(found->second);
  built_.erase(found);
  return list;
}

TupleList Context::Bounded(const MdxExpression& e, const char* function) {
  const std::size_t count = Count(e);
  if (count > max_tuples_) {
    throw QueryFailure(
        std::string(function) + " takes a set of " + TuplesOverLimit(count, max_tuples_),
        e.position);
  }
  return Build(e);
}

std::size_t Context::Counted(const MdxExpression& e) {
  // A set known only once built is kept for Build.
  const auto keep = [&](TupleList list) {
    const std::size_t count = list.count;
    built_[&e] = std::move(list);
    return count;
  };
  switch (OperatorOf(e)) {
    case SetOperator::kCrossJoin:
      return Multiplied(Count(e.operands[0]), Count(e.operands[1]));
    case SetOperator::kUnion:
    case SetOperator::kExcept:
      return keep(Built(e));
    case SetOperator::kNone:
      break;
  }
  switch (e.kind) {
    case Kind::kName: {
      const NameBinding& name = Name(e);
      if (name.kind == NameBinding::Kind::kFormula) return 1;
      if (name.kind == NameBinding::Kind::kNamedSet) return keep(Built(e));
      return OfName(e, true).count;
    }
    case Kind::kSet: {
      std::size_t count = 0;
      for (const MdxExpression& operand : e.operands) count = Added(count, Count(operand));
      return count;
    }
    case Kind::kTuple: {
      if (e.operands.size() == 1) return Count(e.operands.front());
      if (!tuples_of_sets_) {
        // One member of each: none where a navigation found the null member.
        for (const MdxExpression& operand : e.operands)
          if (Count(operand) == 0) return 0;
        return 1;
      }
      std::size_t count = 1;
      for (const MdxExpression& operand : e.operands) count = Multiplied(count, Count(operand));
      return count;
    }
    case Kind::kRange: {
      const LevelSpan span = RangeOf(e);
      return span.level == npos ? 0 : span.last - span.first + 1;
    }
    case Kind::kCall:
      switch (ReturnsOf(e)) {
        case Returns::kSet:
          if (e.function->count != nullptr) return e.function->count(*this, e);
          return keep(e.function->set(*this, e));
        case Returns::kLevel: {
          const std::size_t level = e.function->level(*this, e);
          return level == npos ? 0 : model_.MembersOf(level).size();
        }
        case Returns::kMember:
          return Member(e, "").member == npos ? 0 : 1;
        case Returns::kValue:
          break;
      }
      break;
    default:
      break;
  }
  FailNoSet(e);
}

TupleList Context::Built(const MdxExpression& e) {
  switch (OperatorOf(e)) {
    case SetOperator::kCrossJoin:
      return Joined(Build(e.operands[0]), Build(e.operands[1]), e.position);
    case SetOperator::kUnion:
      return Union(e);
    case SetOperator::kExcept:
      return ExceptOf(e);
    case SetOperator::kNone:
      break;
  }
  switch (e.kind) {
    case Kind::kName: {
      const NameBinding& name = Name(e);
      if (name.kind == NameBinding::Kind::kFormula) {
        const BoundFormula& f = bound_.formulas[name.index];
        return One(f.hierarchy, f.item);
      }
      if (name.kind == NameBinding::Kind::kNamedSet)
        return evaluation_.NamedSet(name.index, e.position);
      return OfName(e, false);
    }
    case Kind::kSet:
      return Concatenated(e);
    case Kind::kTuple: {
      if (e.operands.size() == 1) return Build(e.operands.front());
      TupleList tuple{{}, {}, 1};
      for (const MdxExpression& operand : e.operands) {
        const bool member = operand.kind == Kind::kCall && ReturnsOf(operand) == Returns::kMember;
        if (!tuples_of_sets_ && Count(operand) != 1 && !member)
          throw QueryFailure("a tuple takes one member of each dimension", operand.position);
        tuple = Joined(tuple, Build(operand), operand.position);
      }
      return tuple;
    }
    case Kind::kRange: {
      const LevelSpan span = RangeOf(e);
      if (span.level == npos) return {};
      const auto& members = model_.MembersOf(span.level);
      return {{model_.LevelHierarchy(span.level)},
              {members.begin() + static_cast<long>(span.first),
               members.begin() + static_cast<long>(span.last) + 1},
              span.last - span.first + 1};
    }
    case Kind::kCall:
      switch (ReturnsOf(e)) {
        case Returns::kSet:
          return e.function->set(*this, e);
        case Returns::kLevel: {
          const std::size_t level = e.function->level(*this, e);
          return level == npos ? TupleList{} : Listed(model_.MembersOf(level), false);
        }
        case Returns::kMember: {
          const MemberValue value = Member(e, "");
          if (value.member == npos) return {{value.hierarchy}, {}, 0};
          return One(value.hierarchy, value.member);
        }
        case Returns::kValue:
          break;
      }
      break;
    default:
      break;
  }
  FailNoSet(e);
}

// {a, b, ...}: the operands' tuples one after the other, all of the same hierarchies.
TupleList Context::Concatenated(const MdxExpression& e) {
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

// "-" between sets: the tuples of the first that the second lacks, as Except.
TupleList Context::ExceptOf(const MdxExpression& e) {
  const TupleList a = Bounded(e.operands[0], "Except");
  const TupleList b = Bounded(e.operands[1], "Except");
  CheckSameShape("Except", a, b, e.operands[1].position);
  return Compared(a, b, false);
}

TupleList Context::Union(const MdxExpression& e) {
  TupleList united;
  for (const MdxExpression* operand : {&e.operands.front(), &e.operands.back()}) {
    const TupleList part = Bounded(*operand, "Union");
    CheckSameShape("Union", united, part, operand->position);
    if (part.count == 0) continue;
    if (united.count == 0) united.shape = part.shape;
    if (Added(united.count, part.count) > max_tuples_) {
      throw QueryFailure("Union makes a set of more than " + Grouped(max_tuples_) + " tuples",
                         e.position);
    }
    united.items.insert(united.items.end(), part.items.begin(), part.items.end());
    united.count += part.count;
  }
  return Deduplicated(united);
}

void Context::CheckSameShape(const char* function, const TupleList& a, const TupleList& b,
                             std::size_t position) const {
  if (a.count == 0 || b.count == 0 || a.shape == b.shape) return;
  const auto text = [&](const TupleList& list) {
    std::string out;
    for (std::size_t h : list.shape) out += (out.empty() ? "" : ", ") + Described(h);
    return "(" + out + ")";
  };
  throw QueryFailure(std::string(function) + " takes sets of the same hierarchies, found " +
                         text(b) + " after " + text(a),
                     position);
}

TupleList Context::Joined(const TupleList& a, const TupleList& b, std::size_t position) const {
  TupleList joined;
  if (a.count == 0 || b.count == 0) return joined;
  for (std::size_t h : b.shape) {
    if (std::find(a.shape.begin(), a.shape.end(), h) != a.shape.end())
      throw QueryFailure("hierarchy " + Described(h) + " appears twice in a tuple", position);
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

}  // namespace cubemill::query
