#include "bench/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace cubemill::bench {

namespace {

// Waits for `pid` until `deadline`, sleeping in sigtimedwait on SIGCHLD (blocked by the caller)
// so that a child's end is seen at once; kills the child when the deadline passes. Returns what
// wait4 returned.
pid_t WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, const sigset_t& chld,
                int& status, rusage& usage, bool& timed_out) {
  for (;;) {
    const pid_t waited = wait4(pid, &status, WNOHANG, &usage);
    if (waited != 0 && !(waited < 0 && errno == EINTR)) return waited;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec wait_for{static_cast<time_t>(nanoseconds / 1000000000),
                      static_cast<long>(nanoseconds % 1000000000)};
    sigtimedwait(&chld, nullptr, &wait_for);
  }
  timed_out = true;
  kill(pid, SIGKILL);
  pid_t waited;
  do {
    waited = wait4(pid, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  return waited;
}

}  // namespace

ChildRun RunChild(const std::vector<std::string>& argv, const std::string& log,
                  double timeout_seconds) {
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
  // With a time limit SIGCHLD is blocked while the child runs, so that sigtimedwait sees it.
  sigset_t chld, old_mask;
  sigemptyset(&chld);
  sigaddset(&chld, SIGCHLD);
  const bool limited = timeout_seconds > 0;
  if (limited) sigprocmask(SIG_BLOCK, &chld, &old_mask);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (limited) sigprocmask(SIG_SETMASK, &old_mask, nullptr);
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
    if (limited) sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    return run;
  }
  int status = 0;
  rusage usage{};
  pid_t waited;
  if (limited) {
    const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(timeout_seconds));
    waited = WaitUntil(pid, deadline, chld, status, usage, run.timed_out);
    // A SIGCHLD still pending would be delivered (and ignored) once unblocked: take it first.
    timespec none{0, 0};
    while (sigtimedwait(&chld, nullptr, &none) > 0) {
    }
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  } else {
    do {
      waited = wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
  }
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
