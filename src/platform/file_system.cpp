#include "platform/file_system.h"

namespace cubemill::platform {

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  const bool ends_with_separator =
      !path.empty() && (path.back() == '/' || path.back() == kPathSeparator);
  if (!ends_with_separator) path += kPathSeparator;
  path.append(name);
  return path;
}

bool DirExists(const std::string& path) {
  const auto attributes = FileAttributes(path);
  return attributes && (*attributes & (kAttributeDirectory | kAttributeVolumeLabel)) != 0;
}

bool FileExists(const std::string& path) {
  const auto attributes = FileAttributes(path);
  return attributes && (*attributes & ~(kAttributeDirectory | kAttributeVolumeLabel)) != 0;
}

}  // namespace cubemill::platform
