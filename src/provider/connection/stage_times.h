// The time each stage of a build takes, told to whoever asks for it (a benchmark). Nothing is
// measured for no one.
#pragma once

#include <chrono>
#include <functional>
#include <utility>

namespace cubemill::provider::connection {

// Told a stage's name and its wall time in seconds.
using StageTimed = std::function<void(const char* stage, double seconds)>;

// Measures consecutive stages: each Lap reports the time since the clock started or since the
// previous Lap.
class StageClock {
 public:
  explicit StageClock(StageTimed timed) : timed_(std::move(timed)) { Restart(); }

  void Restart() {
    if (timed_) start_ = std::chrono::steady_clock::now();
  }

  void Lap(const char* stage) {
    if (!timed_) return;
    const auto now = std::chrono::steady_clock::now();
    timed_(stage, std::chrono::duration<double>(now - start_).count());
    start_ = now;
  }

 private:
  StageTimed timed_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace cubemill::provider::connection
