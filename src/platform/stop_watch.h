// What the stop handling of every system shares (stop_signals_posix.cpp and
// stop_signals_windows.cpp): the first stop, the threads that wait for one, and the watchdog's
// end of a process that did not stop in time.
#pragma once

#include <csignal>

namespace cubemill::platform::stop_watch {

// The number a hang-up is reported by: SIGHUP, or on Windows, which has no SIGHUP, its POSIX
// number 1, for the console's closing, the logoff and the shutdown.
#ifdef SIGHUP
inline constexpr int kHangUp = SIGHUP;
#else
inline constexpr int kHangUp = 1;
#endif

// Records `signal_number` as the stop unless one was recorded before; true when this was the
// first. Touches one lock-free atomic only, so a signal handler may call it.
bool Record(int signal_number);

// Wakes whoever waits in WaitUnlessStopped; the watchdog calls it once a stop was recorded.
void WakeWaiters();

// For the watchdog when the process is still running after the grace period: removes the
// temporary files, says the LastWords in force, newest first, and ends the process with exit
// status 128 + the signal's number.
[[noreturn]] void EndProcess();

}  // namespace cubemill::platform::stop_watch
