// The engine's speed benchmark. Generates (or reuses) a sales source of N rows, then runs in
// interleaved rounds, each command as its own child process, for a coarse and a fine cube:
//   READ      the cube's SELECT fetched through the SQLite ODBC driver, nothing kept
//   PEER      the sqlite3 shell writing the same leaf GROUP BY into a fresh file
//   Cubemill  the whole cube build through the engine's connection
// and prints each command's fastest round, the ratios with their targets and the peak RSS. The
// cubes' totals are checked against the source; a mismatch or a failed command exits 1.
// Run with --help for the options.
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/child_process.h"
#include "bench/cube_totals.h"
#include "bench/sales_cubes.h"
#include "bench/sales_source.h"
#include "bench/speed_report.h"

namespace fs = std::filesystem;
using namespace cubemill::bench;  // NOLINT

namespace {

constexpr const char* kUsage =
    "usage: cubemill_speed_bench [OPTION]... [ROWS]\n"
    "Measures the cube engine against reading its source through ODBC (READ) and against\n"
    "the sqlite3 shell computing the same cells (PEER), for a coarse and a fine cube.\n"
    "\n"
    "  --rows N         source rows (default 1000000; ROWS says the same)\n"
    "  --seed S         seed of the generated source (default 1)\n"
    "  --rounds R       interleaved rounds (default 5, 3 above 2,000,000 rows)\n"
    "  --cache-dir DIR  where the source is kept and reused, and the run's files go\n"
    "                   (default: cubemill-speed-bench in the temporary directory)\n"
    "  --sqlite3 PROG   the sqlite3 shell for PEER (default: sqlite3 from PATH)\n"
    "  --programs DIR   where cubemill_bench_read_source and cubemill_bench_build_cube are\n"
    "                   (default: this program's directory)\n"
    "  --rollups N      the build's ROLLUPS (default 0: leaf cells only, as PEER writes;\n"
    "                   \"default\": the engine's default; give that for a build program\n"
    "                   older than stored rollups)\n"
    "  --keep           keep the cubes, GROUP BY files and logs of this run\n"
    "  -h, --help       this text\n";

struct Options {
  std::int64_t rows = 1000000;
  std::uint64_t seed = 1;
  int rounds = 0;  // 0: by size
  std::string cache_dir;
  std::string sqlite3 = "sqlite3";
  std::string programs;
  std::string rollups = "0";  // "default": the build program is not told
  bool keep = false;
};

// Returns 0 when the options were read, or the exit status to end with.
int ParseOptions(int argc, char** argv, Options& options) {
  enum { kRows = 256, kSeed, kRounds, kCacheDir, kSqlite3, kPrograms, kRollups, kKeep };
  static const option kLong[] = {{"rows", required_argument, nullptr, kRows},
                                 {"seed", required_argument, nullptr, kSeed},
                                 {"rounds", required_argument, nullptr, kRounds},
                                 {"cache-dir", required_argument, nullptr, kCacheDir},
                                 {"sqlite3", required_argument, nullptr, kSqlite3},
                                 {"programs", required_argument, nullptr, kPrograms},
                                 {"rollups", required_argument, nullptr, kRollups},
                                 {"keep", no_argument, nullptr, kKeep},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
  std::int64_t number = 0;
  for (int c; (c = getopt_long(argc, argv, "h", kLong, nullptr)) != -1;) {
    switch (c) {
      case kRows:
        if (!ParseNumber(optarg, options.rows)) return std::fputs(kUsage, stderr), 2;
        break;
      case kSeed:
        if (!ParseNumber(optarg, number)) return std::fputs(kUsage, stderr), 2;
        options.seed = static_cast<std::uint64_t>(number);
        break;
      case kRounds:
        if (!ParseNumber(optarg, number) || number > 1000) return std::fputs(kUsage, stderr), 2;
        options.rounds = static_cast<int>(number);
        break;
      case kCacheDir:
        options.cache_dir = optarg;
        break;
      case kSqlite3:
        options.sqlite3 = optarg;
        break;
      case kPrograms:
        options.programs = optarg;
        break;
      case kRollups:
        options.rollups = optarg;
        break;
      case kKeep:
        options.keep = true;
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        return -1;
      default:
        std::fputs(kUsage, stderr);
        return 2;
    }
  }
  if (optind + 1 == argc) {
    if (!ParseNumber(argv[optind], options.rows)) return std::fputs(kUsage, stderr), 2;
  } else if (optind < argc) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (options.rounds == 0) options.rounds = options.rows > 2000000 ? 3 : 5;
  if (options.cache_dir.empty()) {
    options.cache_dir = (fs::temp_directory_path() / "cubemill-speed-bench").string();
  }
  if (options.programs.empty()) {
    options.programs = fs::read_symlink("/proc/self/exe").parent_path().string();
  }
  return 0;
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The version the sqlite3 shell printed into `log`: the first word of its first line.
std::string SqliteVersion(const std::string& log) {
  const std::string line = FirstLine(log);
  return line.substr(0, line.find(' '));
}

// The one-minute load average, as /proc/loadavg gives it.
std::string LoadAverage() {
  const std::string line = FirstLine("/proc/loadavg");
  return line.substr(0, line.find(' '));
}

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("model name", 0) == 0) {
      const auto colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown CPU";
}

// Reads the whole file once, so that the first round does not pay for the disk.
void WarmPageCache(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
}

std::string SqlQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

// Runs one command of a round; prints it on standard error. On failure prints its log and
// returns false.
bool RunCommand(const std::vector<std::string>& argv, const std::string& log, const char* label,
                CommandRounds& rounds) {
  const ChildRun run = RunChild(argv, log);
  if (!run.failure.empty() || run.exit_code != 0) {
    std::fprintf(stderr, "%s failed (%s): %s\n", label,
                 run.failure.empty() ? ("exit status " + std::to_string(run.exit_code)).c_str()
                                     : run.failure.c_str(),
                 log.c_str());
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) std::fprintf(stderr, "  %s\n", line.c_str());
    return false;
  }
  rounds.seconds.push_back(run.seconds);
  rounds.cpu_seconds.push_back(run.cpu_seconds);
  rounds.peak_rss_kib = std::max(rounds.peak_rss_kib, run.peak_rss_kib);
  std::fprintf(stderr, "  %-16s %8.2f s (CPU %6.2f s) %8.1f MiB\n", label, run.seconds,
               run.cpu_seconds, static_cast<double>(run.peak_rss_kib) / 1024.0);
  return true;
}

// After a cube's first round: READ saw every row, the cube's totals are the source's and it has
// as many cells as the GROUP BY. Prints what it found; returns false on any mismatch.
bool CheckFirstRound(const SalesSource& source, const std::string& read_log,
                     const std::string& peer_file, const std::string& cube_file,
                     CubeMeasurement& measurement) {
  const std::string name = measurement.cube->name;
  bool ok = true;
  const std::string read_line = FirstLine(read_log);
  if (read_line.rfind("rows " + std::to_string(source.rows) + " ", 0) != 0) {
    std::fprintf(stderr, "check %s: READ printed \"%s\", expected %lld rows\n", name.c_str(),
                 read_line.c_str(), static_cast<long long>(source.rows));
    ok = false;
  }
  std::string error;
  const auto peer_cells = CountCells(peer_file, error);
  const auto totals = peer_cells ? ReadCubeTotals(cube_file, error) : std::nullopt;
  if (!peer_cells || !totals) {
    std::fprintf(stderr, "check %s: %s\n", name.c_str(), error.c_str());
    return false;
  }
  measurement.cells = totals->cells;
  for (const std::string& mismatch : CompareTotals(*totals, source, *peer_cells)) {
    std::fprintf(stderr, "check %s: %s\n", name.c_str(), mismatch.c_str());
    ok = false;
  }
  std::fprintf(stderr, "check %s: %s cells, SUM(quantity) %lld, SUM(amount) %.2f, COUNT %lld: %s\n",
               name.c_str(), Grouped(totals->cells).c_str(),
               static_cast<long long>(totals->quantity), totals->amount,
               static_cast<long long>(totals->sales), ok ? "as the source" : "MISMATCH");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseOptions(argc, argv, options)) return status < 0 ? 0 : status;

