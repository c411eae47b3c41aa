#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_lock.h"

namespace cubemill::platform {
namespace {

// How often a lock file that another run removed or released under our hands is opened again
// before giving up; each retry means another process made progress, so a few are plenty.
constexpr int kMaxTries = 100;

Error LockError(int error_number, const std::string& path) {
  return Error{std::string(std::strerror(error_number)) + ": cannot lock " + path, error_number,
               "LockFile"};
}

// A write lock on the whole file, however long it grows.
struct flock WholeFile() {
  struct flock region {};
  region.l_type = F_WRLCK;
  region.l_whence = SEEK_SET;
  region.l_start = 0;
  region.l_len = 0;
  return region;
}

}  // namespace

void FileLock::Release() {
  if (descriptor_ < 0) return;
  // Removed while still locked: whoever opened this file meanwhile finds, once it has the lock,
  // that the path no longer names it, and starts again with a new file.
  ::unlink(path_.c_str());
  ::close(descriptor_);
  descriptor_ = -1;
}

LockAttempt TryLockFile(const std::string& path) {
  LockAttempt attempt;
  for (int tries = 0; tries < kMaxTries; ++tries) {
    // A record lock (fcntl), not flock: the system drops it when the process ends, and tells
    // another process which process holds it.
    // Without waiting: a FIFO there must not hold the run up.
    const int descriptor =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (descriptor < 0) {
      const int error_number = errno;
      struct stat there {};
      attempt.not_a_file = ::lstat(path.c_str(), &there) == 0 && !S_ISREG(there.st_mode);
      attempt.error = LockError(error_number, path);
      return attempt;
    }
    struct stat locked {};
    const int not_a_file =
        ::fstat(descriptor, &locked) != 0 ? errno : (S_ISREG(locked.st_mode) ? 0 : EINVAL);
    if (not_a_file != 0) {
      ::close(descriptor);
      attempt.not_a_file = not_a_file == EINVAL;
      attempt.error = LockError(not_a_file, path);
      return attempt;
    }
    struct flock region = WholeFile();
    if (::fcntl(descriptor, F_SETLK, &region) == 0) {
      struct stat named {};
      if (::stat(path.c_str(), &named) == 0 && named.st_dev == locked.st_dev &&
          named.st_ino == locked.st_ino) {
        attempt.lock = FileLock(path, descriptor);
        return attempt;
      }
      ::close(descriptor);  // the holder before us removed this file: lock the path's new one
      continue;
    }
    const int error_number = errno;
    if (error_number != EACCES && error_number != EAGAIN) {
      ::close(descriptor);
      attempt.error = LockError(error_number, path);
      return attempt;
    }
    struct flock holder = WholeFile();
    const int asked = ::fcntl(descriptor, F_GETLK, &holder);
    ::close(descriptor);
    if (asked == 0 && holder.l_type != F_UNLCK) {
      attempt.holder = holder.l_pid;
      return attempt;
    }
    // The holder let go in between: try again.
  }
  attempt.error = LockError(EAGAIN, path);
  return attempt;
}

}  // namespace cubemill::platform
