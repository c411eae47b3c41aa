#include "platform/sleeper.h"

#include <chrono>

#include "platform/stop_signals.h"

namespace cubemill::platform {

void ThreadSleeper::Sleep(int seconds) { WaitUnlessStopped(std::chrono::seconds(seconds)); }

}  // namespace cubemill::platform