  std::error_code failure;
  fs::create_directories(options.cache_dir, failure);
  if (failure) {
    std::fprintf(stderr, "cannot create %s: %s\n", options.cache_dir.c_str(),
                 failure.message().c_str());
    return 1;
  }
  const std::string read_program = options.programs + "/cubemill_bench_read_source";
  const std::string build_program = options.programs + "/cubemill_bench_build_cube";
  for (const std::string& program : {read_program, build_program}) {
    if (access(program.c_str(), X_OK) != 0) {
      std::fprintf(stderr, "cannot run %s (build the bench targets, or use --programs)\n",
                   program.c_str());
      return 1;
    }
  }

  std::fprintf(stderr, "source: %lld rows, seed %llu, in %s\n",
               static_cast<long long>(options.rows), static_cast<unsigned long long>(options.seed),
               options.cache_dir.c_str());
  std::string error;
  const auto source = EnsureSalesSource(options.cache_dir, options.rows, options.seed, error);
  if (!source) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const double source_mib = static_cast<double>(fs::file_size(source->path)) / (1024.0 * 1024.0);
  if (source->reused) {
    std::fprintf(stderr, "source: %s (reused, %.0f MiB)\n", source->path.c_str(), source_mib);
  } else {
    std::fprintf(stderr, "source: %s (generated in %.1f s, %.0f MiB)\n", source->path.c_str(),
                 source->generate_seconds, source_mib);
  }

