// cubemill-serve: serves the cubes of a folder, or of the jobs of a cubemill.ini, to OLAP clients
// over XML for Analysis (SOAP over HTTP).
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/stop_signals.h"
#include "serve/cube_catalogs.h"
#include "serve/http_server.h"
#include "serve/job_catalogs.h"
#include "serve/users_file.h"
#include "serve/xmla_service.h"
#include "version.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: cubemill-serve [OPTION]...\n"
    "  or:  cubemill-serve --users FILE --add-user NAME   (the password from standard input)\n"
    "\n"
    "Serves cube files to OLAP clients over XML for Analysis (SOAP 1.1 over HTTP POST to\n"
    "/xmla): Discover for the metadata, Execute for MDX. Each catalog is one cube: with --cubes\n"
    "DIR every *.cub file of DIR, named after the file without \".cub\"; otherwise each job of\n"
    "the settings file (cubemill.ini), named after the job, serving the job's newest good cube\n"
    "(its cube file, or the newest time-stamped one where the job stamps). A cube replaced by a\n"
    "nightly run is served from the next request on; requests already running finish on the\n"
    "file they opened. The server only reads.\n"
    "\n"
    "Options:\n"
    "  -h, --help               show this help and exit\n"
    "  -V, --version            show the version and exit\n"
    "  -l, --listen=ADDR:PORT   where to listen (default 127.0.0.1:8080; port 0: a free one)\n"
    "  -C DIR                   change to DIR first (where cubemill.ini is)\n"
    "      --cubes=DIR          serve the *.cub files of DIR\n"
    "      --config=FILE        serve the jobs of FILE (default: cubemill.ini)\n"
    "      --users=FILE         require HTTP Basic authentication by the users of FILE\n"
    "      --add-user=NAME      add NAME to the users FILE (or change its password) and exit\n"
    "      --tls-cert=FILE      serve HTTPS with this certificate (PEM) ...\n"
    "      --tls-key=FILE       ... and this private key (PEM)\n"
    "      --access-log=FILE    append the access log to FILE (default: standard error)\n"
    "      --max-cells=N        the most cells of one answer (default 1000000)\n"
    "      --query-seconds=N    cancel a query after N seconds (default 120)\n"
    "      --max-requests=N     requests answered at once (default 64)\n"
    "      --idle-seconds=N     drop a client silent for N seconds (default 10)\n"
    "\n"
    "Off a loopback address the server needs --users and --tls-cert/--tls-key. The access log\n"
    "has a line per request: time;client;user;catalog;statement;status;cells;ms.\n"
    "\n"
    "Exit status: 0 after SIGINT or SIGTERM, 1 when the server cannot start, 2 for a wrong\n"
    "option or argument.\n";

struct Options {
  std::string listen = "127.0.0.1:8080", directory, cubes, config, users, add_user;
  std::string tls_cert, tls_key, access_log;
  std::size_t max_cells = 1'000'000, max_requests = 64;
  int query_seconds = 120, idle_seconds = 10;
};

int Usage(const std::string& problem) {
  std::fprintf(stderr, "cubemill-serve: %s\nTry 'cubemill-serve --help' for more information.\n",
               problem.c_str());
  return kExitUsage;
}

std::optional<std::size_t> Count(const char* text) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value == 0 || text[0] == '-')
    return std::nullopt;
  return static_cast<std::size_t>(value);
}

