// Blocking pauses, behind a seam so tests do not wait.
#pragma once

namespace cubemill::platform {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  // Blocks the calling thread for `seconds` whole seconds.
  virtual void Sleep(int seconds) = 0;
};

// Really sleeps, but returns at once when a stop signal arrives (StopSignal): a stopped job does
// not sit out its pauses.
class ThreadSleeper : public Sleeper {
 public:
  void Sleep(int seconds) override;
};

}  // namespace cubemill::platform
