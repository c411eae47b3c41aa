#include "platform/stop_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/temporary_file.h"

namespace cubemill::platform {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the signal handler touches: a lock-free atomic and a pipe, nothing else.
std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
int wake_pipe[2] = {-1, -1};  // the handler writes one byte, the watchdog reads it
std::atomic<bool> installed{false};

// Shared by the watchdog and the threads that wait or hand it words. Never destroyed: the
// watchdog may still run while the process exits.
struct Watch {
  std::mutex mutex;  // held by the watchdog from its words to the end of the process
  std::condition_variable stopped;
  std::vector<std::pair<std::uint64_t, std::function<void(int)>>> words;  // oldest first
  std::uint64_t next_id = 1;
};

Watch& TheWatch() {
  static Watch* watch = new Watch;
  return *watch;
}

extern "C" void RecordStopSignal(int signal_number) {
  const int saved_errno = errno;
  int none = 0;
  if (stop_signal.compare_exchange_strong(none, signal_number)) {
    const char byte = 1;
    (void)!::write(wake_pipe[1], &byte, 1);
  }
  errno = saved_errno;
}

void WatchForStop(std::chrono::milliseconds grace) {
  char byte = 0;
  while (::read(wake_pipe[0], &byte, 1) < 0 && errno == EINTR) {
  }
  Watch& watch = TheWatch();
  { std::lock_guard<std::mutex> lock(watch.mutex); }  // a waiter is either waiting or sees it
  watch.stopped.notify_all();
  std::this_thread::sleep_for(grace);

  // Still running: the work is stuck where it cannot notice the signal.
  watch.mutex.lock();  // never unlocked: Withdraw waits here for the end of the process
  RemoveListedTemporaryFiles();
  const int signal_number = StopSignal();
  for (auto word = watch.words.rbegin(); word != watch.words.rend(); ++word) {
    try {
      word->second(signal_number);
    } catch (...) {
      // The process ends all the same.
    }
  }
  ::_exit(128 + signal_number);
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
  TheWatch();
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

int StopSignal() { return stop_signal.load(); }

std::string SignalName(int signal_number) {
  switch (signal_number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal_number);
  }
}

bool WaitUnlessStopped(std::chrono::milliseconds duration) {
  Watch& watch = TheWatch();
  std::unique_lock<std::mutex> lock(watch.mutex);
  return watch.stopped.wait_for(lock, duration, [] { return StopSignal() != 0; });
}

LastWords::LastWords(std::function<void(int signal_number)> say) {
  Watch& watch = TheWatch();
  std::lock_guard<std::mutex> lock(watch.mutex);
  id_ = watch.next_id++;
  watch.words.emplace_back(id_, std::move(say));
}

LastWords::~LastWords() { Withdraw(); }

void LastWords::Withdraw() {
  if (id_ == 0) return;
  Watch& watch = TheWatch();
  std::lock_guard<std::mutex> lock(watch.mutex);
  std::erase_if(watch.words, [this](const auto& word) { return word.first == id_; });
  id_ = 0;
}

}  // namespace cubemill::platform
