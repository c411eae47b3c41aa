// cubemill: builds offline cube files from OQY files, as a batch job named on the command line
// or by hand in a window.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "job/check_job.h"
#include "job/job_context.h"
#include "job/start_job.h"
#include "platform/ascii_text.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/durable_file.h"
#include "platform/file_system.h"
#include "platform/sleeper.h"
#include "platform/stop_signals.h"
#include "provider/connection/engine_connection.h"
#include "settings/ini_file.h"
#include "settings/run_log.h"
#include "ui/console_list.h"
#ifdef CUBEMILL_HAS_WINDOW
#include "ui/window_front_end.h"
#else
#include "platform/process.h"
#endif

namespace {

using cubemill::app::Options;

[[maybe_unused]] bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// Prints the jobs of the settings file, one a line: the section name, a tab, its OQY file; with
// `json`, one JSON array of {"job": name, "oqy": file} objects.
int ListJobs(bool json) {
  const std::string settings = cubemill::settings::SettingsPath();
  if (auto problem = cubemill::settings::SettingsFileProblem(settings)) {
    std::fprintf(stderr, "cubemill: %s\n", problem->c_str());
    return 1;
  }
  if (!cubemill::platform::IsRegularFile(settings)) {
    std::fprintf(stderr, "cubemill: no cubemill.ini in the current directory\n");
    return 1;
  }
  const auto jobs = cubemill::settings::ReadIniSectionsWithKey("OQY", settings);
  if (json) std::fputs("[", stdout);
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const std::string oqy = cubemill::settings::ReadIniValue(jobs[i], "OQY", settings);
    if (json) {
      std::printf("%s{\"job\": %s, \"oqy\": %s}", i == 0 ? "" : ", ",
                  cubemill::platform::JsonString(jobs[i]).c_str(),
                  cubemill::platform::JsonString(oqy).c_str());
    } else {
      // One line a job, whatever the file holds: control characters (a tab, an escape sequence)
      // become blanks, as in the run log.
      std::printf("%s\t%s\n", cubemill::settings::OneLine(jobs[i]).c_str(),
                  cubemill::settings::OneLine(oqy).c_str());
    }
  }
  if (json) std::fputs("]\n", stdout);
  return 0;
}

// The job's name as standard error shows it: one line, whatever the command line held.
std::string Shown(const std::string& job) { return cubemill::settings::OneLine(job); }

