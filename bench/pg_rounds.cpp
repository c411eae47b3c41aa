#include "bench/pg_rounds.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "bench/child_process.h"
#include "bench/cube_compare.h"
#include "bench/cube_totals.h"
#include "bench/sales_cubes.h"
#include "provider/connection/source_aggregation.h"
#include "provider/ddl/create_cube_parser.h"
#include "provider/ddl/insert_into_parser.h"

namespace cubemill::bench {
namespace {

namespace fs = std::filesystem;

// The columns that make a cube's leaf cells in PostgreSQL: the month and the level columns.
std::string LeafColumns(const SalesCube& cube) {
  return &cube == &kCoarseCube ? "date_trunc('month', sale_date), country, category"
                               : "date_trunc('month', sale_date), country, city, category, product";
}

// The rows of psql's unaligned output, split into fields.
std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, kPsqlSeparator);) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

// The one row of `sql` on the first server of `setup`, with `fields` fields, or an empty row
// after setting `error`.
std::vector<std::string> OneRow(const std::string& pg_cluster, const PgSetup& setup,
                                const std::string& sql, std::size_t fields, std::string& error) {
  const PsqlOutput output = Psql(pg_cluster, setup.dirs.front(), sql);
  const auto rows = Rows(output.text);
  if (!output.ok || rows.size() != 1 || rows[0].size() != fields) {
    error = setup.label + ": psql " + sql + ":\n" + output.text;
    return {};
  }
  return rows[0];
}

// The statements the engine may send for `cube` when the source groups the rows, made by the
// engine's own parsers: grouped by date first and by period at once where it groups by period
// (connection::PeriodGroupingStatements), else its one grouped statement; empty after setting
// `error`.
std::vector<std::string> GroupedWays(const SalesCube& cube, std::string& error) {
  auto schema = provider::ddl::ParseCreateCube(cube.create_cube);
  if (!schema) {
    error = schema.error().description;
    return {};
  }
  auto insert = provider::ddl::ParseInsertInto(cube.insert_into, *schema);
  if (!insert) {
    error = insert.error().description;
    return {};
  }
  // The sales table's measures are INTEGER and NUMERIC, which the engine's survey finds the
  // server sums at least as precisely as it would itself (SourceSum::kPrecise).
  const std::vector<provider::SourceSum> sums(insert->columns.size(),
                                              provider::SourceSum::kPrecise);
  std::vector<std::string> ways =
      provider::connection::PeriodGroupingStatements(*insert, *schema, sums);
  if (ways.empty()) {
    ways.push_back(provider::connection::GroupedSelect(
        *insert, *schema, provider::source::PostgresDialect(),
        provider::connection::PeriodGrouping::kAfterDates, sums));
  }
  return ways;
}

// The total cost of the first line of an EXPLAIN: the number after "..".
std::optional<double> PlannedCost(const std::string& plan) {
  const std::size_t at = plan.find("..");
  if (at == std::string::npos || at > plan.find('\n')) return std::nullopt;
  double cost = 0;
  const auto [end, failure] =
      std::from_chars(plan.data() + at + 2, plan.data() + plan.size(), cost);
  if (failure != std::errc() || end == plan.data() + at + 2) return std::nullopt;
  return cost;
}

// Writes `path` whole.
bool WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.flush();
  return static_cast<bool>(file);
}

// Writes the job "Job" into the directory `dir`: cubemill.ini with AGGREGATE=`way` and the OQY
// file that builds `cube` from `odbc`, as a user writes them. The OQY file holds the password, as
// every OQY file of a source with one does: the directory is its owner's alone.
bool WriteJob(const fs::path& dir, const SalesCube& cube, const std::string& way,
              const std::string& odbc) {
  std::error_code failure;
  fs::create_directories(dir / "log", failure);
  if (failure) return false;
  fs::permissions(dir, fs::perms::owner_all, failure);
  std::string create_cube = cube.create_cube;
  if (create_cube.back() != ';') create_cube += ';';
  return !failure &&
         WriteFile(dir / "cubemill.ini", "[Job]\r\nOQY=job.oqy\r\nGLOBAL=G\r\nAGGREGATE=" + way +
                                             "\r\n[G]\r\nLOGDIR=log\r\n") &&
         WriteFile(dir / "job.oqy",
                   "Connection=Provider=MSOLAP;Data Source=" + std::string(cube.name) +
                       ".cub;CreateCube=" + create_cube + "InsertInto=" + cube.insert_into +
                       ";Source_DSN=\"" + odbc + "\";\r\n");
}

