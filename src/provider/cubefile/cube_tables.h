// Fills a new, empty cube file with the tables of one built cube, in one transaction.
#pragma once

#include "provider/aggregate/built_cube.h"
#include "provider/cube_schema.h"
#include "provider/cubefile/cube_file_writer.h"
#include "provider/cubefile/sqlite_database.h"

namespace cubemill::provider::cubefile {

// Writes the metadata, members, cells, the rollups `rollups` hands over once the cells are
// written, and the flat views of `cube` into `database`. Returns false on the first failure,
// whose reason `database.Failure()` holds.
bool WriteCubeTables(SqliteDatabase& database, const CubeSchema& schema,
                     const aggregate::BuiltCube& cube, const BuildInfo& info,
                     const RollupsWhenReady& rollups);

}  // namespace cubemill::provider::cubefile
