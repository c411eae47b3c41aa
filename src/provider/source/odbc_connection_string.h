// Builds and edits ODBC connection strings ("key=value;key={value};...") without calling ODBC.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "provider/source/source_dialect.h"

namespace cubemill::provider::source {

// Returns the ODBC connection string for a cube's source: `source_dsn` without "=" is a data
// source name and becomes "DSN=<name>", anything else is used unchanged; the pairs of `suffix`
// are appended except "Prompt" and "Window Handle" (a dialog and its parent window mean nothing
// here); a non-empty `uid` or `pwd` replaces any UID or PWD pair and is appended as UID= / PWD=.
std::string MakeOdbcConnectionString(const std::string& source_dsn, const std::string& suffix,
                                     const std::string& uid, const std::string& pwd);

// Returns the value of the first pair named `key` in `odbc` (names compare without letter case
// and blanks), with blanks trimmed and braces removed, or nothing when there is no such pair.
std::optional<std::string> FindOdbcAttribute(const std::string& odbc, std::string_view key);

// Returns `odbc` with the options that make `driver` deliver rows as they are read instead of
// loading the whole result into memory first, as its dialect says (SourceDialect::
// streaming_options): "StepAPI=1" for the SQLite driver, "UseDeclareFetch=1;Fetch=10000" for
// psqlODBC. `driver` is a DRIVER= value or the file name the driver manager reports. Options the
// string already sets, to any value, are left alone; other drivers give `odbc` unchanged.
std::string AddStreamingOptions(const std::string& odbc, std::string_view driver);

// Returns `odbc` with the options every connection to `driver` gets: the streaming ones
// (AddStreamingOptions) and the others of its dialect: for the SQLite driver "NoCreat=1", with
// which it refuses a database file that does not exist instead of creating an empty one. Options
// the string already sets, to any value, are left alone.
std::string AddDriverOptions(const std::string& odbc, std::string_view driver);

// Returns `odbc` asking the driver of `dialect` to read a result whole, without a cursor, for a
// statement whose result is known to be small (SourceDialect::read_whole_option: psqlODBC's
// "UseDeclareFetch=0"; the server then plans it as for any client, parallel workers included).
// A string that sets the option already, and a dialect without one, give `odbc` unchanged.
std::string ReadWholeResult(const std::string& odbc, const SourceDialect& dialect);

// Returns `odbc` without its pairs named `key` (names compare without letter case and blanks) and
// with "<key>=<value>" appended.
std::string ReplaceOdbcAttribute(const std::string& odbc, std::string_view key,
                                 std::string_view value);

// The SQLite driver's default lock timeout, in milliseconds.
inline constexpr long kSqliteDefaultTimeoutMs = 100000;

// Returns how long, in milliseconds, the SQLite driver waits for a locked database each time it
// needs it: the Timeout of `odbc` when the driver reads it (the first pair whose key is Timeout
// in any letter case, without blanks in or around the key, and whose value is a positive number
// with nothing after it), else kSqliteDefaultTimeoutMs, as the driver then waits.
long SqliteTimeoutMs(const std::string& odbc);

}  // namespace cubemill::provider::source
