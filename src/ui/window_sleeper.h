// The pauses of a job run in the window: the window keeps painting but ignores the user.
#pragma once

#include "platform/sleeper.h"

namespace cubemill::ui {

// Waits the given seconds inside an event loop that handles paint and window-system events but
// holds back all input of the user until the pause is over.
class WindowSleeper : public platform::Sleeper {
 public:
  void Sleep(int seconds) override;
};

}  // namespace cubemill::ui
