// The evaluation of a bound query: its axes, its WHERE clause and subselect, and its cells.
//
// A cell is a coordinate: one member of each hierarchy (or, where the WHERE clause or an
// Aggregate names a set, the set: the rows under any of its tuples, each once) and a measure.
// Its value is the stored value there, or the formula of the calculated member in it with the
// highest SOLVE_ORDER (a calculated measure on a tie).
//
// A query without a calculation step evaluates its axes and scans one table (execution/scan.h).
// With one, stored values are read in rounds: the query is evaluated, the coordinates it needed
// and did not have are read, each pattern of them in one scan of the smallest stored table that
// holds its detail, and the query is evaluated again, until nothing is missing. Until then a
// value not yet read stands in as empty: what a round computes from it only decides which
// values the next round asks for, and a round's answer counts only when it needed no value it
// did not have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/key_table.h"
#include "provider/cube_schema.h"
#include "provider/cubefile/cube_reader.h"
#include "query/binder/binder.h"
#include "query/binder/cube_model.h"
#include "query/execution/context.h"
#include "query/execution/grid.h"
#include "query/planner/planner.h"
#include "query/query_evaluator.h"

namespace cubemill::query {

class Evaluation {
 public:
  Evaluation(const provider::cubefile::CubeReader& reader, const CubeModel& model,
             const BoundQuery& bound, const QueryOptions& options);

  // The answer, as `plan` says to compute it.
  QueryResult Answer(const QueryPlan& plan);

  const CubeModel& Model() const { return model_; }
  const BoundQuery& Bound() const { return bound_; }
  const QueryOptions& Options() const { return options_; }
  // The cube's own measures (calculated ones are numbered from here).
  std::size_t MeasureCount() const { return measures_; }
  // How stored values of `measure` (the cube's) merge: add, or take the least or greatest.
  provider::AggregateFunction MergeOf(std::size_t measure) const { return combine_[measure]; }
  // The coordinate every cell starts from: the WHERE clause's and the subselect's members, the
  // ALL members elsewhere, the measure of WHERE or the cube's first.
  const Coord& Default() const { return default_; }

  // The axes' and the WHERE clause's tuples, evaluated as a query without a calculation step
  // evaluates them: what DRILLTHROUGH reads its cell from.
  Grid Tuples();

  // ---- Sets, members and values at a coordinate.

  // The set `e` stands for at `at`, within the axis limit (naming `function`). A set that is
  // the same in every cell is computed once per round.
  TupleList SetAt(const MdxExpression& e, const Coord& at, const char* function);
  MemberValue MemberAt(const MdxExpression& e, const Coord& at, const char* what);
  Value ValueAt(const MdxExpression& e, const Coord& at);
  // The value of `value` (else of the cell) at each tuple of `set`, from `at`.
  std::vector<Value> ValuesOver(const TupleList& set, const MdxExpression* value, const Coord& at);
  // The value of the cell at `at`: stored, or computed by the winning calculated member.
  Value CellAt(const Coord& at);
  // Named set `k` of the WITH clause, computed once per round where the query starts.
  TupleList NamedSet(std::size_t k, std::size_t position);
  // Whether a "+", "-" or "*" over `e` stands between sets rather than values.
  bool IsSetValued(const MdxExpression& e) const;

  // ---- Coordinates.

  // `at` moved to tuple `t` of `tuples`.
  Coord With(const Coord& at, const TupleList& tuples, std::size_t t);
  // Registers `set` (of the cube's members) and returns its slot.
  std::uint32_t SlotOf(const TupleList& set);
  // Puts `slot` in hierarchy `h` of `at`; a set that spanned `h` and other hierarchies stays on
  // those as its tuples' other members.
  void Put(Coord& at, std::size_t h, std::uint32_t slot);

  // ---- Names in the answer.

  std::string Caption(std::size_t hierarchy, std::size_t item) const;
  std::string UniqueName(std::size_t hierarchy, std::size_t item) const;
  // The captions (or, with `unique`, the unique names) of tuple `t`'s members.
  std::vector<std::string> TupleNames(const TupleList& tuples, std::size_t t, bool unique) const;

 private:
  friend class Deeper;
  QueryResult Read(const QueryPlan& plan);
  QueryResult Calculate();
  QueryResult Compute();
  Grid Axes(const TupleList* slicer);
  void JoinPages(const Context& context, Grid& grid);
  QueryResult SplitPages(const QueryResult& joined) const;
  TupleList AxisSet(const MdxExpression& e, const char* axis);
  TupleList SlicerSet(const MdxExpression& where);
  void Slice(const TupleList& slicer, std::size_t position);
  void Subselect(const MdxQuery& inner);
  TupleList Visible(const TupleList& set) const;
  bool Related(std::size_t a, std::size_t b) const;
  void StartRound();
  std::uint32_t Restricted(std::size_t h, std::uint32_t slot);
  Value Stored(const Coord& at);
  void Load();
  TupleList Crossed(const TupleList& a, const TupleList& b) const;
  bool IsFixed(const MdxExpression& e);
  Value Unary(const MdxExpression& e, const Coord& at);
  Value Binary(const MdxExpression& e, const Coord& at);
  QueryResult Result(const Grid& grid, const std::vector<std::vector<Value>>& cells) const;
  std::vector<std::vector<std::string>> Properties(const TupleList& tuples, std::size_t t,
                                                   const std::vector<std::string>& names) const;

  const provider::cubefile::CubeReader& reader_;
  const CubeModel& model_;
  const BoundQuery& bound_;
  const QueryOptions& options_;
  const std::size_t hierarchies_;
  const std::size_t measures_;
  const std::vector<provider::AggregateFunction> combine_;
  bool leaf_cells_only_ = false;
  std::map<std::size_t, std::optional<TupleList>> named_sets_;
  std::unordered_map<const MdxExpression*, bool> fixed_;            // IsFixed, once per node
  std::unordered_map<const MdxExpression*, TupleList> fixed_sets_;  // this round's fixed sets

  // The PAGES axis and the ROWS axis of a query with pages, as Axes found them last.
  std::optional<GridAxis> pages_;
  GridAxis page_rows_;

  Coord default_;
  bool empty_slicer_ = false;
  std::map<std::size_t, std::vector<std::size_t>> visible_;  // hierarchy: the subselect's members
  int formula_depth_ = 0;     // calculated members computing one another
  int evaluation_depth_ = 0;  // values and sets computed within one another
  std::uint32_t steps_ = 0;  // values and sets computed, for a look at the cancel flag now and then

  std::vector<TupleList> slot_sets_;
  std::map<std::vector<std::size_t>, std::uint32_t> slot_ids_;

  KeyTable cache_;  // coordinates read, numbered as values_
  std::vector<provider::cubefile::CellValue> values_;
  KeyTable misses_{1};  // coordinates this round needs and has not read
  std::set<std::string> tables_;
};

// Counts one level of computing within another while it lives; fails past the bound.
class Deeper {
 public:
  Deeper(Evaluation& evaluation, std::size_t position);
  ~Deeper() { --depth_; }
  Deeper(const Deeper&) = delete;
  Deeper& operator=(const Deeper&) = delete;

 private:
  int& depth_;
};

}  // namespace cubemill::query
