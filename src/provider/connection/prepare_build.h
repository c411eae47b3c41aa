// The front half of a cube build, which a build and its check (--check) share: the connection
// string's properties, both statements parsed, the cube file's directory, the source's ODBC
// connection string.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "provider/connection/connection_string.h"
#include "provider/cube_schema.h"

namespace cubemill::provider::connection {

// What a build knows before it connects to its source.
struct PreparedBuild {
  EngineProperties properties;
  // USEEXISTINGFILE is set and a file is at LOCATION: nothing after the properties was read.
  bool keeps_existing_file = false;
  CubeSchema schema;  // the CREATE CUBE statement
  InsertInto insert;  // the INSERT INTO statement, its SELECT included
  std::string odbc;   // the source's ODBC connection string (source::MakeOdbcConnectionString)
};

// Reads the properties of `connection_string`, parses CREATE CUBE and then INSERT INTO, checks
// that the cube file's directory can be written and makes the source's ODBC connection string.
// With `keep_existing_file`, a string that sets USEEXISTINGFILE and names an existing file
// stops after its properties (keeps_existing_file). `say`, when given, is told what each step
// found, one line each. Returns the first failure, with the engine's number for its kind.
Result<PreparedBuild> PrepareBuild(std::string_view connection_string, bool keep_existing_file,
                                   const std::function<void(const std::string&)>& say = {});

}  // namespace cubemill::provider::connection
