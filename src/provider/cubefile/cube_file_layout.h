// The SQL text of the cube file's tables and of its views cube_flat and cube_flat_keys, and a
// level's options as the file writes them (the words of level types, orders and functions are
// cube_schema.h's tables).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "provider/cube_schema.h"

namespace cubemill::provider::cubefile {

// Returns `name` as a quoted SQL identifier ("a""b").
std::string QuoteIdentifier(std::string_view name);

// Returns the statements that create the metadata, members and cells tables for `schema`,
// separated by ";".
std::string CubeTablesSql(const CubeSchema& schema);

// Returns the CREATE TABLE statement of a table of cells: `id`, then `h1` ... `h<hierarchies>`
// (member ids), then `m1` ... `m<measures>` (values of any type). The cells and every rollup
// table have this shape.
std::string CellTableSql(const std::string& table, std::size_t hierarchies, std::size_t measures);

// Returns the statements that create the rollups and rollup_levels tables.
std::string RollupTablesSql();

// Returns the CREATE VIEW statement of cube_flat for `schema`.
std::string FlatViewSql(const CubeSchema& schema);

// Returns the CREATE VIEW statement of cube_flat_keys: cube_flat's rows and columns, then for
// each of its level columns X the columns "X.key" and "X.position" of the member.
std::string FlatKeysViewSql(const CubeSchema& schema);

// Returns the cube_flat column of a level: "<Dimension>.<Level>", or
// "<Dimension>.<Hierarchy>.<Level>" when the dimension declares hierarchies.
std::string FlatColumnName(const Dimension& dimension, const Hierarchy& hierarchy,
                           const Level& level);

// The level's options as a statement would write them: "SORTBYKEY, UNIQUE_KEY", "" for none.
std::string LevelOptionsText(const Level& level);

}  // namespace cubemill::provider::cubefile
