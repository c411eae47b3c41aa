#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

#include "platform/directory_listing.h"
#include "platform/text_file.h"

namespace cubemill::platform {

std::optional<std::vector<FileEntry>> ListRegularFiles(const std::string& directory) {
  const std::string native = directory.empty() ? std::string(".") : NativePath(directory);
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(native.c_str()), ::closedir);
  if (!listing) return std::nullopt;
  std::vector<FileEntry> files;
  while (const dirent* entry = ::readdir(listing.get())) {
    struct stat info {};
    // The entry itself, not what a link points at.
    if (::fstatat(::dirfd(listing.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    files.push_back(FileEntry{
        entry->d_name,
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec});
  }
  return files;
}

}  // namespace cubemill::platform
