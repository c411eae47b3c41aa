// cubemill: builds offline cube files from OQY files, as a batch job named on the command line
// or by hand in a window.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "job/job_context.h"
#include "job/start_job.h"
#include "platform/clock.h"
#include "platform/durable_file.h"
#include "platform/sleeper.h"
#include "provider/connection.h"
#include "ui/console_list.h"
#include "version.h"
#ifdef CUBEMILL_HAS_WINDOW
#include "ui/window_front_end.h"
#endif

namespace {

const char* const kUsage =
    "Usage: cubemill [JOB]\n"
    "       cubemill --help | --version\n"
    "\n"
    "Builds the offline cube of job JOB, a section of cubemill.ini in the current directory\n"
    "(the file is created with sample jobs when it is missing): reads the section's OQY file,\n"
    "builds the cube file it names from its ODBC source, stamps the cube file with the date and\n"
    "time (CUB_TS), writes a VBScript that repeats the build (OQY2VBS), and logs every step to\n"
    "standard output and to cubemill.log in the LOGDIR of the section named by GLOBAL.\n"
    "The program ends 15 seconds after the job.\n"
    "\n"
    "Without JOB, cubemill opens its window when a display is available.\n"
    "\n"
    "Exit status: 0 when the job ran cleanly, 1 when a step failed.\n";

// The command-line parameter: every argument after the program name, joined with blanks.
std::string JoinArguments(int argc, char** argv) {
  std::string parameter;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) parameter += ' ';
    parameter += argv[i];
  }
  return parameter;
}

[[maybe_unused]] bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

int RunConsole(const std::string& parameter) {
  cubemill::ui::ConsoleList list;
  cubemill::platform::SystemClock clock;
  cubemill::platform::ThreadSleeper sleeper;
  cubemill::job::JobContext context{list, clock, sleeper, [&list] {
                                      return cubemill::provider::NewEngineConnection(
                                          [&list](std::uint64_t rows) { list.ShowRowsRead(rows); });
                                    }};
  const int status = cubemill::job::StartFromCommandLine(context, parameter);
  if (parameter.empty()) {
    std::fprintf(stderr,
                 "cubemill: no job given and no display for the window; run 'cubemill JOB' "
                 "(see 'cubemill --help')\n");
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string parameter = JoinArguments(argc, argv);
  if (parameter == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (parameter == "--version") {
    std::printf("cubemill %s\n", cubemill::kVersion);
    return 0;
  }
  // A file-size limit ends a write with an error the job reports, not the process.
  cubemill::platform::IgnoreFileSizeSignal();
#ifdef CUBEMILL_HAS_WINDOW
  if (DisplayAvailable()) {
    if (cubemill::ui::WindowCanOpen(argc, argv)) {
      return cubemill::ui::RunWindowFrontEnd(argc, argv, parameter);
    }
    std::fprintf(stderr, "cubemill: cannot open the window on this display; using the console\n");
  }
#endif
  return RunConsole(parameter);
}