  const fs::path work = fs::path(options.cache_dir) / ("run-" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work / "logs");
  const std::string version_log = (work / "logs" / "sqlite3-version.log").string();
  const ChildRun version = RunChild({options.sqlite3, "-version"}, version_log);
  if (!version.failure.empty() || version.exit_code != 0) {
    std::fprintf(
        stderr, "cannot run %s: %s\n", options.sqlite3.c_str(),
        version.failure.empty() ? FirstLine(version_log).c_str() : version.failure.c_str());
    fs::remove_all(work);
    return 1;
  }
  const ChildRun idle = RunChild({"true"}, (work / "logs" / "true.log").string());
  WarmPageCache(source->path);
  const std::string load_at_start = LoadAverage();

  std::vector<CubeMeasurement> cubes;
  for (const SalesCube* cube : kSalesCubes) cubes.push_back(CubeMeasurement{cube, 0, {}, {}, {}});
  for (int round = 1; round <= options.rounds; ++round) {
    std::fprintf(stderr, "round %d of %d\n", round, options.rounds);
    for (CubeMeasurement& m : cubes) {
      const std::string name = m.cube->name;
      const std::string prefix = (work / "logs" / ("round" + std::to_string(round) + "-")).string();
      const std::string peer_file = (work / (name + "-peer.db")).string();
      const std::string cube_file = (work / (name + ".cub")).string();
      const std::string read_log = prefix + name + "-read.log";
      fs::remove(peer_file);
      fs::remove(cube_file);
      // By default the build writes the leaf cells alone, as PEER does; stored rollups are
      // measured with --rollups.
      std::vector<std::string> build_command = {build_program, name, source->path, cube_file};
      if (options.rollups != "default") build_command.push_back(options.rollups);
      const std::string peer_sql = "ATTACH " + SqlQuoted(source->path) +
                                   " AS src; CREATE TABLE cells AS " + m.cube->peer_select + ";";
      if (!RunCommand({read_program, name, source->path}, read_log, ("READ " + name).c_str(),
                      m.read) ||
          !RunCommand({options.sqlite3, "-bail", peer_file, peer_sql}, prefix + name + "-peer.log",
                      ("PEER " + name).c_str(), m.peer) ||
          !RunCommand(build_command, prefix + name + "-build.log", ("Cubemill " + name).c_str(),
                      m.build)) {
        std::fprintf(stderr, "kept %s\n", work.c_str());
        return 1;
      }
      if (round == 1 && !CheckFirstRound(*source, read_log, peer_file, cube_file, m)) {
        std::fprintf(stderr, "kept %s\n", work.c_str());
        return 1;
      }
    }
  }

  std::printf(
      "Cubemill speed benchmark: %s source rows (seed %llu), fastest of %d interleaved "
      "rounds\n",
      Grouped(source->rows).c_str(), static_cast<unsigned long long>(source->seed), options.rounds);
  std::printf(
      "machine: %s, %ld cores online, load average %s at the start, %s at the end; "
      "SQLite %s\n\n",
      CpuModel().c_str(), sysconf(_SC_NPROCESSORS_ONLN), load_at_start.c_str(),
      LoadAverage().c_str(), SqliteVersion(version_log).c_str());
  const int missed = PrintSummary(stdout, source->rows, cubes);
  std::printf("\n");
  PrintRounds(stdout, cubes);
  std::printf(
      "\nREAD: the cube's SELECT through the SQLite ODBC driver (StepAPI=1, 1024-row column-wise "
      "text blocks), nothing kept.\n"
      "PEER: sqlite3 shell, CREATE TABLE cells AS SELECT ... GROUP BY (leaf cells) into a fresh "
      "file.\n"
      "Cubemill: the whole build through the engine's connection (Open/Close), cube file "
      "written and synced.\n"
      "Targets: coarse within 1.1x READ, under 32 MiB; fine within 1.3x READ, faster than PEER, "
      "under 64 B per cell + 64 MiB.\n"
      "Every cube's totals (SUM(quantity), SUM(amount), COUNT, cells) matched the source's and "
      "the GROUP BY's.\n"
      "Peak RSS is the child's ru_maxrss; a child that runs `true` shows %.1f MiB (this "
      "harness's %.1f MiB).\n",
      static_cast<double>(idle.peak_rss_kib) / 1024.0,
      static_cast<double>(OwnPeakRssKib()) / 1024.0);
  std::printf("targets missed: %d\n", missed);

  if (options.keep) {
    std::fprintf(stderr, "kept %s\n", work.c_str());
  } else {
    fs::remove_all(work);
  }
  return 0;
}
