// Reads a CREATE CUBE statement into the cube's structure.
#pragma once

#include <string_view>

#include "common/error.h"
#include "provider/cube_schema.h"

namespace cubemill::provider::ddl {

// Parses `statement` (CREATE CUBE name ( elements ) with an optional trailing ";") and checks
// its structure: levels belong to the nearest preceding dimension or hierarchy, an ALL level
// comes first and at most once, every hierarchy has a level below ALL, names are unique in
// their scope, and no level follows a measure. Constructs the engine does not build (COMMAND,
// PROPERTY, HIDDEN, parent-child and custom-rollup options, DISTINCT COUNT ...) and unknown
// words give an error naming them and their 1-based position (kStatementErrorNumber).
Result<CubeSchema> ParseCreateCube(std::string_view statement);

}  // namespace cubemill::provider::ddl
