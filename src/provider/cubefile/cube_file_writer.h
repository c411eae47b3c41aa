// Writes a built cube to its cube file (a SQLite database, format version 4), replacing any
// earlier file only once the new one is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "provider/aggregate/built_cube.h"
#include "provider/cube_schema.h"
#include "provider/cubefile/cube_file_layout.h"  // kCubeFileFormatVersion, kCubeFileApplicationId

namespace cubemill::provider::cubefile {

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
  // The column an incremental refresh reads new rows by ("" for a cube built without one) and
  // the highest value of it the build read (NULL when it read no row).
  std::string refresh_column;
  aggregate::MemberKey watermark;
  bool operator==(const BuildInfo&) const = default;
};

// Writes `cube` (built for `schema`) to `location` (backslashes are directory separators). The
// file is written to a temporary file beside it, synced and renamed over `location`; on any
// failure, and when a signal ends the process while writing, the temporary file is removed and an
// earlier file at `location` is left as it was. A stop signal (platform::StopSignal) ends the
// write early with the error StopRequested gives. Returns the failure, if any.
std::optional<Error> WriteCubeFile(const std::string& location, const CubeSchema& schema,
                                   const aggregate::BuiltCube& cube, const BuildInfo& info);

// Hands the writer the rollups to store once it has written the cells: called at most once, on
// the writer's thread, after the cells and before the rollups are written; it may wait for them
// (they may still be being computed elsewhere). What it throws fails the write as any failure.
using RollupsWhenReady = std::function<const std::vector<aggregate::Rollup>&()>;

// The same as above with the rollups `rollups` hands over instead of `cube.rollups`, which is not
// read (another thread may be filling a vector of its own from `cube` meanwhile).
std::optional<Error> WriteCubeFile(const std::string& location, const CubeSchema& schema,
                                   const aggregate::BuiltCube& cube, const BuildInfo& info,
                                   const RollupsWhenReady& rollups);

}  // namespace cubemill::provider::cubefile
