// Builds a job's offline cube by opening a connection whose connection string carries the cube
// file, the source and the two statements.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/cube_job.h"
#include "common/error.h"
#include "provider/connection/connection.h"
#include "provider/connection/connection_string.h"

namespace cubemill::oqy {

// Makes the connection a cube build opens.
using ConnectionFactory = std::function<std::unique_ptr<provider::connection::Connection>()>;

// Returns the build properties of `job`: its cube file and source, its CREATE CUBE statement
// without the closing ";", and its INSERT INTO statement with the SELECT.
provider::connection::EngineProperties CubeProperties(const CubeJob& job);

// Returns the connection string for `job`: CubeProperties written as the engine reads them.
std::string CubeConnectionString(const CubeJob& job);

// Opens and closes a new connection with the job's connection string and provider, with the
// job's Aggregate as the connection's aggregate property and then its Rollups as the rollups
// property, each when it is not blank; the connection's info messages (a busy source, say) go to
// `on_info`. Returns nothing when every step succeeded (the cube file was written), else the first
// failure for the caller to log.
std::optional<Error> BuildOfflineCube(const ConnectionFactory& new_connection, const CubeJob& job,
                                      const std::function<void(const std::string&)>& on_info);

// After a failed build: a cause in the OQY file that the engine's error hides, or "". Without a
// connection line the provider is empty ("Provider cannot be found"), and without a CreateCube=
// value the INSERT INTO is read as the CREATE CUBE statement (so "INSERTINTO is missing").
std::string CauseInOqy(const CubeJob& job);

}  // namespace cubemill::oqy
