#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include "support/system.h"

namespace cubemill::test {

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}

bool PermissionsBindThisProcess() { return ::geteuid() != 0; }

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  struct rlimit saved;
  if (::getrlimit(RLIMIT_FSIZE, &saved) != 0) return;
  struct rlimit limited = saved;
  limited.rlim_cur = static_cast<rlim_t>(bytes);
  // Ignored, SIGXFSZ no longer ends the process: the write fails with EFBIG instead.
  previous_ = ::signal(SIGXFSZ, SIG_IGN);
  if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) {
    ::signal(SIGXFSZ, previous_);
    return;
  }
  saved_ = saved.rlim_cur;
  applied_ = true;
}

FileSizeLimit::~FileSizeLimit() {
  if (!applied_) return;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    limit.rlim_cur = static_cast<rlim_t>(saved_);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::signal(SIGXFSZ, previous_);
}

std::string DriverPath(const std::string& path) { return path; }

}  // namespace cubemill::test
