// Stopping on SIGTERM, SIGINT and SIGHUP: the signal is only recorded, the work notices it at its
// next checkpoint and ends the way a failure ends, and a watchdog ends a process that is stuck
// (in a driver call, say) a few seconds later.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace cubemill::platform {

// How long the process has after a stop signal to end by itself before the watchdog ends it.
inline constexpr std::chrono::milliseconds kStopGracePeriod{5000};

// Makes SIGTERM, SIGINT and SIGHUP stop the process instead of killing it. The first of them is
// recorded (StopSignal), wakes whoever waits in WaitUnlessStopped, and starts the watchdog: when
// the process is still running `grace` later, the watchdog removes the temporary files
// (TemporaryFile), says the LastWords in force, newest first, and ends the process with exit
// status 128 + the signal's number. Later stop signals change nothing. A signal that is ignored
// when this is called (a job started with nohup, or in the background by a script) stays
// ignored. Call once, early in main(); later calls do nothing.
void InstallStopSignalHandlers(std::chrono::milliseconds grace = kStopGracePeriod);

// The first stop signal received, 0 while there was none. Cheap enough to ask once per row.
int StopSignal();

// "SIGTERM", "SIGINT", "SIGHUP", or "signal <number>" for any other.
std::string SignalName(int signal_number);

// Waits `duration`, or less when a stop signal arrives meanwhile; returns true when one was
// received (at once when it came before the call).
bool WaitUnlessStopped(std::chrono::milliseconds duration);

// What the watchdog says before it ends a process that did not stop in time (the closing lines
// of a job's run log, the line on standard error), for as long as this object lives. `say` gets
// the signal's number and runs on the watchdog's thread while the thread that made this object
// may be blocked anywhere: it must not wait for that thread, and should use only copies of what
// it needs.
class LastWords {
 public:
  explicit LastWords(std::function<void(int signal_number)> say);
  // Withdraw()
  ~LastWords();
  LastWords(const LastWords&) = delete;
  LastWords& operator=(const LastWords&) = delete;

  // From now on the watchdog does not say these words: the caller says them itself. When the
  // watchdog is already saying its words, this waits for the end of the process and never
  // returns, so the words are never said twice.
  void Withdraw();

 private:
  std::uint64_t id_ = 0;  // 0 once withdrawn
};

}  // namespace cubemill::platform
