#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/lock_holder.h"

namespace cubemill::test {

LockHolder::LockHolder(const std::string& path) : path_(path) {
  int channel[2];
  if (::pipe(channel) != 0) return;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(channel[0]);
    const platform::LockAttempt attempt = platform::TryLockFile(path);
    const char held = attempt.lock.held() ? '1' : '0';
    if (::write(channel[1], &held, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  pid_ = pid;
  ::close(channel[1]);
  char held = '0';
  holds_ = pid > 0 && ::read(channel[0], &held, 1) == 1 && held == '1';
  ::close(channel[0]);
}

void LockHolder::Kill() {
  if (pid_ <= 0) return;
  ::kill(static_cast<pid_t>(pid_), SIGKILL);
  int status = 0;
  ::waitpid(static_cast<pid_t>(pid_), &status, 0);
  pid_ = -1;
}

}  // namespace cubemill::test
