#include "platform/stop_signals.h"

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/stop_watch.h"
#include "platform/temporary_file.h"

namespace cubemill::platform {
namespace {

std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

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

}  // namespace

namespace stop_watch {

bool Record(int signal_number) {
  int none = 0;
  return stop_signal.compare_exchange_strong(none, signal_number);
}

void WakeWaiters() {
  Watch& watch = TheWatch();
  { std::lock_guard<std::mutex> lock(watch.mutex); }  // a waiter is either waiting or sees it
  watch.stopped.notify_all();
}

void EndProcess() {
  Watch& watch = TheWatch();
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
  std::_Exit(128 + signal_number);
}

}  // namespace stop_watch

int StopSignal() { return stop_signal.load(); }

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

std::string SignalName(int signal_number) {
  switch (signal_number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case stop_watch::kHangUp:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal_number);
  }
}

}  // namespace cubemill::platform
