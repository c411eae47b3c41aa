// The push-down benchmark's results and targets, the tables it prints, and the file that keeps
// them across source sizes for the memory table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/sales_cubes.h"
#include "bench/speed_report.h"

namespace cubemill::bench {

// The three values of a job's AGGREGATE key, in the order of the tables.
inline constexpr const char* kAggregateWays[] = {"CLIENT", "SOURCE", "AUTO"};
inline constexpr int kWayCount = 3;

// Every round of one way of building one cube.
struct WayRounds {
  CommandRounds cubemill;                  // wall time, CPU time and peak RSS of cubemill
  std::vector<double> server_cpu_seconds;  // CPU time of the servers during each round
  std::vector<std::string> took;           // "source" or "client", as each build's list said
  double LeastServerCpu() const;           // the smallest server CPU time; 0 before any round
  // The way every round took, "mixed" when they differ, "" before any round.
  std::string Took() const;
};

// One cube built from one set-up in the three ways.
struct PgMeasurement {
  std::string setup;  // "single" or "two shards"
  const SalesCube* cube = nullptr;
  std::int64_t cells = 0;     // leaf cells of the cube
  std::int64_t groups = 0;    // rows the source hands over when it groups them
  WayRounds ways[kWayCount];  // by kAggregateWays
};

// Prints the summary (fastest rounds, CLIENT / SOURCE with its target for the coarse cube, the
// way AUTO took and whether it was the faster one, peak RSS) to `out`. Returns how many targets
// were missed.
int PrintPgSummary(std::FILE* out, std::int64_t rows, const std::vector<PgMeasurement>& cubes);

// Prints every round of every way with its fastest time, least CPU times and peak RSS.
void PrintPgRounds(std::FILE* out, const std::vector<PgMeasurement>& cubes);

// Appends one tab-separated line per way of each cube to the file `path`: rows, set-up, cube,
// way, cells, groups, fastest wall time, least CPU, least server CPU, peak RSS in KiB, the way
// taken. Returns false when the file cannot be written.
bool AppendResults(const std::string& path, std::int64_t rows,
                   const std::vector<PgMeasurement>& cubes);

// Reads the file AppendResults wrote and prints the peak RSS of each way by source rows, with
// the target that the SOURCE build of the coarse cube stays flat in source rows (its cells are
// the same at every size): at most 1.1 times its peak at the fewest rows plus 2 MiB. Returns
// how many targets were missed, or -1 when the file cannot be read.
int PrintMemoryReport(std::FILE* out, const std::string& path);

}  // namespace cubemill::bench
