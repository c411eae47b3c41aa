#include "app/command_line.h"

#include <getopt.h>

#include <cstdio>
#include <vector>

#include "version.h"

namespace cubemill::app {
namespace {

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
    "  -C DIR, --directory=DIR\n"
    "                   run in DIR, with the cubemill.ini of DIR, as if started there\n"
    "  -q, --quiet      print only warnings and the failure summary (on standard error)\n"
    "      --no-wait    end right after the job's last line (default: a 15-second pause)\n"
    "      --console    use the console even when a display is available\n"
    "      --list       list the jobs of cubemill.ini with their OQY files and exit\n"
    "      --json       with --list: the jobs as JSON\n"
    "      --check      check everything up to the build of JOB (settings, OQY file, statements,\n"
    "                   source and SELECT, cube directory) without building or logging\n"
    "      --           end of options: the remaining words name the job\n"
    "\n"
    "Exit status: 0 when the job ran cleanly, 1 when a step failed, 2 for a wrong option,\n"
    "75 when another run is writing the job's cube, 128 + N when signal N stopped the job.\n";

int Usage(const char* complaint) {
  if (complaint != nullptr) std::fprintf(stderr, "cubemill: %s\n", complaint);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

}  // namespace

std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
  enum { kNoWait = 256, kConsole, kList, kJson, kCheck };
  static const option kLongOptions[] = {{"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'V'},
                                        {"directory", required_argument, nullptr, 'C'},
                                        {"quiet", no_argument, nullptr, 'q'},
                                        {"no-wait", no_argument, nullptr, kNoWait},
                                        {"console", no_argument, nullptr, kConsole},
                                        {"list", no_argument, nullptr, kList},
                                        {"json", no_argument, nullptr, kJson},
                                        {"check", optional_argument, nullptr, kCheck},
                                        {nullptr, 0, nullptr, 0}};
  std::vector<std::string> words;
  ::opterr = 1;  // getopt names the wrong option on standard error
  ::optind = 1;
  for (int code; (code = ::getopt_long(argc, argv, "hVC:q", kLongOptions, nullptr)) != -1;) {
    switch (code) {
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      case 'V':
        std::printf("cubemill %s\n", kVersion);
        return 0;
      case 'C':
        // A second -C goes on from the first, as make and git take it.
        if (!options.directory.empty() && ::optarg[0] != '/') {
          options.directory += '/';
          options.directory += ::optarg;
        } else {
          options.directory = ::optarg;
        }
        if (options.directory.empty()) return Usage("-C needs a directory");
        break;
      case 'q':
        options.quiet = true;
        break;
      case kNoWait:
        options.no_wait = true;
        break;
      case kConsole:
        options.console = true;
        break;
      case kList:
        options.list = true;
        break;
      case kJson:
        options.json = true;
        break;
      case kCheck:
        // "--check JOB" and "--check=JOB" both name the job; the job's words are read the same
        // way as without --check.
        options.check = true;
        if (::optarg != nullptr) words.emplace_back(::optarg);
        break;
      default:
        return Usage(nullptr);
    }
  }
  for (int i = ::optind; i < argc; ++i) words.emplace_back(argv[i]);
  for (const std::string& word : words) {
    if (!options.job.empty()) options.job += ' ';
    options.job += word;
  }
  if (options.json && !options.list) return Usage("--json goes with --list");
  if (options.check && options.job.empty()) return Usage("--check needs a job");
  return std::nullopt;
}

}  // namespace cubemill::app
