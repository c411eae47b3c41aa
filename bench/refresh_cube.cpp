// The refresh benchmark's REFRESH command: a build of a sales cube by the refresh column
// sale_date (REFRESH=INCREMENTAL=sale_date), as a job runs it: from the base cube BASE when it
// is given and fits, in full otherwise ("-": no base, a full build that records the watermark).
// The engine's info messages ("Refresh: incremental from ...") go to standard error.
//   cubemill_bench_refresh_cube coarse|fine SOURCE_DB CUBE_FILE BASE|- [ROLLUPS]
#include <cstdio>
#include <optional>
#include <string>

#include "bench/sales_cubes.h"
#include "provider/connection/connection.h"
#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"

int main(int argc, char** argv) {
  const cubemill::bench::SalesCube* cube =
      argc == 5 || argc == 6 ? cubemill::bench::FindSalesCube(argv[1]) : nullptr;
  if (cube == nullptr) {
    std::fprintf(stderr, "usage: %s coarse|fine SOURCE_DB CUBE_FILE BASE|- [ROLLUPS]\n", argv[0]);
    return 2;
  }
  namespace connection = cubemill::provider::connection;
  connection::EngineProperties properties;
  properties.location = argv[3];
  properties.source_dsn = cubemill::bench::SalesSourceDsn(argv[2]);
  properties.create_cube = cube->create_cube;
  properties.insert_into = cube->insert_into;
  auto engine = connection::NewEngineConnection();
  engine->SetInfoMessage(
      [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  std::optional<cubemill::Error> error =
      engine->SetConnectionString(connection::WriteEngineProperties(properties));
  if (!error) error = engine->SetProvider("MSOLAP");
  if (!error) error = engine->SetProperty(connection::kRefreshProperty, "INCREMENTAL=sale_date");
  if (!error && std::string(argv[4]) != "-")
    error = engine->SetProperty(connection::kRefreshBaseProperty, argv[4]);
  if (!error && argc == 6) error = engine->SetProperty(connection::kRollupsProperty, argv[5]);
  if (!error) error = engine->Open("", "", "", -1);
  if (!error) error = engine->Close();
  if (error) {
    std::fprintf(stderr, "build failed: %s (%ld, %s)\n", error->description.c_str(), error->number,
                 error->source.c_str());
    return 1;
  }
  return 0;
}
