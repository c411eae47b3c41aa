// A cube built before, read back for an incremental refresh: its members and cells, which a
// CubeBuilder takes before the new rows (CubeBuilder::Seed), so that the new rows merge into
// them and the cube is ordered, numbered and rolled up as a build over all the rows would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "provider/aggregate/built_cube.h"
#include "provider/aggregate/cell_records.h"

namespace cubemill::provider::aggregate {

struct SeedMember {
  std::int64_t parent = 0;    // the parent's id (its index in SeedCube::members + 1); 0: none
  std::size_t hierarchy = 0;  // the coordinate: a hierarchy, counted across the cube
  std::size_t level = 0;      // index into the hierarchy's levels, the ALL level included
  MemberKey key;
  std::string name;
};

struct SeedCube {
  // The member with id i + 1 at i; a parent comes before its children.
  std::vector<SeedMember> members;
  // Told each cell: one member id per coordinate and one value per measure (with the rest of a
  // real sum); returns false to stop.
  using CellVisitor = std::function<bool(const std::int64_t* members, const CellValue* values)>;
  // Calls the visitor for each cell, cell after cell, straight from where the cells are kept (a
  // cube file), so that they are never held twice; returns the failure to read them. Nothing
  // when the cube has no cells.
  std::function<std::optional<Error>(const CellVisitor&)> for_each_cell;
  std::int64_t cell_count = 0;  // as the cube says; room is made for that many
  std::int64_t source_rows = 0;
  std::vector<std::string> warnings;
  std::vector<std::optional<int>> decimals;  // per measure; nothing where the cube did not say
};

// The warning of a level that got `rows` rows without a value, and of a SUM measure whose
// integer sum went past 64 bits: the build writes them, and a seed's are read back by them.
std::string NullLevelWarning(const std::string& level_display, std::int64_t rows);
std::string SumOverflowWarning(const std::string& measure_name);

// The number of rows a NullLevelWarning of `level_display` among `warnings` counts; 0 for none.
std::int64_t NullRowsWarned(const std::vector<std::string>& warnings,
                            const std::string& level_display);

}  // namespace cubemill::provider::aggregate
