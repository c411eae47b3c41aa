// Checks a cube build up to the point where it would read rows: the connection string, both
// statements, the cube file's directory, the source and the columns of its SELECT.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "provider/source/odbc_describe.h"

namespace cubemill::provider::connection {

// Prepares a SELECT on a source and describes its columns (ODBC by default; tests may differ).
using SelectDescriber = std::function<Result<std::vector<source::SourceColumn>>(
    const std::string& connection, const std::string& select)>;

// Goes through the build of `connection_string` without reading a row or writing a file, and
// tells `say` what it found, one line each (the source's password is never shown). Returns the
// first failure: what a build would have failed with. A SELECT column whose reported kind does
// not suit its target is said as a warning, not a failure, since drivers often report text for
// computed columns. Without `describe` the SELECT is described through ODBC
// (source::DescribeOdbcSelect), which tells `say` when a locked source makes it wait.
std::optional<Error> CheckCubeBuild(std::string_view connection_string,
                                    const std::function<void(const std::string&)>& say,
                                    const SelectDescriber& describe = {});

// What a build with the refresh value `refresh` (kRefreshProperty) would start from, for
// --check: "Refresh: full", or "Refresh: incremental by <column>, base <path>, watermark <value>"
// for the first of `bases` (newest first) that reads as a cube file, or why the next build is
// full. Nothing for a value that is not FULL or INCREMENTAL=<column>.
std::optional<std::string> RefreshCheckLine(const std::string& refresh,
                                            const std::vector<std::string>& bases);

}  // namespace cubemill::provider::connection
