// The query benchmark. Generates (or reuses) a sales source of N rows and builds the fine cube
// (month x city x product) from it in interleaved rounds, once with stored rollups (the engine's
// default budget) and once without (ROLLUPS 0), each build its own child process, and a cube
// with a level of 100,000 customers from a second generated source. Then it asks both fine cubes
// a year x country question with cubemill-query and times the same GROUP BY over cube_flat in
// the sqlite3 shell, asks seven questions of the cubes with rollups (query_table.h), each
// against sqlite3's GROUP BY, and three analyst questions (TopCount, ParallelPeriod, a share of
// the total; query_analyst.h) of both fine cubes against hand-written SQL over cube_flat, and
// checks that every answer agrees with sqlite3's. Prints the build times and file sizes, then
// the query times with their targets; exits 1 when a command fails or an answer differs. The cubes
// stay in the cache directory, so that a later run with
// --only-queries asks them again without building. Run with --help for the options.
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "bench/child_process.h"
#include "bench/query_analyst.h"
#include "bench/query_answers.h"
#include "bench/query_table.h"
#include "bench/sales_cubes.h"
#include "bench/sales_source.h"
#include "bench/speed_report.h"
#include "provider/cubefile/cube_reader.h"
#include "query/query_evaluator.h"

namespace fs = std::filesystem;
using namespace cubemill::bench;  // NOLINT

