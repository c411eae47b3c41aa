// The ADO-like connection a cube build opens: set the connection string and the provider, open,
// close. Opening builds the cube file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/error.h"
#include "provider/row_source.h"

namespace cubemill::provider::connection {

// Source name and number of the errors raised by the connection object itself.
inline constexpr const char* kConnectionSource = "ADODB.Connection";
inline constexpr long kProviderNotFoundNumber = -2146824582;
inline constexpr const char* kProviderNotFoundText =
    "Provider cannot be found. It may not be properly installed.";

class Connection {
 public:
  virtual ~Connection() = default;
  virtual std::optional<Error> SetConnectionString(const std::string& text) = 0;
  virtual std::optional<Error> SetProvider(const std::string& name) = 0;
  // Opens the connection; for the cube engine this builds the cube file named by LOCATION and
  // returns only when it is complete. Empty arguments keep what the properties say.
  virtual std::optional<Error> Open(const std::string& connection_string, const std::string& user,
                                    const std::string& password, long options) = 0;
  virtual std::optional<Error> Close() = 0;
  // Sets who is told the connection's info messages; without one, or for a connection that has
  // nothing to say, nobody is.
  virtual void SetInfoMessage(InfoMessage handler) { static_cast<void>(handler); }
};

// True for the provider names that select the cube engine: "MSOLAP" alone or followed by "."
// and digits, in any letter case.
bool IsEngineProvider(const std::string& name);

}  // namespace cubemill::provider::connection
