#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/sleeper.h"
#include "platform/temporary_file.h"
#include "support/test_support.h"

namespace cubemill::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::hours kNoWatchdog{24};

// Runs `body` in a child process (the handlers are for the whole process) and returns its wait
// status; `body` returns the child's exit status.
int InChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST(StopSignalsTest, RecordsTheFirstStopSignalAndLeavesIgnoredOnesIgnored) {
  test::TempDir dir;
  test::WriteBytes("partial.tmp", "x");
  const int status = InChild([] {
    ::signal(SIGINT, SIG_IGN);  // as a script's background job or nohup starts the program
    InstallStopSignalHandlers(kNoWatchdog);
    if (StopSignal() != 0) return 10;
    TemporaryFile file(fs::absolute("partial.tmp").string());
    ::raise(SIGINT);
    if (StopSignal() != 0 || !fs::exists("partial.tmp")) return 11;
    // A waiter wakes when the signal comes, whether it waits already or not yet.
    std::thread waiter([] { WaitUnlessStopped(kNoWatchdog); });
    ::raise(SIGHUP);
    waiter.join();
    if (StopSignal() != SIGHUP) return 12;
    ::raise(SIGTERM);  // a later one changes nothing and does not end the process
    if (StopSignal() != SIGHUP || !fs::exists("partial.tmp")) return 13;
    ThreadSleeper().Sleep(24 * 60 * 60);  // returns at once
    if (!WaitUnlessStopped(kNoWatchdog)) return 14;
    return 0;
  });
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(fs::exists("partial.tmp"));  // its owner removed it on the way out
  EXPECT_EQ(SignalName(SIGTERM), "SIGTERM");
  EXPECT_EQ(SignalName(SIGINT), "SIGINT");
  EXPECT_EQ(SignalName(SIGHUP), "SIGHUP");
}

TEST(StopSignalsTest, WatchdogEndsAProcessThatDoesNotStop) {
  test::TempDir dir;
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    test::WriteBytes("partial.tmp", "x");
    std::filesystem::remove("words.txt");
    const int status = InChild([signal_number] {
      InstallStopSignalHandlers(std::chrono::milliseconds(100));
      TemporaryFile file(fs::absolute("partial.tmp").string());
      auto say = [](const char* text) {
        return [text](int said_for) {
          test::WriteBytes("words.txt",
                           test::ReadBytes("words.txt") + text + std::to_string(said_for) + " ");
        };
      };
      LastWords first(say("first"));
      LastWords withdrawn(say("withdrawn"));
      LastWords last(say("last"));
      withdrawn.Withdraw();
      ::raise(signal_number);
      for (;;) ::pause();  // stuck: the watchdog ends the process
      return 1;
    });
    EXPECT_TRUE(WIFEXITED(status)) << signal_number << ": " << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
    EXPECT_FALSE(fs::exists("partial.tmp")) << signal_number;
    const std::string n = std::to_string(signal_number);
    EXPECT_EQ(test::ReadBytes("words.txt"), "last" + n + " first" + n + " ") << signal_number;
  }
}

}  // namespace
}  // namespace cubemill::platform
