// Evaluates the set expressions of a parsed query into lists of tuples over a cube's members
// and measures.
#pragma once

#include <cstddef>
#include <vector>

#include "query/cube_model.h"
#include "query/mdx_query.h"

namespace cubemill::query {

// One coordinate of a tuple: a member of a hierarchy, or a measure.
struct TupleItem {
  static constexpr std::size_t kMeasures = static_cast<std::size_t>(-1);
  std::size_t hierarchy = kMeasures;  // hierarchy index, or kMeasures
  std::size_t index = 0;              // member index, or measure index
  bool operator==(const TupleItem&) const = default;
};
using Tuple = std::vector<TupleItem>;
using TupleSet = std::vector<Tuple>;

// The tuples `expression` stands for, in order. A member is a set of one tuple; a level, its
// members; a dimension or hierarchy, its ALL member (a hierarchy without one must be asked for
// with .Members); [Dimension].Members, its members at every level, level by level. Throws
// QueryFailure for a name that is unknown, a function applied to what it does not take, or a
// tuple or cross join that names a hierarchy twice.
TupleSet EvaluateSet(const CubeModel& model, const MdxExpression& expression);

}  // namespace cubemill::query
