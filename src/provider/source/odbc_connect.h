// Connecting the ODBC source: the driver's options added to the connection string (streaming,
// and no new file for a SQLite database that is missing), and word of a locked SQLite source
// before the driver silently waits for it. Internal to provider/source.
#pragma once

#include <sql.h>

#include <string>

#include "common/error.h"
#include "provider/row_source.h"
#include "provider/source/odbc_handles.h"

namespace cubemill::provider::source {

// Connects `handles` with `requested` plus the options of its driver (see AddDriverOptions):
// named by DRIVER=, or for a data source name the one it is registered with, else the one the
// driver manager loaded, which takes a second connection. Before connecting to a SQLite database
// that another connection has locked it tells `info` "Source busy: waiting up to <n> s for the
// lock on the SQLite database "<file>"" and standard error "cubemill: warning: source busy: ...".
// Returns the connection string sent to the driver, or the error "connect failed: ...", which for
// a SQLite database file that does not exist says so and names it.
Result<std::string> ConnectForStreaming(OdbcHandles& handles, const std::string& requested,
                                        const InfoMessage& info);

// The file name of the driver the driver manager loaded for the connection `dbc`
// (SQL_DRIVER_NAME), or "" when it does not say.
std::string LoadedDriverName(SQLHDBC dbc);

// True when the driver behind `dbc` can position on one row of a fetched block and read its
// columns again (SQLSetPos, then SQLGetData on bound columns).
bool DriverRereadsBlockRows(SQLHDBC dbc);

}  // namespace cubemill::provider::source