namespace {

constexpr const char* kUsage =
    "usage: cubemill_query_bench [OPTION]... [ROWS]\n"
    "Builds the fine cube with and without stored rollups and a cube with 100,000 customers,\n"
    "and times questions with cubemill-query against the same GROUP BY over cube_flat in the\n"
    "sqlite3 shell.\n"
    "\n"
    "  --rows N            source rows (default 10000000; ROWS says the same)\n"
    "  --customer-rows N   rows of the customer source (default 1000000, at least 100000)\n"
    "  --seed S            seed of the generated sources (default 1)\n"
    "  --rounds R          interleaved build rounds (default 3)\n"
    "  --runs Q            runs of each query (default 10)\n"
    "  --timeout S         seconds after which a query run is stopped (default 120)\n"
    "  --only-queries      build nothing: ask the cubes an earlier run left in the cache\n"
    "  --analyst-only      of the questions, ask only year x country and the analyst ones\n"
    "  --cache-dir DIR     where the sources and the cubes are kept and reused, and the run's\n"
    "                      files go (default: cubemill-speed-bench in the temporary directory)\n"
    "  --sqlite3 PROG      the sqlite3 shell (default: sqlite3 from PATH)\n"
    "  --programs DIR      where cubemill_bench_build_cube and cubemill-query are\n"
    "                      (default: this program's directory and ../src/app beside it)\n"
    "  --query-program P   the cubemill-query to time (an older build, say)\n"
    "  --keep              keep the logs and answers of this run\n"
    "  -h, --help          this text\n";

// The question, as the cube names its levels; the check's form crosses the rows with every
// measure, and the sqlite3 shell's GROUP BY gives the same numbers from cube_flat.
constexpr const char* kQuestion =
    "SELECT [Time].[Year].Members ON COLUMNS, [Geography].[Country].Members ON ROWS "
    "FROM [Sales]";
constexpr const char* kCheckQuestion =
    "SELECT [Time].[Year].Members ON COLUMNS, CrossJoin([Geography].[Country].Members, "
    "{[Measures].[Quantity], [Measures].[Amount], [Measures].[Sales]}) ON ROWS FROM [Sales]";
constexpr const char* kGroupBy =
    "SELECT \"Time.Year\", \"Geography.Country\", SUM(\"Quantity\") FROM cube_flat GROUP BY 1, 2";
constexpr const char* kCheckGroupBy =
    "SELECT \"Time.Year\", \"Geography.Country\", SUM(\"Quantity\"), SUM(\"Amount\"), "
    "SUM(\"Sales\") FROM cube_flat GROUP BY 1, 2";
constexpr double kRealTolerance = 1e-9;  // relative, for sums of reals in another order
constexpr double kTargetSeconds = 0.050;

struct Options {
  std::int64_t rows = 10000000;
  std::int64_t customer_rows = 1000000;
  std::uint64_t seed = 1;
  int rounds = 3;
  int runs = 10;
  double timeout = 120;
  bool only_queries = false;
  bool analyst_only = false;
  std::string cache_dir;
  std::string sqlite3 = "sqlite3";
  std::string programs;
  std::string query_program;
  bool keep = false;
};

// Returns 0 when the options were read, -1 after --help, or the exit status to end with.
int ParseOptions(int argc, char** argv, Options& options) {
  enum {
    kRows = 256,
    kCustomerRows,
    kSeed,
    kRounds,
    kRuns,
    kTimeout,
    kOnlyQueries,
    kAnalystOnly,
    kCacheDir,
    kSqlite3,
    kPrograms,
    kQueryProgram,
    kKeep
  };
  static const option kLong[] = {{"rows", required_argument, nullptr, kRows},
                                 {"customer-rows", required_argument, nullptr, kCustomerRows},
                                 {"timeout", required_argument, nullptr, kTimeout},
                                 {"only-queries", no_argument, nullptr, kOnlyQueries},
                                 {"analyst-only", no_argument, nullptr, kAnalystOnly},
                                 {"query-program", required_argument, nullptr, kQueryProgram},
                                 {"seed", required_argument, nullptr, kSeed},
                                 {"rounds", required_argument, nullptr, kRounds},
                                 {"runs", required_argument, nullptr, kRuns},
                                 {"cache-dir", required_argument, nullptr, kCacheDir},
                                 {"sqlite3", required_argument, nullptr, kSqlite3},
                                 {"programs", required_argument, nullptr, kPrograms},
                                 {"keep", no_argument, nullptr, kKeep},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
  std::int64_t number = 0;
  for (int c; (c = getopt_long(argc, argv, "h", kLong, nullptr)) != -1;) {
    switch (c) {
      case kRows:
        if (!ParseNumber(optarg, options.rows)) return std::fputs(kUsage, stderr), 2;
        break;
      case kCustomerRows:
        if (!ParseNumber(optarg, options.customer_rows) || options.customer_rows < 100000)
          return std::fputs(kUsage, stderr), 2;
        break;
      case kTimeout:
        if (!ParseNumber(optarg, number) || number < 1) return std::fputs(kUsage, stderr), 2;
        options.timeout = static_cast<double>(number);
        break;
      case kOnlyQueries:
        options.only_queries = true;
        break;
      case kAnalystOnly:
        options.analyst_only = true;
        break;
      case kQueryProgram:
        options.query_program = optarg;
        break;
      case kSeed:
        if (!ParseNumber(optarg, number)) return std::fputs(kUsage, stderr), 2;
        options.seed = static_cast<std::uint64_t>(number);
        break;
      case kRounds:
      case kRuns:
        if (!ParseNumber(optarg, number) || number > 1000) return std::fputs(kUsage, stderr), 2;
        (c == kRounds ? options.rounds : options.runs) = static_cast<int>(number);
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
  if (options.cache_dir.empty()) {
    options.cache_dir = (fs::temp_directory_path() / "cubemill-speed-bench").string();
  }
  return 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string LoadAverage() {
  const std::string line = ReadFile("/proc/loadavg");
  return line.substr(0, line.find(' '));
}

// The first of `candidates` that can be run, or "".
std::string FindProgram(const std::vector<fs::path>& candidates) {
  for (const fs::path& candidate : candidates) {
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

// Runs `argv` with its output in the fresh file `log`; returns the run, or nothing after
// printing why it failed and its log.
std::optional<ChildRun> Run(const std::vector<std::string>& argv, const std::string& log) {
  fs::remove(log);
  const ChildRun run = RunChild(argv, log);
  if (run.failure.empty() && run.exit_code == 0) return run;
  std::fprintf(stderr, "%s failed (%s), log %s:\n%s\n", argv[0].c_str(),
               run.failure.empty() ? ("exit status " + std::to_string(run.exit_code)).c_str()
                                   : run.failure.c_str(),
               log.c_str(), ReadFile(log).c_str());
  return std::nullopt;
}

// The seconds after "Run Time: real" in the sqlite3 shell's output (.timer on), or -1.
double ShellRunTime(const std::string& output) {
  const auto at = output.rfind("Run Time: real ");
  return at == std::string::npos ? -1 : std::strtod(output.c_str() + at + 15, nullptr);
}

// One way of answering the question, timed.
struct QueryTiming {
  std::string label;
  std::string table;                                         // where the answer came from
  double process = std::numeric_limits<double>::infinity();  // whole process, fastest run
  double inside = std::numeric_limits<double>::infinity();   // the query alone, fastest run
};

// Opens `cube` and answers the question in this process, `runs` times; the fastest run (open,
// catalog, answer) goes into `timing.inside`. False after printing the failure.
bool TimeInProcess(const std::string& cube, int runs, QueryTiming& timing) {
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    auto reader = cubemill::provider::cubefile::CubeReader::Open(cube);
    if (!reader.ok()) {
      std::fprintf(stderr, "%s: %s\n", cube.c_str(), reader.error().description.c_str());
      return false;
    }
    auto result = cubemill::query::EvaluateMdx(**reader, kQuestion);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!result.ok()) {
      std::fprintf(stderr, "%s: %s\n", cube.c_str(), result.error().description.c_str());
      return false;
    }
    timing.inside = std::min(timing.inside, took.count());
    timing.table = result->table;
    for (const auto& rollup : (*reader)->Catalog().rollups) {
      if (rollup.table == result->table)
        timing.table += " (" + Grouped(rollup.cell_count) + " rows)";
    }
  }
  return true;
}

std::string Milliseconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, seconds < 0.1 ? "%.1f ms" : "%.0f ms", seconds * 1000);
  return text;
}

std::string Mib(std::uintmax_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

// The resident memory of this process now (/proc/self/statm), in bytes.
std::uintmax_t CurrentRssBytes() {
  std::istringstream statm(ReadFile("/proc/self/statm"));
  std::uintmax_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::uintmax_t>(sysconf(_SC_PAGESIZE));
}

std::string Rounds(const std::vector<double>& seconds) {
  std::string text;
  for (double s : seconds) {
    char one[16];
    std::snprintf(one, sizeof one, "%s%.2f", text.empty() ? "" : ", ", s);
    text += one;
  }
  return text;
}

// The stored rollups of `cube` in words: "12 (880,000 rows)", or "none".
std::string RollupsOf(const std::string& cube, std::int64_t& cells) {
  auto reader = cubemill::provider::cubefile::CubeReader::Open(cube);
  if (!reader.ok()) return reader.error().description;
  cells = (*reader)->Catalog().cell_count;
  std::int64_t rows = 0;
  for (const auto& rollup : (*reader)->Catalog().rollups) rows += rollup.cell_count;
  const std::size_t count = (*reader)->Catalog().rollups.size();
  return count == 0 ? "none" : std::to_string(count) + " (" + Grouped(rows) + " rows)";
}

}  // namespace

int main(int argc, char** argv) {
  // The "from" column of the query table: this program, run as a child, answers one question.
  if (argc == 4 && std::string(argv[1]) == "--answer-table")
    return PrintAnswerTable(argv[2], argv[3]);
  // The analyst questions' MDX side: this program, run as a child, answers one with the library.
  if (argc == 4 && std::string(argv[1]) == "--analyst-answer")
    return PrintAnalystAnswer(argv[2], argv[3]);
  Options options;
  if (const int status = ParseOptions(argc, argv, options)) return status < 0 ? 0 : status;
  const fs::path self = fs::read_symlink("/proc/self/exe");
  std::vector<fs::path> dirs = {self.parent_path(),
                                self.parent_path().parent_path() / "src" / "app"};
  if (!options.programs.empty()) dirs = {options.programs};
  std::vector<fs::path> builds, queries;
  for (const fs::path& dir : dirs) {
    builds.push_back(dir / "cubemill_bench_build_cube");
    queries.push_back(dir / "cubemill-query");
  }
  if (!options.query_program.empty()) queries = {options.query_program};
  const std::string build_program = FindProgram(builds);
  const std::string query_program = FindProgram(queries);
  if ((build_program.empty() && !options.only_queries) || query_program.empty()) {
    std::fprintf(stderr,
                 "cannot find cubemill_bench_build_cube and cubemill-query (build both, or "
                 "use --programs and --query-program)\n");
    return 1;
  }

  std::error_code failure;
  fs::create_directories(options.cache_dir, failure);
  std::string error;
  const auto source = failure
                          ? std::nullopt
                          : EnsureSalesSource(options.cache_dir, options.rows, options.seed, error);
  const auto customers =
      source ? EnsureCustomerSource(options.cache_dir, options.customer_rows, options.seed, error)
             : std::nullopt;
  if (!source || !customers) {
    std::fprintf(stderr, "%s\n", failure ? failure.message().c_str() : error.c_str());
    return 1;
  }
  std::fprintf(stderr, "sources: %s (%s), %s (%s)\n", source->path.c_str(),
               source->reused ? "reused" : "generated", customers->path.c_str(),
               customers->reused ? "reused" : "generated");
  const fs::path work = fs::path(options.cache_dir) / ("query-run-" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  auto fail = [&work] {
    std::fprintf(stderr, "kept %s\n", work.c_str());
    return 1;
  };
  const std::string load_at_start = LoadAverage();

  // The cubes stay in the cache directory, named for their sources, for --only-queries.
  const std::string suffix =
      "-" + std::to_string(options.rows) + "-seed" + std::to_string(options.seed) + ".cub";
  const fs::path cubes = fs::path(options.cache_dir) / "query-cubes";
  fs::create_directories(cubes);
  const std::string with_cube = (cubes / ("fine-rollups" + suffix)).string();
  const std::string without_cube = (cubes / ("fine-leaf" + suffix)).string();
  const std::string customer_cube = (cubes / ("customers-" + std::to_string(options.customer_rows) +
                                              "-seed" + std::to_string(options.seed) + ".cub"))
                                        .string();
  std::vector<double> with_seconds, without_seconds;
  double customer_seconds = 0;
  if (options.only_queries) {
    for (const std::string& cube : {with_cube, without_cube, customer_cube}) {
      if (!fs::exists(cube)) {
        std::fprintf(stderr, "%s is missing: run once without --only-queries\n", cube.c_str());
        return fail();
      }
    }
  } else {
    // The builds, interleaved: with rollups (the build program not told ROLLUPS), then without.
    for (int round = 1; round <= options.rounds; ++round) {
      for (const bool rollups : {true, false}) {
        const std::string& cube = rollups ? with_cube : without_cube;
        fs::remove(cube);
        std::vector<std::string> command = {build_program, "fine", source->path, cube};
        if (!rollups) command.push_back("0");
        const auto run = Run(command, (work / "build.log").string());
        if (!run) return fail();
        (rollups ? with_seconds : without_seconds).push_back(run->seconds);
        std::fprintf(stderr, "round %d: build %s rollups %.2f s\n", round,
                     rollups ? "with" : "without", run->seconds);
      }
    }
    fs::remove(customer_cube);
    const auto run = Run({build_program, "customers", customers->path, customer_cube},
                         (work / "build.log").string());
    if (!run) return fail();
    customer_seconds = run->seconds;
    std::fprintf(stderr, "customer cube built in %.2f s\n", customer_seconds);
  }

  std::int64_t cells = 0, customer_cells = 0;
  const std::string with_rollups = RollupsOf(with_cube, cells);
  const std::string without_rollups = RollupsOf(without_cube, cells);
  const std::string customer_rollups = RollupsOf(customer_cube, customer_cells);
  const auto with_size = fs::file_size(with_cube);
  const auto without_size = fs::file_size(without_cube);
  std::printf("Cubemill query benchmark: the fine cube (%s), %s source rows (seed %llu)\n",
              kFineCube.grain, Grouped(source->rows).c_str(),
              static_cast<unsigned long long>(source->seed));
  std::printf("machine: %ld cores online, load average %s at the start\n",
              sysconf(_SC_NPROCESSORS_ONLN), load_at_start.c_str());
  std::printf("cubemill-query: %s\n\n", query_program.c_str());
  if (options.only_queries) {
    std::printf("| cube | cells | rollups | cube file |\n|---|---:|---|---:|\n");
    std::printf("| fine, with rollups | %s | %s | %s |\n", Grouped(cells).c_str(),
                with_rollups.c_str(), Mib(with_size).c_str());
    std::printf("| fine, without (ROLLUPS 0) | %s | %s | %s |\n", Grouped(cells).c_str(),
                without_rollups.c_str(), Mib(without_size).c_str());
  } else {
    const double with_build = *std::min_element(with_seconds.begin(), with_seconds.end());
    const double without_build = *std::min_element(without_seconds.begin(), without_seconds.end());
    std::printf("| build | cells | rollups | build, fastest of %d | rounds (s) | cube file |\n",
                options.rounds);
    std::printf("|---|---:|---|---:|---|---:|\n");
    std::printf("| with rollups (default budget) | %s | %s | %.2f s | %s | %s |\n",
                Grouped(cells).c_str(), with_rollups.c_str(), with_build,
                Rounds(with_seconds).c_str(), Mib(with_size).c_str());
    std::printf("| without (ROLLUPS 0) | %s | %s | %.2f s | %s | %s |\n", Grouped(cells).c_str(),
                without_rollups.c_str(), without_build, Rounds(without_seconds).c_str(),
                Mib(without_size).c_str());
    std::printf("rollups add %.1f %% to the build time and %.1f %% to the file\n",
                (with_build / without_build - 1) * 100,
                (static_cast<double>(with_size) / static_cast<double>(without_size) - 1) * 100);
  }
  char built[48] = "";
  if (!options.only_queries)
    std::snprintf(built, sizeof built, ", built in %.2f s", customer_seconds);
  std::printf("customer cube (%s, %s source rows): %s cells, rollups %s, %s%s\n\n",
              kCustomerCube.grain, Grouped(customers->rows).c_str(),
              Grouped(customer_cells).c_str(), customer_rollups.c_str(),
              Mib(fs::file_size(customer_cube)).c_str(), built);
  // The questions, on the fine cube with rollups and the customer cube.
  QueryTableSetup setup;
  setup.fine_cube = with_cube;
  setup.customer_cube = customer_cube;
  setup.query_program = query_program;
  setup.sqlite3 = options.sqlite3;
  setup.self = self.string();
  setup.work = work.string();
  setup.runs = options.runs;
  setup.timeout = options.timeout;
  int targets_missed = 0;
  bool table_agrees = true;
  if (!options.analyst_only) {
    // First, while this process is small: a child's ru_maxrss counts the pages it shares with
    // this process from fork until exec.
    std::printf(
        "questions, each asked of the cube with rollups (the last of the customer cube); this "
        "process held %s when it started them, of which a child's peak RSS may count up to all "
        "(what it shares with this process until exec):\n\n",
        Mib(CurrentRssBytes()).c_str());
    std::fflush(stdout);
    table_agrees = RunQueryTable(setup, targets_missed);
    std::printf("\n");
    std::fflush(stdout);
  }

  // The analyst questions: MDX that computes (TopCount, ParallelPeriod, a share of the total)
  // from the rollups and from the leaf cells, against the SQL an analyst would write.
  AnalystSetup analyst;
  analyst.rollup_cube = with_cube;
  analyst.leaf_cube = without_cube;
  analyst.sqlite3 = options.sqlite3;
  analyst.self = self.string();
  analyst.work = work.string();
  analyst.runs = options.runs;
  analyst.timeout = options.timeout;
  std::printf(
      "analyst questions, each asked of the cube with rollups and of the cube without:\n\n");
  std::fflush(stdout);
  const bool analyst_agrees = RunAnalystQuestions(analyst, targets_missed);
  std::printf("\n");
  std::fflush(stdout);

  // The question, timed: cubemill-query on each cube, the sqlite3 shell on the one without.
  std::vector<QueryTiming> timings(3);
  timings[0].label = "cubemill-query, cube with rollups";
  timings[1].label = "cubemill-query, cube without rollups";
  timings[2].label = "sqlite3 GROUP BY over cube_flat";
  timings[2].table = "cube_flat";
  const std::string log = (work / "query.log").string();
  // The shell times what it reads from a script (.timer), not SQL given as an argument.
  const std::string script = (work / "group-by.sql").string();
  std::ofstream(script) << ".timer on\n" << kGroupBy << ";\n";
  for (int run = 0; run < options.runs; ++run) {
    for (std::size_t t = 0; t < timings.size(); ++t) {
      const std::vector<std::string> command =
          t < 2
              ? std::vector<std::string>{query_program, "--csv", t == 0 ? with_cube : without_cube,
                                         kQuestion}
              : std::vector<std::string>{options.sqlite3, without_cube, ".read \"" + script + "\""};
      const auto done = Run(command, log);
      if (!done) return fail();
      timings[t].process = std::min(timings[t].process, done->seconds);
      if (t == 2) timings[t].inside = std::min(timings[t].inside, ShellRunTime(ReadFile(log)));
    }
  }
  if (!TimeInProcess(with_cube, options.runs, timings[0]) ||
      !TimeInProcess(without_cube, options.runs, timings[1])) {
    return fail();
  }

  // The check: both cubes' answers, every measure, against sqlite3's GROUP BY.
  bool agree = true;
  const auto expected_run =
      Run({options.sqlite3, "-csv", without_cube, kCheckGroupBy}, (work / "check.csv").string());
  if (!expected_run) return fail();
  const auto expected = ReadGroupByAnswers(ReadFile((work / "check.csv").string()),
                                           {"Quantity", "Amount", "Sales"}, error);
  if (!expected) return std::fprintf(stderr, "%s\n", error.c_str()), fail();
  std::int64_t quantity = 0;
  for (const auto& [key, value] : *expected) {
    if (key.size() > 9 && key.compare(key.size() - 9, 9, " Quantity") == 0)
      quantity += std::strtoll(value.c_str(), nullptr, 10);
  }
  if (quantity != source->quantity_total) {
    std::fprintf(stderr, "check: SUM(quantity) over cube_flat is %lld, the source's %lld\n",
                 static_cast<long long>(quantity), static_cast<long long>(source->quantity_total));
    agree = false;
  }
  for (const std::string& cube : {with_cube, without_cube}) {
    const std::string csv = (work / "answer.csv").string();
    if (!Run({query_program, "--csv", cube, kCheckQuestion}, csv)) return fail();
    const auto got = ReadMdxAnswers(ReadFile(csv), error);
    if (!got) return std::fprintf(stderr, "%s\n", error.c_str()), fail();
    const auto differences = CompareAnswers(*got, *expected, kRealTolerance);
    for (const std::string& difference : differences)
      std::fprintf(stderr, "check %s: %s\n", fs::path(cube).filename().c_str(), difference.c_str());
    agree = agree && differences.empty();
    std::fprintf(stderr, "check %s: %zu answers, %zu differ from sqlite3's\n",
                 fs::path(cube).filename().c_str(), got->size(), differences.size());
  }

  std::printf("year x country: %s\n\n", kQuestion);
  std::printf("| answered by | from | whole process, fastest of %d | inside the query |\n",
              options.runs);
  std::printf("|---|---|---:|---:|\n");
  for (const QueryTiming& t : timings) {
    std::printf("| %s | %s | %s | %s |\n", t.label.c_str(), t.table.c_str(),
                Milliseconds(t.process).c_str(), Milliseconds(t.inside).c_str());
  }
  std::printf(
      "\ninside the query: cubemill-query's reader and evaluator run in this process (open, "
      "catalog, answer); sqlite3's .timer\n");
  std::printf(
      "year x country answered in under %.0f ms: %s (cubemill-query on the cube with "
      "rollups, %s)\n",
      kTargetSeconds * 1000, timings[0].process < kTargetSeconds ? "met" : "not met",
      Milliseconds(timings[0].process).c_str());
  std::printf("answers: %s\n\n",
              agree ? "cubemill-query (both cubes, Quantity, Amount, Sales) agrees with sqlite3's "
                      "GROUP BY over cube_flat"
                    : "DIFFERENT (see standard error)");
  std::fflush(stdout);

  std::printf("load average %s at the end; targets missed: %d\n", LoadAverage().c_str(),
              targets_missed);
  if (!agree || !table_agrees || !analyst_agrees) return fail();
  if (options.keep) {
    std::fprintf(stderr, "kept %s\n", work.c_str());
  } else {
    fs::remove_all(work);
  }
  return 0;
}
