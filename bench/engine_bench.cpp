// Measures a whole cube build as a job runs it: a generated SQLite sales table read through the
// SQLite ODBC driver, aggregated into a cube with a TIME dimension, written as a cube file.
// Prints rows per second and peak memory; asserts nothing.
//   cubemill_engine_bench [rows]   (default 1000000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/sales_table.h"
#include "provider/connection/connection_string.h"
#include "provider/connection/engine_connection.h"

namespace {

const char kCreateCube[] =
    "CREATE CUBE [Sales] ( DIMENSION [Time] TYPE TIME, LEVEL [All Time] TYPE ALL, "
    "LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, LEVEL [Month] TYPE MONTH, "
    "LEVEL [Day] TYPE DAY, DIMENSION [Geography], LEVEL [Country], LEVEL [City], "
    "DIMENSION [Product], LEVEL [Product], MEASURE [Quantity] FUNCTION SUM TYPE DBTYPE_I8, "
    "MEASURE [Amount] FUNCTION SUM TYPE DBTYPE_R8, MEASURE [Sales] FUNCTION COUNT );";
const char kInsertInto[] =
    "INSERT INTO Sales([Time], [Geography].[Country], [Geography].[City], [Product].[Product], "
    "Measures.[Quantity], Measures.[Amount], Measures.[Sales]) "
    "SELECT day, country, city, product, quantity, amount, quantity FROM s";

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const auto dir = std::filesystem::temp_directory_path() / "cubemill-engine-bench";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string db_path = (dir / "sales.db").string();

  if (!cubemill::bench::MakeSalesTable(db_path, rows)) return 1;

  const std::string cube = (dir / "sales.cub").string();
  cubemill::provider::connection::EngineProperties properties;
  properties.location = cube;
  properties.source_dsn = "DRIVER=SQLite3;Database=" + db_path;
  properties.create_cube = kCreateCube;
  properties.insert_into = kInsertInto;
  const std::string connection = cubemill::provider::connection::WriteEngineProperties(properties);
  const double before = cubemill::bench::PeakMiB();
  const auto start = std::chrono::steady_clock::now();
  auto engine = cubemill::provider::connection::NewEngineConnection();
  engine->SetConnectionString(connection);
  engine->SetProvider("MSOLAP");
  if (auto error = engine->Open("", "", "", -1)) {
    std::fprintf(stderr, "build failed: %s\n", error->description.c_str());
    return 1;
  }
  engine->Close();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "rows %ld, build %.2f s, %.0f rows/s, cube file %.1f MiB, peak RSS %.1f MiB "
      "(%.1f MiB before the build)\n",
      rows, seconds, static_cast<double>(rows) / seconds,
      static_cast<double>(std::filesystem::file_size(cube)) / 1048576.0, cubemill::bench::PeakMiB(),
      before);
  std::filesystem::remove_all(dir);
  return 0;
}
