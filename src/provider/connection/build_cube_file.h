// Builds a cube file from the two statements of a connection string and the rows of its source.
#pragma once

#include <optional>
#include <string_view>

#include "common/error.h"
#include "platform/clock.h"
#include "provider/row_source.h"

namespace cubemill::provider::connection {

// Rows between two calls of the progress callback.
inline constexpr std::uint64_t kProgressEveryRows = 10000;

// Builds the cube the connection string describes: reads LOCATION, SOURCE_DSN (with
// SOURCE_DSN_SUFFIX, SOURCE_UID, SOURCE_PWD), CREATECUBE and INSERTINTO, parses both
// statements, reads the SELECT's rows through `open_source`, aggregates them and writes the
// cube file at LOCATION. With USEEXISTINGFILE set and a file at LOCATION nothing is built.
// Returns the first failure; a failed build leaves no new file and an earlier cube unchanged.
// `clock` dates the cube file. Exceptions are the caller's to catch (the connection does).
std::optional<Error> BuildCube(std::string_view connection_string, const SourceOpener& open_source,
                               const RowProgress& progress, const platform::Clock& clock);

}  // namespace cubemill::provider::connection
