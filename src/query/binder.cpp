#include "query/binder.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/hash_mix.h"
#include "platform/unicode_case.h"
#include "query/member_properties.h"
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

// The text of a count in a limit's message.
std::string CountText(std::size_t count) {
  return count == kMany ? "more than " + Grouped(kMany) : Grouped(count);
}

struct TupleHash {
  std::size_t operator()(const std::vector<std::size_t>& tuple) const {
    return static_cast<std::size_t>(HashNumbers(tuple.data(), tuple.size()));
  }
};
using TupleSet = std::unordered_set<std::vector<std::size_t>, TupleHash>;

std::vector<std::size_t> TupleAt(const TupleList& list, std::size_t t) {
  return {list.At(t), list.At(t) + list.Arity()};
}

// The tuples `first` onwards, at most `count` of them, of `list`.
TupleList Slice(const TupleList& list, std::size_t first, std::size_t count) {
  TupleList slice{list.shape, {}, 0};
  if (first >= list.count) return slice;
  slice.count = std::min(count, list.count - first);
  slice.items.assign(list.At(first), list.At(first) + slice.count * list.Arity());
  return slice;
}

// `list` without the tuples that `keep` refuses, in order.
template <typename Keep>
TupleList Filtered(const TupleList& list, Keep keep) {
  TupleList kept{list.shape, {}, 0};
  for (std::size_t t = 0; t < list.count; ++t) {
    if (!keep(t)) continue;
    kept.items.insert(kept.items.end(), list.At(t), list.At(t) + list.Arity());
    ++kept.count;
  }
  return kept;
}

// `list` with each tuple only where it first comes.
TupleList Deduplicated(const TupleList& list) {
  TupleSet seen;
  return Filtered(list, [&](std::size_t t) { return seen.insert(TupleAt(list, t)).second; });
}

// An integer argument (a kNumber) of a function.
long long NumberOf(const MdxExpression& e) { return std::stoll(e.parts.front().text); }

// A count or a start that is never negative and fits a size_t: negative ones are 0.
std::size_t Clamped(long long n) { return n <= 0 ? 0 : static_cast<std::size_t>(n); }

// The set function `e` applies: for a set, "+" is Union, "-" Except and "*" CrossJoin.
Kind SetKind(const MdxExpression& e) {
  if (e.kind != Kind::kBinary) return e.kind;
  const std::string& op = e.parts.front().text;
  if (op == "+") return Kind::kUnion;
  if (op == "-") return Kind::kExcept;
  if (op == "*") return Kind::kCrossJoin;
  return e.kind;
}

bool IsMemberValued(Kind kind) {
  switch (kind) {
    case Kind::kParent:
    case Kind::kFirstChild:
    case Kind::kLastChild:
    case Kind::kPrevMember:
    case Kind::kNextMember:
    case Kind::kLag:
    case Kind::kLead:
    case Kind::kAncestor:
      return true;
    default:
      return false;
  }
}

// Evaluates the sets of one query. Each set is counted before it is built, so that a set
// beyond the limit fails before anything of its size is allocated; a function that takes a set
// whole (Head, Union, Hierarchize...) holds it within the same limit. Counts and members are
// kept per node, and a set built to be counted is kept until it is built, so that nested
// functions evaluate each node once.
class SetBinder {
 public:
  // With `tuples_of_sets`, (a, b) with a set among its operands is their cross join, as the
  // WHERE clause takes it; else each operand of a tuple must be one member.
  SetBinder(const CubeModel& model, std::size_t max_tuples, bool tuples_of_sets = false,
            SetHook* hook = nullptr)
      : model_(model), max_tuples_(max_tuples), tuples_of_sets_(tuples_of_sets), hook_(hook) {}
  friend class cubemill::query::SetEvaluator;

  // How many tuples `e` stands for (kMany when that does not fit a size_t); resolves the names
  // it needs to know that.
  std::size_t Count(const MdxExpression& e) const {
    const auto found = counts_.find(&e);
    if (found != counts_.end()) return found->second;
    const std::size_t count = Counted(e);
    counts_[&e] = count;
    return count;
  }

  TupleList Build(const MdxExpression& e) const {
    const auto found = built_.find(&e);
    if (found == built_.end()) return Built(e);
    TupleList list = std::move(found->second);
    built_.erase(found);
    return list;
  }

