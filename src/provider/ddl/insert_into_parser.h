// Reads an INSERT INTO statement into the column bindings that load a cube.
#pragma once

#include <string_view>

#include "common/error.h"
#include "provider/cube_schema.h"

namespace cubemill::provider::ddl {

// Parses `statement`, the whole INSERT INTO text: INSERT INTO <cube> ( targets ) [OPTIONS ...]
// SELECT ..., and binds each target to what it names in `schema`. The SELECT text, from its
// keyword to the end with trailing blanks removed, is kept unchanged. Checks that the cube is
// `schema`'s, that every target names exactly one thing, that every level below ALL and every
// measure is fed exactly once (a level may be fed by .KEY and .NAME together, a TIME target
// feeds every level it covers). Errors name the target and its 1-based position
// (kStatementErrorNumber); so do the constructs the engine does not run (DEFER_DATA, BIND,
// DIRECTLYFROM... sources, .CUSTOM_ROLLUP, .SKIPLEVELCOLUMN, .PARENT, member properties).
Result<InsertInto> ParseInsertInto(std::string_view statement, const CubeSchema& schema);

}  // namespace cubemill::provider::ddl
