#include "platform/file_lock.h"

#include <utility>

#include "platform/text_file.h"

namespace cubemill::platform {

std::string LockFileFor(const std::string& target_path) {
  const std::string target = NativePath(target_path);
  const std::size_t slash = target.rfind('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  return target.substr(0, name) + "." + target.substr(name) + ".lock";
}

FileLock::FileLock(FileLock&& other) noexcept
    : path_(std::move(other.path_)), descriptor_(std::exchange(other.descriptor_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::move(other.path_);
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

FileLock::~FileLock() { Release(); }

}  // namespace cubemill::platform
