// The server benchmark. Generates (or reuses) a sales source of N rows and its fine cube (month x
// city x product), serves it with cubemill-serve on a loopback port, and measures:
// - the server's own cost on a small answer: an XMLA Execute over HTTP against the same query
//   answered in this process by the query library (medians of warm runs, one after the other);
// - load: C clients, each replaying a pivot client's session (a Discover walk of the metadata,
//   then drill-downs) for S seconds while the cube file is replaced twice, as a nightly run
//   replaces it (a complete copy renamed over it). Every Execute answer is compared with the
//   query library's answer to the same query on the same file.
// Prints the requests, the failures and wrong answers, throughput and p50/p99 latency. Exits 1
// when a request failed or an answer was wrong.
#include <fcntl.h>
#include <getopt.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <pugixml.hpp>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_options.h"
#include "bench/child_process.h"
#include "bench/sales_cubes.h"
#include "bench/sales_source.h"
#include "provider/cubefile/cube_reader.h"
#include "query/query_evaluator.h"
#include "query/value_format.h"

namespace fs = std::filesystem;
using namespace cubemill::bench;  // NOLINT
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kUsage =
    "usage: cubemill_serve_bench [OPTION]... [ROWS]\n"
    "Serves the fine cube with cubemill-serve and measures its overhead on a small answer and\n"
    "its throughput and latency under concurrent pivot-client sessions while the cube is\n"
    "replaced.\n"
    "\n"
    "  --rows N          source rows (default 10000000; ROWS says the same)\n"
    "  --seed S          seed of the generated source (default 1)\n"
    "  --clients C       concurrent clients (default 16)\n"
    "  --seconds S       seconds of load (default 60)\n"
    "  --swaps W         replacements of the cube during the load (default 2)\n"
    "  --cache-dir DIR   where the source and the cube are kept (default: cubemill-speed-bench\n"
    "                    in the temporary directory)\n"
    "  --programs DIR    where cubemill_bench_build_cube and cubemill-serve are (default: beside\n"
    "                    this program and in ../src/app)\n";

struct Options {
  std::int64_t rows = 10'000'000, seed = 1, clients = 16, seconds = 60, swaps = 2;
  std::string cache_dir = (fs::temp_directory_path() / "cubemill-speed-bench").string();
  std::string programs;
};

