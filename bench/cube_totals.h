// Reads back what a benchmark run wrote (a cube file, a hand-rolled GROUP BY) and compares it
// with the source's totals.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/sales_source.h"

namespace cubemill::bench {

// Totals of a cube file, read through its view cube_flat and its table cube.
struct CubeTotals {
  std::int64_t cells = 0;        // rows of cube_flat
  std::int64_t source_rows = 0;  // cube.source_rows
  std::int64_t quantity = 0;     // SUM("Quantity")
  double amount = 0;             // SUM("Amount")
  std::int64_t sales = 0;        // SUM("Sales"), the COUNT measure
};

// The totals of the cube file at `path`, or nothing after setting `error`.
std::optional<CubeTotals> ReadCubeTotals(const std::string& path, std::string& error);

// The number of rows of the table `cells` in the SQLite file at `path`, or nothing after
// setting `error`.
std::optional<std::int64_t> CountCells(const std::string& path, std::string& error);

// What differs between a cube's totals and its source and peer: one line per mismatch, none
// when everything agrees. SUM(amount) is compared in cents, allowing for the rounding of
// floating-point sums taken in a different order (1e-12 of the total).
std::vector<std::string> CompareTotals(const CubeTotals& cube, const SalesSource& source,
                                       std::int64_t peer_cells);

}  // namespace cubemill::bench
