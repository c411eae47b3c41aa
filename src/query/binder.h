// The binder: resolves every name of a parsed query against the cube once and turns the axes
// and the WHERE clause into lists of tuples over the cube's members and measures.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "query/cube_model.h"
#include "query/mdx_query.h"

namespace cubemill::query {

// The "hierarchy" of a tuple's measure coordinate.
inline constexpr std::size_t kMeasuresHierarchy = static_cast<std::size_t>(-1);

// Tuples that all hold the same hierarchies in the same order, stored flat: tuple t's
// coordinates are items[t * Arity()] onwards, each a member index, or a measure index where
// the shape says kMeasuresHierarchy.
struct TupleList {
  std::vector<std::size_t> shape;  // hierarchy index of each coordinate
  std::vector<std::size_t> items;
  std::size_t count = 0;

  std::size_t Arity() const { return shape.size(); }
  const std::size_t* At(std::size_t t) const { return items.data() + t * shape.size(); }
  // The measure tuple `t` names, npos when it names none.
  std::size_t MeasureOf(std::size_t t) const;
  bool operator==(const TupleList&) const = default;
};

struct BoundAxis {
  TupleList tuples;
  bool non_empty = false;
  std::vector<std::string> properties;  // DIMENSION PROPERTIES, canonical
  std::size_t position = 0;             // where the axis's set starts in the query
};

struct BoundQuery {
  BoundAxis columns;
  BoundAxis rows;  // one empty tuple when the query has no ROWS axis
  // The WHERE clause's tuples, all naming the same measure or none; one empty tuple without a
  // WHERE clause.
  TupleList slicer;
  std::size_t slicer_position = 0;
  bool unique_names = false;  // whether the answer carries the members' unique names
};

// A member expression's value: a member of `hierarchy`, or the null member (npos) where a
// navigation ran off its level or its hierarchy.
struct MemberValue {
  std::size_t member = CubeModel::npos;
  std::size_t hierarchy = 0;
};

// What the binder leaves to the query's calculations: the names of the WITH clause, the
// current member of the cell being computed, and the functions that choose or order tuples by
// their values. A member or measure the WITH clause defines is numbered after the cube's own
// (model.MemberCount() + k, measures.size() + k).
class SetHook {
 public:
  virtual ~SetHook() = default;
  // Whether `e` is for the hook to answer.
  virtual bool Handles(const MdxExpression& e) const = 0;
  // The tuples `e` stands for.
  virtual TupleList SetOf(const MdxExpression& e) = 0;
};

// Evaluates sets for one fixed context: nodes are remembered once evaluated, so a context that
// changes (the current member of a Filter or a Generate) takes an evaluator of its own.
class SetEvaluator {
 public:
  // With `tuples_of_sets`, (a, b) with a set among its operands is their cross join, as the
  // WHERE clause takes it. `hook` may be null.
  SetEvaluator(const CubeModel& model, std::size_t max_tuples, SetHook* hook,
               bool tuples_of_sets = false);
  ~SetEvaluator();
  SetEvaluator(const SetEvaluator&) = delete;
  SetEvaluator& operator=(const SetEvaluator&) = delete;

  // How many tuples `e` stands for.
  std::size_t Count(const MdxExpression& e) const;
  // The tuples `e` stands for, with no limit of their own.
  TupleList Build(const MdxExpression& e) const;
  // The tuples `e` stands for, failing when they are more than the limit (naming `function`).
  TupleList Bounded(const MdxExpression& e, const char* function) const;
  // The member `e` stands for, or the null member; `what` names the function that needs it in
  // the error when `e` is no member, or is a calculated member ("" for none).
  MemberValue MemberOf(const MdxExpression& e, const char* what) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The tuples `expression` stands for, in order, built only when they are at most
// `max_tuples` (else QueryFailure naming `axis` and the limit). A member is a set of one
// tuple; a level, its members; a dimension or hierarchy, its ALL member (a hierarchy without
// one must be asked for with .Members); [Dimension].Members, its members at every level, level
// by level. Throws QueryFailure for a name that is unknown, a function applied to what it does
// not take, or a tuple or cross join that names a hierarchy twice.
TupleList BindSet(const CubeModel& model, const MdxExpression& expression, const char* axis,
                  std::size_t max_tuples);

// Binds the whole query: the cube's name, both axes and the WHERE clause (each at most
// `max_axis_tuples`); checks that no hierarchy (and not [Measures]) is on two axes and that the
// cube has a measure. The WHERE clause is a set of tuples: a tuple, a set, a cross join, or a
// tuple whose operands are sets, taken as their cross join ((a set, [Time].[2023])). Its
// tuples may name one measure but not two. Throws QueryFailure.
BoundQuery Bind(const CubeModel& model, const MdxQuery& query, std::size_t max_axis_tuples);

// Fails when the WHERE tuples name more than one measure: a cell adds up one measure's values.
void CheckSlicerMeasures(const CubeModel& model, const TupleList& slicer, std::size_t position);

// Fails when a hierarchy (or [Measures]) is on two of the axes and the WHERE clause.
void CheckAxesApart(const CubeModel& model, const BoundQuery& bound);

// "12,345,678".
std::string Grouped(std::size_t count);

}  // namespace cubemill::query
