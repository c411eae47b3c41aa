// The column plan of a cube build: which SELECT column feeds each level and measure, how each
// column should arrive, and the levels, hierarchies and measures the builder fills.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "provider/aggregate/built_cube.h"
#include "provider/cube_schema.h"
#include "provider/row_source.h"

namespace cubemill::provider::aggregate {

// Where the members of a level come from.
enum class Feed {
  kAll,      // the one ALL member, made before the first row
  kColumns,  // a key column, and a name column or the key's text
  kTime,     // derived from the date of a TIME column
};

struct LevelPlan {
  std::size_t dimension = 0;
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  LevelType type = LevelType::kRegular;
  std::string name;
  bool by_key = false;  // members ordered by key (derived time members always are)
  bool unique_key = false;
  bool unique_name = false;
  std::string display;  // [Dimension].[Level] or [Dimension].[Hierarchy].[Level]
  Feed feed = Feed::kColumns;
  int key_column = -1;   // the column giving the key (the .NAME column when there is no key)
  int name_column = -1;  // the column giving the name; -1: the key's text
  int time_slot = -1;    // Feed::kTime: index into ColumnPlan::time_columns
};

struct HierarchyPlan {
  std::vector<std::size_t> levels;  // indices into ColumnPlan::levels, the ALL level included
  int time_slot = -1;               // the TIME column feeding this hierarchy, if any
};

struct MeasurePlan {
  AggregateFunction function = AggregateFunction::kSum;
  NumberClass number_class = NumberClass::kAny;
  std::string name;
  int column = -1;
};

struct ColumnPlan {
  std::vector<LevelPlan> levels;           // every level of every hierarchy, in schema order
  std::vector<HierarchyPlan> hierarchies;  // every hierarchy of every dimension, in schema order
  std::vector<Coordinate> coordinates;     // per hierarchy: its dimension and place there
  std::vector<MeasurePlan> measures;       // in schema order
  std::vector<std::size_t> time_columns;   // per time slot: the column of a TIME target
  std::vector<ColumnHint> hints;           // per column: how the source should deliver it
  std::vector<std::string> targets;        // per column: the target as written, for messages
  bool counts_given = false;               // a COUNT column holds a count, not a value to count
  std::optional<Error> error;              // the first level or measure that no column feeds
};

// Plans the build of `schema` from the columns `insert` binds. `insert` is what
// ParseInsertInto returned for `schema`, so every binding names a part of the schema (one that
// does not is a caller's error and throws std::out_of_range). A level below ALL or a measure
// that no column feeds (possible only for bindings made by hand) is kept in `error`, a statement
// error, for the build to report.
ColumnPlan PlanColumns(const CubeSchema& schema, const InsertInto& insert);

}  // namespace cubemill::provider::aggregate
