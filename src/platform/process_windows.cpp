#include "platform/process.h"

namespace cubemill::platform {

// Windows has no fork: there is no cheap copy of this process to try the probe in, so it counts
// as failed and the caller takes the path it takes when the probe fails.
bool SucceedsInChild(const std::function<bool()>& /*probe*/) { return false; }

// The window part is not built for Windows, and Windows has no exec that keeps the process.
std::optional<std::string> ExecInstalledProgram(const std::string& name,
                                                const std::vector<std::string>& /*relative_dirs*/,
                                                char* const* /*argv*/) {
  return name + ": starting another program in this process is not supported on Windows";
}

}  // namespace cubemill::platform