 private:
  std::size_t Counted(const MdxExpression& e) const {
    if (hook_ != nullptr && hook_->Handles(e)) {
      // The hook's sets are only known once built: keep it for Build.
      TupleList list = hook_->SetOf(e);
      const std::size_t count = list.count;
      built_[&e] = std::move(list);
      return count;
    }
    switch (SetKind(e)) {
      case Kind::kName:
        return OfName(model_.Resolve(e.parts, e.position), e.position, true).count;
      case Kind::kMembers:
        return MembersOf(e, true).count;
      case Kind::kChildren: {
        const MemberValue of = MemberOf(e.operands.front(), ".Children");
        return of.member == npos ? 0 : model_.ChildrenOf(of.member).size();
      }
      case Kind::kSiblings:
        return SiblingsOf(e).size();
      case Kind::kLevel: {
        const std::size_t level = LevelOfMember(e);
        return level == npos ? 0 : model_.MembersOf(level).size();
      }
      case Kind::kRange: {
        const auto [level, first, last] = RangeOf(e);
        return level == npos ? 0 : last - first + 1;
      }
      case Kind::kDescendants:
        return Descend(e, nullptr);
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
      case Kind::kCrossJoin: {
        std::size_t count = 1;
        for (const MdxExpression& operand : e.operands) count = Multiplied(count, Count(operand));
        return count;
      }
      case Kind::kHead:
      case Kind::kTail: {
        const std::size_t n = e.operands.size() > 1 ? Clamped(NumberOf(e.operands[1])) : 1;
        return std::min(n, Count(e.operands.front()));
      }
      case Kind::kSubset: {
        const std::size_t all = Count(e.operands.front());
        const std::size_t first = Start(e);
        const std::size_t rest = first >= all ? 0 : all - first;
        return e.operands.size() > 2 ? std::min(rest, Clamped(NumberOf(e.operands[2]))) : rest;
      }
      case Kind::kHierarchize:
        return Count(e.operands.front());
      case Kind::kUnion:
      case Kind::kExcept:
      case Kind::kIntersect:
      case Kind::kDistinct:
      case Kind::kExtract: {
        // Duplicates are only known once the set is there: build it, and keep it for Build.
        TupleList list = Built(e);
        const std::size_t count = list.count;
        built_[&e] = std::move(list);
        return count;
      }
      case Kind::kNumber:
      case Kind::kFlag:
        throw QueryFailure("a number or a flag is no set", e.position);
      default:
        return MemberOf(e, "").member == npos ? 0 : 1;
    }
  }

