// The speed benchmark's results and targets, and the tables it prints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/sales_cubes.h"

namespace cubemill::bench {

// Every round of one command.
struct CommandRounds {
  std::vector<double> seconds;      // wall time of each round, in order
  std::vector<double> cpu_seconds;  // user + system CPU time of each round, in order
  long peak_rss_kib = 0;            // the largest peak RSS of any round
  double Fastest() const;           // the fastest round's wall time; 0 before any round
  double LeastCpu() const;          // the smallest CPU time of any round; 0 before any round
};

// What the targets of one cube ask of its build.
struct CubeTargets {
  double max_per_read = 0;               // build time / READ time at most this
  std::optional<double> below_per_peer;  // build time / PEER time below this, when set
  double rss_fixed_mib = 0;              // peak RSS below this
  double rss_bytes_per_cell = 0;         // ... plus this many bytes per cell
};

// The targets of the coarse cube, and of the fine one.
CubeTargets TargetsFor(const SalesCube& cube);

// One cube's measurements: READ and PEER of its SELECT and GROUP BY, BUILD of the cube.
struct CubeMeasurement {
  const SalesCube* cube = nullptr;
  std::int64_t cells = 0;
  CommandRounds read;
  CommandRounds peer;
  CommandRounds build;
};

// Prints the summary table (fastest rounds, ratios and peak RSS with their targets, each marked
// met or MISSED) to `out`. Returns how many targets were missed.
int PrintSummary(std::FILE* out, std::int64_t rows, const std::vector<CubeMeasurement>& cubes);

// Prints every round of every command with its fastest time and peak RSS to `out`.
void PrintRounds(std::FILE* out, const std::vector<CubeMeasurement>& cubes);

// `value` with a comma every three digits: 1,000,000.
std::string Grouped(std::int64_t value);

}  // namespace cubemill::bench
