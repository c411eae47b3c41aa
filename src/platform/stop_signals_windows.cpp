#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/stop_signals.h"
#include "platform/temporary_file.h"

namespace cubemill::platform {
namespace {

// Windows has no signals to stop a console program: it has console control events, which this
// file maps to the signal numbers the rest of the program reports. Ctrl+C is SIGINT, Ctrl+Break
// SIGTERM, and the console's closing, the user's logoff and the shutdown are SIGHUP (the
// terminal went away).
constexpr int kHangUp = 1;

std::atomic<int> stop_signal{0};
HANDLE wake_event = nullptr;  // set by the control handler, waited for by the watchdog
std::atomic<bool> installed{false};
std::chrono::milliseconds watch_grace{0};  // set once, before the watchdog starts

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

int SignalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return SIGINT;
    case CTRL_BREAK_EVENT:
      return SIGTERM;
    default:
      return kHangUp;
  }
}

// Windows runs this on a new thread of its own. A process that ignores Ctrl+C (started that way
// by its parent) never gets CTRL_C_EVENT here, so an ignored Ctrl+C stays ignored.
BOOL WINAPI RecordStopEvent(DWORD event) {
  int none = 0;
  if (stop_signal.compare_exchange_strong(none, SignalOf(event))) SetEvent(wake_event);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // For the other events Windows ends the process as soon as this returns: it waits here
  // while the work stops by itself or the watchdog ends the process.
  Sleep(INFINITE);
  return TRUE;
}

DWORD WINAPI WatchForStop(void*) {
  WaitForSingleObject(wake_event, INFINITE);
  Watch& watch = TheWatch();
  { std::lock_guard<std::mutex> lock(watch.mutex); }  // a waiter is either waiting or sees it
  watch.stopped.notify_all();
  Sleep(static_cast<DWORD>(watch_grace.count()));

  // Still running: the work is stuck where it cannot notice the stop.
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

}  // namespace

void InstallStopSignalHandlers(std::chrono::milliseconds grace) {
  if (installed.exchange(true)) return;
  wake_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (wake_event == nullptr) return;  // the events keep their default action
  TheWatch();
  watch_grace = grace;
  // Should it fail there is no watchdog: a stop is still noticed at every checkpoint.
  HANDLE watchdog = CreateThread(nullptr, 0, WatchForStop, nullptr, 0, nullptr);
  if (watchdog != nullptr) CloseHandle(watchdog);
  SetConsoleCtrlHandler(RecordStopEvent, TRUE);
}

int StopSignal() { return stop_signal.load(); }

std::string SignalName(int signal_number) {
  switch (signal_number) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case kHangUp:
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
