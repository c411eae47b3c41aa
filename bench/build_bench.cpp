// Feeds generated rows through the cube builder and the cube-file writer and prints the rate
// and the peak memory, then what the stored rollups add to writing the file.
// Usage: cubemill_build_bench [rows] [cube file] [distinct items]
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "provider/aggregate/cube_builder.h"
#include "provider/aggregate/rollup_builder.h"
#include "provider/cubefile/cube_file_writer.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"

using namespace cubemill::provider;            // NOLINT
using namespace cubemill::provider::cubefile;  // NOLINT

namespace {

// The cube, as statements: the generated rows stand for the SELECT's result.
constexpr char kCreateCube[] =
    "CREATE CUBE [Bench] ( DIMENSION [Region], LEVEL [All] TYPE ALL, LEVEL [Country], "
    "LEVEL [City], DIMENSION [Product], LEVEL [Category], LEVEL [Item], "
    "DIMENSION [Time] TYPE TIME, LEVEL [Year] TYPE YEAR, LEVEL [Month] TYPE MONTH, "
    "MEASURE [Amount] FUNCTION SUM, MEASURE [Price] FUNCTION SUM TYPE DBTYPE_R8, "
    "MEASURE [Orders] FUNCTION COUNT )";
constexpr char kInsertInto[] =
    "INSERT INTO Bench ( [Region].[Country], [Region].[City], [Product].[Category], "
    "[Product].[Item].KEY, [Time], Measures.[Amount], Measures.[Price], Measures.[Orders] ) "
    "SELECT country, city, category, item, day, amount, price, 1 FROM generated";

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The peak resident memory of this process so far, in MiB.
double PeakMiB() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// CPU time of this process so far: on a shared machine it varies less than the wall time.
double CpuSeconds() {
  struct timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// What the stored rollups (the default budget) add to writing the file, measured three ways:
// computed alone, computed first and then written with the cells, computed on a second thread
// while the cells are written (as a build with two threads does). `cells_seconds` is the time
// the file took without them. Returns the exit status.
int RollupCosts(const CubeSchema& schema, aggregate::BuiltCube& cube, const std::string& file,
                const BuildInfo& info, double cells_seconds) {
  auto start = std::chrono::steady_clock::now();
  std::vector<aggregate::Rollup> rollups = aggregate::ComputeRollups(schema, cube, std::nullopt);
  const double compute_seconds = Seconds(start);
  std::size_t rows = 0;
  for (const aggregate::Rollup& rollup : rollups) rows += rollup.cells.size();
  cube.rollups = std::move(rollups);
  start = std::chrono::steady_clock::now();
  auto error = WriteCubeFile(file, schema, cube, info);
  const double write_seconds = Seconds(start);
  cube.rollups.clear();
  start = std::chrono::steady_clock::now();
  if (!error) {
    auto computing = std::async(
        std::launch::async, [&] { return aggregate::ComputeRollups(schema, cube, std::nullopt); });
    error = WriteCubeFile(file, schema, cube, info, [&]() -> const std::vector<aggregate::Rollup>& {
      rollups = computing.get();
      return rollups;
    });
  }
  const double beside_seconds = Seconds(start);
  if (error) {
    std::fprintf(stderr, "%s\n", error->description.c_str());
    return 1;
  }
  std::printf("rollups: %zu, %zu rows; computing them %.2f s\n",
              cube.rollups.size() + rollups.size(), rows, compute_seconds);
  std::printf(
      "WriteCubeFile: cells alone %.2f s; rollups computed first %.2f s + %.2f s = %.2f s "
      "(+%.0f %%); computed beside the cells %.2f s (+%.0f %%)\n",
      cells_seconds, compute_seconds, write_seconds, compute_seconds + write_seconds,
      (compute_seconds + write_seconds) / cells_seconds * 100 - 100, beside_seconds,
      beside_seconds / cells_seconds * 100 - 100);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 2000000;
  const std::string file = argc > 2 ? argv[2] : "bench.cub";
  const std::uint32_t items = argc > 3 ? static_cast<std::uint32_t>(std::atol(argv[3])) : 300;
  std::vector<std::string> countries, cities, categories;
  for (int i = 0; i < 20; ++i) countries.push_back("Country " + std::to_string(i));
  for (int i = 0; i < 500; ++i) cities.push_back("City " + std::to_string(i));
  for (int i = 0; i < 30; ++i) categories.push_back("Category " + std::to_string(i));

  auto schema = cubemill::provider::ddl::ParseCreateCube(kCreateCube);
  if (!schema.ok()) {
    std::fprintf(stderr, "%s\n", schema.error().description.c_str());
    return 1;
  }
  auto insert = cubemill::provider::ddl::ParseInsertInto(kInsertInto, *schema);
  if (!insert.ok()) {
    std::fprintf(stderr, "%s\n", insert.error().description.c_str());
    return 1;
  }
  aggregate::CubeBuilder builder(*schema, *insert);
  std::vector<Value> row(8);
  std::uint64_t seed = 42;
  auto next = [&seed]() {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(seed >> 33);
  };
  double generate_seconds = 0;
  auto start = std::chrono::steady_clock::now();
  const double add_cpu_start = CpuSeconds();
  for (long i = 0; i < rows; ++i) {
    std::uint32_t city = next() % 500;
    std::uint32_t item = next() % items;
    row[0] = std::string_view(countries[city % 20]);
    row[1] = std::string_view(cities[city]);
    row[2] = std::string_view(categories[item % 30]);
    row[3] = static_cast<std::int64_t>(item);
    row[4] = Date{2000 + static_cast<int>(next() % 5), 1 + next() % 12, 1 + next() % 28};
    row[5] = static_cast<std::int64_t>(next() % 1000);
    row[6] = static_cast<double>(next() % 10000) / 100.0;
    row[7] = static_cast<std::int64_t>(1);
    if (auto error = builder.AddRow(row)) {
      std::fprintf(stderr, "%s\n", error->description.c_str());
      return 1;
    }
  }
  const double add_seconds = Seconds(start) - generate_seconds;
  const double add_cpu = CpuSeconds() - add_cpu_start;
  const double add_peak = PeakMiB();
  auto finish_start = std::chrono::steady_clock::now();
  const double finish_cpu_start = CpuSeconds();
  auto cube = builder.Finish();
  if (!cube.ok()) {
    std::fprintf(stderr, "%s\n", cube.error().description.c_str());
    return 1;
  }
  const double finish_seconds = Seconds(finish_start);
  const double finish_cpu = CpuSeconds() - finish_cpu_start;
  const double finish_peak = PeakMiB();
  auto write_start = std::chrono::steady_clock::now();
  const double write_cpu_start = CpuSeconds();
  BuildInfo info{kCreateCube, kInsertInto, "DSN=bench", "now", rows, "", {}};
  if (auto error = WriteCubeFile(file, *schema, *cube, info)) {
    std::fprintf(stderr, "%s\n", error->description.c_str());
    return 1;
  }
  const double write_seconds = Seconds(write_start);
  const double write_cpu = CpuSeconds() - write_cpu_start;
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("rows: %ld  members: %zu  cells: %zu\n", rows, cube->members.size(),
              cube->cells.size());
  std::printf("AddRow: %.2f s (%.0f rows/s, %.0f ns/row, row generation included)\n", add_seconds,
              static_cast<double>(rows) / add_seconds,
              add_seconds * 1e9 / static_cast<double>(rows));
  std::printf("Finish: %.2f s  WriteCubeFile: %.2f s (%.0f cells/s)\n", finish_seconds,
              write_seconds, static_cast<double>(cube->cells.size()) / write_seconds);
  std::printf("CPU: AddRow %.2f s (%.0f ns/row), Finish %.2f s, WriteCubeFile %.2f s\n", add_cpu,
              add_cpu * 1e9 / static_cast<double>(rows), finish_cpu, write_cpu);
  std::printf("peak RSS after AddRow: %.1f MiB, after Finish: %.1f MiB\n", add_peak, finish_peak);
  std::printf("peak RSS: %.1f MiB (%.1f bytes per cell above 64 MiB)\n",
              static_cast<double>(usage.ru_maxrss) / 1024.0,
              (static_cast<double>(usage.ru_maxrss) * 1024.0 - 64.0 * 1024 * 1024) /
                  static_cast<double>(cube->cells.size()));
  return RollupCosts(*schema, *cube, file, info, write_seconds);
}
