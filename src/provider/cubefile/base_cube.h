// Reads a cube file back as the base of an incremental refresh: the statements and watermark it
// was built with, and its members and cells as a seed for the builder (aggregate/cube_seed.h).
#pragma once

#include <cstdint>
#include <string>

#include "common/error.h"
#include "provider/aggregate/built_cube.h"
#include "provider/aggregate/cube_seed.h"

namespace cubemill::provider::cubefile {

struct BaseCube {
  std::string create_cube;  // the `cube` row's statements, as the build stored them
  std::string insert_into;
  std::string refresh_column;  // "" when the cube was built without one
  aggregate::MemberKey watermark;
  aggregate::SeedCube seed;
};

// Reads the cube file at `path` (as CubeReader opens it) with its members' keys as stored, its
// warnings and decimals; its cells, rests included, are read from the file, kept open, when the
// seed's for_each_cell is called. Fails when it cannot be read, and when its
// format version is not the one this program writes (kCubeFileFormatVersion): a file of another
// version cannot stand for what a build would write now.
Result<BaseCube> ReadBaseCube(const std::string& path);

}  // namespace cubemill::provider::cubefile
