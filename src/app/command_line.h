// The options of the cubemill program and the job name its arguments give.
#pragma once

#include <optional>
#include <string>

namespace cubemill::app {

inline constexpr int kExitUsage = 2;

struct Options {
  bool no_wait = false;
  bool console = false;
  bool list = false;
  bool json = false;  // --list prints JSON
  bool check = false;
  bool quiet = false;     // only warnings and the failure summary
  std::string directory;  // -C: the folder to run in, "" for the current one
  std::string job;        // the job's section name: every word after the options, joined
};

// Parses `argv` the way GNU tools do (options and words may mix; "--" ends the options) into
// `options`. Returns the exit status when the program ends here: 0 after --help or --version
// (printed on standard output), kExitUsage after a wrong option or a missing argument (the
// usage on standard error). Nothing when the program goes on.
std::optional<int> ParseOptions(int argc, char** argv, Options& options);

}  // namespace cubemill::app