  TupleList Built(const MdxExpression& e) const {
    if (hook_ != nullptr && hook_->Handles(e)) return hook_->SetOf(e);
    switch (SetKind(e)) {
      case Kind::kName:
        return OfName(model_.Resolve(e.parts, e.position), e.position, false);
      case Kind::kMembers:
        return MembersOf(e, false);
      case Kind::kChildren: {
        const MemberValue of = MemberOf(e.operands.front(), ".Children");
        if (of.member == npos) return {{of.hierarchy}, {}, 0};
        return Members(model_, model_.ChildrenOf(of.member));
      }
      case Kind::kSiblings:
        return Members(model_, SiblingsOf(e));
      case Kind::kLevel: {
        const std::size_t level = LevelOfMember(e);
        return level == npos ? TupleList{} : Members(model_, model_.MembersOf(level));
      }
      case Kind::kRange: {
        const auto [level, first, last] = RangeOf(e);
        if (level == npos) return {};
        const auto& members = model_.MembersOf(level);
        return Members(model_,
                       std::vector<std::size_t>(members.begin() + static_cast<long>(first),
                                                members.begin() + static_cast<long>(last) + 1));
      }
      case Kind::kDescendants: {
        std::vector<std::size_t> members;
        Descend(e, &members);
        return Members(model_, members);
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
          if (!tuples_of_sets_ && Count(operand) != 1 && !IsMemberValued(operand.kind))
            throw QueryFailure("a tuple takes one member of each dimension", operand.position);
          tuple = Joined(tuple, Build(operand), operand.position);
        }
        return tuple;
      }
      case Kind::kCrossJoin: {
        TupleList joined = Build(e.operands.front());
        for (std::size_t i = 1; i < e.operands.size(); ++i)
          joined = Joined(joined, Build(e.operands[i]), e.position);
        return joined;
      }
      case Kind::kHead:
      case Kind::kTail: {
        const TupleList all = Bounded(e.operands.front(), e.kind == Kind::kHead ? "Head" : "Tail");
        const std::size_t n = std::min(
            all.count, e.operands.size() > 1 ? Clamped(NumberOf(e.operands[1])) : std::size_t{1});
        return Slice(all, e.kind == Kind::kHead ? 0 : all.count - n, n);
      }
      case Kind::kSubset: {
        const TupleList all = Bounded(e.operands.front(), "Subset");
        return Slice(all, Start(e),
                     e.operands.size() > 2 ? Clamped(NumberOf(e.operands[2])) : all.count);
      }
      case Kind::kUnion:
        return Union(e);
      case Kind::kExcept:
      case Kind::kIntersect: {
        const bool except = SetKind(e) == Kind::kExcept;
        const char* name = except ? "Except" : "Intersect";
        const TupleList a = Bounded(e.operands[0], name);
        const TupleList b = Bounded(e.operands[1], name);
        CheckSameShape(name, a, b, e.operands[1].position);
        TupleSet in_b;
        for (std::size_t t = 0; t < b.count; ++t) in_b.insert(TupleAt(b, t));
        return Deduplicated(
            Filtered(a, [&](std::size_t t) { return in_b.contains(TupleAt(a, t)) != except; }));
      }
      case Kind::kDistinct:
        return Deduplicated(Bounded(e.operands.front(), "Distinct"));
      case Kind::kHierarchize:
        return Hierarchized(Bounded(e.operands.front(), "Hierarchize"));
      case Kind::kExtract:
        return Extracted(e);
      case Kind::kNumber:
      case Kind::kFlag:
        throw QueryFailure("a number or a flag is no set", e.position);
      default: {
        const MemberValue value = MemberOf(e, "");
        if (value.member == npos) return {{value.hierarchy}, {}, 0};
        return One(value.hierarchy, value.member);
      }
    }
  }

  // `e` built whole for `function`, within the limit.
  TupleList Bounded(const MdxExpression& e, const char* function) const {
    const std::size_t count = Count(e);
    if (count > max_tuples_) {
      throw QueryFailure(std::string(function) + " takes a set of " + CountText(count) +
                             " tuples, more than the limit of " + Grouped(max_tuples_),
                         e.position);
    }
    return Build(e);
  }

  // Fails when two sets with tuples hold different hierarchies.
  void CheckSameShape(const char* function, const TupleList& a, const TupleList& b,
                      std::size_t position) const {
    if (a.count == 0 || b.count == 0 || a.shape == b.shape) return;
    const auto text = [&](const TupleList& list) {
      std::string out;
      for (std::size_t h : list.shape) out += (out.empty() ? "" : ", ") + Described(model_, h);
      return "(" + out + ")";
    };
    throw QueryFailure(std::string(function) + " takes sets of the same hierarchies, found " +
                           text(b) + " after " + text(a),
                       position);
  }

  TupleList Union(const MdxExpression& e) const {
    std::size_t sets = e.operands.size();
    const bool all = e.operands.back().kind == Kind::kFlag;
    if (all) --sets;
    TupleList united;
    for (std::size_t i = 0; i < sets; ++i) {
      const TupleList part = Bounded(e.operands[i], "Union");
      CheckSameShape("Union", united, part, e.operands[i].position);
      if (part.count == 0) continue;
      if (united.count == 0) united.shape = part.shape;
      if (Added(united.count, part.count) > max_tuples_) {
        throw QueryFailure("Union makes a set of more than " + Grouped(max_tuples_) + " tuples",
                           e.position);
      }
      united.items.insert(united.items.end(), part.items.begin(), part.items.end());
      united.count += part.count;
    }
    return all ? united : Deduplicated(united);
  }

  // The tuples of `list` in hierarchy order, coordinate by coordinate: a member after its
  // parent and before its next sibling; measures in the cube's order. Equal tuples keep their
  // order.
  TupleList Hierarchized(const TupleList& list) const {
    std::vector<std::size_t> order(list.count);
    for (std::size_t t = 0; t < list.count; ++t) order[t] = t;
    const auto rank = [&](std::size_t t, std::size_t i) {
      const std::size_t item = list.At(t)[i];
      // Calculated members come after the cube's, in the order they were defined.
      return list.shape[i] == kMeasuresHierarchy || item >= model_.MemberCount()
                 ? item
                 : model_.HierarchyOrder(item);
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      for (std::size_t i = 0; i < list.Arity(); ++i) {
        if (rank(a, i) != rank(b, i)) return rank(a, i) < rank(b, i);
      }
      return false;
    });
    TupleList sorted{list.shape, {}, list.count};
    sorted.items.reserve(list.items.size());
    for (std::size_t t : order)
      sorted.items.insert(sorted.items.end(), list.At(t), list.At(t) + list.Arity());
    return sorted;
  }

  // Extract(set, hierarchy...): the set's coordinates of the hierarchies named, each tuple once.
  TupleList Extracted(const MdxExpression& e) const {
    const TupleList all = Bounded(e.operands.front(), "Extract");
    std::vector<std::size_t> shape, columns;
    for (std::size_t i = 1; i < e.operands.size(); ++i) {
      const MdxExpression& name = e.operands[i];
      std::size_t hierarchy = npos;
      if (name.kind == Kind::kName) {
        const NameRef ref = model_.Resolve(name.parts, name.position);
        if (ref.kind == NameRef::Kind::kHierarchy) hierarchy = ref.index;
        if (ref.kind == NameRef::Kind::kMeasures) hierarchy = kMeasuresHierarchy;
      }
      if (hierarchy == npos) throw QueryFailure("Extract needs a hierarchy", name.position);
      if (std::find(shape.begin(), shape.end(), hierarchy) != shape.end())
        throw QueryFailure("Extract names " + Described(model_, hierarchy) + " twice",
                           name.position);
      const auto column = std::find(all.shape.begin(), all.shape.end(), hierarchy);
      if (all.count > 0 && column == all.shape.end()) {
        throw QueryFailure("Extract: the set holds no " + Described(model_, hierarchy),
                           name.position);
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

  // Subset's start: 0 or more.
  std::size_t Start(const MdxExpression& e) const {
    const long long start = NumberOf(e.operands[1]);
    if (start < 0) throw QueryFailure("Subset needs a start of 0 or more", e.operands[1].position);
    return static_cast<std::size_t>(start);
  }

  // The member `e` stands for, or the null member; `what` names the function that needs it in
  // the error when `e` is no member ("" for `e`'s own kind).
  MemberValue MemberOf(const MdxExpression& e, const char* what) const {
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

  MemberValue MemberValueOf(const MdxExpression& e, const char* what) const {
    switch (e.kind) {
      case Kind::kParent: {
        const MemberValue of = MemberOf(e.operands.front(), ".Parent");
        if (of.member == npos) return of;
        const std::size_t parent = model_.ParentOf(of.member);
        if (parent == npos)
          throw QueryFailure(Bracketed(model_.Member(of.member).name) + " has no parent",
                             e.position);
        return {parent, of.hierarchy};
      }
      case Kind::kFirstChild:
      case Kind::kLastChild: {
        const bool first = e.kind == Kind::kFirstChild;
        const MemberValue of = MemberOf(e.operands.front(), first ? ".FirstChild" : ".LastChild");
        if (of.member == npos || model_.ChildrenOf(of.member).empty()) return {npos, of.hierarchy};
        const auto& children = model_.ChildrenOf(of.member);
        return {first ? children.front() : children.back(), of.hierarchy};
      }
      case Kind::kPrevMember:
        return Shifted(MemberOf(e.operands.front(), ".PrevMember"), -1);
      case Kind::kNextMember:
        return Shifted(MemberOf(e.operands.front(), ".NextMember"), 1);
      case Kind::kLag:
        return Shifted(MemberOf(e.operands.front(), ".Lag"), -NumberOf(e.operands[1]));
      case Kind::kLead:
        return Shifted(MemberOf(e.operands.front(), ".Lead"), NumberOf(e.operands[1]));
      case Kind::kAncestor:
        return AncestorOf(e);
      case Kind::kTuple:
        if (e.operands.size() == 1) return MemberOf(e.operands.front(), what);
        break;
      default:
        break;
    }
    if (Count(e) == 1) {
      const TupleList set = Build(e);
      if (set.Arity() == 1 && set.shape.front() == kMeasuresHierarchy) {
        const auto& measures = model_.Catalog().measures;
        const std::string measure =
            set.items.front() < measures.size()
                ? "[Measures]." + Bracketed(measures[set.items.front()].name)
                : "a calculated one";
        const std::string function = what;
        if (function == ".Parent" || function == ".Children")
          throw QueryFailure(function + " of a measure (" + measure + "): only a member has " +
                                 (function == ".Parent" ? "a parent" : "children"),
                             e.position);
        throw QueryFailure(function + " needs a member, not a measure (" + measure + ")",
                           e.position);
      }
      if (set.Arity() == 1) return {set.items.front(), set.shape.front()};
    }
    throw QueryFailure(std::string(what) + " needs a member", e.position);
  }

  // The member `offset` places after `of` in its level (before it when negative); the null
  // member past either end.
  MemberValue Shifted(MemberValue of, long long offset) const {
    if (of.member == npos) return of;
    const auto& level = model_.MembersOf(model_.LevelOf(of.member));
    const long long at = static_cast<long long>(model_.PositionInLevel(of.member)) + offset;
    if (at < 0 || at >= static_cast<long long>(level.size())) return {npos, of.hierarchy};
    return {level[static_cast<std::size_t>(at)], of.hierarchy};
  }

  // Ancestor(member, level or distance): the null member where the level is below the member.
  MemberValue AncestorOf(const MdxExpression& e) const {
    const MemberValue of = MemberOf(e.operands[0], "Ancestor");
    if (of.member == npos) return of;
    const long long depth = TargetDepth(e.operands[1], of, "Ancestor");
    if (depth < 0) return {npos, of.hierarchy};
    const std::size_t ancestor = model_.AncestorAt(of.member, static_cast<int>(depth));
    return {ancestor, of.hierarchy};
  }

  // The depth a level argument names for `of`'s hierarchy: a level's ordinal, or `of`'s depth
  // less (for Ancestor) or plus (for Descendants) a distance; -1 for the level of the null
  // member.
  long long TargetDepth(const MdxExpression& e, MemberValue of, const char* function) const {
    const int own = model_.DepthOf(of.member);
    if (e.kind == Kind::kNumber) {
      const long long distance = NumberOf(e);
      if (distance < 0)
        throw QueryFailure(std::string(function) + " needs a distance of 0 or more", e.position);
      const long long bounded = std::min<long long>(distance, 1'000'000);
      return std::string(function) == "Ancestor" ? own - bounded : own + bounded;
    }
    std::size_t level = npos;
    if (e.kind == Kind::kLevel) {
      level = LevelOfMember(e);
      if (level == npos) return -1;
    } else if (e.kind == Kind::kName) {
      const NameRef ref = model_.Resolve(e.parts, e.position);
      if (ref.kind == NameRef::Kind::kLevel) level = ref.index;
    }
    if (level == npos)
      throw QueryFailure(std::string(function) + " needs a level or a distance", e.position);
    if (model_.LevelHierarchy(level) != of.hierarchy) {
      throw QueryFailure(std::string(function) + ": the level " +
                             Bracketed(model_.Catalog().levels[level].name) + " is not of " +
                             model_.HierarchyName(of.hierarchy),
                         e.position);
    }
    return model_.Catalog().levels[level].ordinal;
  }

  // The level of the member `e` (a kLevel) names; npos for the null member.
  std::size_t LevelOfMember(const MdxExpression& e) const {
    const MemberValue of = MemberOf(e.operands.front(), ".Level");
    return of.member == npos ? npos : model_.LevelOf(of.member);
  }

  // The members with the same parent as `e`'s member (a kSiblings), it among them; for a member
  // without a parent, the members of its level without one.
  std::vector<std::size_t> SiblingsOf(const MdxExpression& e) const {
    const MemberValue of = MemberOf(e.operands.front(), ".Siblings");
    if (of.member == npos) return {};
    const std::size_t parent = model_.ParentOf(of.member);
    if (parent != npos) return model_.ChildrenOf(parent);
    std::vector<std::size_t> tops;
    for (std::size_t m : model_.MembersOf(model_.LevelOf(of.member)))
      if (model_.ParentOf(m) == npos) tops.push_back(m);
    return tops;
  }

  struct LevelSpan {
    std::size_t level = npos;  // npos: the empty range
    std::size_t first = 0, last = 0;
  };

  // m1 : m2, the members of one level from the one to the other in level order (from m2 to m1
  // when m2 comes first); a null end stands for the level's first (as m1) or last (as m2)
  // member, and two null ends for no member.
  LevelSpan RangeOf(const MdxExpression& e) const {
    const MemberValue a = MemberOf(e.operands[0], ":");
    const MemberValue b = MemberOf(e.operands[1], ":");
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

  // Descendants(member [, level or distance [, flag]]): the members below the member (it
  // included) that the flag keeps relative to the level's depth, in hierarchy order; put in
  // `out` when given. Returns how many. Without a level, the member and all below it.
  std::size_t Descend(const MdxExpression& e, std::vector<std::size_t>* out) const {
    const MemberValue of = MemberOf(e.operands[0], "Descendants");
    if (of.member == npos) return 0;
    long long target = model_.DepthOf(of.member);
    std::string flag = e.operands.size() > 1 ? "SELF" : "SELF_AND_AFTER";
    if (e.operands.size() > 1) {
      target = TargetDepth(e.operands[1], of, "Descendants");
      if (target < 0) return 0;
    }
    if (e.operands.size() > 2) flag = e.operands[2].parts.front().text;
    const bool deeper = flag == "AFTER" || flag == "SELF_AND_AFTER" || flag == "SELF_BEFORE_AFTER";
    std::size_t count = 0;
    std::vector<std::size_t> stack{of.member};
    while (!stack.empty()) {
      const std::size_t m = stack.back();
      stack.pop_back();
      const long long depth = model_.DepthOf(m);
      const auto& children = model_.ChildrenOf(m);
      bool keep = false;
      if (flag == "SELF")
        keep = depth == target;
      else if (flag == "AFTER")
        keep = depth > target;
      else if (flag == "BEFORE")
        keep = depth < target;
      else if (flag == "SELF_AND_AFTER")
        keep = depth >= target;
      else if (flag == "SELF_AND_BEFORE")
        keep = depth <= target;
      else if (flag == "SELF_BEFORE_AFTER")
        keep = true;
      else
        keep = depth == target || (depth < target && children.empty());  // LEAVES
      if (keep) {
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
    if (of.kind == Kind::kLevel) {
      const std::size_t level = LevelOfMember(of);
      return level == npos ? TupleList{} : Listed(model_.MembersOf(level), counting);
    }
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

  static constexpr std::size_t npos = CubeModel::npos;

  const CubeModel& model_;
  const std::size_t max_tuples_;
  const bool tuples_of_sets_;
  SetHook* const hook_;
  mutable std::unordered_map<const MdxExpression*, std::size_t> counts_;
  mutable std::unordered_map<const MdxExpression*, MemberValue> members_;
  mutable std::unordered_set<const MdxExpression*> resolving_;
  mutable std::unordered_map<const MdxExpression*, TupleList> built_;
};

}  // namespace

struct SetEvaluator::Impl {
  SetBinder binder;
};

SetEvaluator::SetEvaluator(const CubeModel& model, std::size_t max_tuples, SetHook* hook,
                           bool tuples_of_sets)
    : impl_(std::make_unique<Impl>(Impl{SetBinder(model, max_tuples, tuples_of_sets, hook)})) {}
SetEvaluator::~SetEvaluator() = default;

std::size_t SetEvaluator::Count(const MdxExpression& e) const { return impl_->binder.Count(e); }
TupleList SetEvaluator::Build(const MdxExpression& e) const { return impl_->binder.Build(e); }
TupleList SetEvaluator::Bounded(const MdxExpression& e, const char* function) const {
  return impl_->binder.Bounded(e, function);
}
MemberValue SetEvaluator::MemberOf(const MdxExpression& e, const char* what) const {
  return impl_->binder.MemberOf(e, what);
}

namespace {}  // namespace

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

void CheckAxesApart(const CubeModel& model, const BoundQuery& bound) {
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
}

TupleList BindSet(const CubeModel& model, const MdxExpression& expression, const char* axis,
                  std::size_t max_tuples) {
  const SetBinder binder(model, max_tuples);
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
                   query.columns.non_empty, DimensionPropertyNames(query.columns.properties),
                   query.columns.set.position};
  if (query.rows) {
    bound.rows = {BindSet(model, query.rows->set, "rows", max_axis_tuples), query.rows->non_empty,
                  DimensionPropertyNames(query.rows->properties), query.rows->set.position};
  } else {
    bound.rows.tuples.count = 1;
  }
  bound.slicer.count = 1;
  if (query.where) {
    bound.slicer_position = query.where->position;
    const SetBinder binder(model, max_axis_tuples, true);
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

  CheckAxesApart(model, bound);
  if (catalog.measures.empty()) throw QueryFailure("the cube has no measure", 1);
  return bound;
}

}  // namespace cubemill::query
