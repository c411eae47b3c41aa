// An exclusive lock on a lock file that one process at a time holds, so that two runs do not
// write the same file at once; the system releases it when its process ends, however it ends.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "common/error.h"

namespace cubemill::platform {

// Returns the lock file that guards `target` (backslashes allowed) as a native path:
// ".<target name>.lock" beside it.
std::string LockFileFor(const std::string& target);

struct LockAttempt;

// A held lock, or nothing. Moving hands the lock over; the last owner releases it.
class FileLock {
 public:
  FileLock() = default;
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  bool held() const { return descriptor_ >= 0; }
  // Removes the lock file and releases the lock; nothing happens when none is held.
  void Release();

 private:
  friend LockAttempt TryLockFile(const std::string& path);
  FileLock(std::string path, int descriptor) : path_(std::move(path)), descriptor_(descriptor) {}

  std::string path_;
  int descriptor_ = -1;
};

// The outcome of one try: the lock taken, another process holding it, or a failure.
struct LockAttempt {
  FileLock lock;               // held when the lock was taken
  std::optional<long> holder;  // when another process holds the lock: its process id
  std::optional<Error> error;  // when the lock file could not be created or locked
  // With `error`: the path holds something other than a regular file (a folder, a FIFO, a
  // symbolic link, which is never followed), so that no lock can ever be taken there.
  bool not_a_file = false;
};

// Tries once, without waiting, to lock the file at `path` (a native path; created when missing)
// for this process alone. Another process's lock gives its process id; a missing or unwritable
// directory, or a file system without locks, gives the system's message and number with
// "LockFile" as source. A lock file left by a killed process is simply locked again.
LockAttempt TryLockFile(const std::string& path);

}  // namespace cubemill::platform
