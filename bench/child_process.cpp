#include "bench/child_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace cubemill::bench {

ChildRun RunChild(const std::vector<std::string>& argv, const std::string& log) {
  ChildRun run;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // Opened before the fork, so that the child only calls async-signal-safe functions.
  const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (input < 0 || output < 0) {
    run.failure =
        "cannot open " + (input < 0 ? std::string("/dev/null") : log) + ": " + std::strerror(errno);
    if (input >= 0) close(input);
    if (output >= 0) close(output);
    return run;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) _exit(126);
    execvp(args[0], args.data());
    const char message[] = "exec failed\n";
    [[maybe_unused]] const ssize_t written = write(2, message, sizeof message - 1);
    _exit(127);
  }
  close(input);
  close(output);
  if (pid < 0) {
    run.failure = std::string("fork failed: ") + std::strerror(errno);
    return run;
  }
  int status = 0;
  rusage usage{};
  pid_t waited;
  do {
    waited = wait4(pid, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (waited < 0) {
    run.failure = std::string("wait4 failed: ") + std::strerror(errno);
    return run;
  }
  run.peak_rss_kib = usage.ru_maxrss;
  run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (WIFEXITED(status)) {
    run.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    run.exit_code = 128 + WTERMSIG(status);
  }
  return run;
}

long OwnPeakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace cubemill::bench
