#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/stop_signals.h"
#include "platform/stop_watch.h"

namespace cubemill::platform {
namespace {

// Windows has no signals to stop a console program: it has console control events, which this
// file maps to the signal numbers the rest of the program reports. Ctrl+C is SIGINT, Ctrl+Break
// SIGTERM, and the console's closing, the user's logoff and the shutdown are SIGHUP (the
// terminal went away: stop_watch::kHangUp).
using stop_watch::kHangUp;

HANDLE wake_event = nullptr;  // set by the control handler, waited for by the watchdog
std::atomic<bool> installed{false};
std::chrono::milliseconds watch_grace{0};  // set once, before the watchdog starts

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
  if (stop_watch::Record(SignalOf(event))) SetEvent(wake_event);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // For the other events Windows ends the process as soon as this returns: it waits here
  // while the work stops by itself or the watchdog ends the process.
  Sleep(INFINITE);
  return TRUE;
}

DWORD WINAPI WatchForStop(void*) {
  WaitForSingleObject(wake_event, INFINITE);
  stop_watch::WakeWaiters();
  Sleep(static_cast<DWORD>(watch_grace.count()));
  // Still running: the work is stuck where it cannot notice the stop.
  stop_watch::EndProcess();
}

}  // namespace

void InstallStopSignalHandlers(std::chrono::milliseconds grace) {
  if (installed.exchange(true)) return;
  wake_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (wake_event == nullptr) return;  // the events keep their default action
  watch_grace = grace;
  // Should it fail there is no watchdog: a stop is still noticed at every checkpoint.
  HANDLE watchdog = CreateThread(nullptr, 0, WatchForStop, nullptr, 0, nullptr);
  if (watchdog != nullptr) CloseHandle(watchdog);
  SetConsoleCtrlHandler(RecordStopEvent, TRUE);
}

}  // namespace cubemill::platform
