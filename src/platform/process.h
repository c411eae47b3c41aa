// Trying something that may end the process, without risking this one.
#pragma once

#include <functional>

namespace cubemill::platform {

// Runs `probe` in a child process whose standard error is discarded, and returns true when it
// returned true there. A child that aborts, crashes or cannot be started counts as false.
bool SucceedsInChild(const std::function<bool()>& probe);

}  // namespace cubemill::platform
