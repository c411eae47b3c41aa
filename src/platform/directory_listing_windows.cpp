#include <windows.h>

#include "platform/directory_listing.h"
#include "platform/text_file.h"
#include "platform/windows_system.h"

namespace cubemill::platform {

namespace {

// 100-nanosecond ticks from 1601-01-01, the file times' epoch, to 1970-01-01.
constexpr std::int64_t kTicksTo1970 = 116444736000000000;

}  // namespace

std::optional<std::vector<FileEntry>> ListRegularFiles(const std::string& directory) {
  const std::string native = directory.empty() ? std::string(".") : NativePath(directory);
  WIN32_FIND_DATAW found{};
  HANDLE listing = FindFirstFileExW(WideText(native + "/*").c_str(), FindExInfoBasic, &found,
                                    FindExSearchNameMatch, nullptr, 0);
  if (listing == INVALID_HANDLE_VALUE) {
    // An empty directory still has "." and "..": no match at all means it cannot be read.
    return std::nullopt;
  }
  std::vector<FileEntry> files;
  do {
    // The entry itself, not what a link points at: links are reparse points.
    constexpr DWORD kNotAFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if ((found.dwFileAttributes & kNotAFile) != 0) continue;
    const std::int64_t ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
        found.ftLastWriteTime.dwLowDateTime);
    files.push_back(FileEntry{Utf8Text(found.cFileName), (ticks - kTicksTo1970) * 100});
  } while (FindNextFileW(listing, &found));
  FindClose(listing);
  return files;
}

}  // namespace cubemill::platform
