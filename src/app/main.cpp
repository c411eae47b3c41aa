// cubemill: builds offline cube files from OQY files, as a batch job named on the command line
// or by hand in a window.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "job/check_job.h"
#include "job/job_context.h"
#include "job/start_job.h"
#include "platform/ascii_text.h"
#include "platform/clock.h"
#include "platform/durable_file.h"
#include "platform/file_system.h"
#include "platform/sleeper.h"
#include "platform/stop_signals.h"
#include "provider/connection/engine_connection.h"
#include "settings/ini_file.h"
#include "ui/console_list.h"
#include "version.h"
#ifdef CUBEMILL_HAS_WINDOW
#include "ui/window_front_end.h"
#endif

namespace {

constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: cubemill [OPTION]... [JOB]\n"
    "\n"
    "Builds the offline cube of job JOB, a section of cubemill.ini in the current directory\n"
    "(the file is created with sample jobs when it is missing): reads the section's OQY file,\n"
    "builds the cube file it names from its ODBC source, stamps the cube file with the date and\n"
    "time (CUB_TS), writes a VBScript that repeats the build (OQY2VBS), and logs every step to\n"
    "standard output and to cubemill.log in the LOGDIR of the section named by GLOBAL.\n"
    "All words after the options, joined with blanks, name the job.\n"
    "Without JOB, cubemill opens its window when a display is available.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  -V, --version    show the version and exit\n"
    "      --no-wait    end right after the job's last line (default: a 15-second pause)\n"
    "      --console    use the console even when a display is available\n"
    "      --list       list the jobs of cubemill.ini with their OQY files and exit\n"
    "      --check JOB  check everything up to the build of JOB (settings, OQY file, statements,\n"
    "                   source and SELECT, cube directory) without building or logging\n"
    "      --           end of options: the remaining words name the job\n"
    "\n"
    "Exit status: 0 when the job ran cleanly, 1 when a step failed, 2 for a wrong option.\n";

struct Options {
  bool no_wait = false;
  bool console = false;
  bool list = false;
  bool check = false;
  std::string job;  // the command-line parameter: the job's section name, or ""
};

// Parses the options; returns the exit status when the program ends here (help, version,
// a wrong option), nothing when it goes on.
std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
  enum { kNoWait = 256, kConsole, kList, kCheck };
  static const option kLongOptions[] = {{"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'V'},
                                        {"no-wait", no_argument, nullptr, kNoWait},
                                        {"console", no_argument, nullptr, kConsole},
                                        {"list", no_argument, nullptr, kList},
                                        {"check", required_argument, nullptr, kCheck},
                                        {nullptr, 0, nullptr, 0}};
  std::vector<std::string> words;
  ::opterr = 1;  // getopt names the wrong option on standard error
  for (int code; (code = ::getopt_long(argc, argv, "hV", kLongOptions, nullptr)) != -1;) {
    switch (code) {
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      case 'V':
        std::printf("cubemill %s\n", cubemill::kVersion);
        return 0;
      case kNoWait:
        options.no_wait = true;
        break;
      case kConsole:
        options.console = true;
        break;
      case kList:
        options.list = true;
        break;
      case kCheck:
        options.check = true;
        words.emplace_back(::optarg);
        break;
      default:
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
  }
  for (int i = ::optind; i < argc; ++i) words.emplace_back(argv[i]);
  for (const std::string& word : words) {
    if (!options.job.empty()) options.job += ' ';
    options.job += word;
  }
  return std::nullopt;
}

[[maybe_unused]] bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// Prints the jobs of the settings file, one a line: the section name, a tab, its OQY file.
int ListJobs() {
  const std::string settings = cubemill::settings::SettingsPath();
  const auto jobs = cubemill::settings::ReadIniSectionsWithKey("OQY", settings);
  if (!cubemill::platform::IsRegularFile(settings)) {
    std::fprintf(stderr, "cubemill: no cubemill.ini in the current directory\n");
    return 1;
  }
  for (const std::string& name : jobs) {
    std::printf("%s\t%s\n", name.c_str(),
                cubemill::settings::ReadIniValue(name, "OQY", settings).c_str());
  }
  return 0;
}

// After a failed job: the first thing that went wrong, and a hint when the job is not in the
// settings file at all.
void ExplainFailure(const std::string& job, const std::vector<std::string>& errors) {
  std::fprintf(stderr, "cubemill: job %s failed: %s\n", job.c_str(),
               errors.empty() ? "see the progress list and cubemill.log" : errors.front().c_str());
  const std::string settings = cubemill::settings::SettingsPath();
  const auto jobs = cubemill::settings::ReadIniSectionsWithKey("OQY", settings);
  for (const std::string& name : jobs) {
    if (cubemill::platform::EqualsIgnoringCase(name, cubemill::platform::TrimBlanks(job))) return;
  }
  std::string names;
  for (const std::string& name : jobs) names += (names.empty() ? "" : ", ") + name;
  std::fprintf(stderr, "cubemill: no job [%s] in cubemill.ini (jobs: %s)\n", job.c_str(),
               names.c_str());
}

// The one line on standard error of a run that a stop signal ended.
std::string StopLine(const Options& options, int signal_number) {
  const std::string by = " stopped by " + cubemill::platform::SignalName(signal_number) + "\n";
  if (options.job.empty()) return "cubemill:" + by;
  std::string job = options.job;
  for (char& c : job) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return (options.check ? "cubemill: check of job " : "cubemill: job ") + job + by;
}

int RunConsole(const Options& options, std::vector<std::string>& errors) {
  cubemill::ui::ConsoleList list;
  cubemill::platform::SystemClock clock;
  cubemill::platform::ThreadSleeper sleeper;
  cubemill::job::JobContext context{list, clock, sleeper, [&list, &clock] {
                                      return cubemill::provider::connection::NewEngineConnection(
                                          [&list](std::uint64_t rows) { list.ShowRowsRead(rows); },
                                          &clock);
                                    }};
  context.pause_at_end = !options.no_wait;
  context.report_error = [&errors](const std::string& what) { errors.push_back(what); };
  if (options.check) return cubemill::job::CheckFromCommandLine(context, options.job);
  const int status = cubemill::job::StartFromCommandLine(context, options.job);
  if (options.job.empty()) {
    std::fprintf(stderr,
                 "cubemill: no job given and no display for the window; run 'cubemill JOB' "
                 "(see 'cubemill --help')\n");
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (auto status = ParseOptions(argc, argv, options)) return *status;
  if (options.list) return ListJobs();
  // A file-size limit ends a write with an error the job reports, not the process.
  cubemill::platform::IgnoreFileSizeSignal();
  // SIGTERM, SIGINT and SIGHUP stop the job, which ends as a failed job does, and the program
  // exits with 128 + the signal's number. Should the job not end in time, the watchdog says this.
  cubemill::platform::InstallStopSignalHandlers();
  cubemill::platform::LastWords stop_notice([options](int signal_number) {
    std::fputs(StopLine(options, signal_number).c_str(), stderr);
  });

  std::vector<std::string> errors;
  int status = -1;
#ifdef CUBEMILL_HAS_WINDOW
  if (!options.console && !options.check && DisplayAvailable()) {
    if (cubemill::ui::WindowCanOpen(argc, argv)) {
      status = cubemill::ui::RunWindowFrontEnd(
          argc, argv, options.job, !options.no_wait,
          [&errors](const std::string& what) { errors.push_back(what); });
    } else {
      std::fprintf(stderr, "cubemill: cannot open the window on this display; using the console\n");
    }
  }
#endif
  if (status < 0) status = RunConsole(options, errors);
  stop_notice.Withdraw();
  if (const int signal_number = cubemill::platform::StopSignal()) {
    std::fputs(StopLine(options, signal_number).c_str(), stderr);
    return 128 + signal_number;
  }
  if (status != 0 && options.check) {
    std::fprintf(stderr, "cubemill: check of job %s failed: %s\n", options.job.c_str(),
                 errors.empty() ? "see the lines above" : errors.front().c_str());
  } else if (status != 0 && !options.job.empty()) {
    ExplainFailure(options.job, errors);
  }
  return status;
}