// Reads the options; returns an exit status when the program ends here.
std::optional<int> ReadOptions(int argc, char** argv, Options& options) {
  enum {
    kCubes = 256,
    kConfig,
    kUsers,
    kAddUser,
    kTlsCert,
    kTlsKey,
    kLog,
    kCells,
    kSeconds,
    kRequests,
    kIdle
  };
  static const option kLongOptions[] = {{"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'V'},
                                        {"listen", required_argument, nullptr, 'l'},
                                        {"cubes", required_argument, nullptr, kCubes},
                                        {"config", required_argument, nullptr, kConfig},
                                        {"users", required_argument, nullptr, kUsers},
                                        {"add-user", required_argument, nullptr, kAddUser},
                                        {"tls-cert", required_argument, nullptr, kTlsCert},
                                        {"tls-key", required_argument, nullptr, kTlsKey},
                                        {"access-log", required_argument, nullptr, kLog},
                                        {"max-cells", required_argument, nullptr, kCells},
                                        {"query-seconds", required_argument, nullptr, kSeconds},
                                        {"max-requests", required_argument, nullptr, kRequests},
                                        {"idle-seconds", required_argument, nullptr, kIdle},
                                        {nullptr, 0, nullptr, 0}};
  for (int code; (code = ::getopt_long(argc, argv, "hVl:C:", kLongOptions, nullptr)) != -1;) {
    std::optional<std::size_t> count;
    switch (code) {
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      case 'V':
        std::printf("cubemill-serve %s\n", cubemill::kVersion);
        return 0;
      case 'l':
        options.listen = optarg;
        break;
      case 'C':
        options.directory = optarg;
        break;
      case kCubes:
        options.cubes = optarg;
        break;
      case kConfig:
        options.config = optarg;
        break;
      case kUsers:
        options.users = optarg;
        break;
      case kAddUser:
        options.add_user = optarg;
        break;
      case kTlsCert:
        options.tls_cert = optarg;
        break;
      case kTlsKey:
        options.tls_key = optarg;
        break;
      case kLog:
        options.access_log = optarg;
        break;
      case kCells:
      case kSeconds:
      case kRequests:
      case kIdle:
        count = Count(optarg);
        if (!count) return Usage(std::string("not a whole number of 1 or more: ") + optarg);
        if (code == kCells) options.max_cells = *count;
        if (code == kSeconds)
          options.query_seconds = static_cast<int>(std::min<std::size_t>(*count, 86400));
        if (code == kRequests) options.max_requests = *count;
        if (code == kIdle)
          options.idle_seconds = static_cast<int>(std::min<std::size_t>(*count, 3600));
        break;
      default:
        return Usage("unknown option");
    }
  }
  if (optind < argc) return Usage(std::string("unexpected argument: ") + argv[optind]);
  if (!options.cubes.empty() && !options.config.empty())
    return Usage("--cubes and --config exclude each other");
  if (!options.add_user.empty() && options.users.empty())
    return Usage("--add-user needs --users FILE");
  if (options.tls_cert.empty() != options.tls_key.empty())
    return Usage("--tls-cert and --tls-key go together");
  return std::nullopt;
}

int AddUser(const Options& options) {
  const std::string password = cubemill::platform::ReadSecretLine("Password: ");
  if (password.empty()) {
    std::fputs("cubemill-serve: the password is empty\n", stderr);
    return kExitFailed;
  }
  if (auto failure =
          cubemill::serve::UsersFile::AddUser(options.users, options.add_user, password)) {
    std::fprintf(stderr, "cubemill-serve: %s\n", failure->description.c_str());
    return kExitFailed;
  }
  std::printf("cubemill-serve: user %s added to %s\n", options.add_user.c_str(),
              options.users.c_str());
  return 0;
}

// Splits ADDR:PORT ([ADDR]:PORT for IPv6).
bool SplitListen(const std::string& listen, std::string& host, int& port) {
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = listen.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  const std::string digits = listen.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  port = std::atoi(digits.c_str());
  return port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const std::optional<int> status = ReadOptions(argc, argv, options)) return *status;
  if (!options.directory.empty()) {
    if (auto failure = cubemill::platform::ChangeDirectory(options.directory)) {
      std::fprintf(stderr, "cubemill-serve: cannot change to %s: %s\n", options.directory.c_str(),
                   failure->description.c_str());
      return kExitFailed;
    }
  }
  if (!options.add_user.empty()) return AddUser(options);

  cubemill::platform::InstallStopSignalHandlers();
  cubemill::serve::HttpOptions http;
  if (!SplitListen(options.listen, http.host, http.port))
    return Usage("--listen takes ADDR:PORT, such as 127.0.0.1:8080: " + options.listen);
  std::optional<cubemill::serve::UsersFile> users;
  if (!options.users.empty()) {
    auto read = cubemill::serve::UsersFile::Read(options.users);
    if (!read) {
      std::fprintf(stderr, "cubemill-serve: %s\n", read.error().description.c_str());
      return kExitFailed;
    }
    users = std::move(*read);
    http.users = &*users;
  }
  http.tls_cert = options.tls_cert;
  http.tls_key = options.tls_key;
  http.access_log = options.access_log;
  http.query_seconds = options.query_seconds;
  http.max_concurrent = options.max_requests;
  http.idle_seconds = options.idle_seconds;

  auto list =
      options.cubes.empty()
          ? cubemill::serve::JobCatalogs(options.config.empty() ? "cubemill.ini" : options.config)
          : cubemill::serve::CubeCatalogs::Folder(options.cubes);
  if (!list) {
    std::fprintf(stderr, "cubemill-serve: %s\n", list.error().description.c_str());
    return kExitFailed;
  }
  cubemill::serve::CubeCatalogs catalogs(std::move(*list));
  cubemill::serve::ServiceLimits limits;
  limits.max_cells = options.max_cells;
  cubemill::serve::ServerFacts facts;
  facts.product_version = cubemill::kVersion;
  cubemill::serve::XmlaService service(catalogs, facts, limits);
  const auto failure = cubemill::serve::Serve(service, http, [&](const std::string& url) {
    service.SetUrl(url);
    std::printf("cubemill-serve: listening on %s\n", url.c_str());
    std::fflush(stdout);
  });
  if (failure) {
    std::fprintf(stderr, "cubemill-serve: %s\n", failure->description.c_str());
    return kExitFailed;
  }
  return 0;
}
