#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/process.h"

namespace cubemill::platform {

bool SucceedsInChild(const std::function<bool()>& probe) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) ::dup2(null, STDERR_FILENO);
    ::_exit(probe() ? 0 : 1);  // no exit handlers: they belong to the parent
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<std::string> ExecInstalledProgram(const std::string& name,
                                                const std::vector<std::string>& relative_dirs,
                                                char* const* argv) {
  std::error_code error;
  const std::filesystem::path own = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || own.empty()) return std::nullopt;
  const std::filesystem::path own_dir = own.parent_path();
  std::vector<std::filesystem::path> candidates{own_dir / name};
  for (const std::string& dir : relative_dirs) candidates.push_back(own_dir / dir / name);
  for (const std::filesystem::path& candidate : candidates) {
    if (::access(candidate.c_str(), F_OK) != 0) continue;
    // Whatever this process buffered must reach its files before the other program owns them.
    std::fflush(nullptr);
    ::execv(candidate.c_str(), argv);
    return candidate.string() + ": " + std::strerror(errno);
  }
  return std::nullopt;
}

}  // namespace cubemill::platform
