#include "provider/cubefile/cube_file_writer.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/durable_file.h"
#include "platform/text_file.h"
#include "provider/cubefile/cube_tables.h"
#include "provider/cubefile/sqlite_database.h"
#include "provider/engine_error.h"

namespace cubemill::provider::cubefile {
namespace {

using namespace aggregate;  // NOLINT: the cells and members this file writes

// A failure inside the writer: what was being done and why it failed.
struct WriteFailure {
  std::string what;
};

// The cube must have been built for the schema: the writer relies on these sizes.
std::optional<std::string> CheckShape(const CubeSchema& schema, const BuiltCube& cube) {
  std::size_t hierarchies = 0;
  for (const Dimension& dimension : schema.dimensions) hierarchies += dimension.hierarchies.size();
  if (cube.coordinates.size() != hierarchies || cube.cells.width() != hierarchies ||
      cube.cells.measure_count() != schema.measures.size()) {
    return "the built cube does not match its CREATE CUBE statement";
  }
  for (const Member& member : cube.members) {
    if (member.dimension >= schema.dimensions.size() ||
        member.hierarchy >= schema.dimensions[member.dimension].hierarchies.size() ||
        member.level >=
            schema.dimensions[member.dimension].hierarchies[member.hierarchy].levels.size()) {
      return "a member of the built cube belongs to no level of its CREATE CUBE statement";
    }
  }
  return std::nullopt;
}

std::optional<WriteFailure> WriteAndReplace(const std::string& target, const CubeSchema& schema,
                                            const BuiltCube& cube, const BuildInfo& info,
                                            const RollupsWhenReady& rollups) {
  if (target.empty()) return WriteFailure{"no file name given"};
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) return WriteFailure{"it is a directory"};
  if (auto shape = CheckShape(schema, cube)) return WriteFailure{*shape};
  if (StopRequested()) return WriteFailure{"stopped"};

  auto pending = platform::PendingFile::Create(target);
  if (!pending) return WriteFailure{pending.error().description};
  {
    std::unique_ptr<SqliteDatabase> database;
    if (auto reason = SqliteDatabase::Open((*pending)->path(), database)) {
      return WriteFailure{"cannot open the temporary file: " + *reason};
    }
    if (!WriteCubeTables(*database, schema, cube, info, rollups))
      return WriteFailure{database->Failure()};
    if (!database->Close())
      return WriteFailure{"closing the temporary file: " + database->Failure()};
  }
  // A stop that came while the file was written leaves the earlier file in place.
  if (StopRequested()) return WriteFailure{"stopped"};
  if (auto committed = (*pending)->Commit()) return WriteFailure{committed->description};
  return std::nullopt;
}

}  // namespace

std::optional<Error> WriteCubeFile(const std::string& location, const CubeSchema& schema,
                                   const BuiltCube& cube, const BuildInfo& info) {
  return WriteCubeFile(location, schema, cube, info,
                       [&cube]() -> const std::vector<Rollup>& { return cube.rollups; });
}

std::optional<Error> WriteCubeFile(const std::string& location, const CubeSchema& schema,
                                   const BuiltCube& cube, const BuildInfo& info,
                                   const RollupsWhenReady& rollups) {
  try {
    if (auto failure =
            WriteAndReplace(platform::NativePath(location), schema, cube, info, rollups)) {
      if (auto stopped = StopRequested()) return stopped;  // the reason SQLite was interrupted
      return EngineError("cannot write the cube file \"" + location + "\": " + failure->what,
                         kCubeFileErrorNumber);
    }
  } catch (const std::exception& exception) {
    return EngineError("cannot write the cube file \"" + location + "\": " + exception.what(),
                       kCubeFileErrorNumber);
  }
  return std::nullopt;
}

}  // namespace cubemill::provider::cubefile
