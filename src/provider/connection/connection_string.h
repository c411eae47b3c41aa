// The engine's connection string: name=value pairs, the properties a cube build uses read from
// it, and the same properties written back as a string that reads to the same record.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

namespace cubemill::provider::connection {

// The pairs of a connection string "name=value;name=value". Names match without letter case
// and without their inner blanks ("Data Source" is "DATASOURCE"); blanks around names and
// values are dropped. A value that starts with a double or single quote runs to the matching
// quote and may hold ";" and the quote doubled; any other value runs to the next ";". A pair
// splits at its first "="; empty pairs and text without "=" are skipped; a later pair replaces
// an earlier one of the same name.
class ConnectionProperties {
 public:
  static ConnectionProperties Parse(std::string_view text);

  // Returns the value of `name`, or nothing when the string does not set it.
  std::optional<std::string> Get(std::string_view name) const;

  // Describes what could not be read cleanly (a quote never closed), or "" when all was well.
  const std::string& problem() const { return problem_; }

 private:
  std::map<std::string, std::string> values_;  // by normalised name
  std::string problem_;
};

// Returns `name` upper-cased (ASCII) without blanks: the form in which names are compared.
std::string NormalizePropertyName(std::string_view name);

// The properties a cube build needs, read from its connection string.
struct EngineProperties {
  std::string location;            // LOCATION, else DATA SOURCE: the cube file to write
  std::string source_dsn;          // SOURCE_DSN: a DSN name or an ODBC connection string
  std::string source_dsn_suffix;   // SOURCE_DSN_SUFFIX ("" when absent)
  std::string source_uid;          // SOURCE_UID ("" when absent)
  std::string source_pwd;          // SOURCE_PWD ("" when absent)
  std::string create_cube;         // CREATECUBE statement
  std::string insert_into;         // INSERTINTO statement, its SELECT included
  bool use_existing_file = false;  // USEEXISTINGFILE starts with Y, T or a digit other than 0
  bool operator==(const EngineProperties&) const = default;
};

// Reads the build properties from `connection_string`. Fails (kPropertyErrorNumber) when
// LOCATION/DATA SOURCE, SOURCE_DSN, CREATECUBE or INSERTINTO is missing or empty, when
// SOURCE_DSN is an OLE DB string ("Provider=..."), or when a quoted value is never closed.
Result<EngineProperties> ReadEngineProperties(std::string_view connection_string);

// Returns `value` as a connection string must write it to read it back unchanged: as it is when
// it holds no ";", neither starts with a quote nor starts or ends with a blank, else in double
// quotes with each double quote doubled.
std::string QuotePropertyValue(std::string_view value);

// Returns the connection string of `properties`: LOCATION, SOURCE_DSN, CreateCube and InsertInto,
// and SOURCE_DSN_SUFFIX, SOURCE_UID, SOURCE_PWD and UseExistingFile when they are set, each value
// quoted as QuotePropertyValue does. ReadEngineProperties reads it back to `properties`.
std::string WriteEngineProperties(const EngineProperties& properties);

}  // namespace cubemill::provider::connection
