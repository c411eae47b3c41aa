// Writes a built cube to its cube file (a SQLite database, format version 2), replacing any
// earlier file only once the new one is complete.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/error.h"
#include "provider/aggregate/built_cube.h"
#include "provider/cube_schema.h"

namespace cubemill::provider::cubefile {

// `PRAGMA application_id` of every cube file: the bytes "CUML".
inline constexpr std::int32_t kCubeFileApplicationId = 0x43554D4C;
// `PRAGMA user_version` of the files this writer makes; raised whenever the layout changes.
inline constexpr int kCubeFileFormatVersion = 2;
// The row of the `warnings` table that says the stored source connection string was cut down.
inline constexpr const char* kSourceShortenedWarning =
    "source connection string shortened to its driver or data source name: a password could not "
    "be removed from it safely";

// What the cube file records about how it was built.
struct BuildInfo {
  std::string create_cube;  // the CREATE CUBE statement
  std::string insert_into;  // the INSERT INTO statement
  std::string source;       // the source connection string; stored without its passwords
  std::string built_at;     // when the build ran, as the caller formats it
  std::int64_t source_rows = 0;
  bool operator==(const BuildInfo&) const = default;
};

// Writes `cube` (built for `schema`) to `location` (backslashes are directory separators). The
// file is written to a temporary file beside it, synced and renamed over `location`; on any
// failure, and on SIGINT or SIGTERM while writing, the temporary file is removed and an
// earlier file at `location` is left as it was. Returns the failure, if any.
std::optional<Error> WriteCubeFile(const std::string& location, const CubeSchema& schema,
                                   const aggregate::BuiltCube& cube, const BuildInfo& info);

}  // namespace cubemill::provider::cubefile
