// Ctrl+C as a stop signal on Windows (the console control event; run under wine on Linux), in a
// program of its own: the handlers it installs stay for the life of the process.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <csignal>

#include "platform/stop_signals.h"

namespace cubemill::platform {
namespace {

TEST(WindowsStopEventsTest, CtrlCIsRecordedAsSigintAndWakesAWaiter) {
  InstallStopSignalHandlers(std::chrono::minutes(5));  // no watchdog ending within the test
  EXPECT_EQ(StopSignal(), 0);
  EXPECT_FALSE(WaitUnlessStopped(std::chrono::milliseconds(10)));
  // Started by a test runner the process may have no console of its own to deliver the event.
  AllocConsole();
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
    GTEST_SKIP() << "no console to send Ctrl+C to (error " << GetLastError() << ")";
  }
  EXPECT_TRUE(WaitUnlessStopped(std::chrono::seconds(10)));
  EXPECT_EQ(StopSignal(), SIGINT);
  EXPECT_EQ(SignalName(StopSignal()), "SIGINT");
  // A second event changes nothing.
  GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0);
  Sleep(100);
  EXPECT_EQ(StopSignal(), SIGINT);
  EXPECT_EQ(SignalName(SIGTERM), "SIGTERM");
}

}  // namespace
}  // namespace cubemill::platform
