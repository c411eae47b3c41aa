#include "provider/connection/prepare_build.h"

#include <utility>

#include "common/quoted_text.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"
#include "provider/engine_error.h"
#include "provider/source/odbc_connection_string.h"

namespace cubemill::provider::connection {

Result<PreparedBuild> PrepareBuild(std::string_view connection_string, bool keep_existing_file,
                                   const std::function<void(const std::string&)>& say) {
  auto tell = [&say](const std::string& line) {
    if (say) say(line);
  };
  auto properties = ReadEngineProperties(connection_string);
  if (!properties) return properties.error();
  PreparedBuild prepared;
  prepared.properties = std::move(*properties);
  const EngineProperties& read = prepared.properties;
  if (keep_existing_file && read.use_existing_file && platform::IsRegularFile(read.location)) {
    prepared.keeps_existing_file = true;
    return prepared;
  }

  auto schema = ddl::ParseCreateCube(read.create_cube);
  if (!schema) return schema.error();
  prepared.schema = std::move(*schema);
  if (say) {
    std::size_t levels = 0;
    for (const Dimension& dimension : prepared.schema.dimensions)
      for (const Hierarchy& hierarchy : dimension.hierarchies)
        for (const Level& level : hierarchy.levels) levels += level.type == LevelType::kAll ? 0 : 1;
    tell("CREATE CUBE " + Bracketed(prepared.schema.name) + ": " +
         std::to_string(prepared.schema.dimensions.size()) + " dimensions, " +
         std::to_string(levels) + " levels, " + std::to_string(prepared.schema.measures.size()) +
         " measures");
  }
  auto insert = ddl::ParseInsertInto(read.insert_into, prepared.schema);
  if (!insert) return insert.error();
  prepared.insert = std::move(*insert);
  tell("INSERT INTO: " + std::to_string(prepared.insert.columns.size()) + " targets");

  // Everything that can be checked without the source is checked before it is connected.
  if (auto unwritable = platform::CheckDirectoryWritableFor(read.location)) {
    return EngineError(
        "cannot write the cube file \"" + read.location + "\": " + unwritable->description,
        kCubeFileErrorNumber);
  }
  if (auto kind = platform::NotARegularFile(read.location)) {
    return EngineError("cannot write the cube file \"" + read.location + "\": " + *kind,
                       kCubeFileErrorNumber);
  }
  tell("Cube file: " + read.location + " (its directory is writable)");

  prepared.odbc = source::MakeOdbcConnectionString(read.source_dsn, read.source_dsn_suffix,
                                                   read.source_uid, read.source_pwd);
  return prepared;
}

}  // namespace cubemill::provider::connection