// The way a build's progress list in `log` says it aggregated ("source" or "client", the last
// one said), and the line of AUTO's fallback in `fallback`.
std::string WayTaken(const std::string& log, std::string& fallback) {
  std::ifstream in(log);
  std::string way;
  const std::string prefix = "Aggregation: ";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(prefix, 0) != 0) continue;
    const std::string rest = line.substr(prefix.size());
    if (rest == "source" || rest == "client") {
      way = rest;
    } else {
      fallback = line;
    }
  }
  return way;
}

// Prints the lines of `text`, each indented by four blanks.
void PrintIndented(std::FILE* out, const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) std::fprintf(out, "    %s\n", line.c_str());
}

}  // namespace

PgRounds::PgRounds(std::string cubemill, std::string pg_cluster, std::string work,
                   std::int64_t rows)
    : cubemill_(std::move(cubemill)),
      pg_cluster_(std::move(pg_cluster)),
      work_(std::move(work)),
      rows_(rows) {}

bool PgRounds::Prepare(const std::vector<PgSetup>& setups, std::string& error) {
  for (const SalesCube* cube : kSalesCubes) {
    const std::vector<std::string> ways = GroupedWays(*cube, error);
    if (ways.empty()) return false;
    grouped_.push_back(ways.front());  // every way makes the same groups
  }
  const auto version = OneRow(pg_cluster_, setups.front(), "SHOW server_version", 1, error);
  if (version.empty()) return false;
  server_version_ = version[0].substr(0, version[0].find(' '));

  for (std::size_t s = 0; s < setups.size(); ++s) {
    Setup setup{setups[s], OdbcConnection(setups[s].dirs.front(), error), {}};
    if (setup.odbc.empty()) return false;
    const auto totals = OneRow(pg_cluster_, setup.servers,
                               "SELECT COUNT(*), SUM(quantity), (SUM(amount) * 100)::bigint "
                               "FROM sales",
                               3, error);
    if (totals.empty()) return false;
    setup.totals.rows = std::stoll(totals[0]);
    setup.totals.quantity_total = std::stoll(totals[1]);
    setup.totals.amount_cents_total = std::stoll(totals[2]);
    if (setup.totals.rows != rows_) {
      error = setup.servers.label + ": the table sales holds " + totals[0] + " rows, not " +
              std::to_string(rows_);
      return false;
    }
    std::fprintf(stderr, "%s: %s rows, SUM(quantity) %s, SUM(amount) %lld.%02lld\n",
                 setup.servers.label.c_str(), Grouped(setup.totals.rows).c_str(), totals[1].c_str(),
                 static_cast<long long>(setup.totals.amount_cents_total / 100),
                 static_cast<long long>(setup.totals.amount_cents_total % 100));
    for (std::size_t c = 0; c < std::size(kSalesCubes); ++c) {
      const SalesCube& cube = *kSalesCubes[c];
      PgMeasurement measurement;
      measurement.setup = setup.servers.label;
      measurement.cube = &cube;
      const auto cells = OneRow(
          pg_cluster_, setup.servers,
          "SELECT COUNT(*) FROM (SELECT 1 FROM sales GROUP BY " + LeafColumns(cube) + ") AS cells",
          1, error);
      if (cells.empty()) return false;
      measurement.cells = std::stoll(cells[0]);
      // The groups are the same in every set-up: asked of the first.
      if (s == 0) {
        const auto groups =
            OneRow(pg_cluster_, setup.servers,
                   "SELECT COUNT(*) FROM (" + grouped_[c] + ") AS groups", 1, error);
        if (groups.empty()) return false;
        measurement.groups = std::stoll(groups[0]);
      } else {
        measurement.groups = measurements_[c].groups;
      }
      std::fprintf(stderr, "%s, %s cube: %s cells, %s groups\n", setup.servers.label.c_str(),
                   cube.name, Grouped(measurement.cells).c_str(),
                   Grouped(measurement.groups).c_str());
      measurements_.push_back(measurement);
      for (int way = 0; way < kWayCount; ++way) {
        if (!WriteJob(JobDir(s, c, way), cube, kAggregateWays[way], setup.odbc)) {
          error = "cannot write the job in " + JobDir(s, c, way);
          return false;
        }
      }
    }
    setups_.push_back(setup);
  }
  fs::create_directories(fs::path(work_) / "logs");
  return true;
}

