#include "platform/sleeper.h"

#include <chrono>
#include <thread>

namespace cubemill::platform {

void ThreadSleeper::Sleep(int seconds) {
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

}  // namespace cubemill::platform
