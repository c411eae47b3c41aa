// The speed benchmark's BUILD command: one whole cube build as a job runs it (connection string,
// provider, Open, Close), without the job's pauses, progress list or log. Prints nothing on
// success; the benchmark times this process and reads its peak memory. ROLLUPS, when given, is
// the job's ROLLUPS value (the rows the stored rollups may hold; 0: none); without it the
// engine's default applies.
//   cubemill_bench_build_cube coarse|fine|customers SOURCE_DB CUBE_FILE [ROLLUPS]
#include <cstdio>
#include <optional>
#include <string>

#include "bench/sales_cubes.h"
#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"

int main(int argc, char** argv) {
  const cubemill::bench::SalesCube* cube =
      argc == 4 || argc == 5 ? cubemill::bench::FindSalesCube(argv[1]) : nullptr;
  if (cube == nullptr) {
    std::fprintf(stderr, "usage: %s coarse|fine|customers SOURCE_DB CUBE_FILE [ROLLUPS]\n",
                 argv[0]);
    return 2;
  }
  // The connection string a job hands to the engine for an OQY file with these values.
  cubemill::provider::connection::EngineProperties properties;
  properties.location = argv[3];
  properties.source_dsn = cubemill::bench::SalesSourceDsn(argv[2]);
  properties.create_cube = cube->create_cube;
  properties.insert_into = cube->insert_into;
  const std::string connection = cubemill::provider::connection::WriteEngineProperties(properties);
  auto engine = cubemill::provider::connection::NewEngineConnection();
  // A job logs what the engine says while it opens (a locked source, say); so does this, on
  // standard error, so that the engine does the same work as for a job.
  engine->SetInfoMessage(
      [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  std::optional<cubemill::Error> error = engine->SetConnectionString(connection);
  if (!error) error = engine->SetProvider("MSOLAP");
  if (!error && argc == 5) {
    error = engine->SetProperty(cubemill::provider::connection::kRollupsProperty, argv[4]);
  }
  if (!error) error = engine->Open("", "", "", -1);
  if (!error) error = engine->Close();
  if (error) {
    std::fprintf(stderr, "build failed: %s (%ld, %s)\n", error->description.c_str(), error->number,
                 error->source.c_str());
    return 1;
  }
  return 0;
}
