// The refresh benchmark. Takes the generated sales source of N rows (made or reused as the
// speed benchmark does), and a copy of it with N/100 new rows appended past its last day (the
// first N/100 rows again, their days moved into the first week of the next year). For the coarse
// and the fine cube it builds once, from the N rows, a base cube by the refresh column sale_date;
// then, in interleaved rounds, each as its own child process:
//   full         the whole build of the N + N/100 rows (as the speed benchmark's Cubemill)
//   incremental  REFRESH=INCREMENTAL=sale_date from the base cube: the new rows merged into it
// checks that the incremental run was one (its info message) and that the two cubes are equal bit
// for bit (members and every cell), and prints the fastest round of each with the time of each
// stage of the build (the engine's stage times, asked for with CUBEMILL_STAGE_TIMES).
// Target: the incremental run within 5 % of the full build's time plus the time of writing the
// cube file. Run with --help for the options.
#include <getopt.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/child_process.h"
#include "bench/cube_compare.h"
#include "bench/sales_cubes.h"
#include "bench/sales_source.h"
#include "bench/speed_report.h"

namespace fs = std::filesystem;
using namespace cubemill::bench;  // NOLINT

namespace {

constexpr const char* kUsage =
    "usage: cubemill_refresh_bench [OPTION]... [ROWS]\n"
    "Measures an incremental refresh (1% new rows merged into the cube of the others) against\n"
    "a full build of all the rows, for a coarse and a fine cube.\n"
    "\n"
    "  --rows N         rows of the base source (default 1000000; ROWS says the same)\n"
    "  --seed S         seed of the generated source (default 1)\n"
    "  --rounds R       interleaved rounds (default 3, 2 above 2,000,000 rows)\n"
    "  --cache-dir DIR  where the sources are kept and reused, and the run's files go\n"
    "                   (default: cubemill-speed-bench in the temporary directory)\n"
    "  --programs DIR   where cubemill_bench_build_cube and cubemill_bench_refresh_cube are\n"
    "                   (default: this program's directory)\n"
    "  --rollups N      the builds' ROLLUPS (default: the engine's default budget)\n"
    "  --index          give the grown source an index on sale_date, the refresh column\n"
    "  --before DIR     also run DIR/cubemill_bench_refresh_cube (an earlier build) in each\n"
    "                   round, from the same base: before and after side by side\n"
    "  --keep           keep the cubes and logs of this run\n"
    "  -h, --help       this text\n";

// The stages the engine times, in order, as the table names them.
constexpr const char* kStages[] = {"base", "plan", "seed", "rows", "finish", "rollups", "write"};

struct Options {
  std::int64_t rows = 1000000;
  std::uint64_t seed = 1;
  int rounds = 0;
  std::string cache_dir;
  std::string programs;
  std::string rollups;  // "": the engine's default
  bool keep = false;
  bool index = false;
  std::string before;  // an earlier build's programs, "" for none
};

int ParseOptions(int argc, char** argv, Options& options) {
  enum { kRows = 256, kSeed, kRounds, kCacheDir, kPrograms, kRollups, kKeep, kIndex, kBefore };
  static const option kLong[] = {{"rows", required_argument, nullptr, kRows},
                                 {"seed", required_argument, nullptr, kSeed},
                                 {"rounds", required_argument, nullptr, kRounds},
                                 {"cache-dir", required_argument, nullptr, kCacheDir},
                                 {"programs", required_argument, nullptr, kPrograms},
                                 {"rollups", required_argument, nullptr, kRollups},
                                 {"keep", no_argument, nullptr, kKeep},
                                 {"index", no_argument, nullptr, kIndex},
                                 {"before", required_argument, nullptr, kBefore},
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
        if (!ParseNumber(optarg, number)) return std::fputs(kUsage, stderr), 2;
        options.rounds = static_cast<int>(number);
        break;
      case kCacheDir:
        options.cache_dir = optarg;
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
      case kIndex:
        options.index = true;
        break;
      case kBefore:
        options.before = optarg;
        break;
      case 'h':
        std::fputs(kUsage, stdout);
        return -1;
      default:
        std::fputs(kUsage, stderr);
        return 2;
    }
  }
  if (optind < argc && !ParseNumber(argv[optind], options.rows))
    return std::fputs(kUsage, stderr), 2;
  if (options.rounds == 0) options.rounds = options.rows > 2000000 ? 2 : 3;
  if (options.cache_dir.empty())
    options.cache_dir = (fs::temp_directory_path() / "cubemill-speed-bench").string();
  if (options.programs.empty())
    options.programs = fs::canonical("/proc/self/exe").parent_path().string();
  return 0;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

void WarmPageCache(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
}

bool Exec(sqlite3* db, const std::string& sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message != nullptr ? message : "unknown SQLite error";
  sqlite3_free(message);
  return false;
}

// The source with `extra` rows appended past the last day of `base` (with an index on sale_date
// when `index`): a copy made once, under a temporary name renamed when complete, and reused while
// its name fits.
std::string EnsureGrownSource(const SalesSource& base, std::int64_t extra, bool index,
                              std::string& error) {
  const fs::path dir = fs::path(base.path).parent_path();
  const std::string name = "refresh-" + std::to_string(base.rows) + "-seed" +
                           std::to_string(base.seed) + "-plus" + std::to_string(extra) +
                           (index ? "-indexed" : "") + ".db";
  const std::string path = (dir / name).string();
  if (fs::exists(path) && base.generate_seconds <= 0.0) return path;
  const std::string temporary = path + ".part";
  std::error_code failed;
  fs::copy_file(base.path, temporary, fs::copy_options::overwrite_existing, failed);
  if (failed) {
    error = "cannot copy " + base.path + ": " + failed.message();
    return "";
  }
  sqlite3* db = nullptr;
  bool done = sqlite3_open(temporary.c_str(), &db) == SQLITE_OK &&
              Exec(db,
                   "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN;"
                   "INSERT INTO sales SELECT date('2024-01-01', '+' || (rowid % 7) || ' days'),"
                   " city_id, country, city, category, product, quantity, amount FROM sales"
                   " WHERE rowid <= " +
                       std::to_string(extra) + " ORDER BY rowid; COMMIT;" +
                       (index ? "CREATE INDEX sales_sale_date ON sales(sale_date);" : ""),
                   error);
  if (db == nullptr || (!done && error.empty())) error = "cannot open " + temporary;
  sqlite3_close(db);
  if (done) fs::rename(temporary, path, failed);
  if (done && failed) error = "cannot rename " + temporary + ": " + failed.message(), done = false;
  if (!done) fs::remove(temporary, failed);
  return done ? path : "";
}

// One timed run of a command: the child's times and the stages the engine reported.
struct Run {
  ChildRun child;
  std::map<std::string, double> stages;
  std::string log_text;
};

Run RunTimed(const std::vector<std::string>& argv, const std::string& log) {
  fs::remove(log);
  Run run;
  run.child = RunChild(argv, log);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  run.log_text = text.str();
  std::istringstream lines(run.log_text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string cubemill, stage, name;
    double seconds = 0;
    if (words >> cubemill >> stage >> name >> seconds && cubemill == "cubemill" && stage == "stage")
      run.stages[name] += seconds;
  }
  return run;
}

bool Failed(const Run& run, const std::string& what) {
  if (run.child.exit_code == 0 && run.child.failure.empty()) return false;
  std::fprintf(stderr, "%s failed (exit %d%s%s):\n%s\n", what.c_str(), run.child.exit_code,
               run.child.failure.empty() ? "" : ", ", run.child.failure.c_str(),
               run.log_text.c_str());
  return true;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

std::string Stage(const Run& run, const char* stage) {
  auto found = run.stages.find(stage);
  return found == run.stages.end() ? "-" : Seconds(found->second);
}

// What the rounds of one cube gave.
struct CubeRounds {
  const SalesCube* cube = nullptr;
  Run base;
  std::vector<Run> full, incremental, before;  // before: the earlier build's, when asked
  std::int64_t cells = 0;
  bool equal = false;
};

const Run& Fastest(const std::vector<Run>& runs) {
  return *std::min_element(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
    return a.child.seconds < b.child.seconds;
  });
}

// Prints the tables; returns the number of targets missed.
int Report(const std::vector<CubeRounds>& cubes) {
  int missed = 0;
  std::printf(
      "| cube | cells | full build | incremental | of which: base read | plan | seed | new rows "
      "| finish | rollups | write | incremental / full | target: < 5%% of full + write |\n"
      "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
  for (const CubeRounds& c : cubes) {
    const Run& full = Fastest(c.full);
    for (const auto* runs : {&c.before, &c.incremental}) {
      if (runs->empty()) continue;
      const Run& incremental = Fastest(*runs);
      const double write = incremental.stages.count("write") ? incremental.stages.at("write") : 0;
      const double target = 0.05 * full.child.seconds + write;
      const bool met = incremental.child.seconds < target;
      if (runs == &c.incremental) missed += met ? 0 : 1;
      std::printf("| %s%s | %s | %s | %s", c.cube->name, runs == &c.before ? ", before" : "",
                  Grouped(c.cells).c_str(), Seconds(full.child.seconds).c_str(),
                  Seconds(incremental.child.seconds).c_str());
      for (const char* stage : kStages) std::printf(" | %s", Stage(incremental, stage).c_str());
      std::printf(" | %.3f | %s (%s) |\n", incremental.child.seconds / full.child.seconds,
                  Seconds(target).c_str(), met ? "met" : "MISSED");
    }
  }
  std::printf(
      "\n| cube | command | rounds (wall time, s, in order) | least CPU | peak RSS | stages of "
      "the fastest round |\n|---|---|---|---:|---:|---|\n");
  for (const CubeRounds& c : cubes) {
    for (const auto* runs : {&c.full, &c.before, &c.incremental}) {
      if (runs->empty()) continue;
      std::string walls, stages;
      double cpu = 1e300;
      long rss = 0;
      for (const Run& run : *runs) {
        char wall[32];
        std::snprintf(wall, sizeof wall, "%s%.2f", walls.empty() ? "" : ", ", run.child.seconds);
        walls += wall;
        cpu = std::min(cpu, run.child.cpu_seconds);
        rss = std::max(rss, run.child.peak_rss_kib);
      }
      for (const auto& [name, seconds] : Fastest(*runs).stages)
        stages += (stages.empty() ? "" : ", ") + name + " " + Seconds(seconds);
      std::printf("| %s | %s | %s | %s | %.1f MiB | %s |\n", c.cube->name,
                  runs == &c.full     ? "full"
                  : runs == &c.before ? "incremental, before"
                                      : "incremental",
                  walls.c_str(), Seconds(cpu).c_str(), static_cast<double>(rss) / 1024.0,
                  stages.c_str());
    }
  }
  return missed;
}

// Checks the first round of a cube: the refresh was incremental and its cube equals the full
// build's. False when not.
bool CheckRound(CubeRounds& c, const Run& incremental, const std::string& full_file,
                const std::string& incremental_file) {
  if (incremental.log_text.find("Refresh: incremental from") == std::string::npos) {
    std::fprintf(stderr, "check %s: the refresh was not incremental:\n%s\n", c.cube->name,
                 incremental.log_text.c_str());
    return false;
  }
  std::string error;
  const auto comparison = CompareCubes(full_file, incremental_file, "Sales", error);
  if (!comparison) {
    std::fprintf(stderr, "check %s: %s\n", c.cube->name, error.c_str());
    return false;
  }
  for (const std::string& mismatch : comparison->mismatches)
    std::fprintf(stderr, "check %s: %s\n", c.cube->name, mismatch.c_str());
  c.cells = comparison->cells;
  c.equal = comparison->mismatch_count == 0 && comparison->reals_differing == 0;
  std::fprintf(
      stderr, "check %s: %s members, %s cells compared, %s reals not equal bit for bit: %s\n",
      c.cube->name, Grouped(comparison->members).c_str(), Grouped(comparison->cells).c_str(),
      Grouped(comparison->reals_differing).c_str(), c.equal ? "equal" : "NOT EQUAL");
  return c.equal;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int parsed = ParseOptions(argc, argv, options); parsed != 0)
    return parsed < 0 ? 0 : parsed;
  std::error_code ignored;
  fs::create_directories(options.cache_dir, ignored);
  std::string error;
  const auto source = EnsureSalesSource(options.cache_dir, options.rows, options.seed, error);
  if (!source) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  const std::int64_t extra = std::max<std::int64_t>(1, options.rows / 100);
  const std::string grown = EnsureGrownSource(*source, extra, options.index, error);
  if (grown.empty()) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  const fs::path work = fs::path(options.cache_dir) / ("refresh-run-" + std::to_string(getpid()));
  fs::create_directories(work);
  setenv("CUBEMILL_STAGE_TIMES", "1", 1);
  const std::string build = options.programs + "/cubemill_bench_build_cube";
  const std::string refresh = options.programs + "/cubemill_bench_refresh_cube";
  auto with_rollups = [&options](std::vector<std::string> command) {
    if (!options.rollups.empty()) command.push_back(options.rollups);
    return command;
  };
  WarmPageCache(source->path);
  std::vector<CubeRounds> cubes;
  for (const SalesCube* cube : kSalesCubes) {
    CubeRounds c;
    c.cube = cube;
    const std::string base = (work / (std::string(cube->name) + "-base.cube")).string();
    c.base = RunTimed(with_rollups({refresh, cube->name, source->path, base, "-"}),
                      (work / "base.log").string());
    if (Failed(c.base, std::string("base build of ") + cube->name)) return 1;
    std::fprintf(stderr, "%s: base cube of %s rows built in %s\n", cube->name,
                 Grouped(options.rows).c_str(), Seconds(c.base.child.seconds).c_str());
    cubes.push_back(std::move(c));
  }
  WarmPageCache(grown);
  const std::string load_before = LoadAverage();
  for (int round = 0; round < options.rounds; ++round) {
    for (CubeRounds& c : cubes) {
      const std::string name = c.cube->name;
      const std::string full_file = (work / (name + "-full.cube")).string();
      const std::string incremental_file = (work / (name + "-incremental.cube")).string();
      const std::string base = (work / (name + "-base.cube")).string();
      c.full.push_back(RunTimed(with_rollups({build, name, grown, full_file}),
                                (work / (name + "-full.log")).string()));
      if (Failed(c.full.back(), "full build of " + name)) return 1;
      c.incremental.push_back(RunTimed(with_rollups({refresh, name, grown, incremental_file, base}),
                                       (work / (name + "-incremental.log")).string()));
      if (Failed(c.incremental.back(), "incremental refresh of " + name)) return 1;
      std::fprintf(stderr, "round %d %s: full %s, incremental %s\n", round + 1, name.c_str(),
                   Seconds(c.full.back().child.seconds).c_str(),
                   Seconds(c.incremental.back().child.seconds).c_str());
      if (round == 0 && !CheckRound(c, c.incremental.back(), full_file, incremental_file)) return 1;
      if (options.before.empty()) continue;
      const std::string before_file = (work / (name + "-before.cube")).string();
      c.before.push_back(RunTimed(with_rollups({options.before + "/cubemill_bench_refresh_cube",
                                                name, grown, before_file, base}),
                                  (work / (name + "-before.log")).string()));
      if (Failed(c.before.back(), "earlier incremental refresh of " + name)) return 1;
      std::fprintf(stderr, "round %d %s: incremental before %s\n", round + 1, name.c_str(),
                   Seconds(c.before.back().child.seconds).c_str());
      if (round == 0 && !CheckRound(c, c.before.back(), full_file, before_file)) return 1;
    }
  }
  std::printf(
      "Cubemill refresh benchmark: %s rows + %s new rows past the watermark (seed %llu), "
      "fastest of %d interleaved rounds, ROLLUPS %s%s\n",
      Grouped(options.rows).c_str(), Grouped(extra).c_str(),
      static_cast<unsigned long long>(options.seed), options.rounds,
      options.rollups.empty() ? "default" : options.rollups.c_str(),
      options.index ? ", the source indexed on sale_date" : "");
  std::printf("machine: %ld cores online, load average %s at the start, %s at the end\n\n",
              sysconf(_SC_NPROCESSORS_ONLN), load_before.c_str(), LoadAverage().c_str());
  const int missed = Report(cubes);
  std::printf(
      "\nBoth cubes of each pair equal bit for bit (members and every cell of cube_flat).\n");
  std::printf("targets missed: %d\n", missed);
  if (!options.keep) fs::remove_all(work, ignored);
  return 0;
}
