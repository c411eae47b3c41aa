// A child process that holds a lock file's lock, as another run of a job would, until it is
// killed.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/file_lock.h"

namespace cubemill::test {

class LockHolder {
 public:
  // Starts the child, which locks `path` (a native path), says whether it could, and waits.
  explicit LockHolder(const std::string& path) {
    int channel[2];
    if (::pipe(channel) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(channel[0]);
      const platform::LockAttempt attempt = platform::TryLockFile(path);
      const char held = attempt.lock.held() ? '1' : '0';
      if (::write(channel[1], &held, 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(channel[1]);
    char held = '0';
    holds_ = pid_ > 0 && ::read(channel[0], &held, 1) == 1 && held == '1';
    ::close(channel[0]);
  }
  ~LockHolder() { Kill(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  pid_t pid() const { return pid_; }
  // True when the child took the lock.
  bool holds() const { return holds_; }
  // Ends the child as kill -9 would and waits for it; the lock file stays behind.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool holds_ = false;
};

}  // namespace cubemill::test
