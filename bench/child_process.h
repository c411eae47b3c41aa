// Runs one benchmark command as a child process and measures it from outside: wall time and
// the child's own peak resident memory.
#pragma once

#include <string>
#include <vector>

namespace cubemill::bench {

// What one run of a command gave.
struct ChildRun {
  double seconds = 0;      // wall time from fork to the end of the child
  double cpu_seconds = 0;  // user + system CPU time of the child
  long peak_rss_kib = 0;   // ru_maxrss of the child (wait4), in KiB
  int exit_code = 0;       // the exit status; 128 + the signal when a signal ended it
  bool timed_out = false;  // stopped (SIGKILL) when its time ran out; exit_code is then 137
  std::string failure;     // why the child could not be started, or "" when it ran
};

// Runs `argv` (argv[0] is looked up in PATH when it has no slash) with standard input from
// /dev/null and standard output and standard error appended to the file `log`; waits for it.
// With `timeout_seconds` above 0 a child still running after that long is killed (SIGKILL) and
// reported as timed out; its peak RSS is then what it had reached.
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& log,
                  double timeout_seconds = 0);

// The peak resident memory of this process so far, in KiB. A child starts as a copy of this
// process, so this is a floor under what the children report.
long OwnPeakRssKib();

}  // namespace cubemill::bench
