// The push-down benchmark (bench/pg_run.sh starts the servers and runs this): the real cubemill
// program builds the coarse and the fine cube from PostgreSQL through psqlODBC with each job's
// AGGREGATE set to CLIENT, SOURCE and AUTO, in interleaved rounds, from each set-up given (one
// server, or the coordinator of two shards). It measures the wall time, CPU time and peak RSS of
// cubemill and the CPU time of the servers, checks every cube's totals against psql's and the
// CLIENT cube cell by cell against the SOURCE and AUTO ones, and prints the tables and the plan
// of the grouped statement. Run with --help for the options.
#include <getopt.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/pg_report.h"
#include "bench/pg_rounds.h"
#include "bench/pg_server.h"
#include "bench/sales_cubes.h"

namespace fs = std::filesystem;
using namespace cubemill::bench;  // NOLINT

namespace {

constexpr const char* kUsage =
    "usage: cubemill_pg_bench --cubemill PROG --pg-cluster SCRIPT --work DIR --rows N\n"
    "                         --setup LABEL=DIR[,DIR...]... [--rounds R] [--results FILE]\n"
    "                         [--note TEXT]...\n"
    "       cubemill_pg_bench --memory-report FILE\n"
    "Builds the coarse and the fine cube with cubemill from each set-up's PostgreSQL table\n"
    "sales (N rows) with AGGREGATE=CLIENT, SOURCE and AUTO in interleaved rounds, and prints\n"
    "the times, the checks and the plan of the grouped statement.\n"
    "\n"
    "  --cubemill PROG     the cubemill program\n"
    "  --pg-cluster SCRIPT scripts/pg-cluster.sh, for psql\n"
    "  --work DIR          where the jobs, cubes and logs go (must exist)\n"
    "  --rows N            the rows the table holds (checked)\n"
    "  --setup LABEL=DIRS  a set-up: its label and its servers' directories, the one the\n"
    "                      builds connect to first; CPU time is counted over all of them\n"
    "  --rounds R          interleaved rounds (default 3)\n"
    "  --results FILE      append the results to FILE, for --memory-report\n"
    "  --note TEXT         a line to print under the heading\n"
    "  --memory-report F   print the peak RSS by source rows of the results in F, and exit\n";

struct Options {
  std::string cubemill;
  std::string pg_cluster;
  std::string work;
  std::int64_t rows = 0;
  int rounds = 3;
  std::vector<PgSetup> setups;
  std::string results;
  std::vector<std::string> notes;
  std::string memory_report;
};

// Returns 0 when the options were read, or the exit status to end with.
int ParseOptions(int argc, char** argv, Options& options) {
  enum { kCubemill = 256, kPgCluster, kWork, kRows, kSetup, kRounds, kResults, kNote, kMemory };
  static const option kLong[] = {{"cubemill", required_argument, nullptr, kCubemill},
                                 {"pg-cluster", required_argument, nullptr, kPgCluster},
                                 {"work", required_argument, nullptr, kWork},
                                 {"rows", required_argument, nullptr, kRows},
                                 {"setup", required_argument, nullptr, kSetup},
                                 {"rounds", required_argument, nullptr, kRounds},
                                 {"results", required_argument, nullptr, kResults},
                                 {"note", required_argument, nullptr, kNote},
                                 {"memory-report", required_argument, nullptr, kMemory},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
  for (int c; (c = getopt_long(argc, argv, "h", kLong, nullptr)) != -1;) {
    const std::string value = optarg ? optarg : "";
    switch (c) {
      case kCubemill:
        options.cubemill = value;
        break;
      case kPgCluster:
        options.pg_cluster = value;
        break;
      case kWork:
        options.work = value;
        break;
      case kRows:
        options.rows = std::atoll(value.c_str());
        break;
      case kRounds:
        options.rounds = std::atoi(value.c_str());
        break;
      case kResults:
        options.results = value;
        break;
      case kNote:
        options.notes.push_back(value);
        break;
      case kMemory:
        options.memory_report = value;
        break;
      case kSetup: {
        const std::size_t equals = value.find('=');
        if (equals == std::string::npos || equals == 0) return std::fputs(kUsage, stderr), 2;
        PgSetup setup{value.substr(0, equals), {}};
        std::string dirs = value.substr(equals + 1);
        for (std::size_t comma; (comma = dirs.find(',')) != std::string::npos;) {
          setup.dirs.push_back(dirs.substr(0, comma));
          dirs.erase(0, comma + 1);
        }
        setup.dirs.push_back(dirs);
        options.setups.push_back(setup);
        break;
      }
      case 'h':
        std::fputs(kUsage, stdout);
        return -1;
      default:
        std::fputs(kUsage, stderr);
        return 2;
    }
  }
  if (!options.memory_report.empty()) return 0;
  if (optind != argc || options.cubemill.empty() || options.pg_cluster.empty() ||
      options.work.empty() || options.rows <= 0 || options.rounds <= 0 || options.setups.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return 0;
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown CPU";
}

std::string LoadAverage() {
  const std::string line = FirstLine("/proc/loadavg");
  return line.substr(0, line.find(' '));
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseOptions(argc, argv, options)) return status < 0 ? 0 : status;
  if (!options.memory_report.empty()) {
    std::printf("Peak RSS of cubemill by source rows (the largest of any round)\n\n");
    const int missed = PrintMemoryReport(stdout, options.memory_report);
    if (missed < 0) {
      std::fprintf(stderr, "cannot read the results in %s\n", options.memory_report.c_str());
      return 1;
    }
    std::printf(
        "\nTarget: the SOURCE build of the coarse cube (the same cells at every size) stays "
        "flat in source rows.\ntargets missed: %d\n",
        missed);
    return 0;
  }

  PgRounds bench(options.cubemill, options.pg_cluster, options.work, options.rows);
  std::string error;
  if (!bench.Prepare(options.setups, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const ChildRun idle = RunChild({"true"}, options.work + "/true.log");
  const std::string load_at_start = LoadAverage();
  for (int round = 1; round <= options.rounds; ++round) {
    std::fprintf(stderr, "round %d of %d\n", round, options.rounds);
    if (!bench.RunRound(round, error)) {
      std::fprintf(stderr, "%s\nkept %s\n", error.c_str(), options.work.c_str());
      return 1;
    }
  }

  std::printf(
      "Cubemill push-down benchmark: %s rows of sales in PostgreSQL %s, fastest of %d "
      "interleaved rounds\n",
      Grouped(options.rows).c_str(), bench.ServerVersion().c_str(), options.rounds);
  std::printf("machine: %s, %ld cores online, load average %s at the start, %s at the end\n",
              CpuModel().c_str(), sysconf(_SC_NPROCESSORS_ONLN), load_at_start.c_str(),
              LoadAverage().c_str());
  for (const std::string& note : options.notes) std::printf("%s\n", note.c_str());
  std::printf("\n");
  const int missed = PrintPgSummary(stdout, options.rows, bench.Measurements());
  std::printf("\n");
  PrintPgRounds(stdout, bench.Measurements());
  std::printf(
      "\ncells: the cube's leaf cells; groups: the rows the grouped statement returns (leaf "
      "members x days).\n"
      "CLIENT, SOURCE, AUTO: the job's AGGREGATE; the whole cubemill run (--no-wait), cube file "
      "written; it holds the job's one-second pause before the build, which \"builds "
      "only\" takes off.\n"
      "CPU: user + system time of cubemill; server CPU: of the PostgreSQL servers of the set-up "
      "(their backends) in the same round.\n"
      "Targets: coarse SOURCE at least 5x faster than CLIENT; AUTO takes the faster way; peak RSS "
      "flat in source rows (--memory-report).\n"
      "Every cube's totals (SUM(quantity), SUM(amount), COUNT, cells) matched psql's on the "
      "table; CLIENT, SOURCE and AUTO cubes had the same members and cells.\n"
      "Peak RSS is the child's ru_maxrss; a child that runs `true` shows %.1f MiB.\n",
      static_cast<double>(idle.peak_rss_kib) / 1024.0);
  std::printf("targets missed: %d\n", missed);
  bench.PrintPlans(stdout);
  if (!options.results.empty() &&
      !AppendResults(options.results, options.rows, bench.Measurements())) {
    std::fprintf(stderr, "cannot write %s\n", options.results.c_str());
    return 1;
  }
  return 0;
}
