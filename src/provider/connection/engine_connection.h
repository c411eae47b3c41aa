// The cube engine's connection: opening it builds the cube file its connection string describes.
#pragma once

#include <memory>

#include "platform/clock.h"
#include "provider/connection/connection.h"
#include "provider/row_source.h"

namespace cubemill::provider::connection {

// Makes the cube engine's connection, reading sources through ODBC. `progress` may be empty;
// `clock` dates the cube files (the system clock when null; it must outlive the connection).
std::unique_ptr<Connection> NewEngineConnection(RowProgress progress = {},
                                                const platform::Clock* clock = nullptr);

// Makes the cube engine's connection over another row source than ODBC (used by tests), dating
// its cube files with `clock` (the system clock when null; it must outlive the connection).
std::unique_ptr<Connection> NewEngineConnection(SourceOpener open_source, RowProgress progress,
                                                const platform::Clock* clock = nullptr);

}  // namespace cubemill::provider::connection
