// Members named in their context: a member whose name repeats in its level (Q1 under each year,
// January under each quarter, a city of one name in two countries) is named after the ancestors
// that tell it from its namesakes ("2024 Q1", "2024 January"), so that a header read on its own,
// in the grid, an export or a chart, names one member. The grid's headers carry these names;
// the exports and the chart show the grid's headers.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "browse/pivot.h"
#include "query/binder/cube_model.h"

namespace cubemill::browse {

// Names members of one model, indexing each level's names on first use. Not thread-safe.
class ContextNames {
 public:
  explicit ContextNames(const query::CubeModel& model) : model_(model) {}

  // Member `m`'s name, preceded by the names of those of its ancestors (below ALL) that tell it
  // from the members of its level with the same name: going up from its parent, an ancestor is
  // named when its name differs from the namesakes' ancestor at its level for some namesake not
  // yet told apart; the names run outermost first, joined by a blank ("2024 Q1", "España
  // Madrid"). A member whose name is unique in its level keeps its name. `beside` is an
  // ancestor of `m` shown beside it (an outer column of the same line): only namesakes under it
  // count, and it and its ancestors are not named again. Namesakes among siblings (which no
  // ancestor tells apart) keep their name.
  std::string Name(std::size_t m, std::size_t beside = npos);

 private:
  const std::vector<std::size_t>& Namesakes(std::size_t m);

  const query::CubeModel& model_;
  // [level][name]: the level's members of that name, when more than one has it
  std::unordered_map<std::size_t, std::unordered_map<std::string, std::vector<std::size_t>>>
      levels_;
};

}  // namespace cubemill::browse
