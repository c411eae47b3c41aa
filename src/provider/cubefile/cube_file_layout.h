// The cube file's names and SQL text, for its writer and its reader alike: the format version
// and application id, the tables, the columns of a cell table, the tables of the rollups, the
// SQL of the tables and of the views cube_flat and cube_flat_keys, and a level's options as the
// file writes them (the words of level types, orders and functions are cube_schema.h's tables).
// docs/cube-file.md describes the layout; a change to it raises kCubeFileFormatVersion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "provider/cube_schema.h"

namespace cubemill::provider::cubefile {

// `PRAGMA application_id` of every cube file: the bytes "CUML".
inline constexpr std::int32_t kCubeFileApplicationId = 0x43554D4C;
// `PRAGMA user_version` (and `cube.format_version`) of the files this program writes, and the
// newest a reader accepts; raised whenever the layout changes.
inline constexpr int kCubeFileFormatVersion = 4;

// The most decimals `measures.decimals` holds (from format version 3 on): a source column with
// more is shown with this many.
inline constexpr int kMaxMeasureDecimals = 30;

// The tables of every cube file (from format version 1 on): a file without one of them is not a
// cube file.
inline constexpr std::string_view kCubeFileTables[] = {
    "cube", "dimensions", "hierarchies", "levels", "measures", "members", "cells"};
// The leaf cells' table.
inline constexpr std::string_view kCellsTable = "cells";
// The stored rollups and their levels (from format version 2 on).
inline constexpr std::string_view kRollupsTable = "rollups";
inline constexpr std::string_view kRollupLevelsTable = "rollup_levels";

// The column of a cell table (the cells' or a rollup's) that holds the member of the
// `hierarchy`-th hierarchy, counted from 1 across the cube: "h<hierarchy>".
std::string HierarchyColumn(std::size_t hierarchy);
// The column of a cell table that holds the value of the `measure`-th measure, counted from 1:
// "m<measure>".
std::string MeasureColumn(std::size_t measure);
// The column of a cell table that holds the rest of a real sum of the `measure`-th measure, what
// the real in its MeasureColumn could not hold of the exact sum (from format version 3 on):
// "r<measure>".
std::string RestColumn(std::size_t measure);
// Whether the cell tables have a RestColumn for `measure`: SUM measures do.
bool HasRestColumn(const Measure& measure);
// The table of the stored rollup with id `rollup` (from 1): "rollup_<rollup>".
std::string RollupTableName(std::size_t rollup);

// Returns `name` as a quoted SQL identifier ("a""b").
std::string QuoteIdentifier(std::string_view name);

// Returns the statements that create the metadata, members and cells tables for `schema`,
// separated by ";".
std::string CubeTablesSql(const CubeSchema& schema);

// Returns the CREATE TABLE statement of a table of cells: `id`, then `h1` ... `h<hierarchies>`
// (member ids), then `m1` ... `m<measures>` (values of any type), then `r<k>` for each SUM
// measure k (the rests of real sums). The cells and every rollup table have this shape.
std::string CellTableSql(const std::string& table, std::size_t hierarchies,
                         const std::vector<Measure>& measures);

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
