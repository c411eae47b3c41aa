// Another holder of a lock file's lock, as another run of a job would be, until it is killed.
#pragma once

#include <string>

#include "platform/file_lock.h"

namespace cubemill::test {

class LockHolder {
 public:
  // Locks `path` (a native path) from a holder of its own and records whether it could. On POSIX
  // the holder is a child process; on Windows, whose locks belong to a file handle and not to a
  // process, it is a handle of this process, so that the lock conflicts with this process's
  // other handles as it would with another process.
  explicit LockHolder(const std::string& path);
  ~LockHolder() { Kill(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  // The process id the holder writes into the lock file.
  long pid() const { return pid_; }
  // True when the holder took the lock.
  bool holds() const { return holds_; }
  // Ends the holder as kill -9 would a process: the lock is released, the lock file stays behind.
  void Kill();

 private:
  std::string path_;
  long pid_ = -1;
  bool holds_ = false;
  platform::FileLock lock_;  // the lock, where this process holds it (Windows)
};

}  // namespace cubemill::test
