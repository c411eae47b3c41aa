// Every error number of the engine and of its connection, with the source names and the fixed
// texts that go with them. The numbers are the HRESULTs a client of such a provider (and of its
// connection object) would see for the same kind of failure, as signed decimals; the run log and
// the callers compare them, so they never change.
#pragma once

#include <optional>
#include <string>

#include "common/error.h"
#include "platform/stop_signals.h"

namespace cubemill::provider {

// Source named in every error the engine raises.
inline constexpr const char* kEngineSource = "Cubemill Cube Engine";

// A statement that does not parse, or uses a construct the engine does not support
// (0x80040E14, errors in command).
inline constexpr long kStatementErrorNumber = -2147217900;
// A missing or unusable connection property: no LOCATION, no CREATECUBE, an OLE DB source
// string (0x80040E21, errors occurred).
inline constexpr long kPropertyErrorNumber = -2147217887;
// The ODBC source failed: connect, run the SELECT, fetch (0x80004005, unspecified failure).
inline constexpr long kSourceErrorNumber = -2147467259;
// A source value that cannot be converted to what its target needs (0x80040E07, cannot
// convert value).
inline constexpr long kDataErrorNumber = -2147217913;
// The cube file could not be written or replaced (0x80040E09, permission denied).
inline constexpr long kCubeFileErrorNumber = -2147217911;

// The build ran out of memory (0x8007000E, not enough storage).
inline constexpr long kOutOfMemoryNumber = -2147024882;
// Any other failure inside the engine that no check above caught (0x8000FFFF, unexpected).
inline constexpr long kUnexpectedErrorNumber = -2147418113;

// The build was stopped by a signal (0x80040E4E, operation canceled).
inline constexpr long kStoppedErrorNumber = -2147217842;

// Source name of the errors the connection object raises itself.
inline constexpr const char* kConnectionSource = "ADODB.Connection";
// The provider named is not the cube engine.
inline constexpr long kProviderNotFoundNumber = -2146824582;
inline constexpr const char* kProviderNotFoundText =
    "Provider cannot be found. It may not be properly installed.";
// Open or a setter called on a connection that is open, and Close on one that is not.
inline constexpr long kObjectOpenNumber = -2146824583;
inline constexpr const char* kObjectOpenText = "Operation is not allowed when the object is open.";
inline constexpr long kObjectClosedNumber = -2146824584;
inline constexpr const char* kObjectClosedText =
    "Operation is not allowed when the object is closed.";
// The factory made no connection object (0x800401F3, invalid class string).
inline constexpr long kConnectionNotCreatedNumber = -2147221005;
inline constexpr const char* kConnectionNotCreatedText =
    "The connection object could not be created.";

// The error of a property the connection does not know, as a property collection raises it.
inline constexpr const char* kPropertiesSource = "ADODB.Properties";
inline constexpr long kItemNotFoundNumber = -2146825023;
inline constexpr const char* kItemNotFoundText =
    "Item cannot be found in the collection corresponding to the requested name or ordinal.";

// Returns an engine error with `description` and `number`.
inline Error EngineError(std::string description, long number) {
  return Error{std::move(description), number, kEngineSource};
}

// The error a build ends with once the process has been asked to stop
// (platform::StopSignal): "the build was stopped by SIGTERM"; nothing while it has not.
inline std::optional<Error> StopRequested() {
  const int signal_number = platform::StopSignal();
  if (signal_number == 0) return std::nullopt;
  return EngineError("the build was stopped by " + platform::SignalName(signal_number),
                     kStoppedErrorNumber);
}

}  // namespace cubemill::provider
