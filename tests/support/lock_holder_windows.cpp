#include <windows.h>

#include <fstream>

#include "support/lock_holder.h"

namespace cubemill::test {

LockHolder::LockHolder(const std::string& path) : path_(path) {
  platform::LockAttempt attempt = platform::TryLockFile(path);
  if (!attempt.lock.held()) return;
  lock_ = std::move(attempt.lock);
  pid_ = static_cast<long>(GetCurrentProcessId());
  holds_ = true;
}

void LockHolder::Kill() {
  if (!lock_.held()) return;
  // Release removes the lock file; a killed holder leaves it behind with its process id in it.
  lock_.Release();
  std::ofstream(path_, std::ios::binary | std::ios::trunc) << pid_;
  pid_ = -1;
}

}  // namespace cubemill::test