// After a failed job: the first thing that went wrong (one line), and a hint when the job is not
// in a readable settings file at all.
void ExplainFailure(const std::string& job, const std::vector<std::string>& errors) {
  std::fprintf(stderr, "cubemill: job %s failed: %s\n", Shown(job).c_str(),
               errors.empty() ? "see the progress list and cubemill.log"
                              : cubemill::settings::OneLine(errors.front()).c_str());
  const std::string settings = cubemill::settings::SettingsPath();
  if (!cubemill::platform::IsRegularFile(settings) ||
      cubemill::settings::SettingsFileProblem(settings)) {
    return;  // the first error already says what is wrong with the file
  }
  const auto jobs = cubemill::settings::ReadIniSectionsWithKey("OQY", settings);
  for (const std::string& name : jobs) {
    if (cubemill::platform::EqualsIgnoringCase(name, cubemill::platform::TrimBlanks(job))) return;
  }
  std::string names;
  for (const std::string& name : jobs) names += (names.empty() ? "" : ", ") + name;
  std::fprintf(stderr, "cubemill: no job [%s] in cubemill.ini (jobs: %s)\n", Shown(job).c_str(),
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
  cubemill::ui::ConsoleList list(stdout, stderr, options.quiet);
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
  if (options.job.empty() && !options.quiet) {
    std::fprintf(
        stderr,
        "cubemill: no job given and no window (no display, or cubemill-gui not installed); "
        "run 'cubemill JOB' "
        "(see 'cubemill --help')\n");
  }
  return status;
}

// Where the run takes place, before anything else: handed over to the window part where the
// window would open (when it is installed), then the directory of -C. Returns the exit status
// when the run cannot go on there, after saying why on standard error.
std::optional<int> SettleWhereItRuns(const Options& options, [[maybe_unused]] char** argv) {
#ifndef CUBEMILL_HAS_WINDOW
  // Where the window would open, the window part (package cubemill-gui) takes over when it is
  // installed: the same process with the same arguments, so the exit status, the signals and
  // their ignored state stay the caller's. Before -C, which the window part applies itself.
  if (!options.console && !options.check && !options.list && DisplayAvailable()) {
    if (auto failure = cubemill::platform::ExecInstalledProgram(CUBEMILL_WINDOW_PART,
                                                                {CUBEMILL_WINDOW_PART_DIR}, argv)) {
      std::fprintf(stderr, "cubemill: cannot start the window (%s); using the console\n",
                   failure->c_str());
    }
  }
#endif
  if (!options.directory.empty()) {
    if (auto error = cubemill::platform::ChangeDirectory(options.directory)) {
      std::fprintf(stderr, "cubemill: -C %s: %s\n", options.directory.c_str(),
                   error->description.c_str());
      return cubemill::app::kExitUsage;
    }
  }
  // A current directory that was removed (or cannot be resolved) has no path: every relative
  // path, the settings file's first, would then lead to the file system's root.
  if (cubemill::platform::CurrentDirectory().empty()) {
    std::fprintf(stderr,
                 "cubemill: the current directory no longer exists or cannot be resolved; start "
                 "cubemill in an existing directory or name one with -C\n");
    return 1;
  }
  return std::nullopt;
}

// The one-line summary on standard error of a check or a job that did not succeed.
void ReportEnd(const Options& options, int status, const std::vector<std::string>& errors) {
  if (status != 0 && options.check) {
    std::fprintf(stderr, "cubemill: check of job %s failed: %s\n", Shown(options.job).c_str(),
                 errors.empty() ? "see the lines above"
                                : cubemill::settings::OneLine(errors.front()).c_str());
  } else if (status == cubemill::job::kExitBusy && !errors.empty()) {
    // Not a failure of this job: another run of the same cube is under way.
    std::fprintf(stderr, "cubemill: job %s not started: %s\n", Shown(options.job).c_str(),
                 cubemill::settings::OneLine(errors.front()).c_str());
  } else if (status != 0 && !options.job.empty()) {
    ExplainFailure(options.job, errors);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The console and the arguments as UTF-8 (on Windows; elsewhere they are already).
  cubemill::platform::PrepareConsole(argc, argv);
  Options options;
  if (auto status = cubemill::app::ParseOptions(argc, argv, options)) return *status;
  if (auto status = SettleWhereItRuns(options, argv)) return *status;
  if (options.list) return ListJobs(options.json);
  // Whether the window opens is tried in a child process, so before the stop signals' watchdog
  // thread exists: a child forked while another thread holds a lock (the allocator's) could
  // wait for it for ever.
  [[maybe_unused]] bool window = false;
#ifdef CUBEMILL_HAS_WINDOW
  if (!options.console && !options.check && DisplayAvailable()) {
    window = cubemill::ui::WindowCanOpen(argc, argv);
    if (!window) {
      std::fprintf(stderr, "cubemill: cannot open the window on this display; using the console\n");
    }
  }
#endif
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
  if (window) {
    status = cubemill::ui::RunWindowFrontEnd(
        argc, argv, options.job, !options.no_wait,
        [&errors](const std::string& what) { errors.push_back(what); });
  }
#endif
  if (status < 0) status = RunConsole(options, errors);
  stop_notice.Withdraw();
  if (const int signal_number = cubemill::platform::StopSignal()) {
    std::fputs(StopLine(options, signal_number).c_str(), stderr);
    return 128 + signal_number;
  }
  ReportEnd(options, status, errors);
  return status;
}