int ParseOptions(int argc, char** argv, Options& options) {
  static const option kLong[] = {{"rows", required_argument, nullptr, 'r'},
                                 {"seed", required_argument, nullptr, 's'},
                                 {"clients", required_argument, nullptr, 'c'},
                                 {"seconds", required_argument, nullptr, 't'},
                                 {"swaps", required_argument, nullptr, 'w'},
                                 {"cache-dir", required_argument, nullptr, 'd'},
                                 {"programs", required_argument, nullptr, 'p'},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
  for (int code; (code = getopt_long(argc, argv, "h", kLong, nullptr)) != -1;) {
    std::int64_t* number = code == 'r'   ? &options.rows
                           : code == 's' ? &options.seed
                           : code == 'c' ? &options.clients
                           : code == 't' ? &options.seconds
                           : code == 'w' ? &options.swaps
                                         : nullptr;
    if (number != nullptr) {
      if (!ParseNumber(optarg, *number)) {
        std::fprintf(stderr, "cubemill_serve_bench: not a number: %s\n", optarg);
        return 2;
      }
    } else if (code == 'd') {
      options.cache_dir = optarg;
    } else if (code == 'p') {
      options.programs = optarg;
    } else if (code == 'h') {
      std::fputs(kUsage, stdout);
      return -1;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (optind < argc && !ParseNumber(argv[optind], options.rows)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return 0;
}

// The first of `candidates` that can be run, or "".
std::string FindProgram(const std::vector<fs::path>& candidates) {
  for (const fs::path& candidate : candidates) {
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

// cubemill-serve over `folder` on a free loopback port.
class Server {
 public:
  Server(const std::string& program, const std::string& folder, const std::string& log) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(fds[1], 1);
      dup2(err, 2);
      execl(program.c_str(), program.c_str(), "--cubes", folder.c_str(), "--listen", "127.0.0.1:0",
            "--max-requests", "256", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; said.find('\n') == std::string::npos && (n = read(fds[0], buffer, 256)) > 0;)
      said.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    const auto colon = said.rfind(':');
    if (colon != std::string::npos) port_ = std::atoi(said.c_str() + colon + 1);
  }
  ~Server() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  int Port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

std::string Envelope(const std::string& body) {
  return "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
         "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>" +
         body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string DiscoverRequest(const std::string& rowset, const std::string& restrictions) {
  return Envelope("<Discover xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><RequestType>" +
                  rowset + "</RequestType><Restrictions><RestrictionList>" + restrictions +
                  "</RestrictionList></Restrictions><Properties><PropertyList><Catalog>sales"
                  "</Catalog></PropertyList></Properties></Discover>");
}

std::string ExecuteRequest(const std::string& mdx) {
  return Envelope(
      "<Execute xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><Command><Statement><![CDATA[" +
      mdx +
      "]]></Statement></Command><Properties><PropertyList><Catalog>sales</Catalog>"
      "<Format>Multidimensional</Format></PropertyList></Properties></Execute>");
}

// A session's steps: what a pivot client asks when it opens the cube and drills down.
struct Step {
  bool execute;
  std::string body;
  std::string mdx;  // for an Execute
};

std::vector<Step> Session() {
  std::vector<Step> steps;
  const auto discover = [&](const std::string& rowset, const std::string& restrictions = "") {
    steps.push_back({false, DiscoverRequest(rowset, restrictions), ""});
  };
  const auto execute = [&](const std::string& mdx) {
    steps.push_back({true, ExecuteRequest(mdx), mdx});
  };
  discover("DBSCHEMA_CATALOGS");
  discover("MDSCHEMA_CUBES");
  discover("MDSCHEMA_DIMENSIONS", "<CUBE_NAME>Sales</CUBE_NAME>");
  discover("MDSCHEMA_HIERARCHIES", "<CUBE_NAME>Sales</CUBE_NAME>");
  discover("MDSCHEMA_LEVELS", "<CUBE_NAME>Sales</CUBE_NAME>");
  discover("MDSCHEMA_MEASURES", "<CUBE_NAME>Sales</CUBE_NAME>");
  discover("MDSCHEMA_MEMBERS",
           "<CUBE_NAME>Sales</CUBE_NAME><LEVEL_UNIQUE_NAME>[Geography].[Country]"
           "</LEVEL_UNIQUE_NAME>");
  execute("SELECT {[Measures].[Quantity], [Measures].[Amount]} ON 0 FROM [Sales]");
  execute("SELECT {[Measures].[Amount]} ON 0, [Geography].[Country].Members ON 1 FROM [Sales]");
  execute(
      "SELECT [Time].[Year].Members ON 0, [Geography].[Country].Members ON 1 FROM [Sales] "
      "WHERE [Measures].[Amount]");
  execute(
      "SELECT [Time].[Year].Members ON 0, [Geography].[Country 07].Children ON 1 FROM "
      "[Sales] WHERE [Measures].[Amount]");
  execute(
      "SELECT [Time].[Month].Members ON 0, [Product].[Category].Members ON 1 FROM [Sales] "
      "WHERE [Measures].[Quantity]");
  execute(
      "SELECT [Product].[Category].Members ON 0, [Geography].[City].Members ON 1 FROM "
      "[Sales] WHERE [Measures].[Sales]");
  return steps;
}

// An Execute answer as a client reads it: the unique names of every tuple, then each cell.
std::string ReadAnswer(const std::string& xml) {
  pugi::xml_document document;
  if (!document.load_buffer(xml.data(), xml.size())) return "(not XML)";
  if (auto fault = document.select_node("//faultstring"))
    return std::string("(fault) ") + fault.node().text().get();
  std::string text;
  for (const auto& axis : document.select_nodes("//Axes/Axis")) {
    if (std::string(axis.node().attribute("name").value()) == "SlicerAxis") continue;
    for (const auto& name : axis.node().select_nodes("Tuples/Tuple/Member/UName"))
      text += std::string(name.node().text().get()) + "|";
    text += "\n";
  }
  for (const auto& cell : document.select_nodes("//CellData/Cell"))
    text += std::string(cell.node().attribute("CellOrdinal").value()) + "=" +
            cell.node().child("Value").text().get() + ";";
  return text;
}

// The query library's answer to `mdx` in ReadAnswer's form.
std::string EngineAnswer(const cubemill::provider::cubefile::CubeReader& reader,
                         const std::string& mdx) {
  cubemill::query::QueryOptions options;
  options.unique_names = true;
  auto result = cubemill::query::EvaluateMdx(reader, mdx, options);
  if (!result) return "(fault) " + result.error().description;
  std::string text;
  for (const auto* axis : {&result->column_unique_names, &result->row_unique_names}) {
    if (axis == &result->row_unique_names && (axis->empty() || axis->front().empty())) continue;
    for (const auto& tuple : *axis)
      for (const auto& name : tuple) text += name + "|";
    text += "\n";
  }
  for (std::size_t r = 0; r < result->cells.size(); ++r) {
    for (std::size_t c = 0; c < result->columns.size(); ++c) {
      const std::string value = cubemill::query::ValueText(result->cells[r][c]);
      if (!value.empty())
        text += std::to_string(r * result->columns.size() + c) + "=" + value + ";";
    }
  }
  return text;
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[at];
}

double Median(std::vector<double> values) { return Percentile(std::move(values), 0.5); }

struct Tally {
  std::mutex mutex;
  std::vector<double> discover_ms, execute_ms;
  std::int64_t failed = 0, wrong = 0;
  std::map<std::string, std::string> first_failures;  // kind -> a body
};

void RunClient(int port, const std::vector<Step>& session, const std::vector<std::string>& expected,
               Clock::time_point end, Tally& tally) {
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  client.set_read_timeout(120, 0);
  std::vector<double> discover_ms, execute_ms;
  std::int64_t failed = 0, wrong = 0;
  std::string failure;
  for (std::size_t i = 0; Clock::now() < end; i = (i + 1) % session.size()) {
    const Step& step = session[i];
    const auto started = Clock::now();
    const auto response = client.Post("/xmla", step.body, "text/xml");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (!response || response->status != 200) {
      ++failed;
      if (failure.empty())
        failure = response ? std::to_string(response->status) + " " + response->body.substr(0, 400)
                           : "no response";
      continue;
    }
    (step.execute ? execute_ms : discover_ms).push_back(ms);
    if (step.execute && ReadAnswer(response->body) != expected[i]) ++wrong;
  }
  const std::lock_guard<std::mutex> lock(tally.mutex);
  tally.discover_ms.insert(tally.discover_ms.end(), discover_ms.begin(), discover_ms.end());
  tally.execute_ms.insert(tally.execute_ms.end(), execute_ms.begin(), execute_ms.end());
  tally.failed += failed;
  tally.wrong += wrong;
  if (!failure.empty()) tally.first_failures.emplace("request", failure);
}

// The server's overhead on a small answer: the median of warm XMLA Executes against the median
// of the same query answered in this process.
void MeasureOverhead(int port, const cubemill::provider::cubefile::CubeReader& reader) {
  const std::string mdx =
      "SELECT {[Measures].[Amount]} ON 0, [Geography].[Country].Members ON 1 FROM [Sales]";
  std::vector<double> served, inside;
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  const std::string body = ExecuteRequest(mdx);
  for (int run = 0; run < 220; ++run) {
    auto started = Clock::now();
    const auto response = client.Post("/xmla", body, "text/xml");
    const double http = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    started = Clock::now();
    cubemill::query::QueryOptions options;
    options.unique_names = true;
    const auto result = cubemill::query::EvaluateMdx(reader, mdx, options);
    const double local = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (run < 20 || !response || !result) continue;  // warm-up
    served.push_back(http);
    inside.push_back(local);
  }
  const double overhead = Median(served) - Median(inside);
  std::printf("\nSmall answer (20 cells), 200 warm runs, medians:\n");
  std::printf("  XMLA Execute over HTTP   %8.3f ms\n", Median(served));
  std::printf("  query library in-process %8.3f ms\n", Median(inside));
  std::printf("  server overhead          %8.3f ms   target < 5 ms: %s\n", overhead,
              overhead < 5 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseOptions(argc, argv, options)) return status < 0 ? 0 : status;
  const fs::path self = fs::canonical("/proc/self/exe").parent_path();
  std::vector<fs::path> dirs{self, self / ".." / "src" / "app"};
  if (!options.programs.empty()) dirs.insert(dirs.begin(), options.programs);
  std::vector<fs::path> builds, serves;
  for (const fs::path& dir : dirs) {
    builds.push_back(dir / "cubemill_bench_build_cube");
    serves.push_back(dir / "cubemill-serve");
  }
  const std::string build_program = FindProgram(builds), serve_program = FindProgram(serves);
  if (build_program.empty() || serve_program.empty()) {
    std::fputs("cannot find cubemill_bench_build_cube and cubemill-serve (--programs DIR)\n",
               stderr);
    return 1;
  }
  fs::create_directories(options.cache_dir);
  std::string error;
  const auto source = EnsureSalesSource(options.cache_dir, options.rows,
                                        static_cast<std::uint64_t>(options.seed), error);
  if (!source) {
    std::fprintf(stderr, "cannot make the source: %s\n", error.c_str());
    return 1;
  }
  const fs::path cache(options.cache_dir);
  const std::string cube = (cache / ("serve-fine-" + std::to_string(options.rows) + "-seed" +
                                     std::to_string(options.seed) + ".cub"))
                               .string();
  if (!fs::exists(cube)) {
    std::fprintf(stderr, "building the fine cube of %lld rows...\n",
                 static_cast<long long>(options.rows));
    const ChildRun run =
        RunChild({build_program, "fine", source->path, cube}, (cache / "serve-build.log").string());
    if (run.exit_code != 0) {
      std::fprintf(stderr, "the build failed: see %s\n", (cache / "serve-build.log").c_str());
      return 1;
    }
  }
  const fs::path served = cache / "serve-run";
  fs::remove_all(served);
  fs::create_directories(served);
  fs::copy_file(cube, served / "sales.cub");

  auto reader = cubemill::provider::cubefile::CubeReader::Open(cube);
  if (!reader) {
    std::fprintf(stderr, "cannot read %s: %s\n", cube.c_str(), reader.error().description.c_str());
    return 1;
  }
  const std::vector<Step> session = Session();
  std::vector<std::string> expected;
  for (const Step& step : session)
    expected.push_back(step.execute ? EngineAnswer(**reader, step.mdx) : "");

  Server server(serve_program, served.string(), (cache / "serve-access.log").string());
  if (server.Port() <= 0) {
    std::fprintf(stderr, "cubemill-serve did not start: see %s\n",
                 (cache / "serve-access.log").c_str());
    return 1;
  }
  std::printf("cubemill-serve over the fine cube of %lld rows (%s)\n",
              static_cast<long long>(options.rows), cube.c_str());
  MeasureOverhead(server.Port(), **reader);

  Tally tally;
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(options.seconds);
  std::vector<std::thread> clients;
  for (std::int64_t c = 0; c < options.clients; ++c)
    clients.emplace_back(RunClient, server.Port(), std::cref(session), std::cref(expected), end,
                         std::ref(tally));
  // The nightly run: a complete copy of the cube renamed over the served one.
  for (std::int64_t swap = 1; swap <= options.swaps; ++swap) {
    std::this_thread::sleep_until(start + std::chrono::seconds(options.seconds) * swap /
                                              (options.swaps + 1));
    fs::copy_file(cube, served / "sales.cub.tmp-nightly", fs::copy_options::overwrite_existing);
    fs::rename(served / "sales.cub.tmp-nightly", served / "sales.cub");
    std::fprintf(stderr, "replaced the cube (%lld of %lld)\n", static_cast<long long>(swap),
                 static_cast<long long>(options.swaps));
  }
  for (std::thread& client : clients) client.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const std::size_t answered = tally.discover_ms.size() + tally.execute_ms.size();

  std::printf("\nLoad: %lld clients, %.0f s, the cube replaced %lld times\n",
              static_cast<long long>(options.clients), seconds,
              static_cast<long long>(options.swaps));
  std::printf("  %-10s %10s %10s %10s\n", "request", "answered", "p50 ms", "p99 ms");
  std::printf("  %-10s %10zu %10.2f %10.2f\n", "Discover", tally.discover_ms.size(),
              Percentile(tally.discover_ms, 0.5), Percentile(tally.discover_ms, 0.99));
  std::printf("  %-10s %10zu %10.2f %10.2f\n", "Execute", tally.execute_ms.size(),
              Percentile(tally.execute_ms, 0.5), Percentile(tally.execute_ms, 0.99));
  std::printf(
      "  throughput %.0f requests/s; failed %lld; answers unlike the query library's "
      "%lld   target 0 failed: %s\n",
      static_cast<double>(answered) / seconds, static_cast<long long>(tally.failed),
      static_cast<long long>(tally.wrong), tally.failed == 0 ? "met" : "MISSED");
  for (const auto& [kind, body] : tally.first_failures)
    std::printf("  first failure: %s\n", body.c_str());
  return tally.failed == 0 && tally.wrong == 0 ? 0 : 1;
}
