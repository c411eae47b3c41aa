#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/stop_signals.h"
#include "platform/stop_watch.h"

namespace cubemill::platform {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the signal handler touches: the stop's lock-free atomic and a pipe, nothing else.
int wake_pipe[2] = {-1, -1};  // the handler writes one byte, the watchdog reads it
std::atomic<bool> installed{false};

extern "C" void RecordStopSignal(int signal_number) {
  const int saved_errno = errno;
  if (stop_watch::Record(signal_number)) {
    const char byte = 1;
    (void)!::write(wake_pipe[1], &byte, 1);
  }
  errno = saved_errno;
}

void WatchForStop(std::chrono::milliseconds grace) {
  char byte = 0;
  while (::read(wake_pipe[0], &byte, 1) < 0 && errno == EINTR) {
  }
  stop_watch::WakeWaiters();
  std::this_thread::sleep_for(grace);
  // Still running: the work is stuck where it cannot notice the signal.
  stop_watch::EndProcess();
}

std::chrono::milliseconds watch_grace{0};  // set once, before the watchdog starts

extern "C" void* RunWatchdog(void*) {
  WatchForStop(watch_grace);
  return nullptr;
}

}  // namespace

void InstallStopSignalHandlers(std::chrono::milliseconds grace) {
  if (installed.exchange(true)) return;
  if (::pipe2(wake_pipe, O_CLOEXEC) != 0) return;  // the signals keep their default action
  // The handler must never block on a full pipe; one byte is all it ever writes.
  ::fcntl(wake_pipe[1], F_SETFL, ::fcntl(wake_pipe[1], F_GETFL) | O_NONBLOCK);
  // A detached POSIX thread whose argument is static: a std::thread would hand the new thread a
  // heap object that nothing else points to, which the leak checker of a sanitizer build reports
  // when a short run ends before the thread has started.
  watch_grace = grace;
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) == 0) {
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t watchdog;
    // Should it fail there is no watchdog: a stop is still noticed at every checkpoint.
    (void)::pthread_create(&watchdog, &attributes, RunWatchdog, nullptr);
    ::pthread_attr_destroy(&attributes);
  }

  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RecordStopSignal;
  action.sa_flags = SA_RESTART;  // a driver's read or write goes on instead of failing
  sigemptyset(&action.sa_mask);
  for (int signal_number : kStopSignals) sigaddset(&action.sa_mask, signal_number);
  for (int signal_number : kStopSignals) {
    struct sigaction current;
    if (::sigaction(signal_number, nullptr, &current) != 0) continue;
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace cubemill::platform
