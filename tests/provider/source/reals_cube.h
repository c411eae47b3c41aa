// Builds a cube as a job does and reads its leaf cells back, for the tests of reals read from a
// source.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "provider/connection/connection.h"
#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"
#include "provider/cubefile/cube_reader.h"

namespace cubemill::provider::source {

// Builds the cube file `cube` from the ODBC source `source` as a job does, with the connection
// property Aggregate set to `aggregate` unless that is empty; returns the engine's error text,
// "" on success.
inline std::string BuildCube(const std::string& cube, const std::string& source,
                             const std::string& create_cube, const std::string& insert_into,
                             const std::string& aggregate = "") {
  auto engine = connection::NewEngineConnection();
  connection::EngineProperties properties;
  properties.location = cube;
  properties.source_dsn = source;
  properties.create_cube = create_cube;
  properties.insert_into = insert_into;
  std::optional<Error> error =
      engine->SetConnectionString(connection::WriteEngineProperties(properties));
  if (!error) error = engine->SetProvider("MSOLAP");
  if (!error && !aggregate.empty())
    error = engine->SetProperty(connection::kAggregateProperty, aggregate);
  if (!error) error = engine->Open("", "", "", -1);
  if (!error) error = engine->Close();
  return error ? error->description : "";
}

// The leaf cells of the cube file `path`, whose one level is its only one below ALL, by the name
// of their member.
inline std::map<std::string, std::vector<cubefile::CellValue>> CellsByName(
    const std::string& path) {
  std::map<std::string, std::vector<cubefile::CellValue>> cells;
  auto reader = cubefile::CubeReader::Open(path);
  EXPECT_TRUE(reader.ok()) << reader.error().description;
  if (!reader.ok()) return cells;
  std::map<std::int64_t, std::string> names;
  for (const auto& member : (*reader)->Catalog().members) names[member.id] = member.name;
  auto rows = (*reader)->ReadCells("cells");
  EXPECT_TRUE(rows.ok()) << rows.error().description;
  if (!rows.ok()) return cells;
  for (std::size_t r = 0; r < rows->members.size(); ++r)
    cells[names[rows->members[r].at(0)]] = rows->values[r];
  return cells;
}

}  // namespace cubemill::provider::source