std::string PgRounds::JobDir(std::size_t setup, std::size_t cube, int way) const {
  return (fs::path(work_) / "jobs" /
          ("setup" + std::to_string(setup + 1) + "-" + kSalesCubes[cube]->name + "-" +
           kAggregateWays[way]))
      .string();
}

bool PgRounds::RunRound(int round, std::string& error) {
  for (std::size_t s = 0; s < setups_.size(); ++s) {
    for (std::size_t c = 0; c < std::size(kSalesCubes); ++c) {
      for (int k = 0; k < kWayCount; ++k) {
        if (!RunJob(round, s, c, (k + round - 1) % kWayCount, error)) return false;
      }
      if (round == 1 && !CheckCube(s, c, error)) return false;
    }
  }
  return true;
}

bool PgRounds::RunJob(int round, std::size_t s, std::size_t c, int way, std::string& error) {
  const Setup& setup = setups_[s];
  const SalesCube& cube = *kSalesCubes[c];
  const std::string label = setup.servers.label + " " + cube.name + " " + kAggregateWays[way];
  const fs::path dir = JobDir(s, c, way);
  const std::string log =
      (fs::path(work_) / "logs" /
       ("round" + std::to_string(round) + "-" + dir.filename().string() + ".log"))
          .string();
  fs::remove(dir / (std::string(cube.name) + ".cub"));
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  WaitForBackends(setup.servers.dirs, 10.0);  // psql's, or the last build's
  const double server_before = ServerCpuSeconds(setup.servers.dirs);
  const ChildRun run = RunChild({cubemill_, "--no-wait", "Job"}, log);
  fs::current_path(back);
  if (!WaitForBackends(setup.servers.dirs, 10.0))
    std::fprintf(stderr, "  %s: a backend still runs 10 s after the build\n", label.c_str());
  const double server_after = ServerCpuSeconds(setup.servers.dirs);

  if (!run.failure.empty() || run.exit_code != 0) {
    error = label + " failed (" +
            (run.failure.empty() ? "exit status " + std::to_string(run.exit_code) : run.failure) +
            "), see " + log;
    return false;
  }
  std::string fallback;
  const std::string took = WayTaken(log, fallback);
  const std::string expected = way == 0 ? "client" : way == 1 ? "source" : took;
  if (took.empty() || took != expected) {
    error = label + ": the build said \"Aggregation: " + took + "\", see " + log;
    return false;
  }
  if (!fallback.empty()) std::fprintf(stderr, "  %s: %s\n", label.c_str(), fallback.c_str());
  WayRounds& rounds = measurements_[s * std::size(kSalesCubes) + c].ways[way];
  rounds.cubemill.seconds.push_back(run.seconds);
  rounds.cubemill.cpu_seconds.push_back(run.cpu_seconds);
  rounds.cubemill.peak_rss_kib = std::max(rounds.cubemill.peak_rss_kib, run.peak_rss_kib);
  const double server = server_before < 0 || server_after < 0 ? 0 : server_after - server_before;
  rounds.server_cpu_seconds.push_back(server);
  rounds.took.push_back(took);
  std::fprintf(stderr, "  %-26s %8.2f s (CPU %6.2f s, server CPU %6.2f s) %7.1f MiB, %s\n",
               label.c_str(), run.seconds, run.cpu_seconds, server,
               static_cast<double>(run.peak_rss_kib) / 1024.0, took.c_str());
  return true;
}

