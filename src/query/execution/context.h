// The sets, members, levels and values of a query's expressions, computed for one cell: the
// context of its current members. Each node's count, member and built set is remembered while
// the context lives, so that nested functions compute each node once; a cell of its own (the
// current member of a Filter or a Generate) takes a context of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "query/binder/binder.h"
#include "query/binder/cube_model.h"
#include "query/execution/tuple_list.h"
#include "query/execution/value.h"
#include "query/parser/mdx_query.h"

namespace cubemill::query {

class Evaluation;

// A cell's coordinate: a slot per hierarchy, then the measure. A slot holds a member (the
// cube's, or a calculated one numbered after them), kAnySlot (a hierarchy without an ALL level
// that the query does not name: every row counts), or a set the evaluation registered (see
// Evaluation::SlotOf), its number with kSetSlot set.
using Coord = std::vector<std::uint32_t>;
inline constexpr std::uint32_t kAnySlot = UINT32_MAX;
inline constexpr std::uint32_t kSetSlot = 0x8000'0000;
inline bool IsSetSlot(std::uint32_t slot) { return slot != kAnySlot && (slot & kSetSlot) != 0; }

class Context {
 public:
  // With `tuples_of_sets`, (a, b) with a set among its operands is their cross join, as the
  // WHERE clause takes it; else each operand of a tuple must be one member.
  Context(Evaluation& evaluation, const Coord& at, bool tuples_of_sets = false);
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  Evaluation& Eval() const { return evaluation_; }
  const CubeModel& Model() const { return model_; }
  const Coord& At() const { return at_; }
  std::size_t MaxTuples() const { return max_tuples_; }
  // What the name `e` stands for.
  const NameBinding& Name(const MdxExpression& e) const;

  // How many tuples `e` stands for (kMany when that does not fit a size_t).
  std::size_t Count(const MdxExpression& e);
  // The tuples `e` stands for, with no limit of their own.
  TupleList Build(const MdxExpression& e);
  // The tuples `e` stands for, failing when they are more than the limit (naming `function`).
  TupleList Bounded(const MdxExpression& e, const char* function);
  // The member `e` stands for, or the null member; `what` names the function that needs it in
  // the error when `e` is no member, or is a calculated member ("" for none).
  MemberValue Member(const MdxExpression& e, const char* what);
  // The level a level argument names (a level's name, or a function that gives a level);
  // npos for the level of the null member. Fails naming `function` for anything else.
  std::size_t Level(const MdxExpression& e, const char* function);
  // The value of `e` in this cell.
  Value ValueOf(const MdxExpression& e);

  // Fails when two sets with tuples hold different hierarchies.
  void CheckSameShape(const char* function, const TupleList& a, const TupleList& b,
                      std::size_t position) const;
  // Every tuple of `a` joined with every tuple of `b`; fails when both hold one hierarchy.
  TupleList Joined(const TupleList& a, const TupleList& b, std::size_t position) const;
  // "[Time].[Calendar]", or "[Measures]".
  std::string Described(std::size_t hierarchy) const;

  static constexpr std::size_t kMany = static_cast<std::size_t>(-1);
  static constexpr std::size_t npos = CubeModel::npos;

 private:
  std::size_t Counted(const MdxExpression& e);
  TupleList Built(const MdxExpression& e);
  MemberValue MemberValueOf(const MdxExpression& e, const char* what);
  TupleList OfName(const MdxExpression& e, bool counting);
  TupleList Listed(const std::vector<std::size_t>& members, bool counting) const;
  TupleList ExceptOf(const MdxExpression& e);
  TupleList Concatenated(const MdxExpression& e);
  TupleList Union(const MdxExpression& e);
  struct LevelSpan {
    std::size_t level = npos;  // npos: the empty range
    std::size_t first = 0, last = 0;
  };
  LevelSpan RangeOf(const MdxExpression& e);

  Evaluation& evaluation_;
  const CubeModel& model_;
  const BoundQuery& bound_;
  const Coord& at_;
  const std::size_t max_tuples_;
  const bool tuples_of_sets_;
  std::unordered_map<const MdxExpression*, std::size_t> counts_;
  std::unordered_map<const MdxExpression*, MemberValue> members_;
  std::unordered_set<const MdxExpression*> resolving_;
  std::unordered_map<const MdxExpression*, TupleList> built_;
};

// A count that saturates at Context::kMany.
std::size_t Added(std::size_t a, std::size_t b);
std::size_t Multiplied(std::size_t a, std::size_t b);
// A count in a limit's message: "12,345", or "more than 18,446,...".
std::string CountText(std::size_t count);
// "12,345 tuples, more than the limit of 10,000": a set past the limit of its tuples.
std::string TuplesOverLimit(std::size_t count, std::size_t limit);
// A count or a start that is never negative and fits a size_t: negative ones are 0.
std::size_t Clamped(long long n);
// The whole number an N argument holds.
inline long long WholeOf(const MdxExpression& e) { return e.number.integer; }

}  // namespace cubemill::query
