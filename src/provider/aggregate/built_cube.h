// The result of a cube build: the members of every level and the aggregated leaf cells, ready
// for the cube-file writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "provider/aggregate/cell_records.h"

namespace cubemill::provider::aggregate {

// A member key: NULL, an integer, a real number or text. Dates are keyed by their
// "YYYY-MM-DD" text, which sorts chronologically.
using MemberKey = std::variant<std::monostate, std::int64_t, double, std::string>;

struct Member {
  std::int64_t id = 0;      // 1-based, unique in the cube; ordered by level, then position
  std::int64_t parent = 0;  // id of the member one level up, 0 for a member without parent
  std::size_t dimension = 0;
  std::size_t hierarchy = 0;
  std::size_t level = 0;  // index into the hierarchy's levels (the ALL level included)
  MemberKey key;
  std::string name;           // the caption
  std::int64_t position = 0;  // 0-based place in its level: parents' order first, then siblings
  bool operator==(const Member&) const = default;
};

// One coordinate of a cell: a hierarchy of a dimension. A cell holds the leaf member of every
// hierarchy of every dimension, in schema order.
struct Coordinate {
  std::size_t dimension = 0;
  std::size_t hierarchy = 0;
  bool operator==(const Coordinate&) const = default;
};

// A stored rollup: the cells aggregated to one level per coordinate.
struct Rollup {
  std::vector<std::size_t> levels;  // per coordinate: index into its hierarchy's levels
  CellRecords cells;                // ordered by their member ids, like the leaf cells
  bool operator==(const Rollup&) const = default;
};

struct BuiltCube {
  std::vector<Member> members;          // ordered by id; members[i].id == i + 1
  std::vector<Coordinate> coordinates;  // one per hierarchy of every dimension
  // The leaf cells, ordered by their member ids: per cell the leaf member id of each
  // coordinate (width() == coordinates.size()) and the value of each measure, in schema order
  // (NULL when no row gave the measure a value).
  CellRecords cells;
  std::int64_t source_rows = 0;
  std::vector<std::string> warnings;  // data oddities worth reporting (NULL members, overflow)
  // Per measure, in schema order: the decimals its figures are shown with by default (the
  // source column's declared scale, else the most its values show, at most 6; 0 for COUNT). A
  // measure past the end has none known.
  std::vector<int> measure_decimals;
  std::vector<Rollup> rollups;  // the stored rollups (BuildRollups), most useful first
  bool operator==(const BuiltCube&) const = default;
};

}  // namespace cubemill::provider::aggregate
