// The push-down benchmark's jobs and rounds: one job directory per set-up, cube and AGGREGATE
// value, run by the real cubemill program as a scheduler runs it, measured from outside and
// checked against psql.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/pg_report.h"
#include "bench/pg_server.h"
#include "bench/sales_source.h"

namespace cubemill::bench {

class PgRounds {
 public:
  // `cubemill` is the program, `pg_cluster` scripts/pg-cluster.sh, `work` an existing directory
  // for the jobs and logs, `rows` the rows each set-up's table sales holds.
  PgRounds(std::string cubemill, std::string pg_cluster, std::string work, std::int64_t rows);

  // Asks each set-up's server for the table's totals (its row count must be `rows`), the cells
  // of each cube and the groups of its grouped statement, and writes the jobs. Returns false
  // after setting `error`.
  bool Prepare(const std::vector<PgSetup>& setups, std::string& error);

  // Runs every job once: set-up by set-up, cube by cube, the three AGGREGATE values one after
  // the other, starting with the `round`-th (so each goes first in some round). The first
  // round also checks each cube's totals against psql's and compares the CLIENT cube with the
  // SOURCE and AUTO ones. Returns false after setting `error` when a build fails, takes
  // another way than its AGGREGATE says or a check finds a difference.
  bool RunRound(int round, std::string& error);

  const std::vector<PgMeasurement>& Measurements() const { return measurements_; }
  const std::string& ServerVersion() const { return server_version_; }

  // Prints, for the coarse cube and each set-up, the grouped statement the engine sends and
  // EXPLAIN (VERBOSE, COSTS OFF) of it as psqlODBC runs it: as a cursor, WITH HOLD.
  void PrintPlans(std::FILE* out) const;

 private:
  struct Setup {
    PgSetup servers;
    std::string odbc;    // the connection string of the jobs
    SalesSource totals;  // psql's totals of the table
  };

  std::string JobDir(std::size_t setup, std::size_t cube, int way) const;
  bool RunJob(int round, std::size_t setup, std::size_t cube, int way, std::string& error);
  bool CheckCube(std::size_t setup, std::size_t cube, std::string& error);

  std::string cubemill_;
  std::string pg_cluster_;
  std::string work_;
  std::int64_t rows_;
  std::string server_version_;
  std::vector<std::string> grouped_;  // the grouped statement of each cube
  std::vector<Setup> setups_;
  std::vector<PgMeasurement> measurements_;  // set-up by set-up, cube by cube
};

}  // namespace cubemill::bench