bool PgRounds::CheckCube(std::size_t s, std::size_t c, std::string& error) {
  const Setup& setup = setups_[s];
  const SalesCube& cube = *kSalesCubes[c];
  const PgMeasurement& measurement = measurements_[s * std::size(kSalesCubes) + c];
  const std::string name = setup.servers.label + " " + cube.name;
  std::string files[kWayCount];
  bool ok = true;
  for (int way = 0; way < kWayCount; ++way) {
    files[way] = (fs::path(JobDir(s, c, way)) / (std::string(cube.name) + ".cub")).string();
    const auto totals = ReadCubeTotals(files[way], error);
    if (!totals) return false;
    const auto mismatches = CompareTotals(*totals, setup.totals, measurement.cells);
    for (const std::string& mismatch : mismatches)
      std::fprintf(stderr, "check %s %s: %s\n", name.c_str(), kAggregateWays[way],
                   mismatch.c_str());
    std::fprintf(
        stderr, "check %s %s: %s cells, SUM(quantity) %lld, SUM(amount) %.2f, COUNT %lld: %s\n",
        name.c_str(), kAggregateWays[way], Grouped(totals->cells).c_str(),
        static_cast<long long>(totals->quantity), totals->amount,
        static_cast<long long>(totals->sales), mismatches.empty() ? "as psql's" : "MISMATCH");
    ok = ok && mismatches.empty();
  }
  for (int way = 1; way < kWayCount; ++way) {
    const auto comparison = CompareCubes(files[0], files[way], "Sales", error);
    if (!comparison) return false;
    for (const std::string& mismatch : comparison->mismatches)
      std::fprintf(stderr, "check %s CLIENT and %s: %s\n", name.c_str(), kAggregateWays[way],
                   mismatch.c_str());
    std::fprintf(stderr,
                 "check %s CLIENT and %s: %s members, %s cells compared; %s reals differ, by at "
                 "most %.0f units in the last place: %s\n",
                 name.c_str(), kAggregateWays[way], Grouped(comparison->members).c_str(),
                 Grouped(comparison->cells).c_str(), Grouped(comparison->reals_differing).c_str(),
                 comparison->max_ulps,
                 comparison->mismatch_count == 0
                     ? "the same"
                     : (Grouped(comparison->mismatch_count) + " MISMATCHES").c_str());
    ok = ok && comparison->mismatch_count == 0;
  }
  if (!ok) error = name + ": the cubes differ from psql's totals or from each other";
  return ok;
}

void PgRounds::PrintPlans(std::FILE* out) const {
  std::string error;
  const std::vector<std::string> ways = GroupedWays(kCoarseCube, error);
  for (const Setup& setup : setups_) {
    const std::string& dir = setup.servers.dirs.front();
    // The way the engine picks from the planner's costs (connection::ChoosePeriodGrouping).
    provider::SourceFacts facts{"PostgreSQL", {}, {}, {}};
    for (const std::string& way : ways)
      facts.costs.push_back(PlannedCost(Psql(pg_cluster_, dir, "EXPLAIN " + way).text));
    const bool periods_only =
        ways.size() == 2 && provider::connection::ChoosePeriodGrouping(facts) ==
                                provider::connection::PeriodGrouping::kPeriodsOnly;
    // Its planned groups are few enough for the build to read them whole, without a cursor
    // (connection::ReadGroupsWhole): the server plans the statement as psql sends it.
    const std::string& sql = ways[periods_only ? 1 : 0];
    const PsqlOutput plan = Psql(pg_cluster_, dir, "EXPLAIN (VERBOSE, COSTS OFF) " + sql);
    std::fprintf(out,
                 "\nEXPLAIN (VERBOSE, COSTS OFF) of the coarse cube's grouped statement on %s, "
                 "as the engine sends it",
                 setup.servers.label.c_str());
    if (ways.size() == 2 && facts.costs[0] && facts.costs[1]) {
      std::fprintf(out, " (planned costs: by date first %.0f, by month at once %.0f)",
                   *facts.costs[0], *facts.costs[1]);
    }
    std::fprintf(out, ":\n\n");
    PrintIndented(out, sql);
    std::fprintf(out, "\n");
    PrintIndented(out, plan.text);
  }
}

}  // namespace cubemill::bench
