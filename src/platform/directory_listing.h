// The files of one directory, for the jobs that look after a series of files there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cubemill::platform {

struct FileEntry {
  std::string name;           // the file's name, without its directory
  std::int64_t modified = 0;  // last modification, in nanoseconds since 1970
};

// Returns the regular files directly in `directory` (backslashes allowed; "" is the current
// directory), in no particular order: no directories, symbolic links or other kinds of file.
// Returns nothing when the directory cannot be read.
std::optional<std::vector<FileEntry>> ListRegularFiles(const std::string& directory);

}  // namespace cubemill::platform
